#include "package/ModelTables.h"

#include <cstdio>

// Rows in catalogue order. Two rows may share one GPD. Three models also
// list the OEM plug-in among their dependent files.
const ReceiptModel kReceiptModels[kReceiptModelCount] = {
    // Group 1: the RV desktop receipt printers.
    {"RV-580", "RV580", false},
    {"RV-580II", "RV580", false},
    {"RV-600", "RV600", false},
    {"RV-620", "RV620", false},
    {"RV-640", "RV640", true},
    {"RV-650", "RV650", false},
    {"RV-660", "RV660", false},
    {"RV-700", "RV700", false},
    {"RV-720", "RV720", false},
    {"RV-760", "RV760", false},
    {"RV-780", "RV780", false},
    {"RV-800", "RV800", false},
    {"RV-820F", "RV820F", true},
    {"RV-840", "RV840", false},
    {"RV-860", "RV860", false},
    // Group 2: the DM dot-matrix models.
    {"DM-310", "DM310", false},
    {"DM-320", "DM320", false},
    {"DM-330", "DM330", false},
    {"DM-340", "DM340", false},
    {"DM-350", "DM350", false},
    {"DM-410", "DM410", false},
    {"DM-420", "DM420", false},
    // Group 3: the MP mobile printers.
    {"MP-210", "MP210", false},
    {"MP-220", "MP220", false},
    {"MP-230", "MP230", false},
    {"MP-250", "MP250", false},
    {"MP-280", "MP280", false},
    // Group 4.
    {"KX-702", "KX-702", true},
};

const LabelModel kLabelModels[kLabelModelCount] = {
    {"LB-400 Label", "LB400"}, {"LB-410 Label", "LB410"}, {"LB-420T Label", "LB420T"},
    {"LB-600 Label", "LB600"}, {"LB-610 Label", "LB610"},
};

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
