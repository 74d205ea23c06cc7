// The exit codes deployment systems read (the Windows Installer's
// conventions, which Intune and Configuration Manager already map).
#pragma once

namespace setup {

constexpr int kExitDone = 0;
constexpr int kExitAccessDenied = 5;            // ERROR_ACCESS_DENIED: no administrator rights
constexpr int kExitBadCommandLine = 87;         // ERROR_INVALID_PARAMETER
constexpr int kExitNotFound = 1168;             // ERROR_NOT_FOUND: printer, model or port
constexpr int kExitInstallFailed = 1603;        // ERROR_INSTALL_FAILURE
constexpr int kExitAnotherInstallation = 1618;  // ERROR_INSTALL_ALREADY_RUNNING
constexpr int kExitBlockedByPolicy = 1625;      // ERROR_INSTALL_PACKAGE_REJECTED: Protected Print mode
constexpr int kExitPlatformUnsupported = 1633;  // ERROR_INSTALL_PLATFORM_UNSUPPORTED: ARM64 Windows
// test: the printer is not ready.
constexpr int kExitPrinterProblem = 21;  // ERROR_NOT_READY: the printer or the spooler reports a problem
constexpr int kExitNoAnswer = 1460;      // ERROR_TIMEOUT: the printer does not answer on its port
constexpr int kExitQueueBlocked = 1906;  // ERROR_INVALID_PRINTER_STATE: a job stuck, the queue held

}  // namespace setup
