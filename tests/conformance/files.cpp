// Files and profile (INI) reading: copies, deletes, attributes and
// read-only files; section names and strings of a large catalogue.
#include <cctype>
#include <cstring>
#include <string>

#include "harness.h"

namespace conformance {
namespace {

unsigned long U(DWORD value) { return static_cast<unsigned long>(value); }

void CopiesAndAttributes(const Backend& backend) {
  plat::IFiles& files = plat::Files();
  const std::string folder = backend.tempFolder + "\\files";
  const std::string source = folder + "\\source.txt";
  const std::string copy = folder + "\\copy.txt";
  MarkLastError();
  BOOL done = files.CreateDirectoryA(folder.c_str());
  ok(done, "CreateDirectoryA: error %lu", U(LastError()));
  ok(backend.writeFile(source, "content"), "fixture: %s written", source.c_str());

  MarkLastError();
  DWORD attributes = files.GetFileAttributesA(folder.c_str());
  ok(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY),
     "GetFileAttributesA of a folder: %#lx", U(attributes));
  MarkLastError();
  attributes = files.GetFileAttributesA((folder + "\\absent.txt").c_str());
  ok(attributes == INVALID_FILE_ATTRIBUTES && LastError() == ERROR_FILE_NOT_FOUND,
     "GetFileAttributesA of a missing file: %#lx, error %lu, expected 2", U(attributes), U(LastError()));
  MarkLastError();
  attributes = files.GetFileAttributesA((folder + "\\absent\\file.txt").c_str());
  ok(attributes == INVALID_FILE_ATTRIBUTES && LastError() == ERROR_PATH_NOT_FOUND,
     "GetFileAttributesA in a missing folder: error %lu, expected 3", U(LastError()));

  MarkLastError();
  done = files.CopyFileA(source.c_str(), copy.c_str(), TRUE);
  ok(done, "CopyFileA to a new name: error %lu", U(LastError()));
  MarkLastError();
  done = files.CopyFileA(source.c_str(), copy.c_str(), TRUE);
  ok(!done && LastError() == ERROR_FILE_EXISTS,
     "CopyFileA onto a file, failing if it exists: %d, error %lu, expected 80", done, U(LastError()));
  MarkLastError();
  done = files.CopyFileA((folder + "\\absent.txt").c_str(), copy.c_str(), FALSE);
  ok(!done && LastError() == ERROR_FILE_NOT_FOUND, "CopyFileA of a missing file: error %lu, expected 2",
     U(LastError()));

  // A read-only file can be neither deleted nor overwritten.
  MarkLastError();
  done = files.SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_READONLY);
  ok(done, "SetFileAttributesA read-only: error %lu", U(LastError()));
  attributes = files.GetFileAttributesA(copy.c_str());
  ok(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY), "read-only now: %#lx",
     U(attributes));
  MarkLastError();
  done = files.DeleteFileA(copy.c_str());
  ok(!done && LastError() == ERROR_ACCESS_DENIED,
     "DeleteFileA of a read-only file: %d, error %lu, expected 5", done, U(LastError()));
  // CopyFile: "If the destination file already exists and has the
  // FILE_ATTRIBUTE_HIDDEN or FILE_ATTRIBUTE_READONLY attribute set, this
  // function fails with ERROR_ACCESS_DENIED."
  MarkLastError();
  done = files.CopyFileA(source.c_str(), copy.c_str(), FALSE);
  ok_or_wine(!done && LastError() == ERROR_ACCESS_DENIED, done != FALSE,
             "CopyFile overwrites a read-only file",
             "CopyFileA over a read-only file: %d, error %lu, expected 5", done, U(LastError()));
  // Wine overwrote it: put the read-only attribute back for the next case.
  files.SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_READONLY);

  // CopyFile copies the source's attributes to the new file.
  // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-copyfilea
  const std::string second = folder + "\\second.txt";
  MarkLastError();
  done = files.CopyFileA(copy.c_str(), second.c_str(), TRUE);
  attributes = files.GetFileAttributesA(second.c_str());
  ok(done && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY),
     "a copy of a read-only file is read-only: %d, %#lx", done, U(attributes));

  MarkLastError();
  done = files.RemoveDirectoryA(folder.c_str());
  ok(!done && LastError() == ERROR_DIR_NOT_EMPTY,
     "RemoveDirectoryA of a full folder: %d, error %lu, expected 145", done, U(LastError()));

  plat::FindData found;
  int count = 0;
  HANDLE search = files.FindFirstFileA((folder + "\\*.txt").c_str(), &found);
  ok(search != INVALID_HANDLE_VALUE, "FindFirstFileA *.txt");
  if (search != INVALID_HANDLE_VALUE) {
    do ++count;
    while (files.FindNextFileA(search, &found));
    files.FindClose(search);
  }
  ok(count == 3, "FindFirstFileA/FindNextFileA found %d files, expected 3", count);
  MarkLastError();
  search = files.FindFirstFileA((folder + "\\*.none").c_str(), &found);
  ok(search == INVALID_HANDLE_VALUE && LastError() == ERROR_FILE_NOT_FOUND,
     "FindFirstFileA matching nothing: error %lu, expected 2", U(LastError()));
  if (search != INVALID_HANDLE_VALUE) files.FindClose(search);

  for (const std::string& file : {copy, second}) {
    files.SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ok(files.DeleteFileA(file.c_str()), "DeleteFileA once writable: %s", file.c_str());
  }
  ok(files.DeleteFileA(source.c_str()), "DeleteFileA of %s", source.c_str());
  MarkLastError();
  done = files.DeleteFileA(source.c_str());
  ok(!done && LastError() == ERROR_FILE_NOT_FOUND, "DeleteFileA of a deleted file: error %lu, expected 2",
     U(LastError()));
  ok(files.RemoveDirectoryA(folder.c_str()), "RemoveDirectoryA of the emptied folder");
}

// A catalogue as large as a driver package's, with a long value and text in
// the ANSI code page (1252: 0xE9 is e acute).
std::string Catalogue(int sections, const std::string& longValue) {
  std::string text;
  for (int i = 1; i <= sections; ++i) {
    char section[80];
    std::snprintf(section, sizeof section, "[Model%02d]\r\nDriverName=Driver %02d\r\n", i, i);
    text += section;
  }
  text += "[Extra]\r\nLong=" + longValue + "\r\nName=Caf\xe9\r\n";
  return text;
}

void ProfileReading(const Backend& backend) {
  plat::IFiles& files = plat::Files();
  const int kSections = 40;
  const std::string longValue(1500, 'v');
  const std::string ini = backend.tempFolder + "\\catalogue.cfg";
  ok(backend.writeFile(ini, Catalogue(kSections, longValue)), "fixture: %s written", ini.c_str());

  // Each name with its NUL; the count leaves out the list's final NUL.
  const DWORD allNames = kSections * 8 + 6;
  char names[1024];
  MarkLastError();
  DWORD length = files.GetPrivateProfileSectionNamesA(names, sizeof names, ini.c_str());
  ok(length == allNames, "GetPrivateProfileSectionNamesA: %lu, expected %lu", U(length), U(allNames));
  ok(std::strcmp(names, "Model01") == 0 && std::strcmp(names + 8 * (kSections - 1), "Model40") == 0,
     "section names in file order: \"%s\"", names);
  ok(length < sizeof names && names[length] == '\0', "the list ends with a second NUL");

  // A buffer too small: the size minus two, the last name cut short.
  // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-getprivateprofilesectionnamesa
  char small[100];
  length = files.GetPrivateProfileSectionNamesA(small, sizeof small, ini.c_str());
  ok(length == sizeof small - 2, "a short buffer: %lu, expected %lu", U(length), U(sizeof small - 2));
  ok(small[sizeof small - 1] == '\0' && small[sizeof small - 2] == '\0',
     "a short list still ends with two NULs");

  char value[2048];
  MarkLastError();
  length = files.GetPrivateProfileStringA("Model40", "DriverName", "", value, sizeof value, ini.c_str());
  ok(length == 9 && std::strcmp(value, "Driver 40") == 0, "the last section's value: %lu, \"%s\"", U(length),
     value);
  length = files.GetPrivateProfileStringA("extra", "LONG", "", value, sizeof value, ini.c_str());
  ok(length == longValue.size() && longValue == value, "a %lu-byte value, names in any case: %lu",
     U(longValue.size()), U(length));

  // A value that does not fit: cut, NUL-terminated, the size minus one.
  // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-getprivateprofilestringa
  char shortValue[6];
  length =
      files.GetPrivateProfileStringA("Model01", "DriverName", "", shortValue, sizeof shortValue, ini.c_str());
  ok(length == sizeof shortValue - 1 && std::strcmp(shortValue, "Drive") == 0, "a short buffer: %lu, \"%s\"",
     U(length), shortValue);

  // The file is in the ANSI code page; the boundary hands back UTF-8.
  length = files.GetPrivateProfileStringA("Extra", "Name", "", value, sizeof value, ini.c_str());
  ok(length == 5 && std::strcmp(value, "Caf\xc3\xa9") == 0, "text in the ANSI code page: %lu, \"%s\"",
     U(length), value);

  length = files.GetPrivateProfileStringA("Model01", "Absent", "fallback", value, sizeof value, ini.c_str());
  ok(length == 8 && std::strcmp(value, "fallback") == 0, "a missing key gives the default: %lu, \"%s\"",
     U(length), value);

  // A missing file gives the default and, as documented, error 2.
  MarkLastError();
  length = files.GetPrivateProfileStringA("Model01", "DriverName", "none", value, sizeof value,
                                          (backend.tempFolder + "\\absent.cfg").c_str());
  ok(length == 4 && std::strcmp(value, "none") == 0 && LastError() == ERROR_FILE_NOT_FOUND,
     "a missing file: %lu, \"%s\", error %lu, expected 2", U(length), value, U(LastError()));

  ok(files.DeleteFileA(ini.c_str()), "DeleteFileA of the catalogue");
}

// A 32-bit program on 64-bit Windows: System32 is SysWOW64 but for a few
// subfolders (spool among them), GetSystemDirectory still says System32,
// and Sysnative names the real one.
// https://learn.microsoft.com/windows/win32/winprog64/file-system-redirector
void Redirection(const Backend& backend) {
  if (NativeEnvironment() != "Windows x64") {
    skip("32-bit Windows: no file system redirector");
    return;
  }
  plat::IFiles& files = plat::Files();
  char system[MAX_PATH] = {}, windows[MAX_PATH] = {};
  ok(files.GetSystemDirectoryA(system, sizeof system) > 0 &&
         files.GetWindowsDirectoryA(windows, sizeof windows) > 0,
     "the system and Windows folders");
  const std::string systemFolder = system, windowsFolder = windows;
  std::string tail = systemFolder.size() > 9 ? systemFolder.substr(systemFolder.size() - 9) : "";
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ok(tail == "\\system32", "GetSystemDirectoryA of a 32-bit program on 64-bit Windows: \"%s\"", system);

  const std::string name = "\\conformance-redirected.txt";
  ok(backend.writeFile(systemFolder + name, "redirected"), "fixture: written to %s",
     (systemFolder + name).c_str());
  ok(files.GetFileAttributesA((windowsFolder + "\\SysWOW64" + name).c_str()) != INVALID_FILE_ATTRIBUTES,
     "a file written to System32 is in SysWOW64");
  ok(files.GetFileAttributesA((windowsFolder + "\\Sysnative" + name).c_str()) == INVALID_FILE_ATTRIBUTES,
     "and not in the real System32 (Sysnative)");
  files.DeleteFileA((systemFolder + name).c_str());

  const std::string spool = "\\spool\\conformance-exempt.txt";
  ok(backend.writeFile(systemFolder + spool, "exempt"), "fixture: written to %s",
     (systemFolder + spool).c_str());
  ok(files.GetFileAttributesA((windowsFolder + "\\Sysnative" + spool).c_str()) != INVALID_FILE_ATTRIBUTES,
     "System32\\spool is not redirected");
  ok(files.GetFileAttributesA((windowsFolder + "\\SysWOW64" + spool).c_str()) == INVALID_FILE_ATTRIBUTES,
     "nothing lands in SysWOW64\\spool");
  files.DeleteFileA((systemFolder + spool).c_str());
}

}  // namespace

void TestFiles(const Backend& backend) {
  BeginGroup("files");
  CopiesAndAttributes(backend);
  ProfileReading(backend);
  Redirection(backend);
}

}  // namespace conformance
