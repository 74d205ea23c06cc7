#include "package/ModelTables.h"

#include <cstdio>

// Rows in catalogue order. Two rows may share one GPD.
const ReceiptModel kReceiptModels[kReceiptModelCount] = {
    // Group 1: the RV desktop receipt printers.
    {"RV-580", "RV580"},
    {"RV-580II", "RV580"},
    {"RV-600", "RV600"},
    {"RV-620", "RV620"},
    {"RV-640", "RV640"},
    {"RV-650", "RV650"},
    {"RV-660", "RV660"},
    {"RV-700", "RV700"},
    {"RV-720", "RV720"},
    {"RV-760", "RV760"},
    {"RV-780", "RV780"},
    {"RV-800", "RV800"},
    {"RV-820F", "RV820F"},
    {"RV-840", "RV840"},
    {"RV-860", "RV860"},
    // Group 2: the DM dot-matrix models.
    {"DM-310", "DM310"},
    {"DM-320", "DM320"},
    {"DM-330", "DM330"},
    {"DM-340", "DM340"},
    {"DM-350", "DM350"},
    {"DM-410", "DM410"},
    {"DM-420", "DM420"},
    // Group 3: the MP mobile printers.
    {"MP-210", "MP210"},
    {"MP-220", "MP220"},
    {"MP-230", "MP230"},
    {"MP-250", "MP250"},
    {"MP-280", "MP280"},
    // Group 4.
    {"KX-702", "KX-702"},
};

const LabelModel kLabelModels[kLabelModelCount] = {
    {"LB-400 Label", "LB400"}, {"LB-410 Label", "LB410"}, {"LB-420T Label", "LB420T"},
    {"LB-600 Label", "LB600"}, {"LB-610 Label", "LB610"},
};

const char* const kDefaultResourceName = "RVRES";
const char* const kAlternateResourceName = "DMRES";
const char* const kGroup3ResourceName = "MPRES";

const char* const kLabelLanguageCodes[kLabelLanguageCount] = {
    "ENG", "SLO", "CRO", "GER", "DAN", "FRA", "SPA", "ITA", "FIN", "DUT", "CZE", "POL", "HUN", "RUS",
    "TUR", "SWE", "HEB", "SVK", "LIT", "CHI", "SCH", "TAI", "KOR", "JAP", "UKR", "NOR", "PBR"};

void LabelFamilyFileName(bool x64, int position, char* out, size_t size) {
  const char* suffix = x64 ? "56" : "50";
  if (position == 0)
    std::snprintf(out, size, "%s", x64 ? kLabelMonitorDll64 : kLabelMonitorDll32);
  else if (position == 1)
    std::snprintf(out, size, "LBXDRV%s.DLL", suffix);
  else if (position == 2)
    std::snprintf(out, size, "LBXUI%s.DLL", suffix);
  else if (position >= 3 && position < kLabelFamilySize)
    std::snprintf(out, size, "LBX%s%s.DLL", kLabelLanguageCodes[position - 3], suffix);
  else if (size > 0)
    out[0] = '\0';
}
