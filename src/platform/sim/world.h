// The simulated machine's time and threads.
//
// Every thread of a simulated run (the dialog's thread, the start-up worker,
// later the serial monitor) blocks only through World::BlockUntil. Time is
// virtual: it moves only when every registered thread is blocked, and then
// jumps straight to the earliest deadline (a Sleep ending, a wait timing
// out, a window timer, a device's scheduled reply). A run therefore takes
// no real time for its pauses and gives the same result every time. When
// every thread waits on something that can never happen the world reports
// the hang instead of hanging.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

constexpr uint64_t kNoDeadline = UINT64_MAX;

class World {
 public:
  enum class WaitResult { Ready, Timeout, Hang };

  // The constructing thread is the first registered thread.
  World();
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  std::mutex& Mutex() { return m_mutex; }

  // Virtual milliseconds since the machine started; read under the lock.
  uint64_t Now() const { return m_now; }

  // Blocks the calling (registered) thread, with `lock` held on Mutex(),
  // until `ready` holds (Ready), the virtual clock reaches `deadline`
  // (Timeout) or, for a waiter that asked for it, every thread waits for
  // ever (Hang). A hang of waiters that did not ask for it ends the process
  // with a report of every waiter.
  WaitResult BlockUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                        uint64_t deadline, const std::string& what, bool reportHang = false);

  // Wakes waiters after a change of state; call with the lock held.
  void Notify() { m_cv.notify_all(); }

  // Runs `body` on a new registered thread. The returned id names it for
  // IsThreadDone.
  int StartThread(std::function<void()> body);
  bool IsThreadDone(int id) const;  // under the lock

  // Runs `action` (under the lock) when the virtual clock reaches `at`;
  // call with the lock held.
  void ScheduleAt(uint64_t at, std::function<void()> action);

  // Registers a thread that was not started by StartThread (a test's own
  // helper thread); pair with Unregister.
  void RegisterCurrentThread();
  void UnregisterCurrentThread();

 private:
  struct Waiter {
    const std::function<bool()>* ready;
    uint64_t deadline;
    std::string what;
    bool reportHang;
    bool hung = false;
  };
  struct ThreadRecord {
    std::thread thread;
    bool done = false;
  };

  bool AnyWaiterReady() const;
  uint64_t EarliestDeadline() const;
  void AdvanceTo(uint64_t when);
  [[noreturn]] void ReportHang() const;

  std::mutex m_mutex;
  std::condition_variable m_cv;
  uint64_t m_now = 0;
  int m_registered = 0;
  std::list<Waiter*> m_waiters;
  std::multimap<uint64_t, std::function<void()>> m_scheduled;
  std::map<int, std::unique_ptr<ThreadRecord>> m_threads;
  int m_nextThreadId = 1;
};

}  // namespace sim
