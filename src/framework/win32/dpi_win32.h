// Pixel sizes the code sets (list-view columns) are written for 96 DPI, the
// size dialog templates are designed at; on a screen of another DPI they
// follow the window's DPI as the dialog units do.
#pragma once

#include <windows.h>

namespace fw {
namespace win32 {

// The DPI pixel sizes in the code are written for.
constexpr int kLayoutDpi = 96;

// The DPI the window is shown at: its monitor's under per-monitor
// awareness, the system's otherwise.
UINT WindowDpi(HWND window);

// A size of `pixels` at 96 DPI, in the window's pixels.
int ScaleForWindow(HWND window, int pixels);

// Under per-monitor awareness (v2), on WM_DPICHANGED: the dialog manager
// rescales the template's controls and fonts, not the column widths the
// code set in pixels; this rescales those of every list view in `dialog`.
void RescaleListColumnsOnDpiChange(HWND dialog, UINT newDpi);

// Remembers the DPI a dialog's pixel sizes were set at, for
// RescaleListColumnsOnDpiChange; ForgetDialogDpi when it is destroyed.
void RememberDialogDpi(HWND dialog);
void ForgetDialogDpi(HWND dialog);

}  // namespace win32
}  // namespace fw
