// A ZIP archive reader: stored and deflated entries, ZIP64 records and
// fields, every CRC checked, and extraction of a whole archive into a
// folder. Portable C++17 without
// threads; builds for Windows (MinGW) and for Linux.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zipreader {

// Result codes: 0 is success; the first failure of a run decides the code.
enum Code : int {
  kOk = 0,
  kBadCommand = 1,   // the command line could not be understood
  kCannotOpen = 2,   // the archive is missing or unreadable
  kCorrupt = 3,      // not a ZIP archive, truncated, or inconsistent
  kUnsafeName = 4,   // an entry would land outside the destination
  kUnsupported = 5,  // encryption, multi-volume, unknown method, another archive format
  kDataError = 6,    // CRC mismatch or a damaged compressed stream
  kWriteError = 7,   // a folder or file could not be created or written
  kInternal = 8,     // out of memory and the like
};

struct Entry {
  std::string name;  // as stored, '/' or '\\' separated
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;  // ZIP64 extra fields give these 64 bits
  uint64_t size = 0;
  uint64_t localHeaderOffset = 0;
  uint64_t dataOffset = 0;  // where the data starts, after the local header
  bool isDirectory = false;
  bool sizesFollowData = false;  // a data descriptor: the local header may hold zeros
};

// Deflate cannot expand one byte into more than 1032 (a 258-byte match in
// two bits): an entry claiming more is lying about its size.
constexpr uint64_t kMaxDeflateRatio = 1032;
// The most an archive may unpack to in all. A driver package unpacks to
// tens of megabytes; 1 GiB is far above any real one and still well short
// of filling the system drive the installer unpacks to.
constexpr uint64_t kMaxUnpackedTotal = 1ull << 30;

// One open archive. Open() reads and checks the whole central directory and
// every local header, so a damaged archive is refused before any entry is
// read: also one whose entries share data (several entries on one local
// record, or one inside another's data: a small archive unpacking to
// gigabytes), one claiming more than deflate can produce, and one larger
// than kMaxUnpackedTotal.
class Archive {
 public:
  Archive();
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  int Open(const std::string& path, std::string* error);
  void Close();
  const std::vector<Entry>& entries() const { return entries_; }
  // The sum of the entries' sizes (saturating: a hostile directory cannot
  // wrap it round to a small number).
  uint64_t UnpackedTotal() const;
  // True when the last Open() refused the archive for a format this
  // library does not decode (another archive format, a compression method
  // other than store and deflate, encryption, several volumes) rather than
  // for damage: the same files packed again can be read.
  bool FormatUnsupported() const { return formatUnsupported_; }
  // True when `path` names the open archive file itself, by any spelling
  // or link.
  bool IsArchiveFile(const std::string& path) const;

  // Decodes entry `index` and hands its bytes to `sink` in pieces (false
  // from the sink stops with kWriteError). The size and CRC are checked
  // at the end; kDataError means the sink has seen damaged data.
  int Read(size_t index, const std::function<bool(const unsigned char*, size_t)>& sink, std::string* error);

 private:
  int Load(const std::string& path, std::string* error);
  int ReadEndRecords(uint64_t* entryCount, uint64_t* centralSize, std::string* error);
  int ReadZip64EndRecord(uint64_t locatorOffset, uint64_t* entryCount, uint64_t* centralSize,
                         uint64_t* recordOffset, std::string* error);
  int ParseCentralDirectory(const std::vector<unsigned char>& central, uint64_t entryCount,
                            std::string* error);
  int CheckDataLayout(std::string* error);
  int Unsupported(std::string* error, const std::string& text);
  int ReadAt(uint64_t offset, void* buffer, size_t size);

  FILE* file_ = nullptr;
  uint64_t fileSize_ = 0;
  uint64_t centralOffset_ = 0;
  bool formatUnsupported_ = false;
  std::vector<Entry> entries_;
  std::vector<unsigned char> in_;
  std::vector<unsigned char> out_;
};

// Splits an entry name into path components, dropping empty and "."
// parts. Returns false with the reason when the name could reach outside
// the destination: absolute, a drive letter or other colon, "..", a part of
// only dots and blanks (Windows trims those), control characters.
bool SplitEntryName(const std::string& name, std::vector<std::string>* parts, std::string* why);

struct ExtractReport {
  int code = kOk;
  unsigned entries = 0;
  unsigned filesWritten = 0;
  unsigned foldersCreated = 0;
  uint64_t bytesWritten = 0;
  std::vector<std::string> errors;  // one line per problem
};

// Tells the free bytes of the volume holding `folder` (an existing folder);
// false when that cannot be told.
using FreeSpaceProbe = std::function<bool(const std::string& folder, uint64_t* bytes)>;

// Extracts every entry of `archivePath` below `destination` (created if
// missing), recreating folders and overwriting files. Refused with nothing
// written: an archive Open() refuses, one unsafe name, an entry that would
// overwrite the archive itself (kUnsafeName), and an archive larger than
// the free space at the destination (kWriteError). After that a failing
// entry does not stop the others. `freeSpace` defaults to asking the file
// system.
ExtractReport ExtractZip(const std::string& archivePath, const std::string& destination,
                         const FreeSpaceProbe& freeSpace = FreeSpaceProbe());

}  // namespace zipreader
