// comm_probe: the installer's serial channel (CSerialPort on the real Win32
// platform and window framework) against COM ports, for the Wine runs.
// Opens COMn, sends a status request and prints every byte its owner window
// receives through WM_USER+7 within the wait, then closes the port. Several
// ports (PORT may be a list, "5,6,8") are probed in turn with one channel,
// as the installer does.
//
// Usage: comm_probe.exe PORT[,PORT...] [BAUD [REQUEST-HEX [WAIT-MS]]]
//        (defaults: 9600, 100401, 700)
// Exit code: 0 a reply came (from any port), 1 none, 2 no port opened or a
// monitor did not start, 3 bad arguments.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>

#include "framework/wnd.h"
#include "platform/win32/win32_platform.h"
#include "serial/SerialPort.h"

namespace {

// The owner window: counts and prints what the monitor thread sends.
class ProbeWnd : public CWnd {
 public:
  LRESULT OnByte(WPARAM wParam, LPARAM lParam) {
    std::printf("byte %02X from COM%d after %lu ms\n", static_cast<unsigned>(wParam & 0xFF),
                static_cast<int>(lParam), static_cast<unsigned long>(::GetTickCount() - m_start));
    std::fflush(stdout);
    ++bytes;
    return 0;
  }
  LRESULT OnEventChar(WPARAM, LPARAM) {
    ++eventCharMessages;
    return 0;
  }
  void Start() { m_start = ::GetTickCount(); }

  int bytes = 0;
  int eventCharMessages = 0;

 private:
  DWORD m_start = 0;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeWnd, CWnd)
ON_MESSAGE(WM_SERIAL_BYTE, &ProbeWnd::OnByte)
ON_MESSAGE(WM_SERIAL_EVENT_CHAR, &ProbeWnd::OnEventChar)
END_MESSAGE_MAP()

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (CWnd* wnd = CWnd::FromHandlePermanent(hwnd)) return wnd->WindowProc(message, wParam, lParam);
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// Handles messages (the monitor's sends among them) until `milliseconds`
// have passed.
void Pump(DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
  }
}

bool ParseHex(const char* text, std::string* bytes) {
  std::string digits;
  for (const char* p = text; *p; ++p)
    if (*p != ' ') digits += *p;
  if (digits.empty() || digits.size() % 2 != 0) return false;
  for (size_t i = 0; i < digits.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = digits.substr(i, 2);
    const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
    if (*end) return false;
    bytes->push_back(static_cast<char>(value));
  }
  return true;
}

// Probes one port with `serial`; 0 a reply came, 1 none, 2 not opened or
// no monitor.
int ProbePort(CSerialPort& serial, ProbeWnd& owner, int port, UINT baud, const std::string& request,
              DWORD wait) {
  if (serial.m_hPort) serial.ClosePort();
  owner.bytes = 0;
  owner.eventCharMessages = 0;
  LARGE_INTEGER frequency, before, after;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&before);
  const BOOL opened = serial.OpenPort(&owner, port, baud, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512);
  ::QueryPerformanceCounter(&after);
  // How long the open took (or took to fail): what probing a port costs
  // besides its wait.
  std::printf("COM%d: open %s in %.3f ms\n", port, opened ? "succeeded" : "failed",
              1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                  static_cast<double>(frequency.QuadPart));
  if (!opened) {
    std::printf("COM%d: OpenPort failed (error %lu)\n", port, static_cast<unsigned long>(::GetLastError()));
    return 2;
  }
  if (!serial.StartMonitor()) {
    std::printf("COM%d: StartMonitor failed\n", port);
    serial.ClosePort();
    return 2;
  }
  std::printf("COM%d: open at %u baud, sending", port, baud);
  for (char c : request) std::printf(" %02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
  std::printf("\n");
  std::fflush(stdout);
  owner.Start();
  serial.SendBytes(request.data(), static_cast<int>(request.size()));
  Pump(wait);
  const DWORD closing = ::GetTickCount();
  serial.ClosePort();
  std::printf("COM%d: %d byte(s) and %d event-character message(s) within %lu ms; closed in %lu ms\n", port,
              owner.bytes, owner.eventCharMessages, static_cast<unsigned long>(wait),
              static_cast<unsigned long>(::GetTickCount() - closing));
  std::fflush(stdout);
  return owner.bytes > 0 ? 0 : 1;
}

// "5,6,8" gives 5, 6 and 8; anything else but positive numbers fails.
bool ParsePorts(const char* text, std::vector<int>* ports) {
  const char* p = text;
  while (*p) {
    char* end = nullptr;
    const long port = std::strtol(p, &end, 10);
    if (end == p || port <= 0 || port > 255 || (*end && *end != ',')) return false;
    ports->push_back(static_cast<int>(port));
    p = *end ? end + 1 : end;
  }
  return !ports->empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> ports;
  const UINT baud = argc > 2 ? static_cast<UINT>(std::strtoul(argv[2], nullptr, 10)) : 9600;
  std::string request;
  const DWORD wait = argc > 4 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) : 700;
  if (argc < 2 || !ParsePorts(argv[1], &ports) || baud == 0 ||
      !ParseHex(argc > 3 ? argv[3] : "100401", &request)) {
    std::fprintf(stderr, "usage: comm_probe.exe PORT[,PORT...] [BAUD [REQUEST-HEX [WAIT-MS]]]\n");
    return 3;
  }
  plat::InstallWin32Platform();

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ProbeProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"CommProbeOwner";
  ::RegisterClassW(&windowClass);
  HWND hwnd = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
  if (!hwnd) {
    std::printf("cannot create the owner window (error %lu)\n", static_cast<unsigned long>(::GetLastError()));
    return 2;
  }
  ProbeWnd owner;
  owner.Attach(hwnd);

  int code = 2;
  {
    CSerialPort serial;
    for (int port : ports) code = std::min(code, ProbePort(serial, owner, port, baud, request, wait));
  }
  owner.Detach();
  ::DestroyWindow(hwnd);
  std::fflush(stdout);
  return code;
}
