// The whole installer-sim script checked before the run starts, so the
// scripted user never meets a step it cannot read while the dialog runs.
#pragma once

#include <nlohmann/json.hpp>

namespace installersim {

// Throws sim::InputError naming the first bad field ("steps[3].click:
// unknown control \"instal\"...").
void CheckScript(const nlohmann::json& script);

}  // namespace installersim
