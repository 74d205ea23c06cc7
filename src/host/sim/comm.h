// The simulated COM ports: the devices a profile puts on them (a printer
// that answers status requests, a silent line, a port another program
// holds, one that refuses every setting) and the serial driver between the
// program and the line: queues, purges, read time-outs, event waits and
// overlapped requests, on the virtual clock. Events behave as Windows' own
// driver has them: EV_RXCHAR for every byte, EV_RXFLAG for the event
// character, events seen while no wait is pending complete the next wait at
// once.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "host/sim/profile.h"
#include "host/sim/registry.h"

namespace sim {

class CallScope;
class Machine;

// "\\\\.\\COM3" or "COM3" gives "COM3"; anything else gives "".
std::string ComPortName(const char* name);
// What a profile may put on a COM port ("printer", "silent"...).
const std::vector<std::string>& ComDeviceKinds();

class SimComm : public plat::IComm {
 public:
  explicit SimComm(Machine& machine);
  ~SimComm() override;

  HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, DWORD creation, DWORD flags) override;
  BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) override;
  BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts) override;
  BOOL SetCommMask(HANDLE port, DWORD mask) override;
  BOOL GetCommMask(HANDLE port, DWORD* mask) override;
  BOOL GetCommState(HANDLE port, DCB* dcb) override;
  BOOL BuildCommDCBA(LPCSTR definition, DCB* dcb) override;
  BOOL SetCommState(HANDLE port, const DCB* dcb) override;
  BOOL PurgeComm(HANDLE port, DWORD flags) override;
  BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* overlapped) override;
  BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) override;
  BOOL ReadFile(HANDLE port, LPVOID buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override;
  BOOL WriteFile(HANDLE port, LPCVOID data, DWORD size, DWORD* done, OVERLAPPED* overlapped) override;
  BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* done, BOOL wait) override;
  std::string FormatMessageA(DWORD error) override;
  std::unique_ptr<plat::CriticalSection> CreateCriticalSection() override;

  // Profile "com_ports": {"COM3": {"device": "printer", "baud": 9600,
  // "reply": "12", "reply_delay_ms": 20}, "COM1": {"device": "silent"},
  // "COM2": {"device": "in_use"}, "COM4": {"device": "unconfigurable"}}.
  // A port with no entry does not exist.
  void LoadJson(const Profile& ports);
  // Per port: the device, whether it is open, the last line settings
  // SetCommState applied and the bytes of each write (hex).
  nlohmann::json ToJson() const;
  bool HasDevices() const;

  // The device on `port` ("COM3") sends `bytes` now (tests: noise on the
  // line).
  void ReceiveBytes(const std::string& port, const std::vector<BYTE>& bytes);
  // What FormatMessageA gives for `error` on this machine (a localised or
  // long text).
  void SetMessageText(DWORD error, const std::string& text);
  int OpenHandleCount() const;

  // IThreads::CloseHandle's share: closes a port handle, cancelling its
  // requests; false when `handle` is not one. Lock held.
  bool CloseHandleLocked(HANDLE handle);

 private:
  struct Request;
  struct Device;
  struct Port;

  Port* Find(HANDLE handle);
  Device* FindDevice(const std::string& name);
  // Finds the port and applies the call's faults; null (last error set)
  // when the call fails there.
  Port* Begin(CallScope& call, HANDLE handle);
  BOOL Pending();
  // An overlapped request starts: pending, its event reset.
  void Start(OVERLAPPED* overlapped);
  void Finish(OVERLAPPED* overlapped, ULONG_PTR status, ULONG_PTR bytes);
  void Complete(Request& request, ULONG_PTR status, ULONG_PTR bytes);
  void Raise(Port& port, DWORD events);
  void Deliver(Device& device, const std::vector<BYTE>& bytes);
  void WriteSent(ULONG_PTR handle, const std::shared_ptr<Request>& request);
  void ArmIntervalTimeout(ULONG_PTR handle, const std::shared_ptr<Request>& read);
  void Cancel(std::deque<std::shared_ptr<Request>>& requests);

  Machine& m_machine;
  std::map<std::string, std::unique_ptr<Device>, CaseInsensitiveLess> m_devices;
  std::map<ULONG_PTR, std::unique_ptr<Port>> m_ports;
  std::map<DWORD, std::string> m_messages;
  ULONG_PTR m_nextHandle = 0x6000;
};

}  // namespace sim
