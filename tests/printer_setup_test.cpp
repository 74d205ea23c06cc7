// printer-setup on the simulated machine: every command and exit code, the
// installer window's boxes turned into log lines and exit codes, a second
// installation leaving the same state, and a removal leaving no trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include "Commands.h"
#include "ExitCodes.h"
#include "host/simrunner/script.h"
#include "temp_folder.h"
#include "test_support.h"

using testing_support::SimulatedMachine;

namespace {

const std::string kWindowsKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

// Windows 10 64-bit with the sample package in the current folder, COM1:
// (silent) and COM3: (a receipt printer at 9600 baud), two parallel
// ports, a USB port with a printer on line and a TCP/IP port.
nlohmann::json ShopMachine() {
  nlohmann::json profile = nlohmann::json::parse(R"({
    "windows": {"major": 10, "minor": 0, "build": 19045, "platform_id": 2, "wow64": true},
    "current_directory": "C:\\Users\\Shop\\Desktop",
    "registry": {
      "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM": {"\\Device\\Serial0": "COM1", "\\Device\\Serial1": "COM3"},
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows": {"Device": "Old printer,winspool,LPT2:"},
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports": {"COM1:": "9600,n,8,1", "COM3:": "9600,n,8,1"}
    },
    "spooler": {
      "ports": [{"name": "COM1:"}, {"name": "COM3:"}, {"name": "FILE:"}, {"name": "LPT1:"}, {"name": "LPT2:"},
                {"name": "USB001", "monitor": "USB Monitor", "description": "Virtual printer port for USB"},
                {"name": "IP_10.0.0.7", "monitor": "Standard TCP/IP Port", "description": "Standard TCP/IP Port"}],
      "online_ports": ["USB001"],
      "printers": [{"name": "Old printer", "port": "LPT2:", "driver": "Generic / Text Only"}],
      "drivers": [{"name": "Generic / Text Only"}]
    },
    "com_ports": {
      "COM1": {"device": "silent"},
      "COM3": {"device": "printer", "baud": 9600, "reply": "12", "reply_delay_ms": 30}
    }
  })");
  profile["package"] = std::string(INSTALLER_BUILD_DIR) + "/sample/DriverData.Drv";
  return profile;
}

struct SetupRun {
  int exitCode = -1;
  std::string output;
  nlohmann::json json;  // the /json object, when asked for
};

SetupRun PrinterSetup(std::vector<std::string> args, bool json = true) {
  if (json) args.push_back("/json");
  SetupRun run;
  run.exitCode = setup::RunPrinterSetup(args, nullptr, &run.output);
  if (json && !run.output.empty() && run.output[0] == '{') run.json = nlohmann::json::parse(run.output);
  return run;
}

std::string Log(const SetupRun& run) {
  return run.json.contains("log") ? run.json["log"].dump(1) : run.output;
}

bool LogHas(const SetupRun& run, const std::string& text) { return Log(run).find(text) != std::string::npos; }

// What an installation is judged by: the spooler, the registry and drive C:.
nlohmann::json Lasting(sim::Machine& machine) {
  nlohmann::json state = machine.StateJson();
  return {{"spooler", state["spooler"]}, {"registry", state["registry"]}, {"files", state["files"]}};
}

std::string Value(sim::Machine& machine, const std::string& key, const std::string& name) {
  const nlohmann::json registry = machine.StateJson()["registry"];
  return registry.contains(key) && registry[key].contains(name) ? registry[key][name].get<std::string>()
                                                                : "(none)";
}

nlohmann::json Printer(sim::Machine& machine, const std::string& name) {
  const nlohmann::json state = machine.StateJson();
  for (const auto& printer : state["spooler"]["printers"])
    if (printer["name"] == name) return printer;
  return nullptr;
}

int Count(const nlohmann::json& list, const std::string& field, const std::string& value) {
  int count = 0;
  for (const auto& entry : list) count += entry[field] == value ? 1 : 0;
  return count;
}

TEST(PrinterSetupCommandLine, RefusesWhatItCannotDoWith87AndTheHelp) {
  SimulatedMachine machine(ShopMachine());
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"install", "/model", "RV-640"},
           {"install", "/port", "LPT1:"},
           {"install", "/model", "RV-640", "/port", "LPT1:", "/bogus"},
           {"install", "/model", "RV-640", "/port", "LPT1:", "/baud", "1234"},
           {"install", "/model", "RV-640", "/port", "LPT1:", "/default:yes"},
           {"list", "/printer", "X"},
           {"remove"},
           {"status", "/printer"},
           {"install", "/model", "RV-640", "/port", "tcpip:10.0.0.1;rm"}}) {
    const SetupRun run = PrinterSetup(args, false);
    EXPECT_EQ(run.exitCode, setup::kExitBadCommandLine) << run.output;
    if (args.empty() || args.back().find("tcpip:") == std::string::npos) {
      EXPECT_NE(run.output.find("printer-setup install /model NAME"), std::string::npos) << run.output;
    }
  }
  const SetupRun help = PrinterSetup({"install", "/?"}, false);
  EXPECT_EQ(help.exitCode, setup::kExitDone);
  EXPECT_NE(help.output.find("Exit codes"), std::string::npos);
  // Options in any case, with a colon or a separate value.
  EXPECT_EQ(PrinterSetup({"PLAN", "/MODEL:RV-640", "-Port", "lpt1:"}).exitCode, setup::kExitDone);
  const SetupRun bad = PrinterSetup({"install", "/json", "/model", "x"});
  EXPECT_EQ(bad.json["exit_code"], 87);
  // A name the spooler would refuse, with the reason, before anything is done.
  for (const auto& name : std::vector<std::pair<std::string, std::string>>{
           {"Kitchen\\Bar", "cannot contain \"\\\""},
           {"Front,Desk", "cannot contain \",\""},
           {std::string(300, 'P'), "at most 220 characters; this one has 300"}}) {
    const SetupRun refused =
        PrinterSetup({"install", "/model", "RV-640", "/port", "LPT1:", "/name", name.first}, false);
    EXPECT_EQ(refused.exitCode, setup::kExitBadCommandLine) << refused.output;
    EXPECT_NE(refused.output.find(name.second), std::string::npos) << refused.output;
    EXPECT_TRUE(Printer(machine.machine, name.first).is_null());
  }
}

TEST(PrinterSetupList, NamesEveryCatalogueEntryWithItsKindAndNeedsThePackage) {
  SimulatedMachine machine(ShopMachine());
  const nlohmann::json before = Lasting(machine.machine);
  const SetupRun run = PrinterSetup({"list"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const nlohmann::json& models = run.json["models"];
  EXPECT_EQ(models.size(), 40u);
  EXPECT_EQ(Count(models, "kind", "label"), 6);
  EXPECT_EQ(models[5]["name"], "RV-640");
  EXPECT_EQ(models[5]["kind"], "receipt");
  EXPECT_EQ(models.back()["kind"], "label");
  // The package was unpacked and removed again.
  EXPECT_EQ(Lasting(machine.machine), before);

  const SetupRun missing = PrinterSetup({"list", "/package", "C:\\nowhere\\DriverData.Drv"});
  EXPECT_EQ(missing.exitCode, setup::kExitInstallFailed) << missing.output;
  EXPECT_TRUE(LogHas(missing, "was not found or not read")) << Log(missing);
}

class PrinterSetupPackage : public testing_support::TempFolderTest {};

TEST_F(PrinterSetupPackage, TheLogNamesWhyTheArchiveLibraryRefusedIt) {
  nlohmann::json profile = ShopMachine();
  profile["package"] = (root_ / "DriverData.Drv").string();
  testing_support::WriteText(root_ / "DriverData.Drv",
                             std::string("7z\xBC\xAF\x27\x1C", 6) + std::string(200, 'x'));
  SimulatedMachine machine(profile);
  const SetupRun run = PrinterSetup({"list"});
  EXPECT_EQ(run.exitCode, setup::kExitInstallFailed) << run.output;
  EXPECT_TRUE(LogHas(run, "the driver package was not unpacked: not a ZIP archive but a 7z archive"))
      << Log(run);
}

TEST(PrinterSetupInstall, ParallelPortWithDefaultThenTheSameAgainLeavesTheSameState) {
  SimulatedMachine machine(ShopMachine());
  // Two parallel ports: the window's picker is answered with the one named.
  const SetupRun first =
      PrinterSetup({"install", "/model", "RV-640", "/port", "LPT2:", "/name", "Till 1", "/default"});
  ASSERT_EQ(first.exitCode, 0) << Log(first);
  EXPECT_TRUE(LogHas(first, "parallel port picker: chose LPT2:")) << Log(first);
  EXPECT_EQ(first.json["printer"]["port"], "LPT2:");
  EXPECT_EQ(Printer(machine.machine, "Till 1")["driver"], "RV-640");
  EXPECT_EQ(Value(machine.machine, kWindowsKey, "Device"), "Till 1,winspool,LPT2:");
  const nlohmann::json once = Lasting(machine.machine);

  const SetupRun again =
      PrinterSetup({"install", "/model", "RV-640", "/port", "LPT2:", "/name", "Till 1", "/default"});
  ASSERT_EQ(again.exitCode, 0) << Log(again);
  EXPECT_EQ(Lasting(machine.machine), once);
  EXPECT_EQ(Count(machine.machine.StateJson()["spooler"]["printers"], "name", "Till 1"), 1);
  // The unpacked package is gone, as when the window closes.
  EXPECT_EQ(plat::Files().GetFileAttributesA("C:\\DriverName.cfg"), INVALID_FILE_ATTRIBUTES);
}

TEST(PrinterSetupInstall, UsbSerialProbingAndNamedPortsEndWhereThePrinterIs) {
  SimulatedMachine machine(ShopMachine());
  const SetupRun usb = PrinterSetup({"install", "/model", "RV-640", "/port", "usb", "/name", "Usb till"});
  ASSERT_EQ(usb.exitCode, 0) << Log(usb);
  EXPECT_EQ(Printer(machine.machine, "Usb till")["port"], "USB001");
  // Not the default: "Device" still names the old printer.
  EXPECT_EQ(Value(machine.machine, kWindowsKey, "Device"), "Old printer,winspool,LPT2:");

  const SetupRun serial =
      PrinterSetup({"install", "/model", "RV-640", "/port", "serial", "/name", "Serial till"});
  ASSERT_EQ(serial.exitCode, 0) << Log(serial);
  EXPECT_TRUE(LogHas(serial, "probe the COM ports at 9600 baud")) << Log(serial);
  EXPECT_EQ(Printer(machine.machine, "Serial till")["port"], "COM3:");

  const SetupRun named =
      PrinterSetup({"install", "/model", "RV-640", "/port", "com1:", "/baud", "19200", "/name", "Com1 till"});
  ASSERT_EQ(named.exitCode, 0) << Log(named);
  EXPECT_EQ(Printer(machine.machine, "Com1 till")["port"], "COM1:");
  EXPECT_EQ(Value(machine.machine,
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "COM1:"),
            "19200,n,8,1");

  const SetupRun existing =
      PrinterSetup({"install", "/model", "RV-640", "/port", "IP_10.0.0.7", "/name", "Net till"});
  ASSERT_EQ(existing.exitCode, 0) << Log(existing);
  EXPECT_TRUE(LogHas(existing, "TCP/IP port picker: chose IP_10.0.0.7")) << Log(existing);
  EXPECT_EQ(Printer(machine.machine, "Net till")["port"], "IP_10.0.0.7");
}

TEST(PrinterSetupInstall, NetworkAddressMakesItsPortOnceThroughTheMonitorsDataCall) {
  SimulatedMachine machine(ShopMachine());
  const SetupRun run =
      PrinterSetup({"install", "/model", "RV-640", "/port", "tcpip:192.168.1.60", "/name", "Kitchen"});
  ASSERT_EQ(run.exitCode, 0) << Log(run);
  const nlohmann::json ports = machine.machine.StateJson()["spooler"]["ports"];
  EXPECT_EQ(Count(ports, "name", "IP_192.168.1.60"), 1);
  EXPECT_EQ(ports.back()["address"], "192.168.1.60");
  EXPECT_EQ(Printer(machine.machine, "Kitchen")["port"], "IP_192.168.1.60");
  // No wizard was shown on the way.
  EXPECT_FALSE(LogHas(run, "Add Port")) << Log(run);

  const SetupRun again =
      PrinterSetup({"install", "/model", "RV-640", "/port", "tcpip:192.168.1.60", "/name", "Kitchen"});
  ASSERT_EQ(again.exitCode, 0) << Log(again);
  EXPECT_EQ(Count(machine.machine.StateJson()["spooler"]["ports"], "name", "IP_192.168.1.60"), 1);
}

TEST(PrinterSetupInstall, NotFoundAndRefusalsExitWithTheirCodes) {
  SimulatedMachine machine(ShopMachine());
  EXPECT_EQ(PrinterSetup({"install", "/model", "No such model", "/port", "LPT1:"}).exitCode,
            setup::kExitNotFound);
  EXPECT_EQ(PrinterSetup({"install", "/model", "RV-640", "/port", "LPT9:"}).exitCode, setup::kExitNotFound);
  EXPECT_EQ(PrinterSetup({"install", "/model", "LB-400 Label", "/port", "LPT1:", "/name", "Other"}).exitCode,
            setup::kExitBadCommandLine);
  const SetupRun noPackage =
      PrinterSetup({"install", "/model", "RV-640", "/port", "LPT1:", "/package", "C:\\x.Drv"});
  EXPECT_EQ(noPackage.exitCode, setup::kExitInstallFailed);
  EXPECT_TRUE(Printer(machine.machine, "RV-640").is_null());
}

TEST(PrinterSetupInstall, TakesAdministratorRightsAndOneInstallationAtATime) {
  nlohmann::json standardUser = ShopMachine();
  standardUser["windows"]["administrator"] = false;
  {
    SimulatedMachine machine(standardUser);
    EXPECT_EQ(PrinterSetup({"install", "/model", "RV-640", "/port", "LPT1:"}).exitCode,
              setup::kExitAccessDenied);
    EXPECT_EQ(PrinterSetup({"list"}).exitCode, setup::kExitAccessDenied);
    // Reading needs no rights.
    EXPECT_EQ(PrinterSetup({"status"}).exitCode, setup::kExitDone);
  }
  SimulatedMachine machine(ShopMachine());
  HANDLE held = plat::Threads().CreateMutexA("Global\\PrinterDriverInstaller.Installation");
  ASSERT_NE(held, nullptr);
  const SetupRun busy = PrinterSetup({"install", "/model", "RV-640", "/port", "LPT1:"});
  EXPECT_EQ(busy.exitCode, setup::kExitAnotherInstallation) << Log(busy);
  EXPECT_TRUE(Printer(machine.machine, "RV-640").is_null());
  plat::Threads().CloseHandle(held);
  EXPECT_EQ(PrinterSetup({"install", "/model", "RV-640", "/port", "LPT1:"}).exitCode, setup::kExitDone);
}

TEST(PrinterSetupStatus, ListsThePackagesPrintersAndDetectsOneByName) {
  SimulatedMachine machine(ShopMachine());
  ASSERT_EQ(
      PrinterSetup({"install", "/model", "RV-640", "/port", "usb", "/name", "Front", "/default"}).exitCode,
      0);
  const SetupRun status = PrinterSetup({"status"});
  ASSERT_EQ(status.exitCode, 0);
  ASSERT_EQ(status.json["printers"].size(), 1u) << status.output;  // not the generic one
  EXPECT_EQ(
      status.json["printers"][0],
      (nlohmann::json{
          {"name", "Front"}, {"driver", "RV-640"}, {"port", "USB001"}, {"online", true}, {"default", true}}));
  EXPECT_EQ(PrinterSetup({"status", "/printer", "front"}).exitCode, 0);
  EXPECT_EQ(PrinterSetup({"status", "/printer", "Back"}).exitCode, setup::kExitNotFound);
}

TEST(PrinterSetupPlan, SaysWhatInstallWouldDoAndChangesNothing) {
  SimulatedMachine machine(ShopMachine());
  const nlohmann::json before = Lasting(machine.machine);
  const SetupRun plan =
      PrinterSetup({"plan", "/model", "LB-400 Label", "/port", "tcpip:10.1.1.1", "/default"});
  ASSERT_EQ(plan.exitCode, 0) << Log(plan);
  EXPECT_EQ(plan.json["plan"]["kind"], "label");
  EXPECT_EQ(plan.json["plan"]["monitor"], "Advanced Language Monitor");
  EXPECT_EQ(plan.json["plan"]["environment"], "Windows x64");
  EXPECT_EQ(plan.json["plan"]["create_port"], true);
  EXPECT_EQ(plan.json["plan"]["printer"], "LB-400 Label");
  EXPECT_EQ(Lasting(machine.machine), before);
}

// Every catalogue name of the sample (so every model, and the names that
// change a receipt model's resource DLL) on both word sizes: the files the
// plan names are exactly those of the driver the installation registers.
TEST(PrinterSetupPlan, NamesExactlyTheFilesTheInstalledDriverHolds) {
  for (bool x64 : {false, true}) {
    nlohmann::json profile = ShopMachine();
    profile["windows"]["wow64"] = x64;
    SimulatedMachine machine(profile);
    const SetupRun list = PrinterSetup({"list"});
    ASSERT_EQ(list.exitCode, 0) << list.output;
    for (const nlohmann::json& model : list.json["models"]) {
      const std::string name = model["name"];
      const SetupRun plan = PrinterSetup({"plan", "/model", name, "/port", "LPT1:"});
      ASSERT_EQ(plan.exitCode, 0) << name << Log(plan);
      const SetupRun install = PrinterSetup({"install", "/model", name, "/port", "LPT1:"});
      ASSERT_EQ(install.exitCode, 0) << name << Log(install);

      auto planned = plan.json["plan"]["files"].get<std::vector<std::string>>();
      std::vector<std::string> registered;
      const nlohmann::json state = machine.machine.StateJson();
      for (const nlohmann::json& driver : state["spooler"]["drivers"])
        if (driver["name"] == plan.json["plan"]["driver"] &&
            driver["environment"] == plan.json["plan"]["environment"])
          registered = driver["files"].get<std::vector<std::string>>();
      std::sort(planned.begin(), planned.end());
      std::sort(registered.begin(), registered.end());
      EXPECT_EQ(planned, registered) << name << (x64 ? " on 64-bit" : " on 32-bit");
    }
  }
}

TEST(PrinterSetupRemove, RemovingWithTheDriverLeavesNoTraceOfPrinterDriverOrMonitor) {
  SimulatedMachine machine(ShopMachine());
  const nlohmann::json before = Lasting(machine.machine);
  ASSERT_EQ(PrinterSetup({"install", "/model", "LB-400 Label", "/port", "usb", "/default"}).exitCode, 0);
  ASSERT_EQ(PrinterSetup({"install", "/model", "RV-640", "/port", "LPT1:", "/name", "Till"}).exitCode, 0);
  EXPECT_EQ(machine.machine.StateJson()["spooler"]["monitors"].size(), 1u);

  const SetupRun label = PrinterSetup({"remove", "/printer", "LB-400 Label", "/driver"});
  ASSERT_EQ(label.exitCode, 0) << Log(label);
  EXPECT_TRUE(LogHas(label, "\\\"Device\\\" named the printer: cleared")) << Log(label);
  EXPECT_EQ(Value(machine.machine, kWindowsKey, "Device"), "(none)");
  const SetupRun till = PrinterSetup({"remove", "/printer", "Till", "/driver"});
  ASSERT_EQ(till.exitCode, 0) << Log(till);

  nlohmann::json after = Lasting(machine.machine);
  // The old default is not brought back: Windows picks the next one itself.
  nlohmann::json expected = before;
  expected["registry"][kWindowsKey].erase("Device");
  if (expected["registry"][kWindowsKey].empty()) expected["registry"].erase(kWindowsKey);
  EXPECT_EQ(after["spooler"], expected["spooler"]);
  EXPECT_EQ(after["registry"], expected["registry"]) << after["registry"].dump(1);
  // The driver's version folder stays, as on Windows, where it is there
  // from the start.
  nlohmann::json files = after["files"];
  files.erase(std::remove(files.begin(), files.end(), "C:\\Windows\\System32\\spool\\drivers\\x64\\3\\"),
              files.end());
  EXPECT_EQ(files, expected["files"]) << after["files"].dump(1);
  EXPECT_EQ(PrinterSetup({"status", "/printer", "Till"}).exitCode, setup::kExitNotFound);
  EXPECT_EQ(PrinterSetup({"remove", "/printer", "Till"}).exitCode, setup::kExitNotFound);
}

TEST(PrinterSetupRemove, KeepsADriverAnotherPrinterUses) {
  SimulatedMachine machine(ShopMachine());
  ASSERT_EQ(PrinterSetup({"install", "/model", "RV-640", "/port", "LPT1:", "/name", "A"}).exitCode, 0);
  ASSERT_EQ(PrinterSetup({"install", "/model", "RV-640", "/port", "LPT2:", "/name", "B"}).exitCode, 0);
  const SetupRun run = PrinterSetup({"remove", "/printer", "A", "/driver"});
  ASSERT_EQ(run.exitCode, 0) << Log(run);
  EXPECT_TRUE(LogHas(run, "driver RV-640 kept: the printer B uses it")) << Log(run);
  EXPECT_EQ(Count(machine.machine.StateJson()["spooler"]["drivers"], "name", "RV-640"), 1);
  // The spooler itself refuses to delete a driver in use.
  EXPECT_FALSE(plat::Spooler().DeletePrinterDriverExA("Windows x64", "RV-640", DPD_DELETE_UNUSED_FILES));
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
}

// Failures of the installation: the window's box becomes a log line and
// the run ends with 1603, never asking to retry.
struct FailureCase {
  const char* name;
  nlohmann::json faults;
  std::vector<std::string> args;
  const char* logLine;
};

TEST(PrinterSetupFaults, EveryFailureBoxBecomesItsLogLineAnd1603) {
  const std::vector<FailureCase> cases = {
      {"receipt driver refused",
       {{{"call", "AddPrinterDriverExA"}, {"error", 5}}},
       {"install", "/model", "RV-640", "/port", "LPT1:"},
       "box Error: Failed to add the driver 5 / Click Retry:You can retry / Click Cancel：Exit and abort "
       "installation -> Cancel"},
      {"label driver refused",
       {{{"call", "AddPrinterDriverExA"}, {"error", 2}}},
       {"install", "/model", "LB-400 Label", "/port", "LPT1:"},
       "box Configure & Install v1.0: Failed to add the driver 2"},
      {"monitor refused",
       {{{"call", "AddMonitorA"}, {"error", 5}}},
       {"install", "/model", "LB-400 Label", "/port", "LPT1:"},
       "box Configure & Install v1.0: Failed to add Monitor"},
      {"printer refused",
       {{{"call", "AddPrinterA"}, {"error", 1804}}},
       {"install", "/model", "RV-640", "/port", "LPT1:"},
       "box Error prompt: Error AddPrinter 1804 -> OK"},
      {"no printer on line on USB",
       nlohmann::json::array(),
       {"install", "/model", "RV-640", "/port", "usb"},
       "box Fail to select port: Failed to select USB port"},
      {"driver folder unknown",
       {{{"call", "GetPrinterDriverDirectoryA"}, {"error", 5}}},
       {"install", "/model", "RV-640", "/port", "LPT1:"},
       "could not be read (error 5)"},
      {"TCP/IP monitor data call refused",
       {{{"call", "XcvDataW"}, {"error", 5}}},
       {"install", "/model", "RV-640", "/port", "tcpip:10.9.9.9"},
       "XcvData AddPort IP_10.9.9.9 failed: error 5"},
  };
  for (const FailureCase& failure : cases) {
    SCOPED_TRACE(failure.name);
    nlohmann::json profile = ShopMachine();
    profile["faults"] = failure.faults;
    if (std::string(failure.name) == "no printer on line on USB")
      profile["spooler"]["online_ports"] = nlohmann::json::array();
    SimulatedMachine machine(profile);
    const SetupRun run = PrinterSetup(failure.args);
    EXPECT_EQ(run.exitCode, setup::kExitInstallFailed) << Log(run);
    EXPECT_TRUE(LogHas(run, failure.logLine)) << Log(run);
    EXPECT_FALSE(LogHas(run, "-> Retry"));
    // The package is cleaned up whatever happened.
    EXPECT_EQ(plat::Files().GetFileAttributesA("C:\\DriverName.cfg"), INVALID_FILE_ATTRIBUTES);
  }
}

TEST(PrinterSetupFaults, SerialProbingThatFindsNoPrinterIsNotFound) {
  nlohmann::json profile = ShopMachine();
  profile["com_ports"]["COM3"]["baud"] = 19200;
  SimulatedMachine machine(profile);
  const SetupRun run = PrinterSetup({"install", "/model", "RV-640", "/port", "serial"});
  EXPECT_EQ(run.exitCode, setup::kExitNotFound) << Log(run);
  EXPECT_TRUE(LogHas(run, "serial probing found no printer")) << Log(run);
}

}  // namespace

namespace {

// The window and printer-setup share the lock: a window started while
// another installation holds it says so and never opens.
TEST(InstallerWindowLock, TheWindowStaysClosedWhileAnotherInstallationHoldsTheLock) {
  nlohmann::json profile = ShopMachine();
  // Held by a process of another session, whose mutex this one may not open.
  profile["faults"] = {{{"call", "CreateMutexA"}, {"error", 5}}};
  const installersim::RunResult run =
      installersim::RunInstaller(profile, installersim::ScriptedUser::DefaultScript());
  EXPECT_GE(
      testing_support::FindLine(run.transcript, "Another printer installation is running on this computer."),
      0)
      << testing_support::Joined(run.transcript);
  EXPECT_EQ(testing_support::FindLine(run.transcript, "opened"), -1)
      << testing_support::Joined(run.transcript);
  EXPECT_TRUE(run.state["spooler"]["printers"].size() == 1u);
}

}  // namespace

namespace {

// Every case of the fault matrix, run through printer-setup with the model
// and port type its script picks: whatever the window would have shown is
// a log line, a failure box ends in 1603 naming it, nothing is retried and
// the unpacked package goes.
std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Field(const std::string& text, const std::string& name) {
  std::smatch match;
  return std::regex_search(text, match, std::regex("(^|\n)" + name + ": *([^\n]*)")) ? match[2].str()
                                                                                     : std::string();
}

TEST(PrinterSetupFaults, EveryFaultMatrixCaseEndsInItsExitCodeWithTheBoxesLogged) {
  const std::filesystem::path source(INSTALLER_SOURCE_DIR);
  const char* const kPortOfRow[] = {"serial", "usb", "LPT1:", "tcpip:192.168.1.50"};
  int cases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(source / "faults")) {
    if (entry.path().extension() != ".run") continue;
    const std::string run = ReadFile(entry.path());
    const std::string script = ReadFile(source / Field(run, "script"));
    std::ifstream profileFile(source / Field(run, "profile"));
    nlohmann::json profile = nlohmann::json::parse(profileFile, nullptr, true, true);
    if (profile.contains("package")) {
      std::string package = profile["package"].get<std::string>();
      if (package.rfind("build/", 0) == 0) package = std::string(INSTALLER_BUILD_DIR) + package.substr(5);
      profile["package"] = package;
    }
    std::smatch match;
    const std::string model =
        std::regex_search(script, match, std::regex("\"driver\", \"text\": \"([^\"]+)\"")) ? match[1].str()
                                                                                           : "RV-640";
    const int row = std::regex_search(script, match, std::regex("\"port-type\", \"row\": ([0-3])"))
                        ? std::stoi(match[1].str())
                        : 1;
    SCOPED_TRACE(entry.path().filename().string() + ": install /model " + model + " /port " +
                 kPortOfRow[row]);
    ++cases;
    SimulatedMachine machine(profile);
    const SetupRun result = PrinterSetup({"install", "/model", model, "/port", kPortOfRow[row]});
    const std::string log = Log(result);
    if (profile.contains("windows") && !profile["windows"].value("administrator", true)) {
      // A standard user: refused before anything is touched.
      EXPECT_EQ(result.exitCode, setup::kExitAccessDenied) << log;
      continue;
    }
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == setup::kExitNotFound ||
                result.exitCode == setup::kExitInstallFailed)
        << result.exitCode << "\n"
        << log;
    EXPECT_EQ(log.find("-> Retry"), std::string::npos) << log;
    for (const char* caption :
         {"box Error:", "box Error prompt:", "box Fail to select port:", "box Application Error:"}) {
      if (log.find(caption) != std::string::npos) {
        EXPECT_EQ(result.exitCode, setup::kExitInstallFailed) << log;
      }
    }
    if (result.exitCode == setup::kExitInstallFailed) {
      ASSERT_TRUE(result.json.contains("error")) << result.output;
      EXPECT_FALSE(result.json["error"].get<std::string>().empty());
    }
    if (result.exitCode == 0) {
      EXPECT_FALSE(Printer(machine.machine, model).is_null()) << log;
    }
    if (entry.path().stem() != "cleanup-refused") {
      EXPECT_EQ(plat::Files().GetFileAttributesA("C:\\DriverName.cfg"), INVALID_FILE_ATTRIBUTES) << log;
    }
  }
  EXPECT_GE(cases, 40);
}

}  // namespace

namespace {

TEST(PrinterSetupMachine, ProtectedPrintModeAndArm64StopInstallAndPlanBeforeAnythingIsWritten) {
  nlohmann::json protectedPrint = ShopMachine();
  protectedPrint["windows"]["build"] = 26100;
  protectedPrint["registry"]["HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP"] =
      {{"WindowsProtectedPrintGroupPolicyState", 1}};
  nlohmann::json arm64 = ShopMachine();
  arm64["windows"]["build"] = 22631;
  arm64["windows"]["native_machine"] = "arm64";
  nlohmann::json both = protectedPrint;
  both["windows"]["native_machine"] = "arm64";
  const struct {
    const nlohmann::json& profile;
    int exitCode;
    const char* machine;
    bool protectedPrint;
    const char* error;
  } cases[] = {
      {protectedPrint, setup::kExitBlockedByPolicy, "x64", true, "Windows Protected Print mode is on"},
      {arm64, setup::kExitPlatformUnsupported, "ARM64", false, "no drivers for ARM64 Windows"},
      // Without drivers for the processor the mode does not matter.
      {both, setup::kExitPlatformUnsupported, "ARM64", true, "no drivers for ARM64 Windows"},
  };
  for (const auto& c : cases) {
    SimulatedMachine machine(c.profile);
    const nlohmann::json before = Lasting(machine.machine);
    const SetupRun install = PrinterSetup({"install", "/model", "RV-640", "/port", "LPT1:"});
    EXPECT_EQ(install.exitCode, c.exitCode) << Log(install);
    EXPECT_EQ(install.json.value("error", ""), c.error) << install.output;
    const SetupRun plan = PrinterSetup({"plan", "/model", "RV-640", "/port", "LPT1:"});
    EXPECT_EQ(plan.exitCode, c.exitCode) << Log(plan);
    EXPECT_EQ(plan.json["machine"],
              (nlohmann::json{{"native_machine", c.machine}, {"protected_print", c.protectedPrint}}));
    EXPECT_FALSE(plan.json.contains("plan"));
    // Not even the package was unpacked.
    EXPECT_EQ(Lasting(machine.machine), before);
    EXPECT_EQ(machine.machine.Faults().CallCount("SevenZip"), 0);

    const SetupRun status = PrinterSetup({"status"}, false);
    EXPECT_EQ(status.exitCode, setup::kExitDone);
    EXPECT_NE(status.output.find(c.protectedPrint ? "Windows Protected Print mode: on" : "machine: ARM64"),
              std::string::npos)
        << status.output;
  }
}

TEST(PrinterSetupMachine, StatusAndPlanReportAnOrdinaryMachineAndGoOn) {
  SimulatedMachine machine(ShopMachine());
  const SetupRun status = PrinterSetup({"status"});
  EXPECT_EQ(status.json["machine"], (nlohmann::json{{"native_machine", "x64"}, {"protected_print", false}}));
  const SetupRun plan = PrinterSetup({"plan", "/model", "RV-640", "/port", "LPT1:"}, false);
  EXPECT_EQ(plan.exitCode, setup::kExitDone);
  EXPECT_EQ(plan.output.rfind("driver:  RV-640", 0), 0u) << plan.output;
}

}  // namespace
