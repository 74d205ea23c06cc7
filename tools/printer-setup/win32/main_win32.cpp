// printer-setup.exe's entry: the real platform, the command line as UTF-8,
// the result on the console (or whatever standard output was redirected
// to), and the /log file appended to.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "platform/win32/utf16.h"
#include "platform/win32/win32_platform.h"

namespace {

using plat::win32::Utf8ToWide;
using plat::win32::WideToUtf8;

// Appends lines to the log file; a new file starts with a UTF-8 byte order
// mark so that Notepad on any Windows reads it as UTF-8.
class FileSink : public setup::ILogSink {
 public:
  explicit FileSink(HANDLE file) : m_file(file) {}
  ~FileSink() override { ::CloseHandle(m_file); }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void WriteLine(const std::string& line) override { Write(line + "\r\n"); }
  std::string Stamp() override {
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    char stamp[32] = {};
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return stamp;
  }
  void Write(const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(m_file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }

 private:
  HANDLE m_file;
};

std::unique_ptr<setup::ILogSink> OpenLog(const std::string& path, std::string* error) {
  const std::wstring widePath = Utf8ToWide(path.c_str());
  // FILE_APPEND_DATA alone: every write goes to the end, whoever else
  // appends; readers (a tail in another window) may share it.
  HANDLE file = ::CreateFileW(widePath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = "error " + std::to_string(::GetLastError());
    return nullptr;
  }
  const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
  auto sink = std::make_unique<FileSink>(file);
  if (created) sink->Write("\xEF\xBB\xBF");
  return sink;
}

// A console shows the text as UTF-16; a pipe or file gets the UTF-8 bytes.
void WriteOutput(const std::string& text) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(out, &mode)) {
    const std::wstring wide = Utf8ToWide(text.c_str());
    std::wstring crlf;
    for (wchar_t c : wide) {
      if (c == L'\n') crlf += L'\r';
      crlf += c;
    }
    ::WriteConsoleW(out, crlf.c_str(), static_cast<DWORD>(crlf.size()), &written, nullptr);
  } else {
    ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);
  plat::InstallWin32Platform();

  int count = 0;
  LPWSTR* wideArgs = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wideArgs && i < count; ++i)
    args.push_back(WideToUtf8(wideArgs[i], ::lstrlenW(wideArgs[i])));
  if (wideArgs) ::LocalFree(wideArgs);

  std::string output;
  const int exitCode = setup::RunPrinterSetup(args, OpenLog, &output);
  WriteOutput(output);
  return exitCode;
}
