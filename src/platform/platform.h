// The installer's one way into Windows.
//
// Each interface groups the calls of one Windows service. Method names and
// arguments follow the Win32 functions they stand for, so that the
// installer's code reads like the Windows program it is; where Win32 only
// marshals records through caller buffers the interface hands back plain
// C++ values instead. Two implementations exist: the real calls (Windows
// build, src/platform/win32) and the simulated machine (host build,
// src/host/sim). The process installs one set at start.
//
// Every string crossing this boundary is UTF-8, whatever the machine's ANSI
// code page: the "A" in a method name names the Win32 function the call
// stands for, not the encoding. The Win32 side converts once, to and from
// UTF-16 for the wide-character functions; sizes the installer gives and
// gets back count UTF-8 bytes. The one exception, text for an outside
// library with an ANSI interface, goes through ConvertToAnsiCodePage.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

namespace plat {

typedef DWORD(WINAPI* ThreadProc)(LPVOID param);

// Version queries, last error and run-time library loading.
class ISystem {
 public:
  virtual ~ISystem() = default;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;
  // info->dwOSVersionInfoSize tells the plain (148) or extended (156) record.
  virtual BOOL GetVersionExA(OSVERSIONINFOA* info) = 0;
  virtual HMODULE GetModuleHandleA(LPCSTR name) = 0;
  virtual HMODULE LoadLibraryA(LPCSTR name) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;
  virtual FARPROC GetProcAddress(HMODULE module, LPCSTR name) = 0;
  virtual HANDLE GetCurrentProcess() = 0;
  // `text` in the ANSI code page, for a library whose interface is ANSI
  // (the archive library's command line). WideCharToMultiByte(CP_ACP) with
  // no best fit: FALSE with ERROR_NO_UNICODE_TRANSLATION when a character
  // has no form in the code page, rather than a look-alike naming another
  // file.
  virtual BOOL ConvertToAnsiCodePage(LPCSTR text, std::string* ansi) = 0;

  // Process token privileges.
  virtual BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) = 0;
  virtual BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid) = 0;
  // Sets one privilege's attributes (SE_PRIVILEGE_ENABLED), no previous
  // state asked for.
  virtual BOOL AdjustTokenPrivileges(HANDLE token, const LUID& luid, DWORD attributes) = 0;
  // CheckTokenMembership of the calling thread's token in the built-in
  // Administrators group. FALSE in *isMember for a standard user, and for an
  // administrator whose token UAC filtered (the group is deny-only there).
  virtual BOOL CheckAdministratorsMembership(BOOL* isMember) = 0;
  // The NetBIOS name; `size` in: the buffer's bytes, out: the name's
  // length (without NUL), or the bytes needed with ERROR_BUFFER_OVERFLOW.
  virtual BOOL GetComputerNameA(LPSTR buffer, DWORD* size) = 0;
  // WindowsProtectedPrintInfo.IsProtectedPrintEnabled, the Windows Runtime
  // query for Windows Protected Print mode (Windows 11 24H2 on). FALSE,
  // with *enabled FALSE, where Windows has no such class or it cannot be
  // reached.
  virtual BOOL IsProtectedPrintEnabled(BOOL* enabled) = 0;
};

// Threads, events, waits and time. CloseHandle closes any kernel handle
// (threads, events, tokens, files).
class IThreads {
 public:
  virtual ~IThreads() = default;
  virtual HANDLE CreateThread(ThreadProc proc, LPVOID param, DWORD* threadId) = 0;
  virtual HANDLE CreateEventA(BOOL manualReset, BOOL initialState) = 0;
  virtual BOOL SetEvent(HANDLE event) = 0;
  virtual BOOL ResetEvent(HANDLE event) = 0;
  virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
  virtual DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                       DWORD milliseconds) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual DWORD GetTickCount() = 0;
  virtual DWORD GetCurrentThreadId() = 0;
  // A named mutex, not owned (no security attributes). When the name
  // exists already the handle is to that mutex and the last error is
  // ERROR_ALREADY_EXISTS; a name held by another user's process may fail
  // with ERROR_ACCESS_DENIED instead.
  virtual HANDLE CreateMutexA(LPCSTR name) = 0;
  // The wall clock: UTC, and the machine's local time.
  virtual void GetSystemTime(SYSTEMTIME* time) = 0;
  virtual void GetLocalTime(SYSTEMTIME* time) = 0;
};

// The registry, with the Win32 return codes (ERROR_SUCCESS and the rest).
class IRegistry {
 public:
  virtual ~IRegistry() = default;
  virtual LONG RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result) = 0;
  virtual LONG RegCreateKeyExA(HKEY parent, LPCSTR subKey, REGSAM access, HKEY* result) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
  virtual LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                             DWORD* dataBytes) = 0;
  virtual LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD* type, BYTE* data, DWORD* dataBytes) = 0;
  virtual LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD dataBytes) = 0;
  // Deletes a key without subkeys (Win32 refuses one with subkeys).
  virtual LONG RegDeleteKeyA(HKEY parent, LPCSTR subKey) = 0;
  virtual LONG RegDeleteValueA(HKEY key, LPCSTR name) = 0;
};

// One entry of a file search.
struct FindData {
  std::string fileName;
  DWORD attributes = 0;
};

// Files, folders and profile (INI) reading, with Windows paths.
class IFiles {
 public:
  virtual ~IFiles() = default;
  virtual DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) = 0;
  virtual UINT GetSystemDirectoryA(LPSTR buffer, UINT size) = 0;
  virtual UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) = 0;
  virtual DWORD GetFileAttributesA(LPCSTR path) = 0;
  virtual BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) = 0;
  virtual BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) = 0;
  virtual BOOL DeleteFileA(LPCSTR path) = 0;
  virtual BOOL CreateDirectoryA(LPCSTR path) = 0;
  virtual BOOL RemoveDirectoryA(LPCSTR path) = 0;
  // A search handle, or INVALID_HANDLE_VALUE when nothing matches.
  virtual HANDLE FindFirstFileA(LPCSTR pattern, FindData* data) = 0;
  virtual BOOL FindNextFileA(HANDLE search, FindData* data) = 0;
  virtual BOOL FindClose(HANDLE search) = 0;
  virtual DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR file) = 0;
  virtual DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                         DWORD size, LPCSTR file) = 0;
};

// The service control manager.
class IServices {
 public:
  virtual ~IServices() = default;
  virtual SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) = 0;
  virtual SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) = 0;
  virtual BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) = 0;
  virtual BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) = 0;
  virtual BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) = 0;
  virtual BOOL CloseServiceHandle(SC_HANDLE handle) = 0;
};

// One PORT_INFO_2 record, with its strings as the spooler gave their bytes.
struct PortInfo2 {
  std::string portName;
  std::string monitorName;
  std::string description;
  DWORD portType = 0;
};

// A DRIVER_INFO_3 record. `dependentFiles` holds the NUL-separated names
// with the terminating empty name, exactly the bytes handed to Windows.
struct DriverInfo3 {
  DWORD version = 0;
  std::string name;
  std::string environment;
  std::string driverPath;
  std::string dataFile;
  std::string configFile;
  std::string helpFile;
  std::string dependentFiles;
  std::string monitorName;
  std::string defaultDataType;
};

// A MONITOR_INFO_2 record.
struct MonitorInfo2 {
  std::string name;
  std::string environment;
  std::string dllName;
};

// The fields of a PRINTER_INFO_2 record the installer sets or reads; every
// other field is zero. AddPrinterA takes `attributes`, never the read-only
// `status` and `jobCount`.
struct PrinterInfo2 {
  std::string printerName;
  std::string portName;
  std::string driverName;
  std::string printProcessor;
  std::string dataType;
  DWORD attributes = 0;  // PRINTER_ATTRIBUTE_...
  DWORD status = 0;      // PRINTER_STATUS_...
  DWORD jobCount = 0;    // cJobs
};

// The fields of a JOB_INFO_2 record a queue report reads.
struct JobInfo2 {
  DWORD jobId = 0;
  std::string document;
  std::string statusText;  // pStatus: the port monitor's own words, often empty
  DWORD status = 0;        // JOB_STATUS_...
  DWORD size = 0;          // bytes spooled
  DWORD pagesPrinted = 0;
  SYSTEMTIME submitted = {};  // UTC
};

// The Standard TCP/IP port monitor's PORT_DATA_1 record (tcpxcv.h), as far
// as a raw port needs it; the Win32 side fills the wide-character record.
struct TcpipPortData {
  std::string portName;     // at most 63 characters
  std::string hostAddress;  // at most 48 characters
  DWORD portNumber = 9100;
  DWORD protocol = 1;  // PROTOCOL_RAWTCP_TYPE
};

// The print spooler of the local machine (no call names a server).
class ISpooler {
 public:
  virtual ~ISpooler() = default;
  // Level 2: every port in the spooler's order. The Win32 side sizes its
  // buffer with the usual probe call first.
  virtual BOOL EnumPortsA(std::vector<PortInfo2>* ports) = 0;
  // Level 1. `needed` gets the size the path takes, with its NUL.
  virtual BOOL GetPrinterDriverDirectoryA(LPCSTR environment, LPSTR buffer, DWORD size, DWORD* needed) = 0;
  // Level 3.
  virtual BOOL AddPrinterDriverExA(const DriverInfo3& info, DWORD flags) = 0;
  virtual BOOL DeleteMonitorA(LPCSTR environment, LPCSTR monitorName) = 0;
  // Level 2: every monitor installed, sized like EnumPortsA.
  virtual BOOL EnumMonitorsA(std::vector<MonitorInfo2>* monitors) = 0;
  // Level 2 (MONITOR_INFO_2).
  virtual BOOL AddMonitorA(LPCSTR monitorName, LPCSTR environment, LPCSTR dllName) = 0;
  // The defaults record: `dataType`, no device mode, `access`.
  virtual BOOL OpenPrinterA(LPCSTR printerName, HANDLE* printer, LPCSTR dataType, DWORD access) = 0;
  // Level 0: a printer control command (PRINTER_CONTROL_PURGE).
  virtual BOOL SetPrinterA(HANDLE printer, DWORD command) = 0;
  virtual BOOL DeletePrinter(HANDLE printer) = 0;
  virtual BOOL ClosePrinter(HANDLE printer) = 0;
  // Level 2.
  virtual HANDLE AddPrinterA(const PrinterInfo2& info) = 0;
  // Level 2, with `flags` (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS).
  virtual BOOL EnumPrintersA(DWORD flags, std::vector<PrinterInfo2>* printers) = 0;
  // The port monitor's own dialogs: its Add Port wizard, its configuration
  // sheet; TRUE when the user went through with it.
  virtual BOOL AddPortA(HWND owner, LPCSTR monitorName) = 0;
  virtual BOOL ConfigurePortA(HWND owner, LPCSTR portName) = 0;
  virtual BOOL DeletePortA(HWND owner, LPCSTR portName) = 0;
  // DeletePrinterDriverExA of the local server, any version (no version
  // flag): refused with ERROR_PRINTER_DRIVER_IN_USE while a printer uses
  // the driver; DPD_DELETE_UNUSED_FILES also deletes its files no other
  // driver shares.
  virtual BOOL DeletePrinterDriverExA(LPCSTR environment, LPCSTR driverName, DWORD deleteFlags) = 0;
  // XcvDataW(xcv, L"AddPort", PORT_DATA_1, ...) on a handle OpenPrinterA
  // gave for ",XcvMonitor Standard TCP/IP Port" (SERVER_ACCESS_ADMINISTER).
  // TRUE when the call went through; `status` then holds the monitor's
  // own result (ERROR_SUCCESS when the port was made).
  virtual BOOL XcvDataAddPort(HANDLE xcv, const TcpipPortData& port, DWORD* status) = 0;

  // Level 2 of one open printer, with its status and job count.
  virtual BOOL GetPrinterA(HANDLE printer, PrinterInfo2* info) = 0;
  // Level 2: every job in the printer's queue, in the queue's order.
  virtual BOOL EnumJobsA(HANDLE printer, std::vector<JobInfo2>* jobs) = 0;
  // A document of `dataType` ("RAW": the bytes go to the port untouched,
  // DOC_INFO_1 without an output file): the job id, or 0.
  virtual DWORD StartDocPrinterA(HANDLE printer, LPCSTR documentName, LPCSTR dataType) = 0;
  virtual BOOL WritePrinter(HANDLE printer, LPCVOID data, DWORD size, DWORD* written) = 0;
  virtual BOOL EndDocPrinter(HANDLE printer) = 0;
};

// What a device context's selected font measures (TEXTMETRIC), as far as
// laying out lines of text needs it.
struct TextMetrics {
  LONG height = 0;           // tmHeight: ascent plus descent
  LONG externalLeading = 0;  // tmExternalLeading: the font's advice between lines
};

// Printing through a printer's driver with GDI: the driver draws each page
// in the printer's own language and the spooler queues the job. The int
// calls return what Windows returns: above zero when they succeed (StartDoc
// the job id), zero or less when they fail.
class IPrinterDrawing {
 public:
  virtual ~IPrinterDrawing() = default;
  // CreateDC of the printer `printerName` with the driver's defaults: the
  // driver is loaded here, so a driver that cannot load fails this call
  // with nullptr.
  virtual HDC CreateDCA(LPCSTR printerName) = 0;
  virtual BOOL DeleteDC(HDC dc) = 0;
  // StartDoc with DOCINFO naming the document only (no output file, the
  // driver's own data type).
  virtual int StartDocA(HDC dc, LPCSTR documentName) = 0;
  virtual int StartPage(HDC dc) = 0;
  // One line of text with its upper left corner at (x, y), in the device's
  // units.
  virtual BOOL TextOutA(HDC dc, int x, int y, LPCSTR text) = 0;
  virtual BOOL GetTextMetricsA(HDC dc, TextMetrics* metrics) = 0;
  virtual int EndPage(HDC dc) = 0;
  virtual int EndDoc(HDC dc) = 0;
  // Ends a started document without printing it.
  virtual int AbortDoc(HDC dc) = 0;
};

// A connected TCP socket, or kInvalidSocket.
typedef UINT_PTR SocketHandle;
constexpr SocketHandle kInvalidSocket = ~static_cast<SocketHandle>(0);
// The Winsock errors a status request meets (WSAGetLastError).
constexpr int kWsaInvalidArgument = 10022;    // WSAEINVAL: no dotted IPv4 address
constexpr int kWsaTimedOut = 10060;           // WSAETIMEDOUT
constexpr int kWsaConnectionRefused = 10061;  // WSAECONNREFUSED
constexpr int kWsaNotInitialised = 10093;     // WSANOTINITIALISED: no Winsock on the machine

// TCP over IPv4 (Winsock), for asking a network printer itself. Every call
// is bounded: nothing here waits longer than the time-out it is given.
class INetwork {
 public:
  virtual ~INetwork() = default;
  // socket and connect to `address` (dotted IPv4, nothing resolved) and
  // `port`, given at most `timeoutMs`.
  virtual SocketHandle ConnectA(LPCSTR address, WORD port, DWORD timeoutMs) = 0;
  // send: the bytes sent, or -1.
  virtual int send(SocketHandle socket, const char* data, int size) = 0;
  // select for at most `timeoutMs`, then recv: the bytes read, 0 when the
  // peer closed, -1 (kWsaTimedOut) when nothing came in time.
  virtual int RecvWithin(SocketHandle socket, char* buffer, int size, DWORD timeoutMs) = 0;
  virtual int closesocket(SocketHandle socket) = 0;
  virtual int WSAGetLastError() = 0;
};

// Message boxes not owned by a dialog of the framework (the framework's own
// boxes go through the same call).
class IUser {
 public:
  virtual ~IUser() = default;
  virtual int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) = 0;
};

// A critical section: one thread at a time between Enter and Leave; the
// thread that holds it may enter again (counted, as Win32's).
class CriticalSection {
 public:
  virtual ~CriticalSection() = default;
  virtual void Enter() = 0;
  virtual void Leave() = 0;
};

// Holds a critical section for a scope.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : m_section(section) { m_section.Enter(); }
  ~CriticalSectionLock() { m_section.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& m_section;
};

// COM ports with overlapped I/O, the system's error texts and the critical
// sections that guard a port. A port handle is closed with
// IThreads::CloseHandle, like any kernel handle.
class IComm {
 public:
  virtual ~IComm() = default;
  // CreateFileA without security attributes or template (a port name such
  // as "\\.\COM3"); INVALID_HANDLE_VALUE when it fails.
  virtual HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, DWORD creation, DWORD flags) = 0;
  virtual BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) = 0;
  virtual BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetCommMask(HANDLE port, DWORD mask) = 0;
  virtual BOOL GetCommMask(HANDLE port, DWORD* mask) = 0;
  virtual BOOL GetCommState(HANDLE port, DCB* dcb) = 0;
  virtual BOOL BuildCommDCBA(LPCSTR definition, DCB* dcb) = 0;
  virtual BOOL SetCommState(HANDLE port, const DCB* dcb) = 0;
  virtual BOOL PurgeComm(HANDLE port, DWORD flags) = 0;
  // The overlapped calls: FALSE with ERROR_IO_PENDING while the request
  // runs; `overlapped` must live until it completes.
  virtual BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* overlapped) = 0;
  virtual BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) = 0;
  virtual BOOL ReadFile(HANDLE port, LPVOID buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) = 0;
  virtual BOOL WriteFile(HANDLE port, LPCVOID data, DWORD size, DWORD* done, OVERLAPPED* overlapped) = 0;
  virtual BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* done, BOOL wait) = 0;
  // The system's text for an error code as FormatMessage gives it (UTF-8,
  // with its line break); empty when the system has none.
  virtual std::string FormatMessageA(DWORD error) = 0;
  virtual std::unique_ptr<CriticalSection> CreateCriticalSection() = 0;
};

// A run-time looked-up export as the function type it really has (through
// the one generic function pointer type the compilers accept for that).
template <typename Function>
Function ProcAs(FARPROC proc) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

struct Platform {
  ISystem* system = nullptr;
  IThreads* threads = nullptr;
  IRegistry* registry = nullptr;
  IFiles* files = nullptr;
  IServices* services = nullptr;
  ISpooler* spooler = nullptr;
  IUser* user = nullptr;
  IComm* comm = nullptr;
  INetwork* network = nullptr;
  IPrinterDrawing* drawing = nullptr;
};

// The process-wide set; Install is called once before anything else runs
// (tests install a fresh simulated machine per test).
void Install(const Platform& platform);
const Platform& Current();

inline ISystem& System() { return *Current().system; }
inline IThreads& Threads() { return *Current().threads; }
inline IRegistry& Registry() { return *Current().registry; }
inline IFiles& Files() { return *Current().files; }
inline IServices& Services() { return *Current().services; }
inline ISpooler& Spooler() { return *Current().spooler; }
inline IUser& User() { return *Current().user; }
inline IComm& Comm() { return *Current().comm; }
inline INetwork& Network() { return *Current().network; }
inline IPrinterDrawing& Drawing() { return *Current().drawing; }

}  // namespace plat
