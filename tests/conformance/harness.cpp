#include "harness.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace conformance {
namespace {

Totals g_totals;
const char* g_group = "";
int g_onWine = -1;

// Reports lines as Wine's tests do: "file:line: Test failed: ...".
const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* backslash = std::strrchr(path, '\\');
  if (backslash > slash) slash = backslash;
  return slash ? slash + 1 : path;
}

void Report(const char* file, int line, const char* verdict, const char* format, va_list args) {
  char message[1024];
  std::vsnprintf(message, sizeof message, format, args);
  std::printf("%s:%d: %s %s: %s\n", BaseName(file), line, g_group, verdict, message);
  std::fflush(stdout);
}

}  // namespace

bool OnWine() {
  if (g_onWine < 0) {
    HMODULE ntdll = plat::System().GetModuleHandleA("ntdll.dll");
    g_onWine = ntdll && plat::System().GetProcAddress(ntdll, "wine_get_version") ? 1 : 0;
  }
  return g_onWine == 1;
}

void BeginGroup(const char* name) {
  g_group = name;
  std::printf("-- %s\n", name);
}

const Totals& Results() { return g_totals; }

void ResetResults() { g_totals = Totals(); }

void Ok(const char* file, int line, bool condition, const char* format, ...) {
  if (condition) {
    ++g_totals.passed;
    return;
  }
  ++g_totals.failed;
  va_list args;
  va_start(args, format);
  Report(file, line, "Test failed", format, args);
  va_end(args);
}

void OkOrWine(const char* file, int line, bool condition, bool wineAnswer, const char* difference,
              const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (condition) {
    ++g_totals.passed;
  } else if (OnWine() && wineAnswer) {
    ++g_totals.passed;
    ++g_totals.differences;
    char verdict[160];
    std::snprintf(verdict, sizeof verdict, "Wine difference \"%s\"", difference);
    Report(file, line, verdict, format, args);
  } else {
    ++g_totals.failed;
    Report(file, line, "Test failed", format, args);
  }
  va_end(args);
}

void Skip(const char* file, int line, const char* format, ...) {
  ++g_totals.skipped;
  va_list args;
  va_start(args, format);
  Report(file, line, "Tests skipped", format, args);
  va_end(args);
}

void Trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

}  // namespace conformance
