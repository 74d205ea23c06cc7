// The machine's ports, sorted into the dialog's four port lists.
#include <algorithm>
#include <vector>

#include "app/InstallDlg.h"
#include "platform/platform.h"
#include "ports/PortClassification.h"

namespace {

enum PortTypeRow { kRowSerial = 0, kRowUsb = 1, kRowParallel = 2, kRowTcpip = 3 };

struct PortCounts {
  int serial = 0;
  int parallel = 0;
  int file = 0;
  int usb = 0;
};

// The port type that suits the machine: a USB port first, then a serial
// one, then a parallel one; a machine with only FILE: gets TCP/IP (a
// network printer is then the likely case); with nothing at all, USB.
int PreselectedRow(const PortCounts& counts) {
  if (counts.usb > 0) return kRowUsb;
  if (counts.serial > 0) return kRowSerial;
  if (counts.parallel > 0) return kRowParallel;
  if (counts.file > 0) return kRowTcpip;
  return kRowUsb;
}

}  // namespace

BOOL CInstallDlg::EnumerateSerialPorts(CStringArray& ports) {
  ports.RemoveAll();
  plat::IRegistry& registry = plat::Registry();
  HKEY key = nullptr;
  if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return FALSE;

  for (DWORD index = 0;; ++index) {
    char name[128] = {};
    BYTE data[128] = {};
    DWORD nameChars = sizeof(name);
    DWORD dataBytes = sizeof(data);
    const LONG result = registry.RegEnumValueA(key, index, name, &nameChars, nullptr, data, &dataBytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    // A value that does not fit the buffers is skipped; any other failure
    // would repeat for every index, so it ends the walk.
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    if (!StartsWith(name, "\\Device\\")) continue;
    // The data is a device name such as COM3; it may come without its
    // terminating NUL.
    const size_t length = std::min<size_t>(dataBytes, sizeof(data));
    std::string device(reinterpret_cast<const char*>(data), length);
    device = device.substr(0, device.find('\0'));
    ports.Add(CString(device) + ":");
  }
  registry.RegCloseKey(key);
  return ports.IsEmpty() ? FALSE : TRUE;
}

void CInstallDlg::EnumeratePorts() {
  m_arrUsbPorts.RemoveAll();
  m_arrSerialPorts.RemoveAll();
  m_arrParallelPorts.RemoveAll();
  m_arrTcpipPorts.RemoveAll();
  EnumerateSerialPorts(m_arrSerialPorts);

  std::vector<plat::PortInfo2> ports;
  if (!plat::Spooler().EnumPortsA(&ports)) ports.clear();

  SetPortListStyle();

  PortCounts counts;
  const size_t handled = std::min(ports.size(), kMaxPortRecords);
  for (size_t i = 0; i < handled; ++i) {
    const plat::PortInfo2& port = ports[i];
    if (StartsWith(port.portName, "COM")) ++counts.serial;
    if (StartsWith(port.portName, "LPT")) ++counts.parallel;
    if (StartsWith(port.portName, "FILE")) ++counts.file;
    if (StartsWith(port.portName, "USB")) ++counts.usb;

    switch (ClassifyPort(port)) {
      case PortKind::Usb:
        m_arrUsbPorts.Add(port.portName);
        break;
      case PortKind::Tcpip:
        m_arrTcpipPorts.Add(port.portName);
        break;
      case PortKind::Parallel:
        m_arrParallelPorts.Add(port.portName);
        break;
      case PortKind::Other:
        break;
    }
  }

  m_nPresetPortType = PreselectedRow(counts);
  m_listPortType.SetItemState(m_nPresetPortType, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
  PushUpdate();
}
