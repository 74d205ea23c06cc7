// The simulated spooler's queues: printer status, the jobs of each printer,
// RAW documents, whose bytes the machine keeps as they reached the port, and
// documents drawn through a driver, whose text it keeps.
#include <algorithm>

#include "host/sim/machine.h"
#include "host/sim/spooler.h"
#include "host/sim/wall_clock.h"

namespace sim {

namespace {

// Profile words for PRINTER_STATUS_... flags, bit 0 first.
const char* const kPrinterStatusNames[] = {
    "paused",        "error",     "pending_deletion",  "paper_jam",     "paper_out",  "manual_feed",
    "paper_problem", "offline",   "io_active",         "busy",          "printing",   "output_bin_full",
    "not_available", "waiting",   "processing",        "initializing",  "warming_up", "toner_low",
    "no_toner",      "page_punt", "user_intervention", "out_of_memory", "door_open",  "server_unknown",
    "power_save"};
// Profile words for JOB_STATUS_... flags, bit 0 first.
const char* const kJobStatusNames[] = {
    "paused",  "error",   "deleting",     "spooling",          "printing", "offline", "paperout",
    "printed", "deleted", "blocked_devq", "user_intervention", "restart",  "complete"};

template <size_t N>
DWORD Flags(const Profile& words, const char* const (&names)[N]) {
  DWORD flags = 0;
  for (const Profile& word : words)
    for (size_t bit = 0; bit < N; ++bit)
      if (word.get<std::string>() == names[bit]) flags |= 1u << bit;
  return flags;
}

// A printer whose queue the spooler holds: nothing leaves it.
constexpr DWORD kHoldingStatus = PRINTER_STATUS_PAUSED | PRINTER_STATUS_ERROR | PRINTER_STATUS_PAPER_JAM |
                                 PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_OFFLINE |
                                 PRINTER_STATUS_NOT_AVAILABLE | PRINTER_STATUS_USER_INTERVENTION |
                                 PRINTER_STATUS_DOOR_OPEN;

// What GDI spools a drawn document as: enhanced metafiles the print
// processor plays back to the driver ("About Data Types", Microsoft Learn).
const char kEmfDataType[] = "NT EMF 1.008";

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace

std::vector<std::string> PrinterStatusWords() {
  return std::vector<std::string>(std::begin(kPrinterStatusNames), std::end(kPrinterStatusNames));
}
std::vector<std::string> JobStatusWords() {
  return std::vector<std::string>(std::begin(kJobStatusNames), std::end(kJobStatusNames));
}

void SimSpooler::LoadPrinterState(Printer& printer, const Profile& entry) {
  if (entry.contains("status")) {
    for (const Profile& word : entry["status"])
      if (word.get<std::string>() == "work_offline")
        printer.info.attributes |= PRINTER_ATTRIBUTE_WORK_OFFLINE;
    printer.info.status = Flags(entry["status"], kPrinterStatusNames);
  }
  if (!entry.contains("jobs")) return;
  for (const Profile& record : entry["jobs"]) {
    Job job;
    job.info.jobId = m_nextJobId++;
    job.info.document = record.value("document", std::string("Document"));
    if (record.contains("status")) job.info.status = Flags(record["status"], kJobStatusNames);
    job.info.size = record.value("size", 0u);
    job.submittedMs = -static_cast<int64_t>(record.value("age_s", 0u)) * 1000;
    job.info.submitted = WallClockAt(job.submittedMs);
    job.dataType = "RAW";
    job.ended = true;
    printer.jobs.push_back(job);
  }
}

SimSpooler::Printer* SimSpooler::PrinterOfHandle(HANDLE handle) {
  auto it = m_printerHandles.find(reinterpret_cast<ULONG_PTR>(handle));
  Printer* printer = it == m_printerHandles.end() ? nullptr : FindPrinter(it->second);
  if (!printer) m_machine.SetLastError(ERROR_INVALID_HANDLE);
  return printer;
}

void SimSpooler::PrintWhatCanBePrinted(Printer& printer) {
  if ((printer.info.status & kHoldingStatus) || (printer.info.attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE))
    return;
  // The queue goes out in order: a job from before (with an error, or
  // paused) holds the ones behind it.
  while (!printer.jobs.empty()) {
    Job& job = printer.jobs.front();
    if (!job.ended || (job.info.status & (JOB_STATUS_ERROR | JOB_STATUS_PAUSED | JOB_STATUS_BLOCKED_DEVQ)))
      return;
    if (!job.bytes.empty() || !job.pages.empty())
      m_printed.push_back(PrintedJob{printer.info.printerName, printer.info.portName, job.info.document,
                                     job.bytes, job.dataType, job.pages});
    m_machine.Log("job " + std::to_string(job.info.jobId) + " printed on " + printer.info.portName);
    printer.jobs.erase(printer.jobs.begin());
  }
}

nlohmann::json SimSpooler::JobsJson() const {
  nlohmann::json jobs = nlohmann::json::array();
  for (const PrintedJob& job : m_printed) {
    nlohmann::json entry = {{"printer", job.printer}, {"port", job.port}, {"document", job.document}};
    if (job.pages.empty()) {
      entry["bytes"] = Hex(job.bytes);
    } else {
      entry["data_type"] = job.dataType;
      entry["pages"] = job.pages;
    }
    jobs.push_back(entry);
  }
  return jobs;
}

SimSpooler::Job* SimSpooler::FindJob(const std::string& printerName, DWORD jobId) {
  Printer* printer = FindPrinter(printerName);
  if (!printer) return nullptr;
  for (Job& job : printer->jobs)
    if (job.info.jobId == jobId) return &job;
  return nullptr;
}

DWORD SimSpooler::StartDrawnJobLocked(const std::string& printerName, const std::string& documentName) {
  if (FailUnlessRunning()) return 0;
  Printer* printer = FindPrinter(printerName);
  if (!printer) return m_machine.Fail(ERROR_INVALID_PRINTER_NAME);
  Job job;
  job.info.jobId = m_nextJobId++;
  job.info.document = documentName;
  job.submittedMs = static_cast<int64_t>(m_machine.GetWorld().Now());
  job.info.submitted = WallClockAt(job.submittedMs);
  job.dataType = kEmfDataType;
  printer->jobs.push_back(job);
  m_machine.Log("job " + std::to_string(job.info.jobId) + " started on " + printerName + " (drawn)");
  return job.info.jobId;
}

void SimSpooler::AddDrawnPageLocked(const std::string& printerName, DWORD jobId,
                                    const std::vector<std::string>& lines) {
  Job* job = FindJob(printerName, jobId);
  if (!job) return;
  job->pages.push_back(lines);
  for (const std::string& line : lines) job->info.size += static_cast<DWORD>(line.size());
}

void SimSpooler::EndDrawnJobLocked(const std::string& printerName, DWORD jobId, bool aborted) {
  Printer* printer = FindPrinter(printerName);
  if (!printer) return;
  if (aborted) {
    printer->jobs.erase(std::remove_if(printer->jobs.begin(), printer->jobs.end(),
                                       [jobId](const Job& job) { return job.info.jobId == jobId; }),
                        printer->jobs.end());
    m_machine.Log("job " + std::to_string(jobId) + " aborted on " + printerName);
    return;
  }
  if (Job* job = FindJob(printerName, jobId)) job->ended = true;
  PrintWhatCanBePrinted(*printer);
}

BOOL SimSpooler::GetPrinterA(HANDLE handle, plat::PrinterInfo2* info) {
  CallScope call(m_machine, "GetPrinterA");
  if (call.Fails() || FailUnlessRunning()) return FALSE;
  Printer* printer = PrinterOfHandle(handle);
  if (!printer) return FALSE;
  if (!info) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  *info = printer->info;
  info->jobCount = static_cast<DWORD>(printer->jobs.size());
  return TRUE;
}

BOOL SimSpooler::EnumJobsA(HANDLE handle, std::vector<plat::JobInfo2>* jobs) {
  CallScope call(m_machine, "EnumJobsA");
  if (call.Fails() || FailUnlessRunning()) return FALSE;
  Printer* printer = PrinterOfHandle(handle);
  if (!printer) return FALSE;
  jobs->clear();
  for (const Job& job : printer->jobs) {
    jobs->push_back(job.info);
    // A job still being written is spooling.
    if (!job.ended) jobs->back().status |= JOB_STATUS_SPOOLING;
  }
  return TRUE;
}

DWORD SimSpooler::StartDocPrinterA(HANDLE handle, LPCSTR documentName, LPCSTR dataType) {
  CallScope call(m_machine, "StartDocPrinterA");
  if (call.Fails() || FailUnlessRunning()) return 0;
  Printer* printer = PrinterOfHandle(handle);
  if (!printer) return 0;
  const ULONG_PTR key = reinterpret_cast<ULONG_PTR>(handle);
  // One document at a time on a handle.
  if (m_documents.count(key)) return m_machine.Fail(ERROR_INVALID_PRINTER_STATE);
  const std::string type = dataType ? dataType : "RAW";
  if (type != "RAW" && type != "TEXT" && type != kEmfDataType) return m_machine.Fail(ERROR_INVALID_DATATYPE);
  Job job;
  job.info.jobId = m_nextJobId++;
  job.info.document = documentName ? documentName : "";
  job.submittedMs = static_cast<int64_t>(m_machine.GetWorld().Now());
  job.info.submitted = WallClockAt(job.submittedMs);
  job.dataType = type;
  printer->jobs.push_back(job);
  m_documents[key] = job.info.jobId;
  m_machine.Log("job " + std::to_string(job.info.jobId) + " started on " + printer->info.printerName);
  return job.info.jobId;
}

BOOL SimSpooler::WritePrinter(HANDLE handle, LPCVOID data, DWORD size, DWORD* written) {
  CallScope call(m_machine, "WritePrinter");
  if (written) *written = 0;
  if (call.Fails()) return FALSE;
  Printer* printer = PrinterOfHandle(handle);
  if (!printer) return FALSE;
  auto document = m_documents.find(reinterpret_cast<ULONG_PTR>(handle));
  auto job = document == m_documents.end()
                 ? printer->jobs.end()
                 : std::find_if(printer->jobs.begin(), printer->jobs.end(),
                                [&](const Job& entry) { return entry.info.jobId == document->second; });
  if (job == printer->jobs.end() || (!data && size))
    return m_machine.Fail(job == printer->jobs.end() ? ERROR_SPL_NO_STARTDOC : ERROR_INVALID_PARAMETER);
  job->bytes.append(static_cast<const char*>(data), size);
  job->info.size = static_cast<DWORD>(job->bytes.size());
  if (written) *written = size;
  return TRUE;
}

BOOL SimSpooler::EndDocPrinter(HANDLE handle) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  Printer* printer = PrinterOfHandle(handle);
  if (!printer) return FALSE;
  auto document = m_documents.find(reinterpret_cast<ULONG_PTR>(handle));
  if (document == m_documents.end()) return m_machine.Fail(ERROR_SPL_NO_STARTDOC);
  for (Job& job : printer->jobs)
    if (job.info.jobId == document->second) job.ended = true;
  m_documents.erase(document);
  PrintWhatCanBePrinted(*printer);
  return TRUE;
}

}  // namespace sim
