#include "host/headless/templates.h"

#include "framework/ui_types.h"
#include "res/resource.h"

namespace fw {
namespace headless {

namespace {

struct Row {
  enum Kind { Begin, Control, End } kind;
  int id;
  const char* windowClass;
  const char* text;
  int x, y, width, height;
  DWORD style;
  DWORD exStyle;
  int fontSize;
  const char* fontName;
};

#define DIALOG_BEGIN(id, x, y, w, h, caption, fontSize, fontName, style, exStyle) \
  {                                                                               \
      Row::Begin,                                                                 \
      id,                                                                         \
      "#32770",                                                                   \
      caption,                                                                    \
      x,                                                                          \
      y,                                                                          \
      w,                                                                          \
      h,                                                                          \
      static_cast<DWORD>(style),                                                  \
      static_cast<DWORD>(exStyle),                                                \
      fontSize,                                                                   \
      fontName},
#define DIALOG_CONTROL(id, windowClass, text, x, y, w, h, style) \
  {Row::Control, id, windowClass, text, x, y, w, h, static_cast<DWORD>(style), 0, 0, nullptr},
#define DIALOG_END() {Row::End, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr},

const Row kRows[] = {
#include "res/dialogs.inc"
};

#undef DIALOG_BEGIN
#undef DIALOG_CONTROL
#undef DIALOG_END

std::vector<DialogTemplate> BuildTemplates() {
  std::vector<DialogTemplate> templates;
  for (const Row& row : kRows) {
    if (row.kind == Row::Begin) {
      templates.push_back(DialogTemplate{row.id,
                                         row.text,
                                         row.x,
                                         row.y,
                                         row.width,
                                         row.height,
                                         row.fontSize,
                                         row.fontName,
                                         row.style,
                                         row.exStyle,
                                         {}});
    } else if (row.kind == Row::Control && !templates.empty()) {
      templates.back().controls.push_back(
          ControlTemplate{row.id, row.windowClass, row.text, row.x, row.y, row.width, row.height, row.style});
    }
  }
  return templates;
}

}  // namespace

const std::vector<DialogTemplate>& AllDialogTemplates() {
  static const std::vector<DialogTemplate> templates = BuildTemplates();
  return templates;
}

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& dialog : AllDialogTemplates())
    if (dialog.id == id) return &dialog;
  return nullptr;
}

}  // namespace headless
}  // namespace fw
