// What printer-setup test says about a printer, in words: the spooler's
// status flags for the printer and its jobs, and the answers of a receipt
// printer to the real-time status requests DLE EOT 1 to 4. One table per
// source, so each word a support call can hear has one place.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace setup {

// How much a word weighs in the verdict.
enum class Weight {
  Fine,     // a state worth saying, nothing wrong ("on line", "printing")
  Notice,   // ready, but worth a word ("paper near its end")
  Problem,  // the printer cannot print until someone acts
  Blocked,  // the queue holds the jobs (paused, working off line)
};

struct StatusWord {
  std::string word;
  Weight weight = Weight::Fine;
};

// PRINTER_INFO_2's Status and Attributes; "ready" when nothing is set.
std::vector<StatusWord> PrinterStatusWords(DWORD status, DWORD attributes);
// JOB_INFO_2's Status; "waiting" when nothing is set.
std::vector<std::string> JobStatusWords(DWORD status);
// A job that can no longer print by itself (error, paused, blocked, ...).
bool JobIsHeld(DWORD status);

// The real-time status requests: DLE EOT n, n = 1 to 4.
constexpr int kStatusRequestCount = 4;
// An answer to DLE EOT n has bits 1 and 4 set and bits 0 and 7 clear.
bool IsStatusAnswer(BYTE answer);
// The word for a printer that is off line, whoever says it: the verdict
// prefers any other problem, which says why.
constexpr char kOffLineWord[] = "off line";
// The words of the answer to DLE EOT n ("on line" or kOffLineWord for n = 1).
std::vector<StatusWord> DecodeStatusAnswer(int n, BYTE answer);

}  // namespace setup
