#include "host/sim/wall_clock.h"

#include <cstring>

#include "host/sim/machine.h"
#include "host/sim/system.h"
#include "host/sim/threads.h"

namespace sim {

namespace {

// 2026-03-02 09:00:00 UTC, a Monday, in seconds since 1970.
constexpr int64_t kStartSeconds = 1772442000;

// The civil date of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shifted = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  *month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

SYSTEMTIME WallClockAt(int64_t virtualMs) {
  const int64_t totalMs = kStartSeconds * 1000 + virtualMs;
  int64_t seconds = totalMs / 1000;
  int64_t days = seconds / 86400;
  if (seconds % 86400 < 0) --days;
  seconds -= days * 86400;
  int year = 0, month = 0, day = 0;
  CivilFromDays(days, &year, &month, &day);
  SYSTEMTIME time = {};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  time.wHour = static_cast<WORD>(seconds / 3600);
  time.wMinute = static_cast<WORD>(seconds / 60 % 60);
  time.wSecond = static_cast<WORD>(seconds % 60);
  time.wMilliseconds = static_cast<WORD>(((totalMs % 1000) + 1000) % 1000);
  return time;
}

void SimThreads::GetSystemTime(SYSTEMTIME* time) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  *time = WallClockAt(static_cast<int64_t>(m_machine.GetWorld().Now()));
}

void SimThreads::GetLocalTime(SYSTEMTIME* time) { GetSystemTime(time); }

BOOL SimSystem::GetComputerNameA(LPSTR buffer, DWORD* size) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  const std::string& name = m_machine.Version().computerName;
  if (!size) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  if (!buffer || *size < name.size() + 1) {
    *size = static_cast<DWORD>(name.size() + 1);
    return m_machine.Fail(ERROR_BUFFER_OVERFLOW);
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

}  // namespace sim
