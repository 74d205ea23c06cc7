// test: does the printer print? The spooler's view of the printer and its
// queue, the printer's own answer where its port lets it be asked, an
// optional test receipt through the spooler (a label printer's through its
// driver), and one verdict with the one reason that matters most.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "Commands.h"
#include "DriverPrinting.h"
#include "ExitCodes.h"
#include "InstallerSession.h"
#include "PrinterAsking.h"
#include "TestReceipt.h"

namespace setup {

namespace {

// A job that has sat unprinted longer than this is stuck.
constexpr int64_t kStuckAfterSeconds = 60;
// How long the test receipt has to leave the queue, and how often it is
// looked for.
constexpr DWORD kReceiptWaitMs = 10000;
constexpr DWORD kReceiptPollMs = 250;
constexpr char kReceiptDocument[] = "printer-setup test receipt";
constexpr char kLabelDocument[] = "printer-setup test label";
const char kPortsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
// The line settings Windows gives a COM port that has none written.
const char kDefaultLineSettings[] = "9600,n,8,1";
// Where the Standard TCP/IP port monitor keeps each port's settings.
const char kTcpipPortsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\";
constexpr DWORD kRawProtocol = 1;  // PROTOCOL_RAWTCP_TYPE; 2 is LPR

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  return Lower(text.substr(0, std::char_traits<char>::length(prefix))) == Lower(prefix);
}

// Closes a printer handle at the end of its scope.
class ScopedPrinter {
 public:
  ScopedPrinter() = default;
  ~ScopedPrinter() {
    if (m_handle) plat::Spooler().ClosePrinter(m_handle);
  }
  ScopedPrinter(const ScopedPrinter&) = delete;
  ScopedPrinter& operator=(const ScopedPrinter&) = delete;
  HANDLE* Receive() { return &m_handle; }
  HANDLE Get() const { return m_handle; }

 private:
  HANDLE m_handle = nullptr;
};

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

int64_t Seconds(const SYSTEMTIME& time) {
  return DaysFromCivil(time.wYear, time.wMonth, time.wDay) * 86400 + time.wHour * 3600 + time.wMinute * 60 +
         time.wSecond;
}

std::string Join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

std::string Age(int64_t seconds) {
  if (seconds < 120) return std::to_string(seconds) + " s";
  return std::to_string(seconds / 60) + " min";
}

std::string Hex(BYTE byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

// What the test found; one verdict is drawn from it.
struct Findings {
  plat::PrinterInfo2 printer;
  bool isDefault = false;
  std::vector<StatusWord> queueWords;
  int heldJobs = 0;
  std::string stuckJob;  // the document of the oldest stuck job
  int64_t stuckSeconds = 0;
  bool deviceAsked = false;
  DWORD askedMs = 0;  // from opening the port to the last answer or time-out
  DeviceAnswers device;
  std::vector<StatusWord> deviceWords;
  std::string where;            // the port as asked ("COM3: at 9600,n,8,1")
  bool jobsUnreadable = false;  // EnumJobs failed: the job list says nothing
  bool receiptWanted = false;
  bool receiptOut = false;
  bool driverCannotDraw = false;  // the label printer's driver failed to print
  std::string receiptNote;
};

// What /print prints: a label printer's test label, else the test receipt.
const char* TestPrintName(const Findings& found) {
  return IsLabelDriver(found.printer.driverName) ? "test label" : "test receipt";
}

struct Verdict {
  int exitCode = kExitDone;
  std::string line;
};

// The first word of that weight; off line only when no other says why.
const StatusWord* FirstOfWeight(const std::vector<StatusWord>& words, Weight weight) {
  const StatusWord* offLine = nullptr;
  for (const StatusWord& word : words) {
    if (word.weight != weight) continue;
    if (word.word != kOffLineWord) return &word;
    offLine = &word;
  }
  return offLine;
}

// The one reason that matters most: what the printer says of itself, then
// its silence, then the spooler's word for it, then a held or stuck queue,
// then a receipt that did not go out: a driver that cannot draw is the
// printer's problem, a receipt left in the queue the queue's.
Verdict Judge(const Findings& found) {
  if (const StatusWord* problem = FirstOfWeight(found.deviceWords, Weight::Problem))
    return {kExitPrinterProblem, "Not ready: the printer reports " + problem->word + "."};
  if (found.deviceAsked && !found.device.failure.empty() && found.device.answers.empty())
    return {kExitNoAnswer, "Not ready: " + found.device.failure + "."};
  if (const StatusWord* problem = FirstOfWeight(found.queueWords, Weight::Problem))
    return {kExitPrinterProblem, "Not ready: Windows reports the printer " + problem->word + "."};
  if (const StatusWord* held = FirstOfWeight(found.queueWords, Weight::Blocked))
    return {kExitQueueBlocked, "Not ready: the queue is " + held->word + "."};
  if (found.heldJobs > 0)
    return {kExitQueueBlocked, "Not ready: a job in the queue is held (" + std::to_string(found.heldJobs) +
                                   " held); delete it or restart it."};
  if (!found.stuckJob.empty())
    return {kExitQueueBlocked, "Not ready: the job \"" + found.stuckJob +
                                   "\" has been stuck in the queue for " + Age(found.stuckSeconds) + "."};
  if (found.receiptWanted && !found.receiptOut)
    return {found.driverCannotDraw ? kExitPrinterProblem : kExitQueueBlocked,
            "Not ready: " + found.receiptNote + "."};
  std::string line = "Ready: " + found.printer.printerName + " on " + found.printer.portName;
  std::vector<std::string> notices;
  for (const std::vector<StatusWord>* words : {&found.deviceWords, &found.queueWords})
    for (const StatusWord& word : *words)
      if (word.weight == Weight::Notice) notices.push_back(word.word);
  if (!notices.empty()) line += " (" + Join(notices) + ")";
  if (found.receiptWanted)
    line += std::string("; the ") + TestPrintName(found) +
            (found.receiptNote.empty() ? " went out" : " was sent");
  return {kExitDone, line + "."};
}

void ReadQueue(CommandContext& context, HANDLE printer, Findings* found, nlohmann::json* jobsJson) {
  std::vector<plat::JobInfo2> jobs;
  if (!plat::Spooler().EnumJobsA(printer, &jobs)) {
    context.log.CallFailed("EnumJobs", plat::System().GetLastError());
    found->jobsUnreadable = true;
    return;
  }
  SYSTEMTIME now = {};
  plat::Threads().GetSystemTime(&now);
  for (const plat::JobInfo2& job : jobs) {
    const int64_t age = std::max<int64_t>(0, Seconds(now) - Seconds(job.submitted));
    const bool done = (job.status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE | JOB_STATUS_DELETED)) != 0;
    const bool held = JobIsHeld(job.status);
    const bool stuck = !done && age > kStuckAfterSeconds;
    if (held) ++found->heldJobs;
    if (stuck && !held && age > found->stuckSeconds) {
      found->stuckJob = job.document;
      found->stuckSeconds = age;
    }
    std::vector<std::string> words = JobStatusWords(job.status);
    if (!job.statusText.empty()) words.push_back(job.statusText);
    jobsJson->push_back({{"id", job.jobId},
                         {"document", job.document},
                         {"status", words},
                         {"status_flags", job.status},
                         {"size", job.size},
                         {"age_s", age},
                         {"stuck", stuck || held}});
  }
}

void AddUnique(std::vector<StatusWord>* words, const StatusWord& word) {
  for (const StatusWord& had : *words)
    if (had.word == word.word) return;
  words->push_back(word);
}

// The printer itself, where its port lets it be asked. `json` gets how.
void AskPrinter(CommandContext& context, Findings* found, nlohmann::json* json) {
  const std::string& port = found->printer.portName;
  const std::string portName = port.substr(0, port.find(':'));
  if (IsLabelDriver(found->printer.driverName)) {
    (*json)["kind"] = "label";
    (*json)["note"] = "a label printer does not answer the receipt printers' status request";
    return;
  }
  if (StartsWithNoCase(port, "COM")) {
    std::string settings = ReadRegistryString(HKEY_LOCAL_MACHINE, kPortsKey, (portName + ":").c_str());
    if (settings.empty()) settings = kDefaultLineSettings;
    const std::string definition = LineSettingsDefinition(settings);
    (*json)["kind"] = "serial";
    (*json)["line_settings"] = settings;
    found->where = portName + ": at " + settings;
    if (definition.empty()) {
      (*json)["note"] = "the port's line settings \"" + settings + "\" cannot be read";
      return;
    }
    found->deviceAsked = true;
    context.log.Step("asking the printer on " + found->where);
    const DWORD started = plat::Threads().GetTickCount();
    found->device = AskSerialPrinter(portName + ":", definition);
    found->askedMs = plat::Threads().GetTickCount() - started;
  } else {
    const std::string record = kTcpipPortsKey + port;
    const std::string address = ReadRegistryString(HKEY_LOCAL_MACHINE, record, "IPAddress");
    const std::string host = ReadRegistryString(HKEY_LOCAL_MACHINE, record, "HostName");
    DWORD number = 0, protocol = kRawProtocol;
    if (!address.empty() || !host.empty()) {
      plat::IRegistry& registry = plat::Registry();
      HKEY key = nullptr;
      if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, record.c_str(), 0, KEY_QUERY_VALUE, &key) ==
          ERROR_SUCCESS) {
        DWORD size = sizeof number;
        registry.RegQueryValueExA(key, "PortNumber", nullptr, reinterpret_cast<BYTE*>(&number), &size);
        size = sizeof protocol;
        registry.RegQueryValueExA(key, "Protocol", nullptr, reinterpret_cast<BYTE*>(&protocol), &size);
        registry.RegCloseKey(key);
      }
    }
    if (address.empty() && host.empty()) {
      const bool usb = StartsWithNoCase(port, "USB");
      const bool parallel = StartsWithNoCase(port, "LPT");
      (*json)["kind"] = usb ? "usb" : parallel ? "parallel" : "other";
      (*json)["note"] = std::string("the printer cannot be asked directly on ") +
                        (usb        ? "a USB port"
                         : parallel ? "a parallel port"
                                    : port) +
                        "; the spooler's view is all there is";
      return;
    }
    (*json)["kind"] = "tcpip";
    (*json)["address"] = address.empty() ? host : address;
    (*json)["port_number"] = number;
    found->where = (address.empty() ? host : address) + " port " + std::to_string(number);
    if (protocol != kRawProtocol || number == 0 || number > 0xFFFF || address.empty()) {
      (*json)["note"] = protocol != kRawProtocol ? "an LPR port cannot be asked directly"
                        : address.empty() ? "the port names a host, not an address; only addresses are asked"
                                          : "the port has no port number";
      return;
    }
    found->deviceAsked = true;
    context.log.Step("asking the printer at " + found->where);
    const DWORD started = plat::Threads().GetTickCount();
    found->device = AskNetworkPrinter(address, static_cast<WORD>(number));
    found->askedMs = plat::Threads().GetTickCount() - started;
  }
  // What asking cost, the answer's wait included: support staff see a slow
  // line, and the benchmarks read it.
  (*json)["asked_ms"] = found->askedMs;
  nlohmann::json answers = nlohmann::json::array();
  for (size_t i = 0; i < found->device.answers.size(); ++i) {
    const BYTE answer = found->device.answers[i];
    answers.push_back(Hex(answer));
    if (!IsStatusAnswer(answer)) {
      found->device.failure = "the printer answers, but not as a receipt printer (" + Hex(answer) + ")";
      found->deviceWords.clear();
      break;
    }
    for (const StatusWord& word : DecodeStatusAnswer(static_cast<int>(i) + 1, answer))
      AddUnique(&found->deviceWords, word);
  }
  if (!found->device.failure.empty()) context.log.Step(found->device.failure);
  (*json)["answers"] = answers;
  std::vector<std::string> words;
  for (const StatusWord& word : found->deviceWords) words.push_back(word.word);
  (*json)["status"] = words;
  if (!found->device.failure.empty()) (*json)["failure"] = found->device.failure;
}

// A label printer takes no RAW bytes of ours: the test label is drawn
// through its driver. The spooler's job, or 0.
DWORD PrintLabel(CommandContext& context, const ReceiptFacts& facts, Findings* found, nlohmann::json* json) {
  (*json)["kind"] = "driver";
  const DriverPrintResult printed = PrintThroughDriver(facts.printer, kLabelDocument, TestLabelLines(facts));
  if (printed.failedCall.empty()) {
    (*json)["job"] = printed.job;
    context.log.Step("test label drawn through the driver as job " + std::to_string(printed.job));
    return printed.job;
  }
  context.log.CallFailed(printed.failedCall + " " + facts.printer, printed.error);
  found->driverCannotDraw = true;
  found->receiptNote =
      "the label printer's driver cannot draw the test label (" + printed.failedCall + " failed";
  if (printed.error) found->receiptNote += " with error " + std::to_string(printed.error);
  found->receiptNote += ")";
  (*json)["note"] = found->receiptNote;
  (*json)["failed_call"] = printed.failedCall;
  (*json)["error"] = printed.error;
  return 0;
}

// The test receipt as one RAW job. The spooler's job, or 0.
DWORD PrintRawReceipt(CommandContext& context, HANDLE printer, const ReceiptFacts& facts, Findings* found,
                      nlohmann::json* json) {
  (*json)["kind"] = "raw";
  const std::string bytes = BuildTestReceipt(facts);
  (*json)["bytes"] = bytes.size();
  plat::ISpooler& spooler = plat::Spooler();
  const DWORD job = spooler.StartDocPrinterA(printer, kReceiptDocument, "RAW");
  if (!job) {
    context.log.CallFailed("StartDocPrinter", plat::System().GetLastError());
    found->receiptNote = "the spooler did not take the test receipt (see the log)";
    (*json)["note"] = found->receiptNote;
    return 0;
  }
  (*json)["job"] = job;
  DWORD written = 0;
  const BOOL wrote = spooler.WritePrinter(printer, bytes.data(), static_cast<DWORD>(bytes.size()), &written);
  if (!wrote) context.log.CallFailed("WritePrinter", plat::System().GetLastError());
  if (!spooler.EndDocPrinter(printer)) context.log.CallFailed("EndDocPrinter", plat::System().GetLastError());
  if (!wrote || written != bytes.size()) {
    found->receiptNote = "the test receipt could not be written to the queue (see the log)";
    (*json)["note"] = found->receiptNote;
    return 0;
  }
  context.log.Step("test receipt sent as job " + std::to_string(job) + " (" + std::to_string(bytes.size()) +
                   " bytes)");
  return job;
}

// The test receipt or label, then a wait for it to leave the queue.
void PrintReceipt(CommandContext& context, HANDLE printer, Findings* found, nlohmann::json* json) {
  found->receiptWanted = true;
  ReceiptFacts facts;
  facts.printer = found->printer.printerName;
  facts.model = found->printer.driverName;
  facts.port = found->printer.portName;
  char machine[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof machine;
  if (plat::System().GetComputerNameA(machine, &size)) facts.machine = machine;
  plat::Threads().GetLocalTime(&facts.time);

  const DWORD job = IsLabelDriver(found->printer.driverName)
                        ? PrintLabel(context, facts, found, json)
                        : PrintRawReceipt(context, printer, facts, found, json);
  if (!job) return;
  for (DWORD waited = 0;; waited += kReceiptPollMs) {
    std::vector<plat::JobInfo2> jobs;
    if (!plat::Spooler().EnumJobsA(printer, &jobs)) {
      // The spooler took the whole document; only its way out cannot be
      // watched. Saying it sat in the queue would send support staff after
      // a stuck job that does not exist.
      context.log.CallFailed("EnumJobs", plat::System().GetLastError());
      found->receiptOut = true;
      found->receiptNote =
          "sent as job " + std::to_string(job) + "; the queue cannot be read to see it leave";
      (*json)["note"] = found->receiptNote;
      break;
    }
    const bool queued = std::any_of(jobs.begin(), jobs.end(), [job](const plat::JobInfo2& entry) {
      return entry.jobId == job && !(entry.status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE));
    });
    if (!queued) {
      found->receiptOut = true;
      break;
    }
    if (waited >= kReceiptWaitMs) break;
    plat::Threads().Sleep(kReceiptPollMs);
  }
  (*json)["printed"] = found->receiptOut;
  if (!found->receiptOut) {
    found->receiptNote = std::string("the ") + TestPrintName(*found) + " is still in the queue after " +
                         std::to_string(kReceiptWaitMs / 1000) + " s";
    (*json)["note"] = found->receiptNote;
  }
}

std::string Words(const std::vector<StatusWord>& words) {
  std::vector<std::string> text;
  for (const StatusWord& word : words) text.push_back(word.word);
  return Join(text);
}

}  // namespace

int RunTest(CommandContext& context) {
  const std::string wanted = context.options.printer;
  std::vector<plat::PrinterInfo2> printers;
  if (!plat::Spooler().EnumPrintersA(PRINTER_ENUM_LOCAL, &printers)) {
    context.log.CallFailed("EnumPrinters", plat::System().GetLastError());
    context.text =
        "Not ready: the spooler's printers could not be read (is the Print Spooler service running?).\n";
    context.result["ready"] = false;
    return kExitPrinterProblem;
  }
  auto it = std::find_if(printers.begin(), printers.end(), [&](const plat::PrinterInfo2& printer) {
    return Lower(printer.printerName) == Lower(wanted);
  });
  if (it == printers.end()) {
    context.log.Step("no printer " + wanted);
    context.text = "Not ready: there is no printer \"" + wanted + "\" on this computer.\n";
    context.result["ready"] = false;
    return kExitNotFound;
  }

  Findings found;
  found.printer = *it;
  ScopedPrinter printer;
  if (!plat::Spooler().OpenPrinterA(found.printer.printerName.c_str(), printer.Receive(), "RAW",
                                    PRINTER_ACCESS_USE)) {
    context.log.CallFailed("OpenPrinter " + found.printer.printerName, plat::System().GetLastError());
    context.text =
        "Not ready: the printer \"" + found.printer.printerName + "\" could not be opened (see the log).\n";
    context.result["ready"] = false;
    return kExitPrinterProblem;
  }
  plat::PrinterInfo2 current;
  if (plat::Spooler().GetPrinterA(printer.Get(), &current))
    found.printer = current;
  else
    context.log.CallFailed("GetPrinter", plat::System().GetLastError());
  found.isDefault = IsDefaultPrinter(found.printer.printerName);
  found.queueWords = PrinterStatusWords(found.printer.status, found.printer.attributes);

  nlohmann::json jobs = nlohmann::json::array();
  ReadQueue(context, printer.Get(), &found, &jobs);
  nlohmann::json device = nlohmann::json::object();
  AskPrinter(context, &found, &device);
  nlohmann::json receipt = nlohmann::json::object();
  if (context.options.print) {
    // A printer that cannot print would only gain a stuck job.
    if (Judge(found).exitCode == kExitDone) {
      PrintReceipt(context, printer.Get(), &found, &receipt);
    } else {
      receipt["note"] = "not sent: the printer is not ready";
    }
    receipt["printed"] = found.receiptOut;
  }

  const Verdict verdict = Judge(found);
  std::vector<std::string> queueWords;
  for (const StatusWord& word : found.queueWords) queueWords.push_back(word.word);
  context.result["ready"] = verdict.exitCode == kExitDone;
  context.result["verdict"] = verdict.line;
  context.result["printer"] = {{"name", found.printer.printerName},
                               {"driver", found.printer.driverName},
                               {"port", found.printer.portName},
                               {"default", found.isDefault},
                               {"status", queueWords},
                               {"status_flags", found.printer.status},
                               {"attributes", found.printer.attributes}};
  if (found.jobsUnreadable)
    context.result["jobs"] = nullptr;
  else
    context.result["jobs"] = jobs;
  context.result["device"] = device;
  if (context.options.print) context.result["receipt"] = receipt;

  std::string& text = context.text;
  text = verdict.line + "\n";
  text += "Printer: " + found.printer.printerName + " (driver " + found.printer.driverName + ", port " +
          found.printer.portName + (found.isDefault ? ", default printer" : "") + ")\n";
  text += "Queue:   " + Words(found.queueWords) + ", " +
          (found.jobsUnreadable ? std::string("its jobs cannot be read\n")
                                : std::to_string(jobs.size()) + (jobs.size() == 1 ? " job\n" : " jobs\n"));
  for (const nlohmann::json& job : jobs)
    text += "  job " + std::to_string(job["id"].get<DWORD>()) + " \"" + job["document"].get<std::string>() +
            "\": " + Join(job["status"].get<std::vector<std::string>>()) + ", " +
            std::to_string(job["size"].get<DWORD>()) + " bytes, " + Age(job["age_s"].get<int64_t>()) +
            " old" + (job["stuck"].get<bool>() ? ", stuck" : "") + "\n";
  if (device.contains("note"))
    text += "Printer itself: " + device["note"].get<std::string>() + "\n";
  else if (!found.deviceWords.empty())
    text += "Printer itself (" + found.where + "): " + Words(found.deviceWords) + "\n";
  else if (!found.device.failure.empty())
    text += "Printer itself (" + found.where + "): " + found.device.failure + "\n";
  const std::string printed = IsLabelDriver(found.printer.driverName) ? "Test label: " : "Test receipt: ";
  if (context.options.print && receipt.contains("note"))
    text += printed + receipt["note"].get<std::string>() + "\n";
  else if (context.options.print)
    text += printed + "printed as job " + std::to_string(receipt["job"].get<DWORD>()) + "\n";
  return verdict.exitCode;
}

}  // namespace setup
