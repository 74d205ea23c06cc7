// A printer's port, as the spooler keeps it in the registry. The installer
// moves a printer by writing these records and restarting the spooler.
#include <vector>

#include "app/InstallDlg.h"
#include "platform/platform.h"

namespace {

const char* const kPortRecordKeys[] = {
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\",
    "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\",
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\",
};
const char* const kPortRecordSuffixes[] = {"", "\\DsSpooler", "", ""};
const char* const kPortRecordValues[] = {"Port", "portName", "Port", "Port"};

}  // namespace

void CInstallDlg::SetPrinterPort(const char* printerName, CString portName) {
  if (m_strNewPrinter == printerName) m_strPrinterPort = portName;
  plat::IRegistry& registry = plat::Registry();
  const BYTE* data = reinterpret_cast<const BYTE*>(portName.GetString());
  const DWORD size = static_cast<DWORD>(portName.GetLength() + 1);
  for (size_t record = 0; record < 4; ++record) {
    const CString path = CString(kPortRecordKeys[record]) + printerName + kPortRecordSuffixes[record];
    HKEY key = nullptr;
    // A record the printer does not have is passed over.
    if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) continue;
    if (registry.RegSetValueExA(key, kPortRecordValues[record], REG_SZ, data, size) != ERROR_SUCCESS)
      AfxMessageBox("Failed to read Registry", MB_OK);
    registry.RegCloseKey(key);
  }

  // The on-line flag starts at 0; the spooler sets it when the printer
  // answers on the port after a restart.
  HKEY key = nullptr;
  const CString flagPath = CString("SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\") + printerName;
  if (registry.RegCreateKeyExA(HKEY_CURRENT_CONFIG, flagPath, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    const DWORD offline = 0;
    if (registry.RegSetValueExA(key, "PrinterOnLine", REG_DWORD, reinterpret_cast<const BYTE*>(&offline),
                                sizeof offline) != ERROR_SUCCESS)
      AfxMessageBox("Failed to read Registry", MB_OK);
    registry.RegCloseKey(key);
  }
}

BOOL CInstallDlg::EnumeratePrinters(CStringArray& names, CStringArray& ports) {
  std::vector<plat::PrinterInfo2> printers;
  if (!plat::Spooler().EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, &printers)) return FALSE;
  names.RemoveAll();
  ports.RemoveAll();
  for (const plat::PrinterInfo2& printer : printers) {
    names.Add(printer.printerName);
    ports.Add(printer.portName);
  }
  return names.IsEmpty() ? FALSE : TRUE;
}

void CInstallDlg::NotePrinterPort(const CString& printerName, const CString& portName) {
  for (int i = 0; i < m_arrPrinterNames.GetSize() && i < m_arrPrinterPorts.GetSize(); ++i)
    if (m_arrPrinterNames[i] == printerName) m_arrPrinterPorts[i] = portName;
}

void CInstallDlg::RewriteSerialPrinterPorts() {
  for (int i = 0; i < m_arrPrinterNames.GetSize() && i < m_arrPrinterPorts.GetSize(); ++i) {
    if (m_arrPrinterPorts[i].Left(3) == "COM") SetPrinterPort(m_arrPrinterNames[i], m_arrPrinterPorts[i]);
  }
}
