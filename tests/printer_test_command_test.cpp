// printer-setup test on the simulated machine: each answer bit of the
// status requests in words, each verdict with its exit code, the bytes of
// the test receipt as the port received them, and the test label a label
// printer's driver draws, or cannot.
#include <gtest/gtest.h>

#include "Commands.h"
#include "ExitCodes.h"
#include "PrinterAsking.h"
#include "StatusWords.h"
#include "TestReceipt.h"
#include "host/sim/files.h"
#include "host/sim/status_device.h"
#include "test_support.h"

namespace {

// A shop with a receipt printer on COM3:, one on the network at
// 127.0.0.1:9100, one on USB and a label printer on LPT1:.
nlohmann::json Shop() {
  return nlohmann::json::parse(R"({
    "registry": {
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports": {"COM3:": "9600,n,8,1"},
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows": {"Device": "Till,winspool,COM3:"}
    },
    "spooler": {
      "ports": [{"name": "COM3:"}, {"name": "LPT1:"}, {"name": "USB001", "monitor": "USB Monitor"},
                {"name": "IP_127.0.0.1", "monitor": "Standard TCP/IP Port", "address": "127.0.0.1", "port_number": 9100}],
      "drivers": [{"name": "RV-580"}, {"name": "LB-400 Label"}],
      "printers": [{"name": "Till", "port": "COM3:", "driver": "RV-580"},
                   {"name": "Kitchen", "port": "IP_127.0.0.1", "driver": "RV-580"},
                   {"name": "Counter", "port": "USB001", "driver": "RV-580"}]
    },
    "com_ports": {"COM3": {"device": "printer", "baud": 9600}},
    "network": {"127.0.0.1:9100": {"device": "printer"}}
  })");
}

struct TestRun {
  int exitCode = -1;
  nlohmann::json json;
  std::string text;
};

TestRun RunTest(const nlohmann::json& profile, const std::string& printer, bool print = false,
                nlohmann::json* state = nullptr) {
  testing_support::SimulatedMachine simulated(profile);
  TestRun run;
  std::vector<std::string> args = {"test", "/printer", printer};
  if (print) args.push_back("/print");
  setup::RunPrinterSetup(args, nullptr, &run.text);
  args.push_back("/json");
  std::string output;
  run.exitCode = setup::RunPrinterSetup(args, nullptr, &output);
  run.json = nlohmann::json::parse(output);
  if (state) *state = simulated.machine.StateJson();
  return run;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(PrinterTestWords, EachAnswerBitOfEachRequestHasItsWord) {
  struct Case {
    int n;
    BYTE answer;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {1, 0x12, {"on line"}},
      {1, 0x1A, {"off line"}},
      {1, 0x16, {"on line", "drawer signal"}},
      {1, 0x52, {"on line", "paper feed button pressed"}},
      {2, 0x12, {}},
      {2, 0x16, {"cover open"}},
      {2, 0x1A, {"paper being fed by the button"}},
      {2, 0x32, {"paper end"}},
      {2, 0x52, {"error"}},
      {3, 0x16, {"mechanical error"}},
      {3, 0x1A, {"auto-cutter error"}},
      {3, 0x32, {"unrecoverable error"}},
      {3, 0x52, {"error that clears by itself"}},
      {4, 0x1E, {"paper near its end"}},
      {4, 0x7E, {"paper near its end", "paper end"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words;
    for (const setup::StatusWord& word : setup::DecodeStatusAnswer(c.n, c.answer)) words.push_back(word.word);
    EXPECT_EQ(words, c.words) << "DLE EOT " << c.n << " answer " << int(c.answer);
    EXPECT_TRUE(setup::IsStatusAnswer(c.answer));
  }
  // Bits 0 and 7 clear, 1 and 4 set: anything else is another protocol.
  for (BYTE other : {0x00, 0x13, 0x92, 0x10, 0xFF}) EXPECT_FALSE(setup::IsStatusAnswer(other)) << int(other);

  // The spooler's flags: nothing set is ready; working off line is an
  // attribute, not a status.
  EXPECT_EQ(setup::PrinterStatusWords(0, 0)[0].word, "ready");
  EXPECT_EQ(setup::PrinterStatusWords(0, PRINTER_ATTRIBUTE_WORK_OFFLINE)[0].word, "working off line");
  EXPECT_EQ(setup::PrinterStatusWords(PRINTER_STATUS_PAUSED | PRINTER_STATUS_NOT_AVAILABLE, 0).size(), 2u);
  EXPECT_EQ(setup::JobStatusWords(0), std::vector<std::string>{"waiting"});
  EXPECT_TRUE(setup::JobIsHeld(JOB_STATUS_ERROR | JOB_STATUS_PRINTING));
  EXPECT_FALSE(setup::JobIsHeld(JOB_STATUS_PRINTING | JOB_STATUS_SPOOLING));

  EXPECT_EQ(setup::LineSettingsDefinition("9600,n,8,1"), "baud=9600 parity=n data=8 stop=1");
  EXPECT_EQ(setup::LineSettingsDefinition("19200,E,7,1.5"), "baud=19200 parity=e data=7 stop=1.5");
  for (const char* bad : {"", "9600", "9600,x,8,1", "9600,n,9,1", "0,n,8,1", "9600,n,8,1,extra"})
    EXPECT_EQ(setup::LineSettingsDefinition(bad), "") << bad;
}

TEST(PrinterTestVerdict, EachStateGivesItsFirstLineAndExitCode) {
  struct Case {
    const char* what;
    const char* printer;
    std::function<void(nlohmann::json&)> change;
    int exitCode;
    const char* firstLine;
  };
  const Case cases[] = {
      {"ready serial printer", "Till", [](nlohmann::json&) {}, setup::kExitDone, "Ready: Till on COM3:."},
      {"paper end on COM3", "Till",
       [](nlohmann::json& p) { p["com_ports"]["COM3"]["status"] = {"paper_end"}; },
       setup::kExitPrinterProblem, "Not ready: the printer reports paper end."},
      {"paper near its end", "Till",
       [](nlohmann::json& p) { p["com_ports"]["COM3"]["status"] = {"paper_near_end"}; }, setup::kExitDone,
       "Ready: Till on COM3: (paper near its end)."},
      {"silent COM port", "Till", [](nlohmann::json& p) { p["com_ports"]["COM3"]["device"] = "silent"; },
       setup::kExitNoAnswer, "Not ready: the printer does not answer on COM3:."},
      {"a read that times out with an error, as under Wine", "Till",
       [](nlohmann::json& p) {
         p["faults"] = {{{"call", "ReadFile"}, {"error", 1460}}};
       },
       setup::kExitNoAnswer, "Not ready: the printer does not answer on COM3:."},
      {"printer at another rate", "Till", [](nlohmann::json& p) { p["com_ports"]["COM3"]["baud"] = 19200; },
       setup::kExitNoAnswer, "Not ready: the printer does not answer on COM3:."},
      {"network printer, cover open", "Kitchen",
       [](nlohmann::json& p) { p["network"]["127.0.0.1:9100"]["status"] = {"cover_open"}; },
       setup::kExitPrinterProblem, "Not ready: the printer reports cover open."},
      {"nothing listening", "Kitchen", [](nlohmann::json& p) { p["network"] = nlohmann::json::object(); },
       setup::kExitNoAnswer, "Not ready: nothing takes print jobs at 127.0.0.1 port 9100."},
      {"a host that never answers", "Kitchen",
       [](nlohmann::json& p) {
         p["spooler"]["ports"][3]["address"] = "192.168.1.50";
         p["network"] = nlohmann::json::object();
       },
       setup::kExitNoAnswer, "Not ready: the printer does not answer at 192.168.1.50 port 9100."},
      {"USB printer switched off", "Counter",
       [](nlohmann::json& p) { p["spooler"]["printers"][2]["status"] = {"not_available"}; },
       setup::kExitPrinterProblem, "Not ready: Windows reports the printer not available."},
      {"paused queue", "Counter",
       [](nlohmann::json& p) { p["spooler"]["printers"][2]["status"] = {"paused"}; },
       setup::kExitQueueBlocked, "Not ready: the queue is paused."},
      {"Use Printer Offline", "Counter",
       [](nlohmann::json& p) { p["spooler"]["printers"][2]["status"] = {"work_offline"}; },
       setup::kExitQueueBlocked, "Not ready: the queue is working off line."},
      {"job stuck for two minutes", "Counter",
       [](nlohmann::json& p) {
         p["spooler"]["printers"][2]["jobs"] = {{{"document", "Receipt 41"}, {"size", 812}, {"age_s", 120}}};
       },
       setup::kExitQueueBlocked, "Not ready: the job \"Receipt 41\" has been stuck in the queue for 2 min."},
      {"young job is no stuck job", "Counter",
       [](nlohmann::json& p) {
         p["spooler"]["printers"][2]["jobs"] = {
             {{"document", "Receipt 42"}, {"status", {"printing"}}, {"age_s", 5}}};
       },
       setup::kExitDone, "Ready: Counter on USB001."},
      {"job in error", "Counter",
       [](nlohmann::json& p) {
         p["spooler"]["printers"][2]["jobs"] = {
             {{"document", "Receipt 43"}, {"status", {"error"}}, {"age_s", 5}}};
       },
       setup::kExitQueueBlocked, "Not ready: a job in the queue is held (1 held); delete it or restart it."},
      {"no such printer", "Bar", [](nlohmann::json&) {}, setup::kExitNotFound,
       "Not ready: there is no printer \"Bar\" on this computer."},
  };
  for (const Case& c : cases) {
    nlohmann::json profile = Shop();
    c.change(profile);
    const TestRun run = RunTest(profile, c.printer);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.text;
    EXPECT_EQ(FirstLine(run.text), c.firstLine) << c.what;
    EXPECT_EQ(run.json["ready"], c.exitCode == setup::kExitDone) << c.what;
    EXPECT_EQ(run.json["exit_code"], c.exitCode) << c.what;
  }
}

TEST(PrinterTestVerdict, JsonNamesEveryFieldAndTheDecodedWords) {
  nlohmann::json profile = Shop();
  profile["com_ports"]["COM3"]["status"] = {"cover_open", "paper_near_end", "drawer_open"};
  profile["spooler"]["printers"][0]["jobs"] = {{{"document", "Receipt 7"}, {"size", 300}, {"age_s", 90}}};
  const TestRun run = RunTest(profile, "Till");
  const nlohmann::json& device = run.json["device"];
  EXPECT_EQ(device["kind"], "serial");
  EXPECT_EQ(device["line_settings"], "9600,n,8,1");
  EXPECT_EQ(device["answers"], (nlohmann::json{"1E", "16", "12", "1E"}));
  EXPECT_EQ(device["status"],
            (nlohmann::json{"off line", "drawer signal", "cover open", "paper near its end"}));
  EXPECT_EQ(run.json["printer"]["default"], true);
  EXPECT_EQ(run.json["printer"]["port"], "COM3:");
  ASSERT_EQ(run.json["jobs"].size(), 1u);
  EXPECT_EQ(run.json["jobs"][0]["age_s"], 90);
  EXPECT_EQ(run.json["jobs"][0]["stuck"], true);
  // The printer's own word comes first; the stuck job is still listed.
  EXPECT_EQ(FirstLine(run.text), "Not ready: the printer reports cover open.");
  EXPECT_NE(run.text.find("job 1 \"Receipt 7\": waiting, 300 bytes, 90 s old, stuck"), std::string::npos)
      << run.text;

  // USB and parallel printers cannot be asked; a label model is not asked.
  EXPECT_EQ(RunTest(Shop(), "Counter").json["device"]["kind"], "usb");
  profile = Shop();
  profile["spooler"]["printers"][0]["driver"] = "LB-400 Label";
  EXPECT_EQ(RunTest(profile, "Till").json["device"]["kind"], "label");
}

TEST(PrinterTestReceipt, ARawJobReachesThePortByteForByteAndOnlyWhenReady) {
  nlohmann::json state;
  const TestRun run = RunTest(Shop(), "Counter", true, &state);
  EXPECT_EQ(run.exitCode, setup::kExitDone) << run.text;
  EXPECT_EQ(FirstLine(run.text), "Ready: Counter on USB001; the test receipt went out.");
  ASSERT_TRUE(state["spooler"].contains("printed"));
  // Two runs (text, then /json): two receipts.
  ASSERT_EQ(state["spooler"]["printed"].size(), 2u);
  const nlohmann::json& job = state["spooler"]["printed"][1];
  EXPECT_EQ(job["port"], "USB001");
  EXPECT_EQ(job["document"], "printer-setup test receipt");

  setup::ReceiptFacts facts;
  facts.printer = "Counter";
  facts.model = "RV-580";
  facts.port = "USB001";
  facts.machine = "SHOP-PC";
  facts.time = {2026, 3, 1, 2, 9, 0, 0, 0};
  const std::string receipt = setup::BuildTestReceipt(facts);
  std::string hex;
  for (unsigned char byte : receipt) {
    static const char kDigits[] = "0123456789ABCDEF";
    hex += std::string(hex.empty() ? "" : " ") + kDigits[byte >> 4] + kDigits[byte & 15];
  }
  // The simulated clock starts at 09:00:00 and each run takes its
  // milliseconds: the receipt's time is that second.
  EXPECT_EQ(job["bytes"], hex);
  EXPECT_EQ(receipt.substr(0, 2), "\x1B\x40");
  EXPECT_EQ(receipt.substr(receipt.size() - 4), std::string("\x1D\x56\x42\x03", 4));
  for (const char* line :
       {"Printer: Counter\n", "Model:   RV-580\n", "Port:    USB001\n", "Machine: SHOP-PC\n",
        "Time:    2026-03-02 09:00:00\n", "0----+----1----+----2----+----3----+----4----+--\n"})
    EXPECT_NE(receipt.find(line), std::string::npos) << line;
  EXPECT_NE(receipt.find(std::string("\xA0 \xA1 ")), std::string::npos);
  EXPECT_NE(receipt.find(std::string("\xFE \xFF \n")), std::string::npos);

  // A spooler whose job list cannot be read (Wine's EnumJobs is a stub):
  // the receipt is sent and said to be, never said to sit in the queue.
  nlohmann::json unreadable = Shop();
  unreadable["faults"] = {{{"call", "EnumJobsA"}, {"error", 120}}};
  const TestRun blind = RunTest(unreadable, "Counter", true, &state);
  EXPECT_EQ(blind.exitCode, setup::kExitDone) << blind.text;
  EXPECT_EQ(FirstLine(blind.text), "Ready: Counter on USB001; the test receipt was sent.");
  EXPECT_NE(blind.text.find("its jobs cannot be read"), std::string::npos) << blind.text;
  EXPECT_TRUE(blind.json["jobs"].is_null());

  // A paused queue keeps the receipt: it is not sent at all.
  nlohmann::json paused = Shop();
  paused["spooler"]["printers"][2]["status"] = {"paused"};
  const TestRun held = RunTest(paused, "Counter", true, &state);
  EXPECT_EQ(held.exitCode, setup::kExitQueueBlocked);
  EXPECT_FALSE(state["spooler"].contains("printed"));
  EXPECT_EQ(held.json["receipt"]["printed"], false);
}

TEST(PrinterTestReceipt, ALabelPrinterPrintsThroughItsDriverOrSaysItCannot) {
  // A label driver already installed, its files not modelled: it draws.
  nlohmann::json profile = Shop();
  profile["spooler"]["printers"][0]["driver"] = "LB-400 Label";
  nlohmann::json state;
  const TestRun drawn = RunTest(profile, "Till", true, &state);
  EXPECT_EQ(drawn.exitCode, setup::kExitDone) << drawn.text;
  EXPECT_EQ(FirstLine(drawn.text), "Ready: Till on COM3:; the test label went out.");
  EXPECT_EQ(drawn.json["receipt"]["kind"], "driver");
  ASSERT_EQ(state["spooler"]["printed"].size(), 2u);
  const nlohmann::json& job = state["spooler"]["printed"][1];
  EXPECT_EQ(job["document"], "printer-setup test label");
  EXPECT_EQ(job["data_type"], "NT EMF 1.008");
  EXPECT_EQ(job["pages"],
            (nlohmann::json{{"PRINTER TEST", "Printer: Till", "Model:   LB-400 Label",
                             "Port:    COM3:", "Machine: SHOP-PC", "Time:    2026-03-02 09:00:00"}}));

  // The sample package's label driver DLLs are placeholders: Windows cannot
  // load the driver, and nothing is queued. The same driver with PE images
  // for x64 in their place prints.
  profile = Shop();
  profile["package"] = std::string(INSTALLER_BUILD_DIR) + "/sample/DriverData.Drv";
  testing_support::SimulatedMachine simulated(profile);
  std::string output;
  ASSERT_EQ(setup::RunPrinterSetup({"install", "/model", "LB-400 Label", "/port", "LPT1:"}, nullptr, &output),
            setup::kExitDone)
      << output;
  const std::vector<std::string> test = {"test", "/printer", "LB-400 Label", "/print"};
  EXPECT_EQ(setup::RunPrinterSetup(test, nullptr, &output), setup::kExitPrinterProblem);
  EXPECT_EQ(
      FirstLine(output),
      "Not ready: the label printer's driver cannot draw the test label (CreateDC failed with error 193).");
  EXPECT_FALSE(simulated.machine.StateJson()["spooler"].contains("printed"));

  // As much of a PE image as a loader reads first: "MZ", the offset of the
  // signature at 0x3C, "PE\0\0" and the x64 machine.
  std::string image(0x40, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3C] = 0x40;
  image += std::string("PE\0\0\x64\x86", 6);
  const nlohmann::json installed = simulated.machine.StateJson();
  for (const nlohmann::json& driver : installed["spooler"]["drivers"]) {
    if (driver["name"] != "LB-400 Label") continue;
    for (const char* field : {"driver_path", "config_file"}) {
      const std::string path = driver[field];
      const std::string folder =
          "C:\\Windows\\System32\\spool\\drivers\\x64\\" + driver["version"].dump() + "\\";
      simulated.machine.Files().WriteFile(folder + path.substr(path.find_last_of('\\') + 1), image,
                                          sim::SimFiles::View::Native);
    }
  }
  EXPECT_EQ(setup::RunPrinterSetup(test, nullptr, &output), setup::kExitDone) << output;
  EXPECT_EQ(simulated.machine.StateJson()["spooler"]["printed"].size(), 1u);
}

TEST(PrinterTestSim, DevicesAnswerEachRequestFromTheirConditions) {
  // Each condition the simulated printer can be given decodes to words
  // that the verdict counts: the two sides are written apart.
  for (const std::string& condition : sim::PrinterConditionNames()) {
    const sim::StatusDevice device({condition});
    std::vector<std::string> words;
    for (int n = 1; n <= setup::kStatusRequestCount; ++n) {
      const BYTE answer = device.Answer(static_cast<BYTE>(n));
      EXPECT_TRUE(setup::IsStatusAnswer(answer)) << condition;
      for (const setup::StatusWord& word : setup::DecodeStatusAnswer(n, answer))
        if (word.word != "on line") words.push_back(word.word);
    }
    EXPECT_FALSE(words.empty()) << condition << " decodes to nothing";
  }
}

}  // namespace
