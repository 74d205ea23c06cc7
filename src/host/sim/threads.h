// Threads, events, waits and time on the simulated machine's virtual clock.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace sim {

class Machine;

class SimThreads : public plat::IThreads {
 public:
  explicit SimThreads(Machine& machine);

  HANDLE CreateThread(plat::ThreadProc proc, LPVOID param, DWORD* threadId) override;
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override;
  BOOL SetEvent(HANDLE event) override;
  BOOL ResetEvent(HANDLE event) override;
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
  DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) override;
  BOOL CloseHandle(HANDLE handle) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetTickCount() override;
  DWORD GetCurrentThreadId() override;
  HANDLE CreateMutexA(LPCSTR name) override;
  // wall_clock.cpp
  void GetSystemTime(SYSTEMTIME* time) override;
  void GetLocalTime(SYSTEMTIME* time) override;

  // Handles still open (threads and events); a test's leak check.
  int OpenHandleCount();
  // For waits built elsewhere (the headless dialog thread): whether an
  // event or thread handle is signalled; call with the machine's lock held.
  bool IsSignaledLocked(HANDLE handle);
  // A handle to a kernel object the threads do not wait on (a process
  // token); closed with CloseHandle like the others. Lock held.
  HANDLE NewPlainHandleLocked();
  // Signals or resets an event for a device completing a request (the
  // OVERLAPPED's event); false when `event` is not one. Lock held.
  bool SetEventLocked(HANDLE event, bool signaled);

 private:
  struct Object {
    enum class Kind { Event, Thread, Plain, Mutex } kind;
    std::string mutexName;  // a named mutex's name (names are case-sensitive)
    bool manualReset = false;
    bool signaled = false;
    int worldThread = 0;
    DWORD exitCode = 0;
  };
  Object* Find(HANDLE handle);
  bool IsSignaled(const Object& object);

  Machine& m_machine;
  std::map<ULONG_PTR, std::shared_ptr<Object>> m_objects;
  ULONG_PTR m_nextHandle = 0x2000;
};

}  // namespace sim
