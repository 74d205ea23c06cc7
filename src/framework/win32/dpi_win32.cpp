// The window's DPI and pixel sizes scaled to it.
//
// GetDpiForWindow (Windows 10 1607) and the awareness-context calls are
// looked up at run time from user32, which every GUI program has loaded:
// the program still starts on Windows before them, where the system DPI
// (GetDeviceCaps LOGPIXELSX of the screen) is the DPI of every window.
#include "framework/win32/dpi_win32.h"

#include <commctrl.h>

namespace fw {
namespace win32 {
namespace {

// Where a dialog keeps the DPI its column widths were last set at.
constexpr wchar_t kDpiProperty[] = L"fw.win32.ColumnDpi";

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetWindowDpiAwarenessContextFn = HANDLE(WINAPI*)(HWND);
using AreDpiAwarenessContextsEqualFn = BOOL(WINAPI*)(HANDLE, HANDLE);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 (winuser.h, Windows 10 1703).
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));

template <typename Fn>
Fn User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

UINT SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  if (!screen) return kLayoutDpi;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

// Only a per-monitor v2 dialog is resized by the dialog manager when its
// DPI changes (DIALOG_DPI_CHANGE_BEHAVIORS, learn.microsoft.com); under
// per-monitor v1 it keeps its size, so its columns must keep theirs.
bool DialogManagerRescales(HWND dialog) {
  static const auto getContext =
      User32Function<GetWindowDpiAwarenessContextFn>("GetWindowDpiAwarenessContext");
  static const auto areEqual = User32Function<AreDpiAwarenessContextsEqualFn>("AreDpiAwarenessContextsEqual");
  return getContext && areEqual && areEqual(getContext(dialog), kPerMonitorAwareV2);
}

bool IsListView(HWND window) {
  wchar_t className[32] = {};
  return ::GetClassNameW(window, className, 32) && ::lstrcmpiW(className, WC_LISTVIEWW) == 0;
}

void RescaleColumns(HWND list, UINT fromDpi, UINT toDpi) {
  HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  for (int column = 0; column < columns; ++column) {
    const int width = static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
    const int scaled = ::MulDiv(width, static_cast<int>(toDpi), static_cast<int>(fromDpi));
    ::SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(scaled, 0));
  }
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow && window) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) return dpi;
  }
  return SystemDpi();
}

int ScaleForWindow(HWND window, int pixels) {
  return ::MulDiv(pixels, static_cast<int>(WindowDpi(window)), kLayoutDpi);
}

void RememberDialogDpi(HWND dialog) {
  ::SetPropW(dialog, kDpiProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(WindowDpi(dialog))));
}

void ForgetDialogDpi(HWND dialog) { ::RemovePropW(dialog, kDpiProperty); }

void RescaleListColumnsOnDpiChange(HWND dialog, UINT newDpi) {
  const UINT oldDpi = static_cast<UINT>(reinterpret_cast<UINT_PTR>(::GetPropW(dialog, kDpiProperty)));
  if (oldDpi == 0 || newDpi == 0 || oldDpi == newDpi || !DialogManagerRescales(dialog)) return;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    if (IsListView(child)) RescaleColumns(child, oldDpi, newDpi);
  ::SetPropW(dialog, kDpiProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(newDpi)));
}

}  // namespace win32
}  // namespace fw
