#include "package/ArchiveTool.h"

#include <string>
#include <vector>

#include "framework/cstring.h"
#include "framework/exception.h"
#include "platform/platform.h"

namespace {
constexpr DWORD kOutputSize = 16384;

// The text after the first "error: " line start of the library's output.
std::string FirstError(const char* output) {
  static const char kPrefix[] = "error: ";
  const std::string text(output);
  for (size_t line = 0; line < text.size();) {
    size_t end = text.find('\n', line);
    if (end == std::string::npos) end = text.size();
    if (text.compare(line, sizeof kPrefix - 1, kPrefix) == 0)
      return text.substr(line + sizeof kPrefix - 1, end - line - (sizeof kPrefix - 1));
    line = end + 1;
  }
  return std::string();
}
}  // namespace

CArchiveTool::CArchiveTool()
    : m_hLibrary(nullptr),
      m_pfnSevenZip(nullptr),
      m_pfnSetOwnerWindowEx(nullptr),
      m_pfnKillOwnerWindowEx(nullptr),
      m_hOwnerWnd(nullptr) {}

CArchiveTool::~CArchiveTool() { FreeArchiveLibrary(); }

BOOL CALLBACK CArchiveTool::ArchiveCallback(HWND, UINT, UINT, LPVOID) { return TRUE; }

BOOL CArchiveTool::LoadArchiveLibrary() {
  FreeArchiveLibrary();
  plat::ISystem& system = plat::System();
  m_hLibrary = system.LoadLibraryA("7-zip32.dll");
  if (!m_hLibrary) return FALSE;
  m_pfnSevenZip = plat::ProcAs<SevenZipFn>(system.GetProcAddress(m_hLibrary, "SevenZip"));
  m_pfnSetOwnerWindowEx =
      plat::ProcAs<SetOwnerWindowExFn>(system.GetProcAddress(m_hLibrary, "SevenZipSetOwnerWindowEx"));
  m_pfnKillOwnerWindowEx =
      plat::ProcAs<KillOwnerWindowExFn>(system.GetProcAddress(m_hLibrary, "SevenZipKillOwnerWindowEx"));
  // A library without all three exports is not the one we can drive:
  // treated as missing rather than called through a null pointer.
  if (!m_pfnSevenZip || !m_pfnSetOwnerWindowEx || !m_pfnKillOwnerWindowEx) {
    FreeArchiveLibrary();
    return FALSE;
  }
  return TRUE;
}

void CArchiveTool::FreeArchiveLibrary() {
  if (m_hLibrary) plat::System().FreeLibrary(m_hLibrary);
  m_hLibrary = nullptr;
  m_pfnSevenZip = nullptr;
  m_pfnSetOwnerWindowEx = nullptr;
  m_pfnKillOwnerWindowEx = nullptr;
}

BYTE CArchiveTool::Extract(const char* archivePath, const char* destination) {
  m_lastError.clear();
  LoadArchiveLibrary();
  plat::IThreads& threads = plat::Threads();
  threads.Sleep(10);
  if (!m_hLibrary) return 0;
  if (plat::Files().GetFileAttributesA(archivePath) == INVALID_FILE_ATTRIBUTES) return 0;

  std::vector<char> output(kOutputSize + 1, '\0');
  CString command;
  command.Format("x -y \"%s\" -o\"%s\" -hide", archivePath, destination);
  // The library reads its command line in the ANSI code page.
  std::string ansiCommand;
  if (!plat::System().ConvertToAnsiCodePage(command, &ansiCommand)) return kNotInCodePage;

  m_pfnSetOwnerWindowEx(m_hOwnerWnd, &CArchiveTool::ArchiveCallback);
  threads.Sleep(100);
  int rc = 100;
  try {
    rc = m_pfnSevenZip(m_hOwnerWnd, ansiCommand.c_str(), output.data(), kOutputSize);
  } catch (const CException&) {
    rc = 100;
  }
  m_pfnKillOwnerWindowEx(m_hOwnerWnd);
  threads.Sleep(10);
  if (rc != 0) m_lastError = FirstError(output.data());
  return rc == 0 ? 2 : 0;
}
