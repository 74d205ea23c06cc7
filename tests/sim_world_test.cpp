// The simulated machine's threads, events, waits, virtual clock and faults.
#include <gtest/gtest.h>

#include "host/sim/threads.h"
#include "test_support.h"

using testing_support::SimulatedMachine;
using testing_support::StartThread;

namespace {

TEST(SimWorld, SleepsTakeVirtualTimeAndParallelSleepsOverlap) {
  SimulatedMachine sim;
  plat::IThreads& threads = plat::Threads();
  const DWORD start = threads.GetTickCount();
  threads.Sleep(250);
  EXPECT_EQ(threads.GetTickCount() - start, 250u);

  // Each thread keeps how long its sleep took and when it woke.
  DWORD slept[2] = {0, 0}, woke[2] = {0, 0};
  auto sleeper = [&](int i, DWORD milliseconds) -> std::function<DWORD()> {
    return [&, i, milliseconds]() -> DWORD {
      const DWORD before = threads.GetTickCount();
      threads.Sleep(milliseconds);
      slept[i] = threads.GetTickCount() - before;
      woke[i] = threads.GetTickCount() - start;
      return 0;
    };
  };
  std::function<DWORD()> a = sleeper(0, 300), b = sleeper(1, 500);
  HANDLE both[] = {StartThread(&a), StartThread(&b)};
  EXPECT_EQ(threads.WaitForMultipleObjects(2, both, TRUE, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(slept[0], 300u);
  EXPECT_EQ(slept[1], 500u);
  // Both slept at the same time: 250 + 300 and 250 + 500, not 250 + 800.
  EXPECT_EQ(woke[0], 550u);
  EXPECT_EQ(woke[1], 750u);
  EXPECT_EQ(threads.GetTickCount() - start, 750u);
  for (HANDLE handle : both) threads.CloseHandle(handle);
  EXPECT_EQ(sim.machine.Threads().OpenHandleCount(), 0);
}

// Sleep(0) hands the baton on: a loop polling a flag with Sleep(0) lets
// the thread that sets it run.
TEST(SimWorld, SleepZeroLetsAnotherReadyThreadRun) {
  SimulatedMachine sim;
  plat::IThreads& threads = plat::Threads();
  bool flag = false;
  std::function<DWORD()> setter = [&]() -> DWORD {
    flag = true;
    return 0;
  };
  HANDLE thread = StartThread(&setter);
  for (int spins = 0; !flag && spins < 100; ++spins) threads.Sleep(0);
  EXPECT_TRUE(flag);
  threads.WaitForSingleObject(thread, INFINITE);
  threads.CloseHandle(thread);
}

TEST(SimWorld, WaitsPickTheLowestSignalledHandleAndResetOnlyAutoResetEvents) {
  SimulatedMachine sim;
  plat::IThreads& threads = plat::Threads();
  HANDLE autoFirst = threads.CreateEventA(FALSE, FALSE);
  HANDLE manual = threads.CreateEventA(TRUE, TRUE);
  HANDLE autoLast = threads.CreateEventA(FALSE, TRUE);
  HANDLE handles[] = {autoFirst, manual, autoLast};

  // The manual-reset event stays set, so it wins again and again.
  EXPECT_EQ(threads.WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(threads.WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
  threads.ResetEvent(manual);
  // The auto-reset event is consumed by the one wait that saw it.
  EXPECT_EQ(threads.WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(threads.WaitForMultipleObjects(3, handles, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  // Waiting for all resets every auto-reset event, not the manual one.
  for (HANDLE handle : handles) threads.SetEvent(handle);
  EXPECT_EQ(threads.WaitForMultipleObjects(3, handles, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(threads.WaitForSingleObject(autoFirst, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(threads.WaitForSingleObject(autoLast, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(threads.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);

  // A timed wait ends exactly at its timeout.
  const DWORD start = threads.GetTickCount();
  EXPECT_EQ(threads.WaitForSingleObject(autoFirst, 1234), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(threads.GetTickCount() - start, 1234u);

  // One SetEvent on an auto-reset event releases one of two waiters, at
  // the moment it is set; the other times out.
  DWORD results[2] = {0, 0}, times[2] = {0, 0};
  auto waiter = [&](int i) -> std::function<DWORD()> {
    return [&, i]() -> DWORD {
      results[i] = threads.WaitForSingleObject(autoFirst, 1000);
      times[i] = threads.GetTickCount() - start;
      return 0;
    };
  };
  std::function<DWORD()> waiter0 = waiter(0), waiter1 = waiter(1);
  HANDLE waiters[] = {StartThread(&waiter0), StartThread(&waiter1)};
  threads.Sleep(100);
  threads.SetEvent(autoFirst);
  threads.WaitForMultipleObjects(2, waiters, TRUE, INFINITE);
  EXPECT_EQ(results[0], WAIT_OBJECT_0);
  EXPECT_EQ(times[0], 1334u);
  EXPECT_EQ(results[1], static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(times[1], 1234u + 1000u);

  HANDLE closed = threads.CreateEventA(FALSE, TRUE);
  threads.CloseHandle(closed);
  EXPECT_EQ(threads.WaitForSingleObject(closed, 0), WAIT_FAILED);
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  for (HANDLE handle : handles) threads.CloseHandle(handle);
  for (HANDLE handle : waiters) threads.CloseHandle(handle);
  EXPECT_EQ(sim.machine.Threads().OpenHandleCount(), 0);
}

TEST(SimWorld, AThreadHandleIsSignalledWhenTheThreadHasEnded) {
  SimulatedMachine sim;
  plat::IThreads& threads = plat::Threads();
  bool finished = false;
  std::function<DWORD()> body = [&]() -> DWORD {
    threads.Sleep(200);
    finished = true;
    return 42;
  };
  HANDLE thread = StartThread(&body);
  EXPECT_EQ(threads.WaitForSingleObject(thread, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(finished);
  EXPECT_EQ(threads.WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(finished);
  // An ended thread stays signalled.
  EXPECT_EQ(threads.WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(threads.CloseHandle(thread));
  EXPECT_FALSE(threads.CloseHandle(thread));

  // A thread whose handle is closed at once still runs to its end and
  // stores its exit code in the record it shares with the handle.
  bool detachedRan = false;
  std::function<DWORD()> detached = [&]() -> DWORD {
    threads.Sleep(50);
    detachedRan = true;
    return 7;
  };
  threads.CloseHandle(StartThread(&detached));
  threads.Sleep(100);
  EXPECT_TRUE(detachedRan);
  EXPECT_EQ(sim.machine.Threads().OpenHandleCount(), 0);
}

// Two threads hand an event back and forth and sleep to the same moments;
// returns what they did, in order, with the virtual time.
std::vector<std::string> TwoThreadProgram() {
  SimulatedMachine sim;
  plat::IThreads& threads = plat::Threads();
  const DWORD start = threads.GetTickCount();
  std::vector<std::string> order;
  auto note = [&](const std::string& what) {
    order.push_back(what + "@" + std::to_string(threads.GetTickCount() - start));
  };
  HANDLE ready = threads.CreateEventA(FALSE, FALSE);
  std::function<DWORD()> producer = [&]() -> DWORD {
    for (int i = 0; i < 3; ++i) {
      note("produce" + std::to_string(i));
      threads.Sleep(100);
      threads.SetEvent(ready);
    }
    return 0;
  };
  std::function<DWORD()> consumer = [&]() -> DWORD {
    for (int i = 0; i < 4; ++i) {
      threads.Sleep(100);
      note("poll" + std::to_string(i));
      note(threads.WaitForSingleObject(ready, 60) == WAIT_OBJECT_0 ? "got" : "timeout");
    }
    return 0;
  };
  HANDLE both[] = {StartThread(&producer), StartThread(&consumer)};
  threads.WaitForMultipleObjects(2, both, TRUE, INFINITE);
  for (HANDLE handle : both) threads.CloseHandle(handle);
  threads.CloseHandle(ready);
  return order;
}

TEST(SimWorld, TheSameProgramInterleavesItsThreadsTheSameWayEveryRun) {
  const std::vector<std::string> first = TwoThreadProgram();
  ASSERT_EQ(first.size(), 11u);
  for (int run = 1; run < 20; ++run) ASSERT_EQ(TwoThreadProgram(), first) << "run " << run;
}

TEST(SimWorld, FaultsFailExactlyTheCallsTheyName) {
  // From a test: the third and fourth CreateEventA fail, the others work.
  {
    SimulatedMachine sim;
    sim::Fault fault;
    fault.call = "CreateEventA";
    fault.error = ERROR_NOT_ENOUGH_MEMORY;
    fault.after = 2;
    fault.count = 2;
    sim.machine.Faults().Add(fault);
    std::string outcome;
    for (int i = 0; i < 6; ++i) {
      plat::System().SetLastError(0);
      HANDLE event = plat::Threads().CreateEventA(FALSE, FALSE);
      outcome += event ? "+" : "-";
      if (event)
        plat::Threads().CloseHandle(event);
      else
        EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    }
    EXPECT_EQ(outcome, "++--++");
    EXPECT_EQ(sim.machine.Faults().CallCount("CreateEventA"), 6);
  }
  // From a profile, with a match: only opens of the matching key count, and
  // only the second of them fails.
  {
    nlohmann::json profile;
    profile["registry"] = {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Ports", {{"A", 1}}},
                           {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", {{"B", 2}}}};
    profile["faults"] = {{{"call", "RegOpenKeyExA"}, {"match", "Ports"}, {"after", 1}, {"count", 1}}};
    SimulatedMachine sim(profile);
    auto open = [](const char* path) {
      HKEY key = nullptr;
      const LONG result = plat::Registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
      if (result == ERROR_SUCCESS) plat::Registry().RegCloseKey(key);
      return result;
    };
    EXPECT_EQ(open("SOFTWARE\\Ports"), ERROR_SUCCESS);
    EXPECT_EQ(open("SOFTWARE\\Other"), ERROR_SUCCESS);
    EXPECT_EQ(open("SOFTWARE\\Ports"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(open("SOFTWARE\\Other"), ERROR_SUCCESS);
    EXPECT_EQ(open("SOFTWARE\\Ports"), ERROR_SUCCESS);
    EXPECT_EQ(sim.machine.Registry().OpenHandleCount(), 0);
  }
}

}  // namespace
