// conformance.exe: the conformance groups against the real Win32 layer
// (run under Wine in a 32-bit and a 64-bit prefix by the Wine scenario
// "conformance"). Exit code 0 only when no case failed.
#include <cstdio>
#include <string>

#include "harness.h"
#include "platform/win32/utf16.h"
#include "platform/win32/win32_platform.h"

namespace {

using plat::win32::Utf8ToWide;

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(Utf8ToWide(path.c_str()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL done = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return done && written == bytes.size();
}

// A private folder under the user's temporary folder, made afresh.
std::string MakeTempFolder() {
  wchar_t temp[MAX_PATH];
  const DWORD length = ::GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return std::string();
  std::string folder = plat::win32::WideToUtf8(temp) + "installer-conformance-" +
                       std::to_string(static_cast<unsigned long>(::GetCurrentProcessId()));
  if (!::CreateDirectoryW(Utf8ToWide(folder.c_str()).c_str(), nullptr)) return std::string();
  return folder;
}

}  // namespace

int main() {
  plat::InstallWin32Platform();
  conformance::Backend backend;
  backend.name = "Win32";
  backend.tempFolder = MakeTempFolder();
  if (backend.tempFolder.empty()) {
    std::printf("no temporary folder could be made (error %lu)\n",
                static_cast<unsigned long>(::GetLastError()));
    return 2;
  }
  backend.writeFile = WriteWholeFile;
  backend.deleteUserKeyTree = [](const std::string& subKey) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Utf8ToWide(subKey.c_str()).c_str());
  };
  // A free port from COM10 on, named by the run (under Wine a scenario maps
  // one to a pseudo-terminal); without it the COM cases are skipped.
  wchar_t comPort[16];
  const DWORD comLength = ::GetEnvironmentVariableW(L"CONFORMANCE_COM_PORT", comPort, 16);
  if (comLength > 0 && comLength < 16) backend.highComPort = plat::win32::WideToUtf8(comPort);
  backend.noComPortReason = "CONFORMANCE_COM_PORT names none for this run";
  // A port monitor DLL the run placed in the system folder, by file name.
  wchar_t monitorDll[MAX_PATH];
  const DWORD monitorLength = ::GetEnvironmentVariableW(L"CONFORMANCE_MONITOR_DLL", monitorDll, MAX_PATH);
  if (monitorLength > 0 && monitorLength < MAX_PATH) backend.monitorDll = plat::win32::WideToUtf8(monitorDll);
  backend.noMonitorReason = "CONFORMANCE_MONITOR_DLL names none for this run";
  BOOL wow64 = FALSE;
  ::IsWow64Process(::GetCurrentProcess(), &wow64);
  std::printf("conformance.exe on %s%s, in %s\n", conformance::OnWine() ? "Wine" : "Windows",
              wow64 ? " (32-bit process on 64-bit Windows)" : " (32-bit Windows)",
              backend.tempFolder.c_str());

  conformance::TestRegistry(backend);
  conformance::TestFiles(backend);
  conformance::TestServices(backend);
  conformance::TestSpooler(backend);
  conformance::TestSpoolerInstall(backend);
  conformance::TestComm(backend);
  conformance::TestQueue(backend);
  conformance::TestLastError(backend);

  ::RemoveDirectoryW(Utf8ToWide(backend.tempFolder.c_str()).c_str());
  const conformance::Totals& totals = conformance::Results();
  std::printf("conformance: %d passed, %d failed, %d skipped, %d Wine differences\n", totals.passed,
              totals.failed, totals.skipped, totals.differences);
  return totals.failed == 0 ? 0 : 1;
}
