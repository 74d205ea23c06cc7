#include <vector>

#include "platform/win32/utf16.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

class Win32Services : public IServices {
 public:
  SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) override {
    return ::OpenSCManagerW(WideArg(machine).c_str(), WideArg(database).c_str(), access);
  }
  SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) override {
    return ::OpenServiceW(manager, WideArg(name).c_str(), access);
  }
  BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) override {
    return ::QueryServiceStatus(service, status);
  }
  BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) override {
    std::vector<std::wstring> arguments;
    for (DWORD i = 0; i < argc; ++i) arguments.push_back(Utf8ToWide(argv[i]));
    std::vector<LPCWSTR> pointers;
    for (const std::wstring& argument : arguments) pointers.push_back(argument.c_str());
    return ::StartServiceW(service, argc, pointers.empty() ? nullptr : pointers.data());
  }
  BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override {
    return ::ControlService(service, control, status);
  }
  BOOL CloseServiceHandle(SC_HANDLE handle) override { return ::CloseServiceHandle(handle); }
};

}  // namespace

IServices& ServicesService() {
  static Win32Services service;
  return service;
}

}  // namespace win32
}  // namespace plat
