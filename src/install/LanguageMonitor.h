// The label driver's language monitor found already in place.
#pragma once

// True when the spooler lists a monitor named `monitorName` loaded from
// `dllPath` (names and paths compared without regard to ASCII letter case,
// as Windows compares them). Deleting such a monitor and adding it again
// leaves the same record behind and costs a spooler restart in between.
// Any other answer, a listing that fails included, is false.
bool LanguageMonitorInPlace(const char* monitorName, const char* dllPath);
