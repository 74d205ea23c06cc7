// The conformance groups (tests/conformance) against the simulated machine:
// the same cases conformance.exe runs against the real Win32 layer.
#include <gtest/gtest.h>

#include <mutex>

#include "conformance/harness.h"
#include "host/sim/files.h"
#include "host/sim/registry.h"
#include "test_support.h"

namespace {

constexpr char kPortMonitor[] = "Conformance Port Monitor";

// The default machine with a silent line on COM12 and a printer on a port
// of a port monitor.
nlohmann::json Profile() {
  nlohmann::json profile = nlohmann::json::parse(sim::DefaultProfileJson());
  profile["com_ports"] = {{"COM12", {{"device", "silent"}}}};
  profile["spooler"] = {
      {"ports", {{{"name", "LPT1:"}}, {{"name", "FILE:"}}, {{"name", "CONF1:"}, {"monitor", kPortMonitor}}}},
      {"monitors", {{{"name", kPortMonitor}, {"dll", "C:\\Windows\\system32\\confmon.dll"}}}},
      {"drivers", {{{"name", "Generic / Text Only"}, {"environment", "Windows x64"}}}},
      {"printers", {{{"name", "Conformance Printer On Port"}, {"port", "CONF1:"}}}}};
  return profile;
}

struct SimulatedBackend {
  SimulatedBackend() : simulated(Profile()) {
    backend.name = "simulated machine";
    backend.tempFolder = "C:\\Conformance";
    backend.highComPort = "COM12";
    backend.monitorInUse = kPortMonitor;
    // Where the spooler, a native process, loads a monitor from.
    backend.monitorDll = "conformance-monitor.dll";
    simulated.machine.Files().WriteFile("C:\\Windows\\System32\\conformance-monitor.dll", "MZ",
                                        sim::SimFiles::View::Native);
    plat::Files().CreateDirectoryA(backend.tempFolder.c_str());
    backend.writeFile = [this](const std::string& path, const std::string& bytes) {
      simulated.machine.Files().WriteFile(path, bytes);
      return true;
    };
    backend.deleteUserKeyTree = [this](const std::string& subKey) {
      std::lock_guard<std::mutex> lock(simulated.machine.Mutex());
      simulated.machine.Registry().DeleteKeyLocked("HKEY_CURRENT_USER\\" + subKey);
    };
    conformance::ResetResults();
  }
  testing_support::SimulatedMachine simulated;
  conformance::Backend backend;
};

void ExpectNoFailures() {
  const conformance::Totals& totals = conformance::Results();
  EXPECT_GT(totals.passed, 0);
  EXPECT_EQ(totals.failed, 0);
  EXPECT_EQ(totals.differences, 0);  // the simulated machine follows documented Windows
}

TEST(Conformance, Registry) {
  SimulatedBackend side;
  conformance::TestRegistry(side.backend);
  ExpectNoFailures();
}

TEST(Conformance, FilesAndProfiles) {
  SimulatedBackend side;
  conformance::TestFiles(side.backend);
  ExpectNoFailures();
}

TEST(Conformance, Services) {
  SimulatedBackend side;
  conformance::TestServices(side.backend);
  ExpectNoFailures();
  // Every case ran here: the simulated spooler can be caught starting.
  EXPECT_EQ(conformance::Results().skipped, 0);
}

TEST(Conformance, Spooler) {
  SimulatedBackend side;
  conformance::TestSpooler(side.backend);
  ExpectNoFailures();
  EXPECT_EQ(conformance::Results().skipped, 0);
}

TEST(Conformance, SpoolerInstall) {
  SimulatedBackend side;
  conformance::TestSpoolerInstall(side.backend);
  ExpectNoFailures();
  EXPECT_EQ(conformance::Results().skipped, 0);
}

TEST(Conformance, ComPorts) {
  SimulatedBackend side;
  conformance::TestComm(side.backend);
  ExpectNoFailures();
  EXPECT_EQ(conformance::Results().skipped, 0);
}

TEST(Conformance, QueueAndNetwork) {
  SimulatedBackend side;
  conformance::TestQueue(side.backend);
  ExpectNoFailures();
  EXPECT_EQ(conformance::Results().skipped, 0);
}

TEST(Conformance, LastErrorAfterSuccess) {
  SimulatedBackend side;
  conformance::TestLastError(side.backend);
  ExpectNoFailures();
}

}  // namespace
