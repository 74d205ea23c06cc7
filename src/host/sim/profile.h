// A machine profile as read: JSON whose objects keep the order they were
// written in (registry values are enumerated in that order).
#pragma once

#include <nlohmann/json.hpp>

namespace sim {
using Profile = nlohmann::ordered_json;
}
