// The dialog templates of src/res/dialogs.inc as data, for the headless
// windows (the real build compiles the same rows into its resources).
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace fw {
namespace headless {

struct ControlTemplate {
  int id;
  std::string windowClass;
  std::string text;
  int x, y, width, height;
  DWORD style;
};

struct DialogTemplate {
  int id;
  std::string caption;
  int x, y, width, height;
  int fontSize;
  std::string fontName;
  DWORD style;
  DWORD exStyle;
  std::vector<ControlTemplate> controls;
};

const DialogTemplate* FindDialogTemplate(int id);
const std::vector<DialogTemplate>& AllDialogTemplates();

}  // namespace headless
}  // namespace fw
