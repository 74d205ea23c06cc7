// Control messages of the headless backend. They keep the Windows ids; the
// arguments that Windows passes in caller buffers or records are passed as
// these small structures instead (the backend is host-only).
#pragma once

#include <string>

#include "framework/ui_types.h"

namespace fw {
namespace headless {

constexpr UINT kLvmGetItemCount = 0x1004;
constexpr UINT kLvmInsertItem = 0x1007;
constexpr UINT kLvmDeleteAllItems = 0x1009;
constexpr UINT kLvmGetNextItem = 0x100C;
constexpr UINT kLvmInsertColumn = 0x101B;
constexpr UINT kLvmDeleteColumn = 0x101C;
constexpr UINT kLvmSetColumnWidth = 0x101E;
constexpr UINT kLvmSetItemState = 0x102B;
constexpr UINT kLvmGetItemState = 0x102C;
constexpr UINT kLvmGetItemText = 0x102D;
constexpr UINT kLvmSetItemText = 0x102E;
constexpr UINT kLvmSetExtendedStyle = 0x1036;
constexpr UINT kLvmGetExtendedStyle = 0x1037;
constexpr UINT kHdmGetItemCount = 0x1200;

struct ListOp {
  int item = 0;
  int subItem = 0;
  UINT state = 0;
  UINT mask = 0;
  int width = 0;
  const char* text = nullptr;
  std::string* out = nullptr;
};

}  // namespace headless
}  // namespace fw
