// The scripted user of installer-sim: a JSON list of steps, each done when
// its moment comes (see docs/INSTALLER-SIM.md).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/headless/ui.h"

namespace installersim {

class ScriptedUser : public fw::headless::IScriptedUser {
 public:
  // Throws sim::InputError for a script CheckScript refuses.
  explicit ScriptedUser(const nlohmann::json& script);

  bool Act(fw::headless::Ui& ui) override;
  int AnswerMessageBox(fw::headless::Ui& ui, const std::string& text, const std::string& caption,
                       UINT type) override;
  void OnHang(fw::headless::Ui& ui) override;
  uint64_t NextDeadline() override;
  sim::PortMonitorAnswer AnswerPortMonitor(fw::headless::Ui& ui, const std::string& dialog,
                                           const std::string& portName) override;

  bool Finished() const { return m_next >= m_steps.size(); }
  // Steps that could not be done (a wait that never came true...).
  const std::vector<std::string>& Problems() const { return m_problems; }

  // The script of a run without one: wait for Install, then close.
  static nlohmann::json DefaultScript();

 private:
  bool ConditionHolds(fw::headless::Ui& ui, const nlohmann::json& condition) const;
  void Perform(fw::headless::Ui& ui, const nlohmann::json& step);

  std::vector<nlohmann::json> m_steps;
  size_t m_next = 0;
  std::vector<std::string> m_problems;
};

// Control ids by the names scripts use ("install", "driver"...), or a number.
int ControlIdFromName(const nlohmann::json& name);
const std::vector<std::string>& ControlNames();
// The things a step can do ("wait", "click"...).
const std::vector<std::string>& ScriptActions();

}  // namespace installersim
