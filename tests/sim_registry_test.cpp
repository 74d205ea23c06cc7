// The simulated registry as the installer's Win32 calls see it.
#include <gtest/gtest.h>

#include <map>

#include "test_support.h"

using testing_support::SimulatedMachine;

namespace {

const char* const kProfile = R"json({
  "registry": {
    "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM": {
      "\\Device\\VCP0": "COM7",
      "\\Device\\Serial0": "COM1",
      "\\Device\\Serial1": "COM3"
    },
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Settings": {"Mode": "fast", "Count": 5, "Blob": {"hex": "00ff10", "type": 3}},
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked": {"@deny": "open", "Secret": "x"},
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\ReadOnly": {"@deny": "write", "Name": "ro"}
  }
})json";

struct Entry {
  LONG result;
  std::string name;
  DWORD type;
  std::string data;  // REG_SZ text, or the raw bytes
};

// One RegEnumValueA call with roomy buffers.
Entry EnumValue(HKEY key, DWORD index) {
  char name[64] = {};
  BYTE data[64] = {};
  DWORD nameChars = sizeof(name), dataBytes = sizeof(data), type = REG_NONE;
  Entry entry;
  entry.result = plat::Registry().RegEnumValueA(key, index, name, &nameChars, &type, data, &dataBytes);
  entry.name.assign(name, nameChars);
  entry.type = type;
  entry.data.assign(reinterpret_cast<const char*>(data), dataBytes);
  if (type == REG_SZ && !entry.data.empty() && entry.data.back() == '\0') entry.data.pop_back();
  return entry;
}

HKEY Open(const char* path, REGSAM access = KEY_READ, LONG* result = nullptr) {
  HKEY key = nullptr;
  const LONG code = plat::Registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
  if (result) *result = code;
  return code == ERROR_SUCCESS ? key : nullptr;
}

// Registry values come back in the order the profile lists them, not
// sorted as plain nlohmann::json objects would sort their keys: profiles
// are read and held in their own order.
TEST(SimRegistry, EnumeratesProfileValuesInTheProfilesOrder) {
  sim::Machine machine(nlohmann::ordered_json::parse(kProfile));
  machine.Install(nullptr);
  HKEY key = Open("HARDWARE\\DEVICEMAP\\SERIALCOMM");
  ASSERT_NE(key, nullptr);
  const char* const expected[][2] = {
      {"\\Device\\VCP0", "COM7"}, {"\\Device\\Serial0", "COM1"}, {"\\Device\\Serial1", "COM3"}};
  for (DWORD i = 0; i < 3; ++i) {
    const Entry entry = EnumValue(key, i);
    EXPECT_EQ(entry.name, expected[i][0]) << "index " << i;
    EXPECT_EQ(entry.data, expected[i][1]) << "index " << i;
  }
  plat::Registry().RegCloseKey(key);
}

TEST(SimRegistry, EnumeratesNamesAndDataAndReportsShortBuffersAndTheEnd) {
  SimulatedMachine sim(nlohmann::json::parse(kProfile));
  plat::IRegistry& registry = plat::Registry();
  HKEY key = Open("SOFTWARE\\Test\\Settings");
  ASSERT_NE(key, nullptr);
  // A value written later comes after the profile's values.
  const char extra[] = "later";
  ASSERT_EQ(
      registry.RegSetValueExA(key, "Extra", REG_SZ, reinterpret_cast<const BYTE*>(extra), sizeof(extra)),
      ERROR_SUCCESS);
  std::map<std::string, Entry> byName;
  DWORD count = 0, modeIndex = 0;
  for (;; ++count) {
    const Entry entry = EnumValue(key, count);
    if (entry.result == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(entry.result, ERROR_SUCCESS);
    if (entry.name == "Mode") modeIndex = count;
    byName[entry.name] = entry;
  }
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(EnumValue(key, 3).name, "Extra");
  EXPECT_EQ(byName["Mode"].type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(byName["Mode"].data, "fast");
  EXPECT_EQ(byName["Count"].type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(byName["Count"].data, std::string("\x05\0\0\0", 4));
  EXPECT_EQ(byName["Blob"].type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(byName["Blob"].data, std::string("\x00\xff\x10", 3));
  EXPECT_EQ(byName["Extra"].data, "later");

  // The name buffer must hold the terminator too; the data buffer reports
  // the size it needs.
  char name[8];
  BYTE data[8];
  DWORD nameChars = 4, dataBytes = sizeof(data);
  EXPECT_EQ(registry.RegEnumValueA(key, modeIndex, name, &nameChars, nullptr, data, &dataBytes),
            ERROR_MORE_DATA);
  nameChars = 5;
  EXPECT_EQ(registry.RegEnumValueA(key, modeIndex, name, &nameChars, nullptr, data, &dataBytes),
            ERROR_SUCCESS);
  EXPECT_EQ(nameChars, 4u);
  EXPECT_STREQ(name, "Mode");
  nameChars = sizeof(name);
  dataBytes = 2;
  EXPECT_EQ(registry.RegEnumValueA(key, modeIndex, name, &nameChars, nullptr, data, &dataBytes),
            ERROR_MORE_DATA);
  EXPECT_EQ(dataBytes, 5u);
  EXPECT_EQ(EnumValue(key, 99).result, ERROR_NO_MORE_ITEMS);
  registry.RegCloseKey(key);
  EXPECT_EQ(sim.machine.Registry().OpenHandleCount(), 0);
}

TEST(SimRegistry, NamesIgnoreCaseDeniedKeysRefuseAndWritesReachTheState) {
  SimulatedMachine sim(nlohmann::json::parse(kProfile));
  plat::IRegistry& registry = plat::Registry();

  HKEY key = Open("software\\TEST\\settings");
  ASSERT_NE(key, nullptr);
  char text[16] = {};
  DWORD type = 0, bytes = sizeof(text);
  EXPECT_EQ(registry.RegQueryValueExA(key, "mODE", &type, reinterpret_cast<BYTE*>(text), &bytes),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, "fast");
  // Writing under another spelling replaces the value, it adds none.
  const DWORD seven = 7;
  EXPECT_EQ(registry.RegSetValueExA(key, "COUNT", REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(EnumValue(key, 3).result, ERROR_NO_MORE_ITEMS);
  registry.RegCloseKey(key);

  LONG result = ERROR_SUCCESS;
  EXPECT_EQ(Open("SOFTWARE\\Locked", KEY_READ, &result), nullptr);
  EXPECT_EQ(result, ERROR_ACCESS_DENIED);
  HKEY created = nullptr;
  EXPECT_EQ(registry.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\locked", KEY_READ, &created),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open("SOFTWARE\\Missing", KEY_READ, &result), nullptr);
  EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);
  // A write-protected key opens for reading, not for writing.
  HKEY readOnly = Open("SOFTWARE\\ReadOnly");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(registry.RegSetValueExA(readOnly, "Name", REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4),
            ERROR_ACCESS_DENIED);
  registry.RegCloseKey(readOnly);
  EXPECT_EQ(Open("SOFTWARE\\ReadOnly", KEY_WRITE, &result), nullptr);
  EXPECT_EQ(result, ERROR_ACCESS_DENIED);

  HKEY fresh = nullptr;
  ASSERT_EQ(registry.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\New", KEY_WRITE, &fresh),
            ERROR_SUCCESS);
  const char port[] = "COM9";
  EXPECT_EQ(registry.RegSetValueExA(fresh, "Port", REG_SZ, reinterpret_cast<const BYTE*>(port), sizeof(port)),
            ERROR_SUCCESS);
  EXPECT_EQ(registry.RegCloseKey(fresh), ERROR_SUCCESS);
  EXPECT_EQ(registry.RegCloseKey(fresh), ERROR_INVALID_HANDLE);

  const nlohmann::json state = sim.machine.StateJson()["registry"];
  EXPECT_EQ(state["HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\New"]["Port"], "COM9");
  EXPECT_EQ(state["HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Settings"]["Count"], 7);
  EXPECT_EQ(state["HKEY_LOCAL_MACHINE\\SOFTWARE\\ReadOnly"]["Name"], "ro");
  // Failed opens hand out no handles; every opened one was closed.
  EXPECT_EQ(sim.machine.Registry().OpenHandleCount(), 0);
}

}  // namespace
