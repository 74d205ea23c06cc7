// The simulated machine's calendar. Its wall clock starts at a fixed moment
// and follows the virtual clock, so a run reads the same dates every time;
// its local time is UTC.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace sim {

// The wall clock `virtualMs` milliseconds after the machine started
// (negative: before it started, as a job submitted earlier).
SYSTEMTIME WallClockAt(int64_t virtualMs);

}  // namespace sim
