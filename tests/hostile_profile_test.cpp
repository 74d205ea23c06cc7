// Hostile machine profiles: each is refused before a machine is built, with
// the field and what is wrong, and leaves nothing on the host.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/sim/json_check.h"
#include "host/sim/machine.h"
#include "host/sim/profile_check.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// The message CheckProfile gives for `text`, or "" when it takes it.
std::string Refusal(const std::string& text) {
  try {
    sim::CheckProfile(sim::ParseJsonText(text), INSTALLER_SOURCE_DIR);
  } catch (const sim::InputError& error) {
    return error.what();
  }
  return std::string();
}

struct Case {
  const char* profile;
  const char* message;
};

TEST(HostileProfile, EachBadFieldIsNamedWithWhatIsWrong) {
  const Case cases[] = {
      // Not JSON, or too deep to walk.
      {R"({"name": "x",})", "not JSON: parse error at line 1, column 14"},
      {"", "not JSON"},
      {R"({"name": "x"} trailing)", "not JSON"},
      {R"({"latency": {"CopyFileA": 1e999}})", "not JSON: number overflow parsing '1e999'"},
      // Wrong types.
      {R"([1, 2])", "expected an object, got a list"},
      {R"({"name": 5})", "name: expected a string, got 5"},
      {R"({"windows": {"wow64": "yes"}})", "windows.wow64: expected true or false, got \"yes\""},
      {R"({"windows": {"administrator": 1}})", "windows.administrator: expected true or false, got 1"},
      {R"({"windows": {"major": 6.1}})", "windows.major: expected a number from 0 to 4294967295, got 6.1"},
      {R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"V": true}}})",
       "registry[\"HKEY_LOCAL_MACHINE\\\\X\"].V: expected a string, a number from 0 to 4294967295 or"},
      {R"({"spooler": {"ports": [{"name": "LPT1:"}, {"monitor": "x"}]}})",
       "spooler.ports[1]: needs \"name\""},
      {R"({"spooler": {"online_ports": ["LPT1:", 7]}})", "spooler.online_ports[1]: expected a string, got 7"},
      {R"({"files": {"C:\\a.txt": {"content": 5}}})",
       "files[\"C:\\\\a.txt\"].content: expected a string, got 5"},
      // Unknown names.
      {R"({"nmae": "x"})", "nmae: unknown field (known: name, windows,"},
      {R"({"windows": {"mayor": 5}})", "windows.mayor: unknown field"},
      {R"({"windows": {"native_machine": "ia64"}})", "windows.native_machine: expected one of \"x86\""},
      // Facts that contradict each other.
      {R"({"windows": {"native_machine": "arm64", "wow64": false}})",
       "windows.native_machine: an x86 program runs under WoW64 on arm64 Windows"},
      {R"({"windows": {"native_machine": "x86", "wow64": true}})",
       "windows.native_machine: an x86 program does not run under WoW64 on x86 Windows"},
      {R"({"windows": {"build": 22631, "protected_print": true}})",
       "windows.protected_print: Windows Protected Print mode needs Windows 11 24H2 (build 26100)"},
      {R"({"services": {"Spooler": {"state": "paused"}}})",
       "services.Spooler.state: expected one of \"stopped\", \"start_pending\", \"stop_pending\", "
       "\"running\", "
       "got \"paused\""},
      {R"({"services": {"Spooler": {"stuck": "running"}}})", "services.Spooler.stuck: expected one of"},
      {R"({"com_ports": {"COM3": {"device": "modem"}}})",
       "com_ports.COM3.device: expected one of \"printer\""},
      {R"({"com_ports": {"LPT1": {}}})", "com_ports.LPT1: not a COM port name"},
      {R"({"com_ports": {"COM0": {}}})", "com_ports.COM0: not a COM port name"},
      {R"({"faults": [{"call": "RegOpenKeyEx"}]})",
       "faults[0].call: \"RegOpenKeyEx\" is not a call that can be"},
      {R"({"faults": [{"error": 5}]})", "faults[0]: needs \"call\""},
      {R"({"latency": {"Sleep": 5}})", "latency.Sleep: not a call that can be made to take time"},
      {R"({"registry": {"HKEY_LOCAL_MACHIN\\X": {}}})", "must start with a root key"},
      {R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"@deny": "read"}}})",
       "[\"@deny\"]: expected one of \"open\""},
      {R"({"files": {"D:\\a.txt": {"content": ""}}})", "\"D:\\a.txt\" is not on drive C:"},
      {R"({"current_directory": "E:\\Shop"})", "current_directory: \"E:\\Shop\" is not on drive C:"},
      // Missing files.
      {R"({"package": "no/such/DriverData.Drv"})", "package: no such file: "},
      {R"({"files": {"C:\\a": {"copy_from": "no/such/file"}}})",
       "files[\"C:\\\\a\"].copy_from: no such file"},
      {R"({"package": "profiles"})", "package: no such file"},  // a folder is not a file
      // Out of range: negative, wrapping or absurd delays and numbers.
      {R"({"latency": {"CopyFileA": -5}})",
       "latency.CopyFileA: expected a number from 0 to 86400000, got -5"},
      {R"({"latency": {"CopyFileA": 18446744073709551615}})",
       "latency.CopyFileA: expected a number from 0 to 86400000, got 18446744073709551615"},
      {R"({"com_ports": {"COM3": {"reply_delay_ms": -1}}})",
       "com_ports.COM3.reply_delay_ms: expected a number"},
      {R"({"com_ports": {"COM3": {"baud": 0}}})",
       "com_ports.COM3.baud: expected a number from 1 to 4294967295"},
      {R"({"com_ports": {"COM3": {"baud": -5}}})", "got -5"},
      {R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"N": 4294967296}}})", "got 4294967296"},
      {R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"B": {"type": 99, "hex": ""}}}})",
       ".B.type: expected a number from 0 to 11"},
      {R"({"services": {"Spooler": {"pending_polls": -2}}})", "pending_polls: expected a number from 0 to"},
      {R"({"faults": [{"call": "CopyFileA", "count": -2}]})",
       "faults[0].count: expected a number from -1 to"},
      {R"({"windows": {"platform_id": -1}})", "windows.platform_id: expected a number from 0 to 4294967295"},
      // Bad hex.
      {R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"B": {"hex": "abc"}}}})", ".B.hex: expected hex bytes"},
      {R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"B": {"hex": "zz"}}}})", ".B.hex: expected hex bytes"},
      {R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"B": {"type": 3}}}})",
       ".B: a value given as an object needs"},
      {R"({"com_ports": {"COM3": {"reply": "10 4"}}})", "com_ports.COM3.reply: expected hex bytes"},
      // Entries that contradict each other.
      {R"({"files": {"C:\\a": {"content": "x", "folder": true}}})", "give one of \"content\", \"copy_from\""},
      {R"({"files": {"C:\\": {"content": "x"}}})", "the root of C: is a folder"},
  };
  for (const Case& c : cases) {
    const std::string message = Refusal(c.profile);
    EXPECT_NE(message.find(c.message), std::string::npos)
        << "profile " << c.profile << "\n  gave: " << message << "\n  want: " << c.message;
  }
}

TEST(HostileProfile, NestingIsStoppedAtTheLimitWhateverTheDepth) {
  for (const int depth : {sim::kMaxJsonDepth + 1, 100000}) {
    const std::string text = R"({"name": )" + std::string(static_cast<size_t>(depth), '[') +
                             std::string(static_cast<size_t>(depth), ']') + "}";
    EXPECT_EQ(Refusal(text), "nested more than 32 levels deep") << depth;
  }
  // Deep inside a string or a comment is only text.
  EXPECT_EQ(
      Refusal("// [[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\n{\"name\": \"" + std::string(1000, '[') + "\"}"),
      "");
}

TEST(HostileProfile, GoodProfilesAreTaken) {
  // The example profiles (their package is the build's, found elsewhere).
  for (const auto& entry : fs::directory_iterator(fs::path(INSTALLER_SOURCE_DIR) / "profiles")) {
    sim::Profile profile = sim::ReadJsonFile(entry.path().string());
    profile.erase("package");
    EXPECT_EQ(Refusal(profile.dump()), "") << entry.path();
  }
  EXPECT_EQ(Refusal(sim::DefaultProfileJson()), "");
  // Zero bytes is a value Windows stores; spaces may part a reply's bytes.
  EXPECT_EQ(Refusal(R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"Empty": {"hex": ""}}},
                        "com_ports": {"COM3": {"reply": "10 04 01", "baud": 4294967295}},
                        "latency": {"CopyFileA": 86400000}})"),
            "");
}

// A scratch folder as the process's temporary folder, for counting what a
// machine leaves there.
class ScratchTemp {
 public:
  ScratchTemp() {
    const char* old = std::getenv("TMPDIR");
    if (old) m_old = old;
    m_had = old != nullptr;
    m_path = fs::temp_directory_path() / ("hostile-profile-" + std::to_string(::getpid()));
    fs::create_directories(m_path);
    setenv("TMPDIR", m_path.c_str(), 1);
  }
  ~ScratchTemp() {
    if (m_had)
      setenv("TMPDIR", m_old.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(m_path), fs::directory_iterator()));
  }

 private:
  fs::path m_path;
  std::string m_old;
  bool m_had = false;
};

TEST(HostileProfile, NoDriveFolderIsLeftByARefusedOrFailedMachine) {
  ScratchTemp temp;
  // Refused by the check: no drive is made at all.
  EXPECT_THROW(sim::Machine(sim::ParseJsonText(R"({"latency": {"CopyFileA": -1}})")), sim::InputError);
  EXPECT_EQ(temp.Entries(), 0u);
  // Taken by the check, refused by the drive (a file where a folder must
  // go): the half-made drive goes.
  try {
    sim::Machine machine(
        sim::ParseJsonText(R"({"files": {"C:\\a": {"content": "x"}, "C:\\a\\b.txt": {"content": "y"}}})"));
    ADD_FAILURE() << "a file under a file was made";
  } catch (const sim::InputError& error) {
    EXPECT_NE(std::string(error.what()).find("files[\"C:\\\\a\\\\b.txt\"]: cannot be made"),
              std::string::npos)
        << error.what();
  }
  EXPECT_EQ(temp.Entries(), 0u);
  { sim::Machine machine; }
  EXPECT_EQ(temp.Entries(), 0u);
}

TEST(HostileProfile, AnEmptyBinaryValueIsReadAsZeroBytes) {
  testing_support::SimulatedMachine sim(
      nlohmann::json::parse(R"({"registry": {"HKEY_LOCAL_MACHINE\\SOFTWARE\\T": {"Empty": {"hex": ""}}}})"));
  HKEY key = nullptr;
  ASSERT_EQ(plat::Registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  BYTE data[4] = {0xAA};
  DWORD type = 0, size = sizeof data;
  EXPECT_EQ(plat::Registry().RegQueryValueExA(key, "Empty", &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(data[0], 0xAA);
  char name[16] = {};
  DWORD nameChars = sizeof name;
  size = sizeof data;
  EXPECT_EQ(plat::Registry().RegEnumValueA(key, 0, name, &nameChars, &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  plat::Registry().RegCloseKey(key);
}

}  // namespace
