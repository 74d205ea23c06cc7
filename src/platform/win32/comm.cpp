#include "platform/win32/utf16.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

static_assert(sizeof(::DCB) == 28 && sizeof(::COMSTAT) == 12 && sizeof(::COMMTIMEOUTS) == 20,
              "serial records must match the installer's view of them");

class Win32CriticalSection : public CriticalSection {
 public:
  Win32CriticalSection() { ::InitializeCriticalSection(&m_section); }
  ~Win32CriticalSection() override { ::DeleteCriticalSection(&m_section); }
  Win32CriticalSection(const Win32CriticalSection&) = delete;
  Win32CriticalSection& operator=(const Win32CriticalSection&) = delete;
  void Enter() override { ::EnterCriticalSection(&m_section); }
  void Leave() override { ::LeaveCriticalSection(&m_section); }

 private:
  CRITICAL_SECTION m_section;
};

class Win32Comm : public IComm {
 public:
  HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, DWORD creation, DWORD flags) override {
    return ::CreateFileW(WideArg(name).c_str(), access, shareMode, nullptr, creation, flags, nullptr);
  }
  BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) override {
    return ::SetupComm(port, inQueue, outQueue);
  }
  BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts) override {
    return ::SetCommTimeouts(port, const_cast<COMMTIMEOUTS*>(timeouts));
  }
  BOOL SetCommMask(HANDLE port, DWORD mask) override { return ::SetCommMask(port, mask); }
  BOOL GetCommMask(HANDLE port, DWORD* mask) override { return ::GetCommMask(port, mask); }
  BOOL GetCommState(HANDLE port, DCB* dcb) override { return ::GetCommState(port, dcb); }
  BOOL BuildCommDCBA(LPCSTR definition, DCB* dcb) override {
    return ::BuildCommDCBW(WideArg(definition).c_str(), dcb);
  }
  BOOL SetCommState(HANDLE port, const DCB* dcb) override {
    return ::SetCommState(port, const_cast<DCB*>(dcb));
  }
  BOOL PurgeComm(HANDLE port, DWORD flags) override { return ::PurgeComm(port, flags); }
  BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* overlapped) override {
    return ::WaitCommEvent(port, events, overlapped);
  }
  BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) override {
    return ::ClearCommError(port, errors, status);
  }
  BOOL ReadFile(HANDLE port, LPVOID buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override {
    return ::ReadFile(port, buffer, size, done, overlapped);
  }
  BOOL WriteFile(HANDLE port, LPCVOID data, DWORD size, DWORD* done, OVERLAPPED* overlapped) override {
    return ::WriteFile(port, data, size, done, overlapped);
  }
  BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* done, BOOL wait) override {
    return ::GetOverlappedResult(port, overlapped, done, wait);
  }
  // The wide text, so it reads right whatever the ANSI code page is; inserts
  // are left as they are, as no arguments go with the code.
  std::string FormatMessageA(DWORD error) override {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = length && text ? WideToUtf8(text, static_cast<int>(length)) : std::string();
    if (text) ::LocalFree(text);
    return message;
  }
  std::unique_ptr<CriticalSection> CreateCriticalSection() override {
    return std::make_unique<Win32CriticalSection>();
  }
};

}  // namespace

IComm& CommService() {
  static Win32Comm service;
  return service;
}

}  // namespace win32
}  // namespace plat
