// The smallest program built as installer.exe is (C++, GUI, run-time linked statically, stripped):
// the size every such exe starts from, the floor beside which the installer's size is reported.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  const std::string text = commandLine;
  return MessageBoxA(nullptr, text.c_str(), "floor", MB_OK);
}
