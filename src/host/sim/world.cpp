#include "host/sim/world.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {
// Which thread of the world the calling thread is (0: the world's creator).
thread_local int t_self = 0;
// Far more waits and hand-overs at one instant than any real run makes.
constexpr uint64_t kTurnLimit = 100000;
}  // namespace

World::World() {
  auto main = std::make_unique<ThreadRecord>();
  main->state = ThreadRecord::State::Running;
  m_threads[0] = std::move(main);
  t_self = 0;
}

World::~World() { Shutdown(); }

void World::Shutdown() {
  {
    // Let every thread run to its end before they are joined.
    std::unique_lock<std::mutex> lock(m_mutex);
    BlockUntil(
        lock,
        [this]() {
          for (const auto& entry : m_threads)
            if (entry.first != 0 && entry.second->state != ThreadRecord::State::Done) return false;
          return true;
        },
        kNoDeadline, "the machine shutting down, for its threads to end");
  }
  for (auto& entry : m_threads) {
    if (entry.second->thread.joinable()) entry.second->thread.join();
  }
}

bool World::Runnable(const ThreadRecord& record) const {
  if (record.state == ThreadRecord::State::Ready) return true;
  if (record.state != ThreadRecord::State::Waiting) return false;
  const Waiter& waiter = *record.waiter;
  return waiter.hung || (*waiter.ready)() || waiter.deadline <= m_now;
}

uint64_t World::EarliestDeadline() const {
  uint64_t earliest = kNoDeadline;
  for (const auto& entry : m_threads)
    if (entry.second->state == ThreadRecord::State::Waiting)
      earliest = std::min(earliest, entry.second->waiter->deadline);
  if (!m_scheduled.empty()) earliest = std::min(earliest, m_scheduled.begin()->first);
  return earliest;
}

void World::AdvanceTo(uint64_t when) {
  if (when > m_now) m_now = when;
  while (!m_scheduled.empty() && m_scheduled.begin()->first <= m_now) {
    auto action = std::move(m_scheduled.begin()->second);
    m_scheduled.erase(m_scheduled.begin());
    action();
  }
}

void World::ReportHang() const {
  std::fprintf(stderr, "simulated machine: every thread waits for ever at %llu ms:\n",
               static_cast<unsigned long long>(m_now));
  for (const auto& entry : m_threads)
    if (entry.second->state == ThreadRecord::State::Waiting)
      std::fprintf(stderr, "  thread %d waits for %s\n", entry.first, entry.second->waiter->what.c_str());
  std::fflush(stderr);
  std::abort();
}

void World::NoteTurnAtOneInstant(const std::string& what) {
  if (m_turnsAt != m_now) {
    m_turnsAt = m_now;
    m_turns = 0;
  }
  if (++m_turns < kTurnLimit) return;
  std::fprintf(stderr,
               "simulated machine: threads spin at %llu ms: %llu waits and hand-overs without the clock "
               "moving, the last by thread %d for %s\n",
               static_cast<unsigned long long>(m_now), static_cast<unsigned long long>(m_turns), t_self,
               what.c_str());
  std::fflush(stderr);
  std::abort();
}

void World::PassBaton() {
  for (;;) {
    // Round robin from the thread after the current one, the current one
    // last.
    auto start = m_threads.upper_bound(m_current);
    for (size_t step = 0; step < m_threads.size(); ++step) {
      if (start == m_threads.end()) start = m_threads.begin();
      if (Runnable(*start->second)) {
        m_current = start->first;
        m_cv.notify_all();
        return;
      }
      ++start;
    }
    const uint64_t next = EarliestDeadline();
    if (next != kNoDeadline) {
      AdvanceTo(next);
      continue;
    }
    bool someoneReports = false;
    for (auto& entry : m_threads) {
      ThreadRecord& record = *entry.second;
      if (record.state == ThreadRecord::State::Waiting && record.waiter->reportHang) {
        record.waiter->hung = true;
        someoneReports = true;
      }
    }
    if (!someoneReports) ReportHang();
  }
}

void World::AwaitBaton(std::unique_lock<std::mutex>& lock, int self) {
  m_cv.wait(lock, [&]() { return m_current == self; });
  m_threads[self]->state = ThreadRecord::State::Running;
}

World::WaitResult World::BlockUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                                    uint64_t deadline, const std::string& what, bool reportHang) {
  NoteTurnAtOneInstant(what);
  if (ready()) return WaitResult::Ready;
  if (deadline <= m_now) return WaitResult::Timeout;
  const int self = t_self;
  ThreadRecord& record = *m_threads[self];
  Waiter waiter{&ready, deadline, what, reportHang};
  record.state = ThreadRecord::State::Waiting;
  record.waiter = &waiter;
  PassBaton();
  AwaitBaton(lock, self);
  record.waiter = nullptr;
  if (ready()) return WaitResult::Ready;
  if (deadline <= m_now) return WaitResult::Timeout;
  return WaitResult::Hang;
}

void World::Yield(std::unique_lock<std::mutex>& lock) {
  NoteTurnAtOneInstant("its turn");
  const int self = t_self;
  m_threads[self]->state = ThreadRecord::State::Ready;
  PassBaton();
  AwaitBaton(lock, self);
}

int World::StartThread(std::function<void()> body) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const int id = m_nextThreadId++;
  auto record = std::make_unique<ThreadRecord>();
  ThreadRecord* raw = record.get();
  m_threads[id] = std::move(record);
  raw->thread = std::thread([this, id, raw, body = std::move(body)]() {
    {
      std::unique_lock<std::mutex> start(m_mutex);
      t_self = id;
      AwaitBaton(start, id);
    }
    body();
    std::lock_guard<std::mutex> done(m_mutex);
    raw->state = ThreadRecord::State::Done;
    PassBaton();
  });
  return id;
}

bool World::IsThreadDone(int id) const {
  auto it = m_threads.find(id);
  return it == m_threads.end() || it->second->state == ThreadRecord::State::Done;
}

void World::ScheduleAt(uint64_t at, std::function<void()> action) {
  m_scheduled.emplace(at, std::move(action));
}

}  // namespace sim
