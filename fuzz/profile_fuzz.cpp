// Fuzz target: the input is a machine profile file, read as installer-sim
// reads --profile.
//
// Checked for each input:
//  - reading and checking it either takes it or throws InputError, never
//    anything else (no crash, no deep recursion);
//  - a profile the check takes builds a machine: its drive is made (or an
//    InputError names the entry the host refused), its state can be listed,
//    and its drive's host folder is gone after it.
// Host files a profile names are looked for in a scratch folder (the
// working folder, with one small file "seed.bin"); profiles naming a host
// file elsewhere are checked but not built.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/sim/files.h"
#include "host/sim/json_check.h"
#include "host/sim/machine.h"
#include "host/sim/profile_check.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "profile_fuzz: invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// Whether a host path stays in the working folder.
bool Local(const std::string& path) {
  return !path.empty() && path[0] != '/' && path.find("..") == std::string::npos;
}

bool OnlyLocalFiles(const sim::Profile& profile) {
  if (profile.contains("package") && !Local(profile["package"].get<std::string>())) return false;
  if (!profile.contains("files")) return true;
  for (const auto& entry : profile["files"])
    if (entry.contains("copy_from") && !Local(entry["copy_from"].get<std::string>())) return false;
  return true;
}

// The scratch folder is the working folder only while an input is tried:
// libFuzzer reads its dictionary and corpus from the one it was started in.
class InScratchFolder {
 public:
  InScratchFolder() : m_previous(fs::current_path()) { fs::current_path(Folder()); }
  ~InScratchFolder() { fs::current_path(m_previous); }

 private:
  static const fs::path& Folder() {
    static const fs::path folder = [] {
      const fs::path made = fs::temp_directory_path() / ("profile-fuzz-" + std::to_string(::getpid()));
      fs::create_directories(made);
      std::ofstream(made / "seed.bin", std::ios::binary) << "PK\x03\x04";
      return made;
    }();
    return folder;
  }
  fs::path m_previous;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const InScratchFolder scratch;
  sim::Profile profile;
  try {
    profile = sim::ParseJsonText(std::string(reinterpret_cast<const char*>(data), size));
    sim::CheckProfile(profile, fs::current_path().string());
  } catch (const sim::InputError&) {
    return 0;
  } catch (const std::exception& error) {
    Fail(std::string("reading or checking threw ") + error.what());
  }
  if (!OnlyLocalFiles(profile)) return 0;
  std::string root;
  try {
    sim::Machine machine(profile);
    root = machine.Files().Root();
    machine.StateJson();
    if (profile.value("keep_drive", false)) return 0;  // kept on purpose; cleaned with the scratch folder
  } catch (const sim::InputError&) {
    return 0;
  } catch (const std::exception& error) {
    Fail(std::string("a checked profile failed to build: ") + error.what());
  }
  std::error_code ignored;
  if (!root.empty() && fs::exists(root, ignored)) Fail("the drive " + root + " was left behind");
  return 0;
}
