// The printer models this installer knows: product data that the driver
// package's catalogue and files must follow, row for row. A catalogue's
// sections are these rows in this order: 28 receipt models, then 5 label
// models.
#pragma once

#include <cstddef>

struct ReceiptModel {
  const char* driverName;   // registered with the spooler, named by the printer
  const char* gpdBaseName;  // the model description file, without ".GPD"
};

struct LabelModel {
  const char* driverName;
  const char* dataBaseName;  // base of the model's .BA0, .DAT and .PP0 files
};

// Receipt models in four groups: rows 0-14, 15-21, 22-26 and 27.
constexpr int kReceiptGroupSizes[4] = {15, 7, 5, 1};
constexpr int kReceiptModelCount = 28;
static_assert(kReceiptGroupSizes[0] + kReceiptGroupSizes[1] + kReceiptGroupSizes[2] + kReceiptGroupSizes[3] ==
                  kReceiptModelCount,
              "the receipt groups hold every receipt model");
constexpr int kLabelModelCount = 5;
constexpr int kCatalogueSectionCount = kReceiptModelCount + kLabelModelCount;

extern const ReceiptModel kReceiptModels[kReceiptModelCount];
extern const LabelModel kLabelModels[kLabelModelCount];

// Model resource DLLs (without ".DLL"): most models use the default one;
// some group-2 and group-4 names use the alternate; group 3 has its own.
extern const char* const kDefaultResourceName;
extern const char* const kAlternateResourceName;
extern const char* const kGroup3ResourceName;

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
