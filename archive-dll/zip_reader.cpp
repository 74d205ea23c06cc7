#include "zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>
#include <set>

#include "file_system.h"

namespace zipreader {

namespace {

// Large pieces keep the number of read and write calls low.
constexpr size_t kBufferSize = 256 * 1024;

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr size_t kZip64EndRecordSize = 56;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kDataDescriptorFlag = 0x0008;
// A field holding all ones says "the value is in the ZIP64 record or field".
constexpr uint16_t kMax16 = 0xFFFF;
constexpr uint32_t kMax32 = 0xFFFFFFFFu;
constexpr size_t kMagicSize = 8;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Get64(const unsigned char* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

// What a file starting with `head` is when it is an archive of another
// format, or null.
const char* OtherFormat(const unsigned char* head, size_t size) {
  static const struct {
    const char* magic;
    size_t size;
    const char* name;
  } kFormats[] = {
      {"7z\xBC\xAF\x27\x1C", 6, "a 7z archive"},
      {"Rar!\x1A\x07", 6, "a RAR archive"},
      {"MSCF\0\0\0\0", 8, "a cabinet (.cab) file"},
      {"\xFD"
       "7zXZ\0",
       6, "an xz file"},
      {"\x1F\x8B", 2, "a gzip file"},
      {"BZh", 3, "a bzip2 file"},
  };
  for (const auto& format : kFormats)
    if (size >= format.size && std::memcmp(head, format.magic, format.size) == 0) return format.name;
  return nullptr;
}

// The compression methods of APPNOTE 4.4.5 an archiver may choose.
std::string MethodName(uint16_t method) {
  switch (method) {
    case 1:
      return "Shrink (method 1)";
    case 6:
      return "Implode (method 6)";
    case 9:
      return "Deflate64 (method 9)";
    case 12:
      return "BZip2 (method 12)";
    case 14:
      return "LZMA (method 14)";
    case 93:
      return "Zstandard (method 93)";
    case 95:
      return "XZ (method 95)";
    case 98:
      return "PPMd (method 98)";
    default:
      return "compression method " + std::to_string(method);
  }
}

// Replaces the header fields holding all ones by their values from the
// ZIP64 extra field (id 1) of `extra`, which holds exactly those, in the
// order size, compressed size, local header offset, disk (APPNOTE 4.5.3).
// A null field is not asked for. False when one is missing. Blocks running
// past the extra area end the walk: some writers pad it.
bool ReadZip64Extra(const unsigned char* extra, size_t extraSize, uint64_t* size, uint64_t* compressedSize,
                    uint64_t* offset, uint32_t* disk) {
  const bool needed = (size && *size == kMax32) || (compressedSize && *compressedSize == kMax32) ||
                      (offset && *offset == kMax32) || (disk && *disk == kMax16);
  if (!needed) return true;
  for (size_t pos = 0; extraSize - pos >= 4;) {
    const uint16_t id = Get16(extra + pos);
    const size_t blockSize = Get16(extra + pos + 2);
    pos += 4;
    if (blockSize > extraSize - pos) break;
    if (id == kZip64ExtraId) {
      const unsigned char* field = extra + pos;
      size_t left = blockSize;
      for (uint64_t* value : {size, compressedSize, offset}) {
        if (!value || *value != kMax32) continue;
        if (left < 8) return false;
        *value = Get64(field);
        field += 8;
        left -= 8;
      }
      if (disk && *disk == kMax16) {
        if (left < 4) return false;
        *disk = Get32(field);
      }
      return true;
    }
    pos += blockSize;
  }
  return false;
}

int Fail(std::string* error, int code, const std::string& text) {
  if (error) *error = text;
  return code;
}

// Releases the zlib stream on every path out of Read().
struct Inflater {
  z_stream stream{};
  bool ready = false;
  ~Inflater() {
    if (ready) inflateEnd(&stream);
  }
};

}  // namespace

Archive::Archive() = default;

Archive::~Archive() { Close(); }

void Archive::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  entries_.clear();
}

int Archive::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset > fileSize_ || size > fileSize_ - offset) return kCorrupt;
  if (!fs::Seek(file_, offset) || std::fread(buffer, 1, size, file_) != size) return kCorrupt;
  return kOk;
}

int Archive::Open(const std::string& path, std::string* error) {
  Close();
  formatUnsupported_ = false;
  int rc;
  try {
    rc = Load(path, error);
  } catch (const std::bad_alloc&) {
    rc = Fail(error, kInternal, "out of memory reading the central directory");
  }
  if (rc != kOk) Close();  // no half-read directory stays usable
  return rc;
}

int Archive::Unsupported(std::string* error, const std::string& text) {
  formatUnsupported_ = true;
  return Fail(error, kUnsupported, text);
}

int Archive::Load(const std::string& path, std::string* error) {
  file_ = fs::OpenRead(path);
  if (!file_) return Fail(error, kCannotOpen, "cannot open archive " + path);
  // Reading goes through our own large buffers; stdio's would only copy.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  if (!fs::Size(file_, &fileSize_)) return Fail(error, kCannotOpen, "cannot read archive " + path);

  uint64_t entryCount = 0, centralSize = 0;
  int rc = ReadEndRecords(&entryCount, &centralSize, error);
  if (rc == kCorrupt) {
    // No ZIP directory: say what the file is when it is another archive
    // format, which packing the same files as ZIP would cure.
    unsigned char head[kMagicSize] = {};
    const size_t headSize = static_cast<size_t>(std::min<uint64_t>(fileSize_, sizeof head));
    const char* format = ReadAt(0, head, headSize) == kOk ? OtherFormat(head, headSize) : nullptr;
    if (format) return Unsupported(error, std::string("not a ZIP archive but ") + format);
  }
  if (rc != kOk) return rc;

  std::vector<unsigned char> central(static_cast<size_t>(centralSize));
  if (centralSize > 0 && ReadAt(centralOffset_, central.data(), central.size()) != kOk)
    return Fail(error, kCorrupt, "cannot read central directory");
  rc = ParseCentralDirectory(central, entryCount, error);
  if (rc != kOk) return rc;
  if (UnpackedTotal() > kMaxUnpackedTotal)
    return Fail(error, kUnsupported,
                "the archive unpacks to " + std::to_string(UnpackedTotal()) + " bytes, more than the " +
                    std::to_string(kMaxUnpackedTotal) + " this library unpacks");
  int layout = CheckDataLayout(error);
  if (layout != kOk) return layout;
  in_.resize(kBufferSize);
  out_.resize(kBufferSize);
  return kOk;
}

// Finds the end record and, when a ZIP64 locator precedes it, the ZIP64 end
// record; sets centralOffset_ and checks that the central directory lies
// before them.
int Archive::ReadEndRecords(uint64_t* entryCount, uint64_t* centralSize, std::string* error) {
  if (fileSize_ < kEndRecordSize) return Fail(error, kCorrupt, "not a ZIP archive (too short)");
  // The end record sits in the last 22 bytes plus at most a 64 KiB comment.
  size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize_, kEndRecordSize + kMaxCommentSize));
  uint64_t tailOffset = fileSize_ - tailSize;
  std::vector<unsigned char> tail(tailSize);
  if (ReadAt(tailOffset, tail.data(), tailSize) != kOk)
    return Fail(error, kCorrupt, "cannot read archive end");
  // Prefer a record whose comment ends exactly at the end of the file; a
  // signature inside a comment or cut-off data must not be taken for it.
  size_t endPos = SIZE_MAX;
  for (size_t pos = tailSize - kEndRecordSize + 1; pos-- > 0;) {
    if (Get32(&tail[pos]) != kEndSignature) continue;
    size_t commentSize = Get16(&tail[pos + 20]);
    if (pos + kEndRecordSize + commentSize == tailSize) {
      endPos = pos;
      break;
    }
    if (endPos == SIZE_MAX && pos + kEndRecordSize + commentSize <= tailSize) endPos = pos;
  }
  if (endPos == SIZE_MAX) return Fail(error, kCorrupt, "not a ZIP archive or truncated (no end record)");
  const unsigned char* end = &tail[endPos];
  const uint64_t endOffset = tailOffset + endPos;
  const uint16_t disk = Get16(end + 4), centralDisk = Get16(end + 6);
  const uint16_t diskEntries = Get16(end + 8), totalEntries = Get16(end + 10);
  const uint32_t centralSize32 = Get32(end + 12), centralOffset32 = Get32(end + 16);
  *entryCount = totalEntries;
  *centralSize = centralSize32;
  centralOffset_ = centralOffset32;
  uint64_t centralLimit = endOffset;  // where the central directory must end at the latest
  unsigned char locator[4] = {};
  if (endOffset >= kZip64LocatorSize &&
      ReadAt(endOffset - kZip64LocatorSize, locator, sizeof locator) == kOk &&
      Get32(locator) == kZip64LocatorSignature) {
    int rc = ReadZip64EndRecord(endOffset - kZip64LocatorSize, entryCount, centralSize, &centralLimit, error);
    if (rc != kOk) return rc;
    // The classic fields either defer to the ZIP64 record (all ones) or
    // agree with it: two directories for one archive would let two readers
    // unpack different files from it.
    if ((disk != kMax16 && disk != 0) || (centralDisk != kMax16 && centralDisk != 0))
      return Unsupported(error, "multi-volume archives are not supported");
    if ((totalEntries != kMax16 && totalEntries != *entryCount) ||
        (diskEntries != kMax16 && diskEntries != *entryCount) ||
        (centralSize32 != kMax32 && centralSize32 != *centralSize) ||
        (centralOffset32 != kMax32 && centralOffset32 != centralOffset_))
      return Fail(error, kCorrupt, "the end record and the ZIP64 end record disagree");
  } else if (disk != 0 || centralDisk != 0 || diskEntries != totalEntries) {
    return Unsupported(error, "multi-volume archives are not supported");
  }
  if (centralOffset_ > centralLimit || *centralSize > centralLimit - centralOffset_)
    return Fail(error, kCorrupt, "central directory lies outside the archive (truncated?)");
  if (*entryCount > *centralSize / kCentralHeaderSize)
    return Fail(error, kCorrupt, "central directory too small for its entry count");
  return kOk;
}

// The ZIP64 end record the locator at `locatorOffset` points to (APPNOTE
// 4.3.14 and 4.3.15): 64-bit entry count, directory size and offset.
int Archive::ReadZip64EndRecord(uint64_t locatorOffset, uint64_t* entryCount, uint64_t* centralSize,
                                uint64_t* recordOffsetOut, std::string* error) {
  unsigned char locator[kZip64LocatorSize];
  if (ReadAt(locatorOffset, locator, sizeof locator) != kOk)
    return Fail(error, kCorrupt, "cannot read the ZIP64 locator");
  const uint32_t recordDisk = Get32(locator + 4), disks = Get32(locator + 16);
  const uint64_t recordOffset = Get64(locator + 8);
  if (recordDisk != 0 || disks > 1) return Unsupported(error, "multi-volume archives are not supported");
  if (recordOffset > locatorOffset || locatorOffset - recordOffset < kZip64EndRecordSize)
    return Fail(error, kCorrupt, "the ZIP64 end record lies outside the archive");
  unsigned char record[kZip64EndRecordSize];
  if (ReadAt(recordOffset, record, sizeof record) != kOk || Get32(record) != kZip64EndSignature)
    return Fail(error, kCorrupt, "damaged ZIP64 end record");
  // The size counts what follows its own field; an extensible data sector
  // may follow the fixed part, but nothing runs past the locator.
  const uint64_t recordSize = Get64(record + 4);
  if (recordSize < kZip64EndRecordSize - 12 || recordSize > locatorOffset - recordOffset - 12)
    return Fail(error, kCorrupt, "damaged ZIP64 end record");
  const uint32_t disk = Get32(record + 16), centralDisk = Get32(record + 20);
  const uint64_t diskEntries = Get64(record + 24);
  *entryCount = Get64(record + 32);
  *centralSize = Get64(record + 40);
  centralOffset_ = Get64(record + 48);
  if (disk != 0 || centralDisk != 0 || diskEntries != *entryCount)
    return Unsupported(error, "multi-volume archives are not supported");
  *recordOffsetOut = recordOffset;
  return kOk;
}

int Archive::ParseCentralDirectory(const std::vector<unsigned char>& central, uint64_t entryCount,
                                   std::string* error) {
  const size_t centralSize = central.size();
  size_t pos = 0;
  entries_.reserve(static_cast<size_t>(entryCount));
  for (uint64_t i = 0; i < entryCount; ++i) {
    const std::string where = "damaged central directory at entry " + std::to_string(i + 1);
    if (centralSize - pos < kCentralHeaderSize || Get32(&central[pos]) != kCentralSignature)
      return Fail(error, kCorrupt, where);
    const unsigned char* h = &central[pos];
    size_t nameSize = Get16(h + 28), extraSize = Get16(h + 30), commentSize = Get16(h + 32);
    size_t recordSize = kCentralHeaderSize + nameSize + extraSize + commentSize;
    if (centralSize - pos < recordSize) return Fail(error, kCorrupt, where);
    Entry entry;
    entry.name.assign(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameSize);
    uint16_t flags = Get16(h + 8);
    entry.method = Get16(h + 10);
    entry.crc = Get32(h + 16);
    entry.compressedSize = Get32(h + 20);
    entry.size = Get32(h + 24);
    entry.localHeaderOffset = Get32(h + 42);
    entry.isDirectory = !entry.name.empty() && (entry.name.back() == '/' || entry.name.back() == '\\');
    if (flags & 0x0001) return Unsupported(error, "encrypted entry " + entry.name);
    if (entry.method != 0 && entry.method != 8)
      return Unsupported(error, "entry " + entry.name + " is compressed with " + MethodName(entry.method) +
                                    ", which this library does not read");
    const uint16_t diskStart = Get16(h + 34);
    uint32_t diskStart32 = diskStart;
    if (!ReadZip64Extra(h + kCentralHeaderSize + nameSize, extraSize, &entry.size, &entry.compressedSize,
                        &entry.localHeaderOffset, diskStart == kMax16 ? &diskStart32 : nullptr))
      return Fail(error, kCorrupt, "entry " + entry.name + " lacks the ZIP64 field its sizes point to");
    if (diskStart32 != 0) return Unsupported(error, "multi-volume archives are not supported");
    if (entry.method == 0 && entry.compressedSize != entry.size)
      return Fail(error, kCorrupt, "stored entry " + entry.name + " has two different sizes");
    // Checked one term at a time: 64-bit sizes could wrap a sum round.
    if (centralOffset_ < kLocalHeaderSize || entry.localHeaderOffset > centralOffset_ - kLocalHeaderSize ||
        entry.compressedSize > centralOffset_ - kLocalHeaderSize - entry.localHeaderOffset)
      return Fail(error, kCorrupt, "entry " + entry.name + " lies outside the archive data");
    if (entry.method == 8 && entry.size > kMaxDeflateRatio * entry.compressedSize)
      return Fail(error, kCorrupt,
                  "entry " + entry.name + " claims more data than its compressed size can hold");
    entry.sizesFollowData = (flags & kDataDescriptorFlag) != 0;
    entries_.push_back(std::move(entry));
    pos += recordSize;
  }
  return kOk;
}

// Reads every local header and refuses entries whose records overlap. Each
// entry owns [local header, end of data); the central directory alone
// cannot show two entries on one record, or one inside another's data,
// which would let a small archive unpack the same bytes again and again.
int Archive::CheckDataLayout(std::string* error) {
  std::vector<std::pair<uint64_t, size_t>> starts;  // local header offset, entry
  starts.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    Entry& entry = entries_[i];
    unsigned char local[kLocalHeaderSize];
    if (ReadAt(entry.localHeaderOffset, local, sizeof local) != kOk || Get32(local) != kLocalSignature)
      return Fail(error, kCorrupt, "damaged local header of " + entry.name);
    const size_t nameSize = Get16(local + 26), extraSize = Get16(local + 28);
    entry.dataOffset = entry.localHeaderOffset + kLocalHeaderSize + nameSize + extraSize;
    if (!entry.sizesFollowData) {
      // Without a data descriptor the local header repeats the sizes (in
      // its own ZIP64 field when they hold all ones); a reader going by
      // the local headers alone must not see other entries than this one.
      uint64_t compressedSize = Get32(local + 18), size = Get32(local + 22);
      std::vector<unsigned char> extra(extraSize);
      if (ReadAt(entry.localHeaderOffset + kLocalHeaderSize + nameSize, extra.data(), extraSize) != kOk ||
          !ReadZip64Extra(extra.data(), extraSize, &size, &compressedSize, nullptr, nullptr) ||
          size != entry.size || compressedSize != entry.compressedSize)
        return Fail(error, kCorrupt,
                    "the local and central headers of " + entry.name + " disagree on its sizes");
    }
    if (entry.dataOffset + entry.compressedSize > centralOffset_)
      return Fail(error, kCorrupt, "data of " + entry.name + " runs past the archive data");
    starts.push_back({entry.localHeaderOffset, i});
  }
  std::sort(starts.begin(), starts.end());
  for (size_t k = 1; k < starts.size(); ++k) {
    const Entry& before = entries_[starts[k - 1].second];
    const Entry& after = entries_[starts[k].second];
    if (starts[k].first < before.dataOffset + before.compressedSize)
      return Fail(error, kCorrupt, "entries " + before.name + " and " + after.name + " share data");
  }
  return kOk;
}

uint64_t Archive::UnpackedTotal() const {
  uint64_t total = 0;
  for (const Entry& entry : entries_) total += entry.size;
  return total;
}

bool Archive::IsArchiveFile(const std::string& path) const { return file_ && fs::IsSameFile(file_, path); }

int Archive::Read(size_t index, const std::function<bool(const unsigned char*, size_t)>& sink,
                  std::string* error) {
  if (!file_ || index >= entries_.size()) return Fail(error, kInternal, "no such entry");
  const Entry& entry = entries_[index];
  if (!fs::Seek(file_, entry.dataOffset)) return Fail(error, kCorrupt, "cannot seek to " + entry.name);

  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t remaining = entry.compressedSize;
  uint64_t produced = 0;
  if (entry.method == 0) {
    while (remaining > 0) {
      size_t piece = static_cast<size_t>(std::min<uint64_t>(remaining, in_.size()));
      if (std::fread(in_.data(), 1, piece, file_) != piece)
        return Fail(error, kCorrupt, "cannot read data of " + entry.name);
      crc = crc32(crc, in_.data(), static_cast<uInt>(piece));
      if (!sink(in_.data(), piece)) return Fail(error, kWriteError, "cannot write " + entry.name);
      remaining -= piece;
      produced += piece;
    }
  } else {
    Inflater inflater;
    if (inflateInit2(&inflater.stream, -MAX_WBITS) != Z_OK) return Fail(error, kInternal, "zlib init failed");
    inflater.ready = true;
    z_stream& z = inflater.stream;
    bool finished = false;
    while (!finished) {
      if (z.avail_in == 0) {
        if (remaining == 0)
          return Fail(error, kDataError, "compressed data of " + entry.name + " ends early");
        size_t piece = static_cast<size_t>(std::min<uint64_t>(remaining, in_.size()));
        if (std::fread(in_.data(), 1, piece, file_) != piece)
          return Fail(error, kCorrupt, "cannot read data of " + entry.name);
        remaining -= piece;
        z.next_in = in_.data();
        z.avail_in = static_cast<uInt>(piece);
      }
      z.next_out = out_.data();
      z.avail_out = static_cast<uInt>(out_.size());
      int rc = inflate(&z, Z_NO_FLUSH);
      if (rc == Z_STREAM_END)
        finished = true;
      else if (rc != Z_OK && rc != Z_BUF_ERROR)
        return Fail(error, kDataError, "damaged compressed data in " + entry.name);
      size_t got = out_.size() - z.avail_out;
      if (got > entry.size - produced)  // never write more than the entry claims
        return Fail(error, kDataError, "entry " + entry.name + " is larger than recorded");
      if (got > 0) {
        crc = crc32(crc, out_.data(), static_cast<uInt>(got));
        if (!sink(out_.data(), got)) return Fail(error, kWriteError, "cannot write " + entry.name);
        produced += got;
      } else if (rc == Z_BUF_ERROR && z.avail_in != 0) {
        return Fail(error, kDataError, "damaged compressed data in " + entry.name);
      }
    }
  }
  if (produced != entry.size) return Fail(error, kDataError, "entry " + entry.name + " has the wrong size");
  if (static_cast<uint32_t>(crc) != entry.crc)
    return Fail(error, kDataError, "CRC mismatch in " + entry.name);
  return kOk;
}

namespace {

// Windows opens these as devices in any folder, in any case, whatever
// follows a dot and with trailing blanks: a file of that name would go to
// a port or the console, not below the destination.
bool IsDeviceName(const std::string& part) {
  std::string base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0) return false;
  const std::string digit = base.substr(3);
  if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
  // Windows counts the superscripts as digits here too ("Naming Files,
  // Paths, and Namespaces": COM¹ COM² COM³ LPT¹ LPT² LPT³). Names are read
  // as bytes of the ANSI code page (UTF-8 in drvpack.exe, file_system.cpp):
  // ¹ ² ³ are 0xB9 0xB2 0xB3 in Windows-1252 and C2 B9, C2 B2, C2 B3 in UTF-8.
  for (const char* superscript : {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"})
    if (digit == superscript) return true;
  return false;
}

}  // namespace

bool SplitEntryName(const std::string& name, std::vector<std::string>* parts, std::string* why) {
  parts->clear();
  auto refuse = [&](const char* reason) {
    if (why) *why = reason;
    parts->clear();
    return false;
  };
  if (name.empty()) return refuse("empty name");
  if (name[0] == '/' || name[0] == '\\') return refuse("absolute path");
  std::string part;
  for (size_t i = 0; i <= name.size(); ++i) {
    char c = i < name.size() ? name[i] : '/';
    if (c == '/' || c == '\\') {
      if (part == "..") return refuse("parent folder (..)");
      if (!part.empty() && part != ".") {
        if (part.find_first_not_of(". ") == std::string::npos) return refuse("part made of dots and blanks");
        if (IsDeviceName(part)) return refuse("device name");
        parts->push_back(part);
      }
      part.clear();
      continue;
    }
    if (c == ':') return refuse("drive letter or colon");
    if (static_cast<unsigned char>(c) < 0x20) return refuse("control character");
    part += c;
  }
  return true;
}

namespace {

std::string JoinPath(std::string base, const std::vector<std::string>& parts, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!base.empty() && !fs::IsSeparator(base.back())) base += fs::Separator();
    base += parts[i];
  }
  return base;
}

// Makes `path` and every missing folder above it. Prefixes that cannot be
// made (a drive root, a share) are passed over; only the result counts.
bool MakeDirectories(const std::string& path) {
  if (fs::IsDirectory(path)) return true;
  for (size_t i = 1; i < path.size(); ++i) {
    if (fs::IsSeparator(path[i]) && !fs::IsSeparator(path[i - 1])) fs::MakeDirectory(path.substr(0, i));
  }
  return fs::MakeDirectory(path);
}

}  // namespace

namespace {

// The nearest folder at or above `path` that exists: the destination is
// often made only during extraction.
std::string ExistingFolderAtOrAbove(std::string path) {
  while (!path.empty() && !fs::IsDirectory(path)) {
    while (path.size() > 1 && fs::IsSeparator(path.back())) path.pop_back();
    size_t separator = path.size();
    while (separator > 0 && !fs::IsSeparator(path[separator - 1])) --separator;
    if (separator == 0) return ".";
    path.resize(separator);  // keeps the separator: "C:\" is a folder, "C:" is not
  }
  return path.empty() ? std::string(".") : path;
}

}  // namespace

ExtractReport ExtractZip(const std::string& archivePath, const std::string& destination,
                         const FreeSpaceProbe& freeSpace) {
  ExtractReport report;
  auto fail = [&report](int code, const std::string& text) {
    if (report.code == kOk) report.code = code;
    report.errors.push_back(text);
  };
  Archive archive;
  std::string error;
  int rc = archive.Open(archivePath, &error);
  if (rc != kOk) {
    fail(rc, error);
    return report;
  }
  const std::vector<Entry>& entries = archive.entries();
  report.entries = static_cast<unsigned>(entries.size());

  std::vector<std::vector<std::string>> parts(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string why;
    if (!SplitEntryName(entries[i].name, &parts[i], &why))
      fail(kUnsafeName, "unsafe entry name \"" + entries[i].name + "\": " + why);
    else if (parts[i].empty() && !entries[i].isDirectory)
      fail(kUnsafeName, "unsafe entry name \"" + entries[i].name + "\": names no file");
  }
  if (report.code != kOk) return report;

  std::string root = destination.empty() ? std::string(".") : destination;
  // Writing over the archive would cut it short mid-read, and the failed
  // entry's clean-up would then delete the user's package.
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].isDirectory && archive.IsArchiveFile(JoinPath(root, parts[i], parts[i].size())))
      fail(kUnsafeName, "entry \"" + entries[i].name + "\" would overwrite the archive being read");
  }
  if (report.code != kOk) return report;
  uint64_t available = 0;
  const std::string probed = ExistingFolderAtOrAbove(root);
  if ((freeSpace ? freeSpace(probed, &available) : fs::FreeSpace(probed, &available)) &&
      archive.UnpackedTotal() > available) {
    fail(kWriteError, "the archive unpacks to " + std::to_string(archive.UnpackedTotal()) + " bytes; " +
                          probed + " has " + std::to_string(available) + " bytes free");
    return report;
  }
  if (!MakeDirectories(root)) {
    fail(kWriteError, "cannot create folder " + root);
    return report;
  }
  std::set<std::string> made;  // folders known to exist: one check each
  auto makeFolder = [&](const std::vector<std::string>& p, size_t count) {
    for (size_t depth = 1; depth <= count; ++depth) {
      std::string folder = JoinPath(root, p, depth);
      if (made.count(folder)) continue;
      bool existed = fs::IsDirectory(folder);
      if (!existed && !fs::MakeDirectory(folder)) return false;
      if (!existed) ++report.foldersCreated;
      made.insert(folder);
    }
    return true;
  };

  for (size_t i = 0; i < entries.size(); ++i) {
    const std::vector<std::string>& p = parts[i];
    if (entries[i].isDirectory) {
      if (!makeFolder(p, p.size())) fail(kWriteError, "cannot create folder for " + entries[i].name);
      continue;
    }
    if (!makeFolder(p, p.size() - 1)) {
      fail(kWriteError, "cannot create folder for " + entries[i].name);
      continue;
    }
    std::string path = JoinPath(root, p, p.size());
    FILE* out = fs::OpenWrite(path);
    if (!out) {
      fail(kWriteError, "cannot create " + path);
      continue;
    }
    std::setvbuf(out, nullptr, _IONBF, 0);  // pieces are large already
    rc = archive.Read(
        i, [out](const unsigned char* data, size_t size) { return std::fwrite(data, 1, size, out) == size; },
        &error);
    if (std::fclose(out) != 0 && rc == kOk) {
      rc = kWriteError;
      error = "cannot write " + path;
    }
    if (rc != kOk) {
      // A file known to be damaged is not left behind as if it were good.
      fs::Remove(path);
      fail(rc, error);
      continue;
    }
    ++report.filesWritten;
    report.bytesWritten += entries[i].size;
  }
  return report;
}

}  // namespace zipreader
