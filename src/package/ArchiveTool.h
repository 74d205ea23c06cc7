// The archive library, loaded at run time for the one extraction at
// start-up and driven by its command line.
#pragma once

#include <string>

#include "platform/types.h"

typedef BOOL(CALLBACK* ArchiveCallbackFn)(HWND window, UINT message, UINT state, LPVOID progress);

class CArchiveTool {
 public:
  CArchiveTool();
  virtual ~CArchiveTool();
  CArchiveTool(const CArchiveTool&) = delete;
  CArchiveTool& operator=(const CArchiveTool&) = delete;

  // TRUE when the library is loaded with all three of its exports.
  BOOL LoadArchiveLibrary();
  // What Extract returns when the paths have a character the ANSI code page
  // cannot express, so the library could not be given them.
  static constexpr BYTE kNotInCodePage = 1;

  // Unpacks `archivePath` with its folders into `destination`: 2 when the
  // library unpacked it, kNotInCodePage, 0 otherwise (also without library
  // or archive).
  BYTE Extract(const char* archivePath, const char* destination);
  void FreeArchiveLibrary();

  void SetOwnerWindow(HWND owner) { m_hOwnerWnd = owner; }

  // The library's first reason from the last Extract ("error:" line of its
  // output), empty when it unpacked or was not called. The window stays
  // silent about it; printer-setup's log names it.
  const std::string& LastError() const { return m_lastError; }

  // Progress callback handed to the library; always lets it go on.
  static BOOL CALLBACK ArchiveCallback(HWND window, UINT message, UINT state, LPVOID progress);

 private:
  typedef int(WINAPI* SevenZipFn)(HWND owner, LPCSTR commandLine, LPSTR output, DWORD outputSize);
  typedef BOOL(WINAPI* SetOwnerWindowExFn)(HWND owner, ArchiveCallbackFn callback);
  typedef BOOL(WINAPI* KillOwnerWindowExFn)(HWND owner);

  HMODULE m_hLibrary;
  SevenZipFn m_pfnSevenZip;
  SetOwnerWindowExFn m_pfnSetOwnerWindowEx;
  KillOwnerWindowExFn m_pfnKillOwnerWindowEx;
  HWND m_hOwnerWnd;
  std::string m_lastError;
};
