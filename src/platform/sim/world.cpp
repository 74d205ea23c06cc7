#include "platform/sim/world.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace sim {

World::World() { m_registered = 1; }

World::~World() {
  std::map<int, std::unique_ptr<ThreadRecord>> threads;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    threads.swap(m_threads);
  }
  for (auto& entry : threads) {
    if (entry.second->thread.joinable()) entry.second->thread.join();
  }
}

bool World::AnyWaiterReady() const {
  for (const Waiter* waiter : m_waiters) {
    if ((*waiter->ready)() || waiter->deadline <= m_now) return true;
  }
  return false;
}

uint64_t World::EarliestDeadline() const {
  uint64_t earliest = kNoDeadline;
  for (const Waiter* waiter : m_waiters) earliest = std::min(earliest, waiter->deadline);
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
  for (const Waiter* waiter : m_waiters) std::fprintf(stderr, "  waiting: %s\n", waiter->what.c_str());
  std::fflush(stderr);
  std::abort();
}

World::WaitResult World::BlockUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                                    uint64_t deadline, const std::string& what, bool reportHang) {
  if (ready()) return WaitResult::Ready;
  if (deadline <= m_now) return WaitResult::Timeout;

  Waiter self{&ready, deadline, what, reportHang};
  m_waiters.push_back(&self);
  WaitResult result = WaitResult::Ready;
  for (;;) {
    if (ready()) {
      result = WaitResult::Ready;
      break;
    }
    if (self.deadline <= m_now) {
      result = WaitResult::Timeout;
      break;
    }
    if (self.hung) {
      result = WaitResult::Hang;
      break;
    }
    if (static_cast<int>(m_waiters.size()) >= m_registered && !AnyWaiterReady()) {
      const uint64_t next = EarliestDeadline();
      if (next == kNoDeadline) {
        bool someoneReports = false;
        for (Waiter* waiter : m_waiters) {
          if (waiter->reportHang) {
            waiter->hung = true;
            someoneReports = true;
          }
        }
        if (!someoneReports) ReportHang();
      } else {
        AdvanceTo(next);
      }
      m_cv.notify_all();
      continue;
    }
    m_cv.wait(lock);
  }
  m_waiters.remove(&self);
  return result;
}

int World::StartThread(std::function<void()> body) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const int id = m_nextThreadId++;
  auto record = std::make_unique<ThreadRecord>();
  ThreadRecord* raw = record.get();
  ++m_registered;
  m_threads[id] = std::move(record);
  raw->thread = std::thread([this, raw, body = std::move(body)]() {
    body();
    std::lock_guard<std::mutex> done(m_mutex);
    raw->done = true;
    --m_registered;
    m_cv.notify_all();
  });
  return id;
}

bool World::IsThreadDone(int id) const {
  auto it = m_threads.find(id);
  return it == m_threads.end() || it->second->done;
}

void World::ScheduleAt(uint64_t at, std::function<void()> action) {
  m_scheduled.emplace(at, std::move(action));
  m_cv.notify_all();
}

void World::RegisterCurrentThread() {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_registered;
}

void World::UnregisterCurrentThread() {
  std::lock_guard<std::mutex> lock(m_mutex);
  --m_registered;
  m_cv.notify_all();
}

}  // namespace sim
