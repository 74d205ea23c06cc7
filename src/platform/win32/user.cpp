#include "platform/win32/utf16.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

class Win32User : public IUser {
 public:
  // The text is UTF-8; the W call shows it whatever the ANSI code page is.
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) override {
    const std::wstring wideText = Utf8ToWide(text);
    const std::wstring wideCaption = Utf8ToWide(caption);
    return ::MessageBoxW(owner, wideText.c_str(), caption ? wideCaption.c_str() : nullptr, type);
  }
};

}  // namespace

IUser& UserService() {
  static Win32User service;
  return service;
}

}  // namespace win32
}  // namespace plat
