// The few file-system calls the reader needs, with Windows paths on Windows
// and host paths elsewhere, so one reader serves the DLL and the host build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zipreader {
namespace fs {

// The separator used when joining a destination and an entry's parts.
char Separator();
bool IsSeparator(char c);
bool IsDirectory(const std::string& path);
// True when `path` is a folder afterwards (made now or already there).
bool MakeDirectory(const std::string& path);
FILE* OpenRead(const std::string& path);
// Creates or truncates; a read-only file is made writable first, as an
// overwrite without questions must succeed on Windows too.
FILE* OpenWrite(const std::string& path);
bool Seek(FILE* file, uint64_t offset);
bool Size(FILE* file, uint64_t* size);
void Remove(const std::string& path);
// True when `path` exists and is the file `open` reads, however it is
// spelt (case, short names, links).
bool IsSameFile(FILE* open, const std::string& path);
// The bytes the current user may still write on the volume of `folder`.
bool FreeSpace(const std::string& folder, uint64_t* bytes);

}  // namespace fs
}  // namespace zipreader
