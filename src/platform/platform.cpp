#include "platform/platform.h"

namespace plat {

namespace {
Platform g_platform;
}

void Install(const Platform& platform) { g_platform = platform; }

const Platform& Current() { return g_platform; }

}  // namespace plat
