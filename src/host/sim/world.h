// The simulated machine's time and threads.
//
// Threads of a simulated run (the dialog's thread, the start-up worker,
// later the serial monitor) run one at a time: a thread runs only while it
// holds the baton, and hands it on only where it blocks (World::BlockUntil),
// yields, or ends. The next holder is the next runnable thread in a fixed
// round-robin order, so a run interleaves its threads the same way every
// time. Time is virtual: when no thread can run, the clock jumps straight
// to the earliest deadline (a Sleep ending, a wait timing out, a window
// timer, a device's scheduled reply). When every thread waits on something
// that can never happen the world reports the hang instead of hanging.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
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

  // The constructing thread is the first thread and holds the baton.
  World();
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  std::mutex& Mutex() { return m_mutex; }

  // Lets every thread run to its end and joins them (the destructor does
  // too; an owner whose members the threads use calls it first).
  void Shutdown();

  // Virtual milliseconds since the machine started; read under the lock.
  uint64_t Now() const { return m_now; }

  // Blocks the calling thread, with `lock` held on Mutex(),
  // until `ready` holds (Ready), the virtual clock reaches `deadline`
  // (Timeout) or, for a waiter that asked for it, every thread waits for
  // ever (Hang). A hang of waiters that did not ask for it ends the process
  // with a report of every waiter.
  WaitResult BlockUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                        uint64_t deadline, const std::string& what, bool reportHang = false);

  // Lets the other runnable threads run once before the caller goes on
  // (a thread that polls a flag another thread clears). Lock held.
  void Yield(std::unique_lock<std::mutex>& lock);

  // Runs `body` on a new registered thread. The returned id names it for
  // IsThreadDone.
  int StartThread(std::function<void()> body);
  bool IsThreadDone(int id) const;  // under the lock

  // Runs `action` (under the lock) when the virtual clock reaches `at`;
  // call with the lock held.
  void ScheduleAt(uint64_t at, std::function<void()> action);

 private:
  struct Waiter {
    const std::function<bool()>* ready;
    uint64_t deadline;
    std::string what;
    bool reportHang;
    bool hung = false;
  };
  struct ThreadRecord {
    enum class State { Ready, Running, Waiting, Done } state = State::Ready;
    std::thread thread;
    Waiter* waiter = nullptr;
  };

  bool Runnable(const ThreadRecord& record) const;
  // Gives the baton to the next runnable thread, moving the clock on when
  // none can run. Called by the holder, with the lock held.
  void PassBaton();
  void AwaitBaton(std::unique_lock<std::mutex>& lock, int self);
  uint64_t EarliestDeadline() const;
  void AdvanceTo(uint64_t when);
  [[noreturn]] void ReportHang() const;
  // Counts the waits and hand-overs made at one instant: threads that keep
  // running without the clock ever moving (a thread that never blocks, or
  // two that wake each other for ever) are reported, not left to spin.
  void NoteTurnAtOneInstant(const std::string& what);

  std::mutex m_mutex;
  std::condition_variable m_cv;
  uint64_t m_now = 0;
  uint64_t m_turnsAt = 0;  // the instant m_turns counts for
  uint64_t m_turns = 0;
  int m_current = 0;  // the thread holding the baton
  std::multimap<uint64_t, std::function<void()>> m_scheduled;
  std::map<int, std::unique_ptr<ThreadRecord>> m_threads;
  int m_nextThreadId = 1;
};

}  // namespace sim
