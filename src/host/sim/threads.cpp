#include "host/sim/threads.h"

#include <atomic>
#include <string>
#include <vector>

#include "host/sim/comm.h"
#include "host/sim/machine.h"

namespace sim {

namespace {
std::atomic<DWORD> g_nextThreadId{100};
thread_local DWORD t_threadId = 0;

uint64_t DeadlineAfter(uint64_t now, DWORD milliseconds) {
  return milliseconds == INFINITE ? kNoDeadline : now + milliseconds;
}
}  // namespace

SimThreads::SimThreads(Machine& machine) : m_machine(machine) {}

SimThreads::Object* SimThreads::Find(HANDLE handle) {
  auto it = m_objects.find(reinterpret_cast<ULONG_PTR>(handle));
  return it == m_objects.end() ? nullptr : it->second.get();
}

bool SimThreads::IsSignaled(const Object& object) {
  if (object.kind == Object::Kind::Thread)
    return object.worldThread != 0 && m_machine.GetWorld().IsThreadDone(object.worldThread);
  return object.signaled;
}

HANDLE SimThreads::CreateThread(plat::ThreadProc proc, LPVOID param, DWORD* threadId) {
  CallScope call(m_machine, "CreateThread");
  if (call.Fails()) return nullptr;
  auto object = std::make_shared<Object>();
  object->kind = Object::Kind::Thread;
  const ULONG_PTR handle = m_nextHandle += 4;
  m_objects[handle] = object;
  const DWORD id = g_nextThreadId++;
  if (threadId) *threadId = id;
  call.Lock().unlock();
  // The record is shared so the thread can store its exit code even after
  // its handle was closed.
  const int worldThread = m_machine.GetWorld().StartThread([this, object, proc, param, id]() {
    t_threadId = id;
    const DWORD code = proc(param);
    std::lock_guard<std::mutex> done(m_machine.Mutex());
    object->exitCode = code;
  });
  call.Lock().lock();
  object->worldThread = worldThread;
  return reinterpret_cast<HANDLE>(handle);
}

HANDLE SimThreads::CreateEventA(BOOL manualReset, BOOL initialState) {
  CallScope call(m_machine, "CreateEventA");
  if (call.Fails()) return nullptr;
  auto object = std::make_shared<Object>();
  object->kind = Object::Kind::Event;
  object->manualReset = manualReset != FALSE;
  object->signaled = initialState != FALSE;
  const ULONG_PTR handle = m_nextHandle += 4;
  m_objects[handle] = object;
  return reinterpret_cast<HANDLE>(handle);
}

BOOL SimThreads::SetEvent(HANDLE event) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return SetEventLocked(event, true) ? TRUE : m_machine.Fail(ERROR_INVALID_HANDLE);
}

BOOL SimThreads::ResetEvent(HANDLE event) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return SetEventLocked(event, false) ? TRUE : m_machine.Fail(ERROR_INVALID_HANDLE);
}

DWORD SimThreads::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD SimThreads::WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                         DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(m_machine.Mutex());
  std::vector<std::shared_ptr<Object>> objects;
  for (DWORD i = 0; i < count; ++i) {
    auto it = m_objects.find(reinterpret_cast<ULONG_PTR>(handles[i]));
    if (it == m_objects.end()) return m_machine.Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
    objects.push_back(it->second);
  }
  auto signaledIndex = [&]() -> int {
    if (waitAll) {
      for (const auto& object : objects)
        if (!IsSignaled(*object)) return -1;
      return 0;
    }
    for (size_t i = 0; i < objects.size(); ++i)
      if (IsSignaled(*objects[i])) return static_cast<int>(i);
    return -1;
  };
  World& world = m_machine.GetWorld();
  const auto result = world.BlockUntil(
      lock, [&]() { return signaledIndex() >= 0; }, DeadlineAfter(world.Now(), milliseconds),
      "WaitForMultipleObjects");
  if (result != World::WaitResult::Ready) return WAIT_TIMEOUT;
  const int index = signaledIndex();
  // An auto-reset event wakes one waiter and resets itself.
  for (size_t i = 0; i < objects.size(); ++i) {
    if ((waitAll || static_cast<int>(i) == index) && objects[i]->kind == Object::Kind::Event &&
        !objects[i]->manualReset)
      objects[i]->signaled = false;
  }
  return WAIT_OBJECT_0 + static_cast<DWORD>(index);
}

BOOL SimThreads::CloseHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  // COM port handles belong to the COM part.
  if (m_objects.erase(reinterpret_cast<ULONG_PTR>(handle)) == 0 &&
      !m_machine.Comm().CloseHandleLocked(handle)) {
    return m_machine.Fail(ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

void SimThreads::Sleep(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(m_machine.Mutex());
  World& world = m_machine.GetWorld();
  // Sleep(0) gives the rest of the time slice to any thread ready to run.
  if (milliseconds == 0) {
    world.Yield(lock);
    return;
  }
  world.BlockUntil(
      lock, []() { return false; }, DeadlineAfter(world.Now(), milliseconds),
      "Sleep(" + std::to_string(milliseconds) + ")");
}

DWORD SimThreads::GetTickCount() {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  // A machine that has been up for a minute, so tick arithmetic is not
  // tested only near zero.
  return static_cast<DWORD>(60000 + m_machine.GetWorld().Now());
}

DWORD SimThreads::GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = g_nextThreadId++;
  return t_threadId;
}

HANDLE SimThreads::CreateMutexA(LPCSTR name) {
  CallScope call(m_machine, "CreateMutexA");
  const std::string mutexName = name ? name : "";
  if (call.Fails(mutexName)) return nullptr;
  // The name lives as long as a handle to it is open.
  bool exists = false;
  for (const auto& entry : m_objects)
    exists = exists || (!mutexName.empty() && entry.second->kind == Object::Kind::Mutex &&
                        entry.second->mutexName == mutexName);
  auto object = std::make_shared<Object>();
  object->kind = Object::Kind::Mutex;
  object->mutexName = mutexName;
  const ULONG_PTR handle = m_nextHandle += 4;
  m_objects[handle] = object;
  m_machine.SetLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(handle);
}

HANDLE SimThreads::NewPlainHandleLocked() {
  auto object = std::make_shared<Object>();
  object->kind = Object::Kind::Plain;
  const ULONG_PTR handle = m_nextHandle += 4;
  m_objects[handle] = object;
  return reinterpret_cast<HANDLE>(handle);
}

bool SimThreads::SetEventLocked(HANDLE event, bool signaled) {
  Object* object = Find(event);
  if (!object || object->kind != Object::Kind::Event) return false;
  object->signaled = signaled;
  return true;
}

bool SimThreads::IsSignaledLocked(HANDLE handle) {
  Object* object = Find(handle);
  return object && IsSignaled(*object);
}

int SimThreads::OpenHandleCount() {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return static_cast<int>(m_objects.size());
}

}  // namespace sim
