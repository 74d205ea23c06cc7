// A small conformance harness in the manner of Wine's own tests: each case
// sets the last error to a marker before the call, then reports what came
// back against what documented Windows answers. One source runs against the
// simulated machine (host suite) and against the real Win32 layer
// (conformance.exe under Wine or Windows).
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace conformance {

// Set before each call: a value no call sets by itself, so a call that
// leaves the last error alone is told from one that sets it.
constexpr DWORD kLastErrorMarker = 0xdeadbeef;

// What only the side running the suite can do: the fixtures the boundary
// has no call for, and the clean-up after a run on a real machine.
struct Backend {
  std::string name;
  // An empty folder of its own (Windows path, no trailing separator).
  std::string tempFolder;
  // Writes a file with exactly these bytes.
  std::function<bool(const std::string& path, const std::string& bytes)> writeFile;
  // Removes HKEY_CURRENT_USER\<subKey> and everything under it.
  std::function<void(const std::string& subKey)> deleteUserKeyTree;
  // An installed port monitor with a printer on one of its ports; empty
  // when this side has none.
  std::string monitorInUse;
  // A free COM port numbered 10 or above ("COM12"); empty when this side
  // has none, and the COM cases are skipped.
  std::string highComPort;
  // Why there is none, for the skip line.
  std::string noComPortReason;
  // The file name of a working port monitor DLL for the machine's own
  // environment, placed in the spooler's system folder; empty when this
  // side has none, and the monitor is not added.
  std::string monitorDll;
  std::string noMonitorReason;
};

struct Totals {
  int passed = 0;
  int failed = 0;
  int skipped = 0;
  int differences = 0;  // recorded Wine differences met
};

// True when the Win32 layer runs on Wine (ntdll exports wine_get_version).
bool OnWine();
void BeginGroup(const char* name);
const Totals& Results();
void ResetResults();

void Ok(const char* file, int line, bool condition, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// Documented Windows' answer is `condition`; under Wine `wineAnswer` is
// accepted too, counted as the named difference (docs/WINE.md's table).
void OkOrWine(const char* file, int line, bool condition, bool wineAnswer, const char* difference,
              const char* format, ...) __attribute__((format(printf, 6, 7)));
void Skip(const char* file, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline void MarkLastError() { plat::System().SetLastError(kLastErrorMarker); }
inline DWORD LastError() { return plat::System().GetLastError(); }

// The environment of the machine's own drivers and monitors: "Windows x64"
// on 64-bit Windows, else "Windows NT x86".
std::string NativeEnvironment();

// The groups, one per interface.
void TestRegistry(const Backend& backend);
void TestFiles(const Backend& backend);
void TestServices(const Backend& backend);
void TestSpooler(const Backend& backend);
void TestSpoolerInstall(const Backend& backend);
void TestComm(const Backend& backend);
void TestQueue(const Backend& backend);
void TestLastError(const Backend& backend);

}  // namespace conformance

#define ok(condition, ...) ::conformance::Ok(__FILE__, __LINE__, (condition), __VA_ARGS__)
#define ok_or_wine(condition, wineAnswer, difference, ...) \
  ::conformance::OkOrWine(__FILE__, __LINE__, (condition), (wineAnswer), (difference), __VA_ARGS__)
#define skip(...) ::conformance::Skip(__FILE__, __LINE__, __VA_ARGS__)
