#include "install/DriverFiles.h"

bool AppendToFileList(std::string& list, const CString& name, size_t limit) {
  // Each name takes its NUL; the list's end takes one more.
  if (list.size() + static_cast<size_t>(name.GetLength()) + 2 > limit) return false;
  list += name.str();
  list += '\0';
  return true;
}

void EndFileList(std::string& list) { list += '\0'; }

plat::DriverInfo3 MakeDriverRecord(int osVersionCode, const CString& name, const char* environment,
                                   const CString& driverPath, const CString& dataFile,
                                   const CString& configFile, const CString& helpFile,
                                   const std::string& dependentFiles, const char* monitorName) {
  plat::DriverInfo3 info;
  info.version = osVersionCode == 4 ? 2 : 3;
  info.name = name.str();
  info.environment = environment;
  info.driverPath = driverPath.str();
  info.dataFile = dataFile.str();
  info.configFile = configFile.str();
  info.helpFile = helpFile.str();
  info.dependentFiles = dependentFiles;
  info.monitorName = monitorName;
  info.defaultDataType = "RAW";
  return info;
}

const char kDriverFolderTooLong[] =
    "The printer driver folder of this Windows has too long a path; the driver was not installed.";

CString DriverDirectoryRefusal(DWORD needed, DWORD size, DWORD error) {
  if (needed > size) return kDriverFolderTooLong;
  CString text;
  text.Format(
      "The printer driver folder of this Windows could not be read (error %lu); the driver was not "
      "installed.",
      static_cast<unsigned long>(error));
  return text;
}

CString SystemFolderRefusal(bool windowsFolder, DWORD error) {
  CString text;
  text.Format("The %s folder could not be read (error %lu); the driver was not installed.",
              windowsFolder ? "Windows" : "system", static_cast<unsigned long>(error));
  return text;
}
