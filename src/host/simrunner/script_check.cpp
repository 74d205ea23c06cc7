#include "host/simrunner/script_check.h"

#include <climits>
#include <string>
#include <vector>

#include "host/sim/json_check.h"
#include "host/simrunner/script.h"
#include "host/simrunner/transcript.h"

namespace installersim {

namespace {

using namespace sim::check;
using Json = nlohmann::json;

// Window ids are 16-bit (the low word of WM_COMMAND's wParam).
constexpr int64_t kMaxWindowId = 0xFFFF;
constexpr int64_t kMaxMoment = static_cast<int64_t>(sim::kMaxVirtualMs);

const Json* Find(const Json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

void Control(const Json& value, const std::string& path) {
  if (value.is_number()) {
    Integer(value, path, 0, kMaxWindowId);
    return;
  }
  if (!value.is_string()) Expected(path, "a control name or id", value);
  OneOf(value, path, ControlNames());
}

void Condition(const Json& condition, const std::string& path) {
  Object(condition, path, {"dialog", "after_ms", "enabled", "disabled", "status", "status_starts", "text"});
  if (const Json* dialog = Find(condition, "dialog"))
    Integer(*dialog, Member(path, "dialog"), 0, kMaxWindowId);
  if (const Json* moment = Find(condition, "after_ms"))
    Integer(*moment, Member(path, "after_ms"), 0, kMaxMoment);
  for (const char* key : {"enabled", "disabled"})
    if (const Json* control = Find(condition, key)) Control(*control, Member(path, key));
  for (const char* key : {"status", "status_starts"})
    if (const Json* text = Find(condition, key)) String(*text, Member(path, key));
  if (const Json* text = Find(condition, "text")) {
    const std::string where = Member(path, "text");
    Object(*text, where, {"control", "equals"});
    if (!Find(*text, "control") || !Find(*text, "equals")) Fail(where, "needs \"control\" and \"equals\"");
    Control((*text)["control"], Member(where, "control"));
    String((*text)["equals"], Member(where, "equals"));
  }
}

// {"control": C, FIELD: ...}: the control is optional (each action has its
// own), `required` fields must be there.
void ControlAction(const Json& action, const std::string& path, std::initializer_list<const char*> fields) {
  Object(action, path, fields);
  if (const Json* control = Find(action, "control")) Control(*control, Member(path, "control"));
}

void Monitor(const Json& monitor, const std::string& path) {
  if (monitor.is_string()) {
    OneOf(monitor, path, {"ok", "cancel"});
    return;
  }
  if (!monitor.is_object())
    Expected(path, "\"ok\", \"cancel\", {\"create\": NAME} or {\"fail\": CODE}", monitor);
  if (Find(monitor, "create")) {
    Object(monitor, path, {"create", "address"});
    String(monitor["create"], Member(path, "create"));
    if (const Json* address = Find(monitor, "address")) String(*address, Member(path, "address"));
  } else if (Find(monitor, "fail")) {
    Object(monitor, path, {"fail"});
    Dword(monitor["fail"], Member(path, "fail"));
  } else {
    Fail(path, "needs \"create\" or \"fail\"");
  }
}

void Action(const std::string& kind, const Json& value, const std::string& path) {
  if (kind == "wait") {
    Condition(value, path);
  } else if (kind == "click") {
    Control(value, path);
  } else if (kind == "select") {
    ControlAction(value, path, {"control", "index", "text"});
    if (!Find(value, "index") && !Find(value, "text")) Fail(path, "needs \"index\" or \"text\"");
    if (const Json* index = Find(value, "index")) Integer(*index, Member(path, "index"), 0, INT_MAX);
    if (const Json* text = Find(value, "text")) String(*text, Member(path, "text"));
  } else if (kind == "type") {
    ControlAction(value, path, {"control", "text"});
    if (!Find(value, "text")) Fail(path, "needs \"text\"");
    String(value["text"], Member(path, "text"));
  } else if (kind == "select_row") {
    ControlAction(value, path, {"control", "row"});
    if (!Find(value, "row")) Fail(path, "needs \"row\"");
    Integer(value["row"], Member(path, "row"), -1, INT_MAX);  // -1 clears the selection
  } else if (kind == "key") {
    OneOf(value, path, {"enter", "esc"});
  } else if (kind == "close") {
    if (!value.is_boolean() || !value.get<bool>()) Expected(path, "true", value);
  } else if (kind == "answer") {
    OneOf(value, path, AnswerNames());
  } else if (kind == "monitor") {
    Monitor(value, path);
  }
}

void Step(const Json& step, const std::string& path) {
  if (!step.is_object()) Expected(path, "a step object", step);
  std::string kind;
  for (const std::string& action : ScriptActions()) {
    if (!Find(step, action.c_str())) continue;
    if (!kind.empty()) Fail(path, "one step does one thing: \"" + kind + "\" and \"" + action + "\"");
    kind = action;
  }
  if (kind.empty()) {
    if (step.empty()) Fail(path, "an empty step");
    std::string list;
    for (const std::string& action : ScriptActions()) list += (list.empty() ? "" : ", ") + action;
    Fail(path, "unknown step " + Shown(Json(step.begin().key())) + " (steps: " + list + ")");
  }
  // A wait is its own condition; answers and monitor answers are taken when
  // their box comes; the others may wait for a condition first.
  if (kind == "answer")
    Object(step, path, {"answer", "text", "caption"});
  else if (kind == "wait" || kind == "monitor")
    Object(step, path, {kind.c_str()});
  else
    Object(step, path, {kind.c_str(), "when"});
  Action(kind, step[kind], Member(path, kind));
  for (const char* key : {"text", "caption"})
    if (kind == "answer" && Find(step, key)) String(step[key], Member(path, key));
  if (const Json* when = Find(step, "when")) Condition(*when, Member(path, "when"));
}

}  // namespace

void CheckScript(const Json& script) {
  std::string path;
  const Json* steps = &script;
  if (script.is_object()) {
    Object(script, "", {"steps"});
    if (!Find(script, "steps")) Fail("", "needs \"steps\"");
    steps = &script["steps"];
    path = "steps";
  } else if (!script.is_array()) {
    Expected("", "{\"steps\": [...]} or a list of steps", script);
  }
  List(*steps, path);
  for (size_t i = 0; i < steps->size(); ++i) Step((*steps)[i], Element(path, i));
}

}  // namespace installersim
