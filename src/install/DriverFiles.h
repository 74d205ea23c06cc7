// Helpers the two driver paths share: the driver record, the checks that
// its text fits the limits Windows and the driver records set, and the
// refusals.
#pragma once

#include <string>

#include "framework/cstring.h"
#include "package/ModelDriver.h"
#include "platform/platform.h"

// Whether every path the record names, in `directory`, fits its size.
bool DriverPathsFit(const ModelDriver& driver, const CString& directory);

// The record's dependent files as the NUL-separated list it carries, ended
// by an empty name; false when that would not fit its size.
bool MakeDependentList(const ModelDriver& driver, std::string& list);

// The refusal when a driver directory or a path in it is too long for the
// buffers and records Windows gives.
extern const char kDriverFolderTooLong[];
// The refusal when the dependent files would not fit the record.
extern const char kFileListTooLong[];

// Why the driver directory cannot be used when GetPrinterDriverDirectoryA
// failed: too long a path for `size` bytes, or the spooler's error.
CString DriverDirectoryRefusal(DWORD needed, DWORD size, DWORD error);
// The refusal when the folder the label monitor goes to cannot be read: the
// Windows folder (64-bit Windows, for SysWOW64) or the system folder.
CString SystemFolderRefusal(bool windowsFolder, DWORD error);

// The driver record both paths register, its files in `directory`: version
// 2 for Windows NT 4.0, else 3; the data type RAW.
plat::DriverInfo3 MakeDriverRecord(int osVersionCode, const ModelDriver& driver, const CString& directory,
                                   const std::string& dependentFiles);
