// The simulated serial driver: event waits, read time-outs, purges, the
// printer's reply on the virtual clock, the mode text, critical sections.
#include <gtest/gtest.h>

#include "host/sim/comm.h"
#include "host/sim/threads.h"
#include "test_support.h"

using testing_support::SimulatedMachine;
using testing_support::StartThread;

namespace {

nlohmann::json Profile(uint64_t replyDelay = 20) {
  return {{"com_ports",
           {{"COM1", {{"device", "silent"}}},
            {"COM3", {{"device", "printer"}, {"reply", "12"}, {"reply_delay_ms", replyDelay}}}}}};
}

// A port opened as the channel opens it, with the event character 'q'.
HANDLE OpenPort(const char* name, DWORD mask) {
  plat::IComm& comm = plat::Comm();
  HANDLE port = comm.CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  EXPECT_NE(port, INVALID_HANDLE_VALUE);
  DCB dcb = {};
  comm.GetCommState(port, &dcb);
  dcb.EvtChar = 'q';
  EXPECT_TRUE(comm.SetCommState(port, &dcb));
  EXPECT_TRUE(comm.SetCommMask(port, mask));
  return port;
}

DWORD LastError() { return plat::System().GetLastError(); }
bool Signaled(HANDLE event) { return plat::Threads().WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

TEST(SimComm, EventWaitsBehaveAsWindowsDriver) {
  SimulatedMachine sim(Profile());
  plat::IComm& comm = plat::Comm();
  HANDLE port = OpenPort("\\\\.\\COM1", 0);
  OVERLAPPED io = {};
  io.hEvent = plat::Threads().CreateEventA(TRUE, TRUE);
  DWORD events = 0xFFFF;
  EXPECT_FALSE(comm.WaitCommEvent(port, &events, &io));  // no events asked for
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  comm.SetCommMask(port, EV_RXCHAR | EV_RXFLAG);
  EXPECT_FALSE(comm.WaitCommEvent(port, &events, &io));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_FALSE(Signaled(io.hEvent));
  OVERLAPPED second = {};
  DWORD secondEvents = 0;
  EXPECT_FALSE(comm.WaitCommEvent(port, &secondEvents, &second));  // one wait at a time
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // The first byte ends the wait; the next ones are kept for the next wait.
  sim.machine.Comm().ReceiveBytes("COM1", {'q', 'x'});
  EXPECT_TRUE(Signaled(io.hEvent));
  DWORD done = 0;
  EXPECT_TRUE(comm.GetOverlappedResult(port, &io, &done, FALSE));
  EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG));
  EXPECT_TRUE(comm.WaitCommEvent(port, &events, &io));
  EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR));

  // A new mask ends a pending wait with no events; closing cancels one.
  EXPECT_FALSE(comm.WaitCommEvent(port, &events, &io));
  comm.SetCommMask(port, EV_RXCHAR);
  EXPECT_TRUE(comm.GetOverlappedResult(port, &io, &done, FALSE));
  EXPECT_EQ(events, 0u);
  EXPECT_FALSE(comm.WaitCommEvent(port, &events, &io));
  EXPECT_TRUE(plat::Threads().CloseHandle(port));
  EXPECT_TRUE(Signaled(io.hEvent));
  EXPECT_EQ(io.Internal, static_cast<ULONG_PTR>(0xC0000120));  // cancelled
  EXPECT_FALSE(comm.ClearCommError(port, nullptr, nullptr));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  plat::Threads().CloseHandle(io.hEvent);
}

TEST(SimComm, ReadsTimeOutWritesTakeLineTimeAndPurgesCancelThem) {
  SimulatedMachine sim(Profile());
  plat::IComm& comm = plat::Comm();
  plat::IThreads& threads = plat::Threads();
  HANDLE port = OpenPort("COM1", EV_RXCHAR);
  COMMTIMEOUTS timeouts = {1000, 1000, 1000, 1000, 1000};
  comm.SetCommTimeouts(port, &timeouts);
  OVERLAPPED io = {};
  BYTE byte = 0;
  DWORD done = 99;
  const DWORD start = threads.GetTickCount();
  EXPECT_FALSE(comm.ReadFile(port, &byte, 1, &done, &io));
  EXPECT_TRUE(comm.GetOverlappedResult(port, &io, &done, TRUE));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(threads.GetTickCount() - start, 2000u);  // multiplier + constant

  // 110 baud, 8N2: 11 bits a byte, 300 ms for three.
  DCB dcb = {};
  comm.GetCommState(port, &dcb);
  ASSERT_TRUE(comm.BuildCommDCBA("baud=11 parity=N data=8", &dcb));
  ASSERT_TRUE(comm.SetCommState(port, &dcb));
  const BYTE data[] = {1, 2, 3};
  EXPECT_FALSE(comm.WriteFile(port, data, 3, &done, &io));
  COMSTAT status = {};
  comm.ClearCommError(port, nullptr, &status);
  EXPECT_EQ(status.cbOutQue, 3u);
  EXPECT_TRUE(comm.GetOverlappedResult(port, &io, &done, TRUE));
  EXPECT_EQ(done, 3u);
  EXPECT_EQ(threads.GetTickCount() - start, 2300u);

  EXPECT_FALSE(comm.WriteFile(port, data, 3, &done, &io));
  comm.PurgeComm(port, PURGE_TXABORT);
  EXPECT_FALSE(comm.GetOverlappedResult(port, &io, &done, TRUE));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  threads.CloseHandle(port);
  EXPECT_EQ(sim.machine.StateJson()["com_ports"]["COM1"]["written"], nlohmann::json({"01 02 03"}));
}

TEST(SimComm, APrinterRepliesAfterItsDelayToWhoeverHasThePortOpenThen) {
  SimulatedMachine sim(Profile(800));
  plat::IComm& comm = plat::Comm();
  const BYTE request[] = {0x1B, 0x21, 0x3F};
  OVERLAPPED io = {};
  DWORD done = 0;
  COMSTAT status = {};
  HANDLE port = OpenPort("COM3", EV_RXCHAR);
  comm.WriteFile(port, request, 3, &done, &io);
  comm.GetOverlappedResult(port, &io, &done, TRUE);
  plat::Threads().Sleep(700);
  comm.ClearCommError(port, nullptr, &status);
  EXPECT_EQ(status.cbInQue, 0u);
  // Too late for this open; the next one gets it.
  plat::Threads().CloseHandle(port);
  port = OpenPort("COM3", EV_RXCHAR);
  plat::Threads().Sleep(200);
  comm.ClearCommError(port, nullptr, &status);
  EXPECT_EQ(status.cbInQue, 1u);
  plat::Threads().CloseHandle(port);
}

TEST(SimComm, BuildCommDCBAReadsTheModeTextAndSetCommStateChecksIt) {
  SimulatedMachine sim(Profile());
  plat::IComm& comm = plat::Comm();
  DCB dcb = {};
  ASSERT_TRUE(comm.BuildCommDCBA("COM3: baud=96 parity=o data=7 stop=2", &dcb));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.Parity, ODDPARITY);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  for (const char* bad : {"baud=fast", "parity=x", "data=9", "stop=3", "speed=9600"}) {
    EXPECT_FALSE(comm.BuildCommDCBA(bad, &dcb)) << bad;
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  HANDLE port = OpenPort("COM1", EV_RXCHAR);
  ASSERT_TRUE(comm.BuildCommDCBA("baud=9600 parity=N data=7 stop=1.5", &dcb));
  EXPECT_FALSE(comm.SetCommState(port, &dcb));  // 1.5 stop bits need 5 data bits
  plat::Threads().CloseHandle(port);
}

TEST(SimComm, ACriticalSectionHeldByOneThreadMakesTheOtherWait) {
  SimulatedMachine sim;
  std::unique_ptr<plat::CriticalSection> section = plat::Comm().CreateCriticalSection();
  std::vector<std::string> order;
  std::function<DWORD()> holder = [&]() -> DWORD {
    plat::CriticalSectionLock outer(*section);
    plat::CriticalSectionLock inner(*section);  // the holder may enter again
    order.push_back("holder in");
    plat::Threads().Sleep(100);
    order.push_back("holder out");
    return 0;
  };
  HANDLE thread = StartThread(&holder);
  plat::Threads().Sleep(10);
  section->Enter();
  order.push_back("main in at " + std::to_string(plat::Threads().GetTickCount() - 60000));
  section->Leave();
  plat::Threads().WaitForSingleObject(thread, INFINITE);
  plat::Threads().CloseHandle(thread);
  EXPECT_EQ(order, std::vector<std::string>({"holder in", "holder out", "main in at 100"}));
}

}  // namespace
