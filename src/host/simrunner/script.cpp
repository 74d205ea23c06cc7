#include "host/simrunner/script.h"

#include <stdexcept>

#include "framework/box_answer.h"
#include "res/control_names.h"
#include "host/simrunner/script_check.h"
#include "host/simrunner/transcript.h"

namespace installersim {

using fw::headless::Ui;
using fw::headless::Window;

namespace {
#define CONTROL_NAME_ENTRY(name, id) {name, id},
const struct {
  const char* name;
  int id;
} kControlNames[] = {CONTROL_NAMES(CONTROL_NAME_ENTRY)};
#undef CONTROL_NAME_ENTRY

}  // namespace

const std::vector<std::string>& ScriptActions() {
  static const std::vector<std::string> actions = {"wait", "click", "select", "type",   "select_row",
                                                   "key",  "close", "answer", "monitor"};
  return actions;
}

const std::vector<std::string>& ControlNames() {
  // Made once: the check of a long script asks for every control step.
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const auto& entry : kControlNames) list.push_back(entry.name);
    return list;
  }();
  return names;
}

int ControlIdFromName(const nlohmann::json& name) {
  if (name.is_number_integer()) return name.get<int>();
  const std::string text = name.get<std::string>();
  for (const auto& entry : kControlNames)
    if (text == entry.name) return entry.id;
  throw std::invalid_argument("unknown control name: " + text);
}

nlohmann::json ScriptedUser::DefaultScript() {
  return nlohmann::json::parse(R"({"steps": [{"wait": {"enabled": "install"}}, {"close": true}]})");
}

ScriptedUser::ScriptedUser(const nlohmann::json& script) {
  // Every step is read while the dialog runs, where nothing may throw: the
  // whole script is checked first.
  CheckScript(script);
  const nlohmann::json& steps = script.is_array() ? script : script.at("steps");
  for (const nlohmann::json& step : steps) m_steps.push_back(step);
}

bool ScriptedUser::ConditionHolds(Ui& ui, const nlohmann::json& condition) const {
  Window* dialog = ui.TopDialog();
  if (condition.contains("dialog")) {
    if (!dialog || dialog->id != condition["dialog"].get<int>()) return false;
  }
  if (condition.contains("after_ms") && ui.Now() < condition["after_ms"].get<uint64_t>()) return false;
  if (condition.contains("enabled")) {
    Window* control = ui.Control(ControlIdFromName(condition["enabled"]));
    if (!control || !control->enabled) return false;
  }
  if (condition.contains("disabled")) {
    Window* control = ui.Control(ControlIdFromName(condition["disabled"]));
    if (!control || control->enabled) return false;
  }
  if (condition.contains("status")) {
    Window* status = ui.Control(IDC_STATUS);
    if (!status || status->text != condition["status"].get<std::string>()) return false;
  }
  if (condition.contains("status_starts")) {
    Window* status = ui.Control(IDC_STATUS);
    const std::string prefix = condition["status_starts"].get<std::string>();
    if (!status || status->text.compare(0, prefix.size(), prefix) != 0) return false;
  }
  if (condition.contains("text")) {
    const nlohmann::json& text = condition["text"];
    Window* control = ui.Control(ControlIdFromName(text.at("control")));
    if (!control || control->text != text.at("equals").get<std::string>()) return false;
  }
  return true;
}

void ScriptedUser::Perform(Ui& ui, const nlohmann::json& step) {
  if (step.contains("click")) {
    ui.Click(ControlIdFromName(step["click"]));
  } else if (step.contains("select")) {
    const nlohmann::json& select = step["select"];
    const int id = ControlIdFromName(select.value("control", nlohmann::json("driver")));
    int index = select.value("index", -1);
    if (select.contains("text")) {
      Window* combo = ui.Control(id);
      const std::string wanted = select["text"].get<std::string>();
      for (size_t i = 0; combo && i < combo->items.size(); ++i)
        if (combo->items[i] == wanted) index = static_cast<int>(i);
      if (index < 0) m_problems.push_back("no item " + Quote(wanted) + " to select");
    }
    if (index >= 0) ui.SelectComboItem(id, index);
  } else if (step.contains("type")) {
    const nlohmann::json& type = step["type"];
    ui.SetEditText(ControlIdFromName(type.value("control", nlohmann::json("printer-name"))),
                   type.at("text").get<std::string>());
  } else if (step.contains("select_row")) {
    const nlohmann::json& row = step["select_row"];
    ui.SelectListRow(ControlIdFromName(row.value("control", nlohmann::json("port-type"))),
                     row.at("row").get<int>());
  } else if (step.contains("key")) {
    const std::string key = step["key"].get<std::string>();
    if (key == "enter")
      ui.PressEnter();
    else if (key == "esc")
      ui.PressEsc();
    else
      m_problems.push_back("unknown key " + Quote(key));
  } else if (step.contains("close")) {
    ui.PressCloseBox();
  }
}

bool ScriptedUser::Act(Ui& ui) {
  if (Finished()) return false;
  const nlohmann::json& step = m_steps[m_next];
  // Answers are taken by message boxes and port monitor dialogs when they
  // come.
  if (step.contains("answer") || step.contains("monitor")) return false;
  if (step.contains("wait")) {
    if (!ConditionHolds(ui, step["wait"])) return false;
    ++m_next;
    return true;
  }
  if (step.contains("when") && !ConditionHolds(ui, step["when"])) return false;
  ++m_next;
  Perform(ui, step);
  return true;
}

int ScriptedUser::AnswerMessageBox(Ui& ui, const std::string& text, const std::string& caption, UINT type) {
  if (!Finished() && m_steps[m_next].contains("answer")) {
    const nlohmann::json& step = m_steps[m_next];
    const std::string answer = step["answer"].get<std::string>();
    ++m_next;
    if (step.contains("text") && step["text"].get<std::string>() != text)
      m_problems.push_back("expected a box saying " + Quote(step["text"].get<std::string>()) + ", got " +
                           Quote(text));
    if (step.contains("caption") && step["caption"].get<std::string>() != caption)
      m_problems.push_back("expected a box titled " + Quote(step["caption"].get<std::string>()) + ", got " +
                           Quote(caption));
    const int id = AnswerFromName(answer);
    if (id != 0) return id;
    m_problems.push_back("unknown answer " + Quote(answer));
  }
  // A user who was not told what to answer dismisses the box.
  ui.Note("no answer in the script for this box: dismissed");
  return DismissingAnswer(type);
}

sim::PortMonitorAnswer ScriptedUser::AnswerPortMonitor(Ui& ui, const std::string& dialog,
                                                       const std::string&) {
  sim::PortMonitorAnswer answer;
  if (Finished() || !m_steps[m_next].contains("monitor")) {
    ui.Note("no answer in the script for the port monitor's " + dialog + ": cancelled");
    return answer;
  }
  const nlohmann::json monitor = m_steps[m_next++]["monitor"];
  if (monitor.is_string()) {
    const std::string word = monitor.get<std::string>();
    answer.done = word == "ok";
    if (word != "ok" && word != "cancel")
      m_problems.push_back("unknown port monitor answer " + monitor.dump());
  } else if (monitor.contains("create")) {
    answer.done = true;
    answer.portName = monitor["create"].get<std::string>();
    answer.address = monitor.value("address", std::string());
  } else if (monitor.contains("fail")) {
    answer.error = monitor["fail"].get<DWORD>();
  }
  return answer;
}

uint64_t ScriptedUser::NextDeadline() {
  if (Finished()) return UINT64_MAX;
  const nlohmann::json& step = m_steps[m_next];
  const nlohmann::json* condition = step.contains("wait")   ? &step["wait"]
                                    : step.contains("when") ? &step["when"]
                                                            : nullptr;
  if (condition && condition->contains("after_ms")) return (*condition)["after_ms"].get<uint64_t>();
  return UINT64_MAX;
}

void ScriptedUser::OnHang(Ui& ui) {
  if (!Finished()) {
    m_problems.push_back("step " + std::to_string(m_next + 1) +
                         " can never happen: " + m_steps[m_next].dump());
    m_next = m_steps.size();
  }
  // Nothing else will happen: the user closes the window.
  ui.PressCloseBox();
}

}  // namespace installersim
