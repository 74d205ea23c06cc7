#include "install/DriverFiles.h"

#include "app/InstallDlg.h"

namespace {

std::string InFolder(const CString& directory, const std::string& name) {
  return directory.str() + "\\" + name;
}

}  // namespace

bool DriverPathsFit(const ModelDriver& driver, const CString& directory) {
  for (const std::string* name : {&driver.driverFile, &driver.dataFile, &driver.configFile, &driver.helpFile})
    if (InFolder(directory, *name).size() >= static_cast<size_t>(driver.pathSize)) return false;
  return true;
}

bool MakeDependentList(const ModelDriver& driver, std::string& list) {
  list.clear();
  for (const std::string& name : driver.dependentFiles) {
    // Each name takes its NUL; the list's end takes one more.
    if (list.size() + name.size() + 2 > driver.dependentListSize) return false;
    list += name;
    list += '\0';
  }
  list += '\0';
  return true;
}

plat::DriverInfo3 MakeDriverRecord(int osVersionCode, const ModelDriver& driver, const CString& directory,
                                   const std::string& dependentFiles) {
  plat::DriverInfo3 info;
  info.version = osVersionCode == OSVER_WINNT4 ? 2 : 3;
  info.name = driver.driverName;
  info.environment = driver.environment;
  info.driverPath = InFolder(directory, driver.driverFile);
  info.dataFile = InFolder(directory, driver.dataFile);
  info.configFile = InFolder(directory, driver.configFile);
  info.helpFile = InFolder(directory, driver.helpFile);
  info.dependentFiles = dependentFiles;
  info.monitorName = driver.monitorName;
  info.defaultDataType = "RAW";
  return info;
}

const char kDriverFolderTooLong[] =
    "The printer driver folder of this Windows has too long a path; the driver was not installed.";
const char kFileListTooLong[] = "The driver's file list is too long; the driver was not installed.";

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
