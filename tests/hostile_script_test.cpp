// Hostile installer-sim scripts: each is refused before the run, with the
// step's field and what is wrong, instead of failing inside the dialog.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/sim/json_check.h"
#include "host/simrunner/runner.h"
#include "host/simrunner/script.h"
#include "host/simrunner/script_check.h"

namespace {

std::string Refusal(const std::string& text) {
  try {
    installersim::CheckScript(nlohmann::json(sim::ParseJsonText(text)));
  } catch (const sim::InputError& error) {
    return error.what();
  }
  return std::string();
}

struct Case {
  const char* script;
  const char* message;
};

TEST(HostileScript, EachBadStepIsNamedWithWhatIsWrong) {
  const Case cases[] = {
      {R"({"steps": [{"click": "install"}] )", "not JSON"},
      {R"("steps")", "expected {\"steps\": [...]} or a list of steps, got \"steps\""},
      {R"({"steps": {"click": "install"}})", "steps: expected a list, got an object"},
      {R"({"stpes": []})", "stpes: unknown field (known: steps)"},
      // Unknown steps and names.
      {R"([{"wait": {"enabled": "install"}}, {"clik": "install"}])",
       "[1]: unknown step \"clik\" (steps: wait, click, select"},
      {R"({"steps": [{"click": "instal"}]})", "steps[0].click: expected one of \"install\", \"cancel\""},
      {R"({"steps": [{"wait": {"enabled": "nothing"}}]})", "steps[0].wait.enabled: expected one of"},
      {R"({"steps": [{"wait": {"enabld": "install"}}]})", "steps[0].wait.enabld: unknown field"},
      {R"({"steps": [{"key": "space"}]})", "steps[0].key: expected one of \"enter\", \"esc\", got \"space\""},
      {R"({"steps": [{"answer": "YES"}]})", "steps[0].answer: expected one of \"IDOK\""},
      {R"({"steps": [{"monitor": "finish"}]})", "steps[0].monitor: expected one of \"ok\", \"cancel\""},
      {R"({"steps": [{"monitor": {"address": "1.2.3.4"}}]})",
       "steps[0].monitor: needs \"create\" or \"fail\""},
      {R"({"steps": [{"click": "install", "close": true}]})", "steps[0]: one step does one thing"},
      {R"({"steps": [{"click": "install", "caption": "x"}]})", "steps[0].caption: unknown field"},
      // Wrong types.
      {R"({"steps": [5]})", "steps[0]: expected a step object, got 5"},
      {R"({"steps": [{}]})", "steps[0]: an empty step"},
      {R"({"steps": [{"click": ["install"]}]})", "steps[0].click: expected a control name or id, got a list"},
      {R"({"steps": [{"type": {"control": "printer-name", "text": 5}}]})",
       "steps[0].type.text: expected a string"},
      {R"({"steps": [{"type": {"control": "printer-name"}}]})", "steps[0].type: needs \"text\""},
      {R"({"steps": [{"select": {"control": "driver"}}]})", "steps[0].select: needs \"index\" or \"text\""},
      {R"({"steps": [{"select_row": {"row": "1"}}]})",
       "steps[0].select_row.row: expected a number from -1 to"},
      {R"({"steps": [{"close": false}]})", "steps[0].close: expected true, got false"},
      {R"({"steps": [{"answer": "IDOK", "text": 1}]})", "steps[0].text: expected a string, got 1"},
      {R"({"steps": [{"wait": {"text": {"control": "status"}}}]})",
       "steps[0].wait.text: needs \"control\" and"},
      // Out of range.
      {R"({"steps": [{"wait": {"after_ms": -1}}]})",
       "steps[0].wait.after_ms: expected a number from 0 to 86400000"},
      {R"({"steps": [{"wait": {"after_ms": 18446744073709551615}}]})", "got 18446744073709551615"},
      {R"({"steps": [{"click": "ok", "when": {"after_ms": 1e300}}]})",
       "steps[0].when.after_ms: expected a number"},
      {R"({"steps": [{"click": 70000}]})", "steps[0].click: expected a number from 0 to 65535, got 70000"},
      {R"({"steps": [{"select": {"index": -1}}]})", "steps[0].select.index: expected a number from 0 to"},
      {R"({"steps": [{"monitor": {"fail": -5}}]})",
       "steps[0].monitor.fail: expected a number from 0 to 4294967295"},
      {R"({"steps": [{"wait": {"dialog": 1e3}}]})", "steps[0].wait.dialog: expected a number"},
  };
  for (const Case& c : cases) {
    const std::string message = Refusal(c.script);
    EXPECT_NE(message.find(c.message), std::string::npos)
        << "script " << c.script << "\n  gave: " << message << "\n  want: " << c.message;
  }
  // Far past the limit, even inside a step.
  EXPECT_EQ(Refusal(R"({"steps": [{"wait": )" + std::string(50000, '[') + std::string(50000, ']') + "}]}"),
            "nested more than 32 levels deep");
}

TEST(HostileScript, EveryExampleScriptIsTaken) {
  for (const char* folder : {"examples/scripts", "faults", "bench/sim"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(INSTALLER_SOURCE_DIR) / folder)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".json" || name.find(".profile.") != std::string::npos) continue;
      EXPECT_EQ(Refusal(sim::ReadJsonFile(entry.path().string()).dump()), "") << entry.path();
    }
  }
  EXPECT_EQ(Refusal(installersim::ScriptedUser::DefaultScript().dump()), "");
}

TEST(HostileScript, TheRunRefusesABadScriptBeforeTheMachineStarts) {
  try {
    installersim::RunInstaller(nlohmann::json::object(), nlohmann::json::parse(R"([{"click": "nowhere"}])"));
    ADD_FAILURE() << "the run started";
  } catch (const sim::InputError& error) {
    EXPECT_NE(std::string(error.what()).find("[0].click"), std::string::npos) << error.what();
  }
}

}  // namespace
