#include "host/simrunner/transcript.h"

#include <cstdio>
#include <sstream>

#include "res/resource.h"

namespace installersim {

using fw::headless::Event;
using fw::headless::Ui;
using fw::headless::Window;

namespace {
const struct {
  int answer;
  const char* name;
} kAnswers[] = {{IDOK, "IDOK"},         {IDCANCEL, "IDCANCEL"}, {IDABORT, "IDABORT"}, {IDRETRY, "IDRETRY"},
                {IDIGNORE, "IDIGNORE"}, {IDYES, "IDYES"},       {IDNO, "IDNO"}};
}  // namespace

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

std::string AnswerName(int answer) {
  for (const auto& entry : kAnswers)
    if (entry.answer == answer) return entry.name;
  return std::to_string(answer);
}

std::vector<std::string> AnswerNames() {
  std::vector<std::string> names;
  for (const auto& entry : kAnswers) names.push_back(entry.name);
  return names;
}

int AnswerFromName(const std::string& name) {
  for (const auto& entry : kAnswers)
    if (name == entry.name) return entry.answer;
  return 0;
}

std::string BoxTypeName(UINT type) {
  static const char* const kButtons[] = {"OK",     "OK/Cancel",   "Abort/Retry/Ignore", "Yes/No/Cancel",
                                         "Yes/No", "Retry/Cancel"};
  const UINT buttons = type & MB_TYPEMASK;
  std::string out = buttons < 6 ? kButtons[buttons] : "buttons " + std::to_string(buttons);
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      out += ", stop icon";
      break;
    case MB_ICONQUESTION:
      out += ", question icon";
      break;
    case MB_ICONEXCLAMATION:
      out += ", warning icon";
      break;
    case MB_ICONASTERISK:
      out += ", information icon";
      break;
    default:
      break;
  }
  return out;
}

std::string Transcript::ControlName(int dialogId, int controlId) const {
  if (dialogId == IDD_INSTALL_DIALOG) {
    switch (controlId) {
      case IDC_STATUS:
        return "status";
      case IDC_INSTALL:
        return "Install button";
      case IDCANCEL:
        return "Cancel button";
      case IDC_DRIVER_COMBO:
        return "driver list";
      case IDC_PRINTER_NAME:
        return "printer name";
      case IDC_SET_DEFAULT:
        return "\"Set Default Printer\"";
      case IDC_PORT_TYPE_LIST:
        return "port type";
      case IDC_PROGRESS:
        return "progress";
      default:
        break;
    }
  }
  return "control " + std::to_string(controlId);
}

void Transcript::Add(uint64_t time, const std::string& line) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%7llu ms  ", static_cast<unsigned long long>(time));
  m_lines.push_back(stamp + line);
  if (m_echo) *m_echo << m_lines.back() << '\n' << std::flush;
}

std::string Transcript::Text() const {
  std::ostringstream out;
  for (const std::string& line : m_lines) out << line << '\n';
  return out.str();
}

void Transcript::OnEvent(const Event& event) {
  const std::string name = ControlName(event.dialogId, event.controlId);
  switch (event.kind) {
    case Event::Kind::DialogOpened:
      Add(event.time, "dialog " + std::to_string(event.dialogId) + " " + Quote(event.caption) + " opened");
      break;
    case Event::Kind::DialogClosed:
      Add(event.time, "dialog " + std::to_string(event.dialogId) + " closed: " + AnswerName(event.value));
      break;
    case Event::Kind::TextChanged:
      Add(event.time, name + ": " + Quote(event.text));
      break;
    case Event::Kind::EnabledChanged:
      Add(event.time, name + " " + Quote(event.text) + (event.value ? " enabled" : " disabled"));
      break;
    case Event::Kind::CheckChanged:
      Add(event.time, name + (event.value ? " checked" : " unchecked"));
      break;
    case Event::Kind::ComboItemsChanged:
      Add(event.time, event.value == 0 ? name + ": emptied" : name + ": added " + Quote(event.text));
      break;
    case Event::Kind::ComboSelectionChanged:
      Add(event.time, name + ": selected " + (event.value < 0 ? std::string("nothing") : Quote(event.text)));
      break;
    case Event::Kind::ListChanged: {
      // Only a change of the selected row is worth a line.
      Ui* ui = Ui::Current();
      Window* dialog = ui ? ui->TopDialog() : nullptr;
      Window* list = ui ? ui->FindControl(dialog, event.controlId) : nullptr;
      if (!list) break;
      std::string selected = "nothing";
      for (size_t row = 0; row < list->rows.size(); ++row) {
        if (list->rows[row].state & LVIS_SELECTED) {
          selected = "row " + std::to_string(row) + " " +
                     Quote(list->rows[row].cells.empty() ? "" : list->rows[row].cells[0]);
          break;
        }
      }
      auto found = m_listSelection.emplace(std::make_pair(event.dialogId, event.controlId), "nothing").first;
      std::string& last = found->second;
      if (selected != last) {
        last = selected;
        Add(event.time, name + ": selected " + selected);
      }
      break;
    }
    case Event::Kind::ProgressChanged:
      Add(event.time, name + ": " + std::to_string(event.value));
      break;
    case Event::Kind::MessageBox:
      Add(event.time, "message box " + Quote(event.caption) + " [" + BoxTypeName(event.type) +
                          "]: " + Quote(event.text) + " -> " + AnswerName(event.value));
      break;
    case Event::Kind::UserAction:
      Add(event.time, "user: " + event.text);
      break;
    case Event::Kind::PortMonitor:
      Add(event.time, "port monitor: " + event.text + " -> " + event.caption);
      break;
    case Event::Kind::Hang:
      Add(event.time, "every thread waits and nothing more can happen");
      break;
  }
}

}  // namespace installersim
