// installer-sim as its user runs it: a bad profile or script gives exit
// code 2 and one line naming the file, the field and what is wrong, before
// the run, and no simulated drive is left in the temporary folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and error
};

class InstallerSimCli : public testing::Test {
 protected:
  void SetUp() override {
    m_folder = fs::temp_directory_path() / ("installer-sim-cli-" + std::to_string(::getpid()));
    fs::create_directories(m_folder / "tmp");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
  }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path path = m_folder / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  Outcome Run(const std::string& arguments) {
    const std::string command = "cd '" + m_folder.string() + "' && TMPDIR='" + (m_folder / "tmp").string() +
                                "' '" + INSTALLER_BUILD_DIR + "/tools/installer-sim/installer-sim' " +
                                arguments + " 2>&1";
    Outcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return outcome;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, got);
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
  }

  bool TempIsEmpty() const { return fs::is_empty(m_folder / "tmp"); }

  fs::path m_folder;
};

TEST_F(InstallerSimCli, ABadProfileOrScriptIsRefusedBeforeTheRun) {
  Write("bad.json", R"({"com_ports": {"COM3": {"baud": -5}}})");
  Write("deep.json", std::string(100000, '[') + std::string(100000, ']'));
  Write("script.json", R"({"steps": [{"wait": {"enabled": "install"}}, {"click": "instal"}]})");
  Write("hex.json", R"({"registry": {"HKEY_LOCAL_MACHINE\\X": {"B": {"hex": "abc"}}}})");
  const struct {
    std::string arguments;
    std::string message;
  } cases[] = {
      {"--profile bad.json",
       "installer-sim: bad.json: com_ports.COM3.baud: expected a number from 1 to 4294967295, got -5\n"},
      {"--profile deep.json", "installer-sim: deep.json: nested more than 32 levels deep\n"},
      {"--profile missing.json", "installer-sim: missing.json: cannot be read\n"},
      {"--profile hex.json",
       "installer-sim: hex.json: registry[\"HKEY_LOCAL_MACHINE\\\\X\"].B.hex: expected hex bytes (pairs of "
       "0-9, "
       "a-f), got \"abc\"\n"},
      {"--script script.json",
       "installer-sim: script.json: steps[1].click: expected one of \"install\", \"cancel\", \"driver\", "
       "\"printer-name\", \"set-default\", \"port-type\", \"progress\", \"status\", \"ok\", "
       "\"port-hint\", \"port-group\", \"driver-label\", \"printer-label\", \"port-list\", "
       "\"add-port\", \"port-prompt\", \"configure-port\", \"delete-port\", \"select-port\", "
       "\"cancel-port\", \"prompt-yes\", \"baud-rate\", \"prompt-no\", got \"instal\"\n"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.exitCode, 2) << c.arguments;
    EXPECT_EQ(outcome.output, c.message) << c.arguments;
  }
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(InstallerSimCli, ARunLeavesNoDriveBehind) {
  Write("script.json", R"([{"wait": {"enabled": "install"}}, {"close": true}])");
  const Outcome ran = Run("--script script.json");
  EXPECT_EQ(ran.exitCode, 0) << ran.output;
  // A step that can never happen: exit 1, after the run.
  Write("never.json", R"([{"wait": {"status": "never shown"}}])");
  const Outcome hung = Run("--script never.json");
  EXPECT_EQ(hung.exitCode, 1) << hung.output;
  EXPECT_NE(hung.output.find("script: step 1 can never happen"), std::string::npos) << hung.output;
  EXPECT_TRUE(TempIsEmpty());
}

}  // namespace
