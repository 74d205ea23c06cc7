#include "package/ModelDriver.h"

#include <cstring>

#include "package/ModelTables.h"
#include "package/PackageLocations.h"

// The rule lives here rather than beside the tables, which drvpack compiles
// into itself without the installation's code.
const char* ReceiptResourceName(int row, const char* chosenName) {
  // The last group takes every row after the others.
  int group = 0;
  for (int end = kReceiptGroups[0].size; group < 3 && row >= end; end += kReceiptGroups[group].size) ++group;
  const ReceiptGroup& rule = kReceiptGroups[group];
  const bool exception = rule.exceptionName && std::strcmp(rule.exceptionName, chosenName) == 0;
  return exception ? rule.exceptionResourceName : rule.resourceName;
}

namespace {

// The universal driver's own files, as its record names them.
constexpr const char* kUnidrvDriverFile = "uniDRV.DLL";
constexpr const char* kUnidrvConfigFile = "uniDRVui.DLL";
constexpr const char* kUnidrvHelpFile = "uniDRV.HLP";
constexpr const char* kUnidrvDependents[3] = {"\\ttfsub.GPD", "\\unires.DLL", "\\stdnames.GPD"};

ModelDriver DescribeReceipt(int row, const char* chosenName, bool x64) {
  const ReceiptModel& model = kReceiptModels[row];
  const std::string folder = x64 ? kReceiptFilesX64 : kReceiptFilesX86;
  const std::string resource = std::string(ReceiptResourceName(row, chosenName)) + ".DLL";
  const std::string gpd = std::string(model.gpdBaseName) + ".GPD";
  const std::string pluginDll = std::string(kOemPluginBaseName) + ".dll";
  const std::string pluginIni = std::string(kOemPluginBaseName) + ".ini";

  ModelDriver driver;
  driver.driverName = model.driverName;
  driver.pathSize = 260;
  driver.dependentListSize = 255;
  driver.driverFile = kUnidrvDriverFile;
  driver.dataFile = gpd;
  driver.configFile = kUnidrvConfigFile;
  driver.helpFile = kUnidrvHelpFile;
  driver.dependentFiles.assign(std::begin(kUnidrvDependents), std::end(kUnidrvDependents));
  if (model.listsPlugin) {
    driver.dependentFiles.push_back("\\" + pluginIni);
    driver.dependentFiles.push_back("\\" + pluginDll);
  }
  driver.dependentFiles.push_back(resource);

  // The plug-in pair stays in the driver directory after the registration.
  for (const std::string& name : {resource, gpd}) driver.stagedFiles.push_back({folder + name, name, false});
  for (const std::string& name : {pluginDll, pluginIni})
    driver.stagedFiles.push_back({folder + name, name, true});
  for (const char* name : kUnidrvFiles) driver.stagedFiles.push_back({folder + name, name, false});
  return driver;
}

ModelDriver DescribeLabel(int row, bool x64) {
  const LabelModel& model = kLabelModels[row];
  const std::string folder = x64 ? kLabelFilesX64 : kLabelFilesX86;
  std::string family[kLabelFamilySize];
  for (int position = 0; position < kLabelFamilySize; ++position) {
    char name[16] = {};
    LabelFamilyFileName(x64, position, name, sizeof name);
    family[position] = name;
  }
  const std::string data = model.dataBaseName;

  ModelDriver driver;
  driver.label = true;
  driver.driverName = model.driverName;
  driver.pathSize = 200;
  driver.dependentListSize = 500;
  driver.driverFile = family[1];
  driver.dataFile = data + ".DAT";
  driver.configFile = family[2];
  driver.helpFile = kLabelHelpFile;
  for (int position = 3; position < kLabelFamilySize; ++position)
    driver.dependentFiles.push_back("\\" + family[position]);
  driver.dependentFiles.push_back("\\" + data + ".BA0");
  driver.monitorName = kLabelMonitorName;
  driver.monitorFile = family[0];
  driver.monitorSource = folder + family[0];

  // The whole family goes to the driver directory too, the monitor DLL
  // included; none of it stays there.
  for (const std::string& name : family) driver.stagedFiles.push_back({folder + name, name, false});
  driver.stagedFiles.push_back({std::string(kLabelCommonFiles) + kLabelHelpFile, kLabelHelpFile, false});
  for (const char* extension : kLabelDataExtensions)
    driver.stagedFiles.push_back({kLabelCommonFiles + data + extension, data + extension, false});
  return driver;
}

}  // namespace

ModelDriver DescribeModelDriver(int index, const char* chosenName, bool x64) {
  ModelDriver driver = index < kReceiptModelCount ? DescribeReceipt(index, chosenName, x64)
                                                  : DescribeLabel(index - kReceiptModelCount, x64);
  driver.environment = x64 ? kEnvironmentX64 : kEnvironmentX86;
  return driver;
}

std::vector<std::string> RegisteredFileNames(const ModelDriver& driver) {
  std::vector<std::string> names = {driver.driverFile, driver.dataFile, driver.configFile, driver.helpFile};
  for (const std::string& dependent : driver.dependentFiles)
    names.push_back(dependent.substr(dependent.find_last_of('\\') + 1));
  return names;
}
