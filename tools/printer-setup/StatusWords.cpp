#include "StatusWords.h"

namespace setup {

namespace {

struct FlagWord {
  DWORD flag;
  const char* word;
  Weight weight;
};

// The spooler's words for a printer, most telling first.
const FlagWord kPrinterFlags[] = {
    {PRINTER_STATUS_NOT_AVAILABLE, "not available", Weight::Problem},
    {PRINTER_STATUS_OFFLINE, kOffLineWord, Weight::Problem},
    {PRINTER_STATUS_DOOR_OPEN, "door open", Weight::Problem},
    {PRINTER_STATUS_PAPER_OUT, "paper out", Weight::Problem},
    {PRINTER_STATUS_PAPER_JAM, "paper jam", Weight::Problem},
    {PRINTER_STATUS_PAPER_PROBLEM, "paper problem", Weight::Problem},
    {PRINTER_STATUS_ERROR, "error", Weight::Problem},
    {PRINTER_STATUS_USER_INTERVENTION, "needs someone at the printer", Weight::Problem},
    {PRINTER_STATUS_OUT_OF_MEMORY, "out of memory", Weight::Problem},
    {PRINTER_STATUS_SERVER_UNKNOWN, "spooler state unknown", Weight::Problem},
    {PRINTER_STATUS_PAUSED, "paused", Weight::Blocked},
    {PRINTER_STATUS_PENDING_DELETION, "being deleted", Weight::Blocked},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, "output bin full", Weight::Problem},
    {PRINTER_STATUS_NO_TONER, "out of toner", Weight::Problem},
    {PRINTER_STATUS_TONER_LOW, "toner low", Weight::Notice},
    {PRINTER_STATUS_MANUAL_FEED, "manual feed", Weight::Notice},
    {PRINTER_STATUS_PAGE_PUNT, "page too complex", Weight::Notice},
    {PRINTER_STATUS_PRINTING, "printing", Weight::Fine},
    {PRINTER_STATUS_BUSY, "busy", Weight::Fine},
    {PRINTER_STATUS_IO_ACTIVE, "sending", Weight::Fine},
    {PRINTER_STATUS_PROCESSING, "processing", Weight::Fine},
    {PRINTER_STATUS_WAITING, "waiting", Weight::Fine},
    {PRINTER_STATUS_INITIALIZING, "starting up", Weight::Fine},
    {PRINTER_STATUS_WARMING_UP, "warming up", Weight::Fine},
    {PRINTER_STATUS_POWER_SAVE, "power save", Weight::Fine},
};

struct JobFlag {
  DWORD flag;
  const char* word;
  bool held;  // the job cannot print by itself
};

const JobFlag kJobFlags[] = {
    {JOB_STATUS_ERROR, "error", true},
    {JOB_STATUS_BLOCKED_DEVQ, "blocked", true},
    {JOB_STATUS_USER_INTERVENTION, "needs someone at the printer", true},
    {JOB_STATUS_PAPEROUT, "paper out", true},
    {JOB_STATUS_OFFLINE, kOffLineWord, true},
    {JOB_STATUS_PAUSED, "paused", true},
    {JOB_STATUS_DELETING, "deleting", true},
    {JOB_STATUS_RESTART, "restarting", false},
    {JOB_STATUS_SPOOLING, "spooling", false},
    {JOB_STATUS_PRINTING, "printing", false},
    {JOB_STATUS_PRINTED, "printed", false},
    {JOB_STATUS_COMPLETE, "sent to the printer", false},
    {JOB_STATUS_DELETED, "deleted", false},
};

struct AnswerBit {
  int request;  // n of DLE EOT n
  BYTE mask;    // every bit of it set
  const char* word;
  Weight weight;
};

// The answer bits, as the receipt printers' command reference gives them.
// n = 1 (bit 3, "off line") is decoded apart: its clear state is a word too.
const AnswerBit kAnswerBits[] = {
    {1, 0x04, "drawer signal", Weight::Fine},
    {1, 0x40, "paper feed button pressed", Weight::Notice},
    {2, 0x04, "cover open", Weight::Problem},
    {2, 0x08, "paper being fed by the button", Weight::Notice},
    {2, 0x20, "paper end", Weight::Problem},
    {2, 0x40, "error", Weight::Problem},
    {3, 0x04, "mechanical error", Weight::Problem},
    {3, 0x08, "auto-cutter error", Weight::Problem},
    {3, 0x20, "unrecoverable error", Weight::Problem},
    {3, 0x40, "error that clears by itself", Weight::Problem},
    {4, 0x0C, "paper near its end", Weight::Notice},
    {4, 0x60, "paper end", Weight::Problem},
};
constexpr BYTE kOffLineBit = 0x08;

}  // namespace

std::vector<StatusWord> PrinterStatusWords(DWORD status, DWORD attributes) {
  std::vector<StatusWord> words;
  for (const FlagWord& entry : kPrinterFlags)
    if (status & entry.flag) words.push_back({entry.word, entry.weight});
  // "Use Printer Offline": the spooler keeps every job until it is unticked.
  if (attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) words.push_back({"working off line", Weight::Blocked});
  if (words.empty()) words.push_back({"ready", Weight::Fine});
  return words;
}

std::vector<std::string> JobStatusWords(DWORD status) {
  std::vector<std::string> words;
  for (const JobFlag& entry : kJobFlags)
    if (status & entry.flag) words.push_back(entry.word);
  if (words.empty()) words.push_back("waiting");
  return words;
}

bool JobIsHeld(DWORD status) {
  for (const JobFlag& entry : kJobFlags)
    if (entry.held && (status & entry.flag)) return true;
  return false;
}

bool IsStatusAnswer(BYTE answer) { return (answer & 0x93) == 0x12; }

std::vector<StatusWord> DecodeStatusAnswer(int n, BYTE answer) {
  std::vector<StatusWord> words;
  if (n == 1)
    words.push_back((answer & kOffLineBit) ? StatusWord{kOffLineWord, Weight::Problem}
                                           : StatusWord{"on line", Weight::Fine});
  for (const AnswerBit& bit : kAnswerBits)
    if (bit.request == n && (answer & bit.mask) == bit.mask) words.push_back({bit.word, bit.weight});
  return words;
}

}  // namespace setup
