// The real Windows services behind the platform interfaces (Windows build).
#pragma once

namespace plat {

// Installs the Win32 implementations with plat::Install; WinMain calls it
// before the application runs.
void InstallWin32Platform();

}  // namespace plat
