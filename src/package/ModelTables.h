// The printer models this installer knows: product data that the driver
// package's catalogue and files must follow, row for row. A catalogue's
// sections are these rows in this order: 28 receipt models, then 5 label
// models.
#pragma once

#include <cstddef>

struct ReceiptModel {
  const char* driverName;   // registered with the spooler, named by the printer
  const char* gpdBaseName;  // the model description file, without ".GPD"
  bool listsPlugin;         // the driver's dependent files name the OEM plug-in
};

struct LabelModel {
  const char* driverName;
  const char* dataBaseName;  // base of the model's .BA0, .DAT and .PP0 files
};

// Model resource DLLs (without ".DLL").
constexpr const char* kDefaultResourceName = "RVRES";
constexpr const char* kAlternateResourceName = "DMRES";
constexpr const char* kGroup3ResourceName = "MPRES";
constexpr const char* kResourceNames[3] = {kDefaultResourceName, kAlternateResourceName, kGroup3ResourceName};

// The receipt models come in groups of consecutive rows. A group's models
// take its resource DLL, except under one catalogue name (the printer name
// the user picked, not the model), which takes another.
struct ReceiptGroup {
  int size;
  const char* resourceName;
  const char* exceptionName;  // null when the group has no exception
  const char* exceptionResourceName;
};

// Rows 0-14, 15-21, 22-26 and 27.
constexpr ReceiptGroup kReceiptGroups[4] = {
    {15, kDefaultResourceName, nullptr, nullptr},
    {7, kDefaultResourceName, "DM4 Series", kAlternateResourceName},
    {5, kGroup3ResourceName, nullptr, nullptr},
    {1, kAlternateResourceName, "KX-702", kDefaultResourceName},
};
constexpr int kReceiptModelCount = 28;
static_assert(kReceiptGroups[0].size + kReceiptGroups[1].size + kReceiptGroups[2].size +
                      kReceiptGroups[3].size ==
                  kReceiptModelCount,
              "the receipt groups hold every receipt model");
constexpr int kLabelModelCount = 5;
constexpr int kCatalogueSectionCount = kReceiptModelCount + kLabelModelCount;

extern const ReceiptModel kReceiptModels[kReceiptModelCount];
extern const LabelModel kLabelModels[kLabelModelCount];

// The resource DLL (without ".DLL") of receipt model `row` when installed
// under the catalogue name `chosenName` (compared exactly); in
// ModelDriver.cpp.
const char* ReceiptResourceName(int row, const char* chosenName);

// The receipt files every model needs besides its GPD and resource DLL.
constexpr const char* kOemPluginBaseName = "ZOEMUNI";
constexpr const char* kUnidrvFiles[6] = {"uniDRVui.DLL", "uniDRV.DLL", "UNIDRV.HLP",
                                         "UNIRES.DLL",   "TTFSUB.GPD", "STDNAMES.GPD"};

// The label driver family: monitor DLL, driver DLL, UI DLL, then one DLL
// per language, for each word size.
constexpr int kLabelFamilySize = 30;
constexpr int kLabelLanguageCount = 27;
extern const char* const kLabelLanguageCodes[kLabelLanguageCount];
constexpr const char* kLabelMonitorDll32 = "qrtNLMNT.dll";
constexpr const char* kLabelMonitorDll64 = "qrtNLM64.dll";
constexpr const char* kLabelHelpFile = "THERMAL.chm";
constexpr const char* kLabelMonitorName = "Advanced Language Monitor";
constexpr const char* kLabelDataExtensions[3] = {".BA0", ".DAT", ".PP0"};

// File `position` (0-29) of the label family for 32-bit (suffix 50) or
// 64-bit (suffix 56) Windows, written into `out` (at least 16 bytes).
void LabelFamilyFileName(bool x64, int position, char* out, size_t size);
