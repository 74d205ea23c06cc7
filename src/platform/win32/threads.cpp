#include "platform/win32/admin_calls.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

class Win32Threads : public IThreads {
 public:
  HANDLE CreateThread(ThreadProc proc, LPVOID param, DWORD* threadId) override {
    return ::CreateThread(nullptr, 0, proc, param, 0, threadId);
  }
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override {
    return ::CreateEventA(nullptr, manualReset, initialState, nullptr);
  }
  BOOL SetEvent(HANDLE event) override { return ::SetEvent(event); }
  BOOL ResetEvent(HANDLE event) override { return ::ResetEvent(event); }
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override {
    return ::WaitForSingleObject(handle, milliseconds);
  }
  DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                               DWORD milliseconds) override {
    return ::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
  }
  BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
  void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
  DWORD GetTickCount() override { return ::GetTickCount(); }
  DWORD GetCurrentThreadId() override { return ::GetCurrentThreadId(); }
  HANDLE CreateMutexA(LPCSTR name) override { return CreateNamedMutexUtf8(name); }
  void GetSystemTime(SYSTEMTIME* time) override { ::GetSystemTime(time); }
  void GetLocalTime(SYSTEMTIME* time) override { ::GetLocalTime(time); }
};

}  // namespace

IThreads& ThreadsService() {
  static Win32Threads service;
  return service;
}

}  // namespace win32
}  // namespace plat
