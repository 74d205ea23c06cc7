// The smallest DLL built as the archive library is (C++, run-time linked statically, stripped): the
// size every such DLL starts from.
#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) int WINAPI FloorLength(const char* text) {
  return static_cast<int>(std::string(text).size());
}
