// The machine's ports in the four lists, and the pre-selected port type.
#include <gtest/gtest.h>

#include "app/InstallDlg.h"
#include "test_support.h"

using testing_support::WithReadyDialog;

namespace {

struct Lists {
  std::vector<std::string> usb, serial, parallel, tcpip;
  int selectedRow = -1;
};

std::vector<std::string> ToVector(const CStringArray& array) {
  std::vector<std::string> out;
  for (const CString& item : array) out.push_back(item.str());
  return out;
}

nlohmann::json Port(const std::string& name, const std::string& description = "Local Port") {
  return {{"name", name}, {"description", description}};
}

Lists Enumerate(const nlohmann::json& ports, const nlohmann::json& serialComm = nlohmann::json::object()) {
  nlohmann::json profile;
  profile["spooler"] = {{"ports", ports}};
  profile["registry"] = {{"HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM", serialComm}};
  Lists lists;
  WithReadyDialog(profile, [&](CInstallDlg& dialog, fw::headless::Ui&) {
    lists.usb = ToVector(dialog.m_arrUsbPorts);
    lists.serial = ToVector(dialog.m_arrSerialPorts);
    lists.parallel = ToVector(dialog.m_arrParallelPorts);
    lists.tcpip = ToVector(dialog.m_arrTcpipPorts);
    for (int row = 0; row < dialog.m_listPortType.GetItemCount(); ++row)
      if (dialog.m_listPortType.GetItemState(row, LVIS_SELECTED)) lists.selectedRow = row;
  });
  return lists;
}

using Names = std::vector<std::string>;

TEST(EnumeratePorts, FilesEachPortByNameOrTcpipDescription) {
  // The Chinese description as the spooler holds it (Unicode).
  const std::string chineseTcpip = "标准 TCP/IP 端口";
  const Lists lists = Enumerate(
      {Port("USB001"), Port("COM1:"), Port("LPT1:"), Port("LPT2:", "Standard TCP/IP Port"),
       Port("IP_10.0.0.9", "Standard TCP/IP Port"), Port("IP_10.0.0.7", chineseTcpip), Port("lpt3:"),
       Port("USB002", "Standard TCP/IP Port"), Port("FILE:"), Port("NET1", "standard tcp/ip port")});
  EXPECT_EQ(lists.usb, (Names{"USB001", "USB002"}));
  // A standard TCP/IP port goes to the TCP/IP list whatever its name.
  EXPECT_EQ(lists.tcpip, (Names{"LPT2:", "IP_10.0.0.9", "IP_10.0.0.7"}));
  // Names compare case-sensitively: lpt3: is no parallel port.
  EXPECT_EQ(lists.parallel, (Names{"LPT1:"}));
  // Serial ports come from the registry only, not from the spooler.
  EXPECT_EQ(lists.serial, Names{});
}

TEST(EnumeratePorts, SerialPortsComeFromTheDeviceMapWithAColon) {
  const Lists lists = Enumerate(nlohmann::json::array({Port("COM1:")}), {{"\\Device\\Serial0", "COM1"},
                                                                         {"\\Device\\VCP0", "COM7"},
                                                                         {"Serial2", "COM9"},
                                                                         {"\\device\\Serial3", "COM4"}});
  EXPECT_EQ(lists.serial, (Names{"COM1:", "COM7:"}));
}

TEST(EnumeratePorts, PreselectsUsbThenSerialThenParallelThenTcpip) {
  EXPECT_EQ(Enumerate({Port("COM1:"), Port("LPT1:"), Port("USB001")}).selectedRow, 1);
  EXPECT_EQ(Enumerate({Port("COM1:"), Port("LPT1:"), Port("FILE:")}).selectedRow, 0);
  EXPECT_EQ(Enumerate({Port("LPT1:"), Port("FILE:")}).selectedRow, 2);
  // Only FILE: and a network port: a network printer is the likely case.
  EXPECT_EQ(Enumerate({Port("FILE:"), Port("IP_1", "Standard TCP/IP Port")}).selectedRow, 3);
  // No ports at all, or none the rules know: USB.
  EXPECT_EQ(Enumerate(nlohmann::json::array()).selectedRow, 1);
  EXPECT_EQ(Enumerate(nlohmann::json::array({Port("IP_1", "Standard TCP/IP Port")})).selectedRow, 1);
  // The serial count is the spooler's COM ports, not the registry's.
  EXPECT_EQ(Enumerate(nlohmann::json::array({Port("LPT1:")}), {{"\\Device\\Serial0", "COM1"}}).selectedRow,
            2);
}

TEST(EnumeratePorts, RecordsPastThe256thAreNeitherListedNorCounted) {
  nlohmann::json ports = nlohmann::json::array();
  for (int i = 0; i < 256; ++i) ports.push_back(Port("LPT" + std::to_string(i + 1) + ":"));
  ports.push_back(Port("USB001"));
  for (int i = 0; i < 43; ++i) ports.push_back(Port("IP_" + std::to_string(i), "Standard TCP/IP Port"));
  const Lists lists = Enumerate(ports);
  EXPECT_EQ(lists.parallel.size(), 256u);
  EXPECT_TRUE(lists.usb.empty());
  EXPECT_TRUE(lists.tcpip.empty());
  EXPECT_EQ(lists.selectedRow, 2);
}

TEST(EnumeratePorts, ASecondCallGivesTheSameListsAndAFailedEnumerationNone) {
  nlohmann::json profile;
  profile["spooler"] = {{"ports", {Port("USB001"), Port("LPT1:"), Port("IP_1", "Standard TCP/IP Port")}}};
  WithReadyDialog(profile, [](CInstallDlg& dialog, fw::headless::Ui&) {
    const Names usb = ToVector(dialog.m_arrUsbPorts);
    dialog.EnumeratePorts();
    EXPECT_EQ(ToVector(dialog.m_arrUsbPorts), usb);
    EXPECT_EQ(ToVector(dialog.m_arrParallelPorts), Names{"LPT1:"});
    EXPECT_EQ(ToVector(dialog.m_arrTcpipPorts), Names{"IP_1"});
  });

  profile["faults"] = {{{"call", "EnumPortsA"}, {"error", 1722}}};
  int selected = -1;
  WithReadyDialog(profile, [&](CInstallDlg& dialog, fw::headless::Ui&) {
    EXPECT_TRUE(dialog.m_arrUsbPorts.IsEmpty());
    EXPECT_TRUE(dialog.m_arrParallelPorts.IsEmpty());
    for (int row = 0; row < 4; ++row)
      if (dialog.m_listPortType.GetItemState(row, LVIS_SELECTED)) selected = row;
  });
  EXPECT_EQ(selected, 1);
}

TEST(EnumeratePorts, AnUnreadableDeviceMapLeavesTheSerialListEmpty) {
  nlohmann::json profile;
  profile["registry"] = {
      {"HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM", {{"\\Device\\Serial0", "COM1"}}}};
  profile["faults"] = {{{"call", "RegEnumValueA"}, {"error", 5}}};
  WithReadyDialog(profile, [](CInstallDlg& dialog, fw::headless::Ui&) {
    EXPECT_TRUE(dialog.m_arrSerialPorts.IsEmpty());
  });
}

}  // namespace
