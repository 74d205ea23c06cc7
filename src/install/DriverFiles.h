// Helpers the two driver paths share: the environment names, the driver
// record, and text that must fit the limits Windows and the driver records
// set.
#pragma once

#include <string>

#include "framework/cstring.h"
#include "platform/platform.h"

// The environment names of the spooler's driver records.
constexpr const char* kEnvironmentX86 = "Windows NT x86";
constexpr const char* kEnvironmentX64 = "Windows x64";

// Adds one name to a NUL-separated list; false when the list, with its
// final empty name, would no longer fit `limit` bytes.
bool AppendToFileList(std::string& list, const CString& name, size_t limit);

// The refusal when a driver directory or a path in it is too long for the
// buffers and records Windows gives.
extern const char kDriverFolderTooLong[];

// Why the driver directory cannot be used when GetPrinterDriverDirectoryA
// failed: too long a path for `size` bytes, or the spooler's error.
CString DriverDirectoryRefusal(DWORD needed, DWORD size, DWORD error);
// The refusal when the folder the label monitor goes to cannot be read: the
// Windows folder (64-bit Windows, for SysWOW64) or the system folder.
CString SystemFolderRefusal(bool windowsFolder, DWORD error);

// Ends a file list with its empty name.
void EndFileList(std::string& list);

// The driver record both paths register: version 2 for Windows NT 4.0
// (version code 4), else 3; the data type RAW.
plat::DriverInfo3 MakeDriverRecord(int osVersionCode, const CString& name, const char* environment,
                                   const CString& driverPath, const CString& dataFile,
                                   const CString& configFile, const CString& helpFile,
                                   const std::string& dependentFiles, const char* monitorName);
