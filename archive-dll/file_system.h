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

}  // namespace fs
}  // namespace zipreader
