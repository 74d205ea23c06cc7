#include "zip_writer.h"

#include <zlib.h>

#include "file_io.h"

namespace drvpack {

namespace {

constexpr size_t kPieceSize = 256 * 1024;
constexpr uint32_t kFileAttributes = 0x20;    // FILE_ATTRIBUTE_ARCHIVE
constexpr uint32_t kFolderAttributes = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr uint16_t kVersion = 20;             // deflate and folders: PKZIP 2.0
// 2020-01-01 00:00 in MS-DOS form: the same tree gives the same bytes.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = ((2020 - 1980) << 9) | (1 << 5) | 1;
constexpr uint64_t kLimit32 = 0xFFFFFFFFu;
constexpr size_t kCrcField = 14;  // CRC and both sizes follow in the local header

void Put16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// Releases the zlib stream on every path out.
struct Deflater {
  z_stream stream{};
  bool ready = false;
  ~Deflater() {
    if (ready) deflateEnd(&stream);
  }
};

}  // namespace

ZipWriter::~ZipWriter() {
  if (file_) std::fclose(file_);
}

bool ZipWriter::Put(const std::string& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) return false;
  offset_ += bytes.size();
  return true;
}

bool ZipWriter::Create(const std::filesystem::path& archive, std::string* error) {
  file_ = OpenFile(archive, "wb");
  if (!file_) *error = "cannot create " + Utf8(archive);
  return file_ != nullptr;
}

bool ZipWriter::BeginEntry(const std::string& name, uint16_t method, std::string* error) {
  if (name.size() >= 0xFFFF || entries_.size() >= 0xFFFF || offset_ >= kLimit32) {
    *error = "too many or too large entries for a ZIP archive without ZIP64 at " + name;
    return false;
  }
  entries_.push_back({name, method, 0, 0, 0, static_cast<uint32_t>(offset_), 0});
  // CRC and sizes are filled in by EndEntry once the data is written.
  std::string header;
  Put32(&header, 0x04034b50);
  Put16(&header, kVersion);
  Put16(&header, 0);  // flags
  Put16(&header, method);
  Put16(&header, kDosTime);
  Put16(&header, kDosDate);
  Put32(&header, 0);
  Put32(&header, 0);
  Put32(&header, 0);
  Put16(&header, static_cast<uint32_t>(name.size()));
  Put16(&header, 0);  // extra
  if (!Put(header + name)) {
    *error = "cannot write " + name;
    return false;
  }
  return true;
}

bool ZipWriter::EndEntry(uint32_t crc, uint64_t compressedSize, uint64_t size, uint32_t attributes,
                         std::string* error) {
  CentralEntry& entry = entries_.back();
  if (compressedSize >= kLimit32 || size >= kLimit32) {
    *error = entry.name + " is too large for a ZIP archive without ZIP64";
    return false;
  }
  entry.crc = crc;
  entry.compressedSize = static_cast<uint32_t>(compressedSize);
  entry.size = static_cast<uint32_t>(size);
  entry.attributes = attributes;
  std::string fields;
  Put32(&fields, crc);
  Put32(&fields, entry.compressedSize);
  Put32(&fields, entry.size);
  if (!SeekFile(file_, entry.offset + kCrcField) ||
      std::fwrite(fields.data(), 1, fields.size(), file_) != fields.size() || !SeekFile(file_, offset_)) {
    *error = "cannot write " + entry.name;
    return false;
  }
  return true;
}

bool ZipWriter::AddFolder(const std::string& name, std::string* error) {
  return BeginEntry(name, 0, error) && EndEntry(0, 0, 0, kFolderAttributes, error);
}

bool ZipWriter::AddFile(const std::string& name, const std::filesystem::path& source, std::string* error) {
  FileCloser in(OpenFile(source, "rb"));
  if (!in.get()) {
    *error = "cannot read " + Utf8(source);
    return false;
  }
  if (!BeginEntry(name, Z_DEFLATED, error)) return false;
  Deflater deflater;
  if (deflateInit2(&deflater.stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    *error = "zlib init failed";
    return false;
  }
  deflater.ready = true;
  z_stream& z = deflater.stream;
  std::vector<unsigned char> input(kPieceSize), output(kPieceSize);
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0, compressed = 0;
  int flush = Z_NO_FLUSH;
  do {
    const size_t got = std::fread(input.data(), 1, input.size(), in.get());
    if (got < input.size()) {
      if (std::ferror(in.get())) {
        *error = "cannot read " + Utf8(source);
        return false;
      }
      flush = Z_FINISH;
    }
    crc = crc32(crc, input.data(), static_cast<uInt>(got));
    size += got;
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(got);
    do {
      z.next_out = output.data();
      z.avail_out = static_cast<uInt>(output.size());
      deflate(&z, flush);
      const size_t made = output.size() - z.avail_out;
      if (std::fwrite(output.data(), 1, made, file_) != made) {
        *error = "cannot write " + name;
        return false;
      }
      offset_ += made;
      compressed += made;
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  return EndEntry(static_cast<uint32_t>(crc), compressed, size, kFileAttributes, error);
}

bool ZipWriter::Finish(std::string* error) {
  const uint64_t centralOffset = offset_;
  std::string central;
  for (const CentralEntry& entry : entries_) {
    Put32(&central, 0x02014b50);
    Put16(&central, kVersion);  // made by: MS-DOS attributes
    Put16(&central, kVersion);
    Put16(&central, 0);  // flags
    Put16(&central, entry.method);
    Put16(&central, kDosTime);
    Put16(&central, kDosDate);
    Put32(&central, entry.crc);
    Put32(&central, entry.compressedSize);
    Put32(&central, entry.size);
    Put16(&central, static_cast<uint32_t>(entry.name.size()));
    Put16(&central, 0);  // extra
    Put16(&central, 0);  // comment
    Put16(&central, 0);  // disk
    Put16(&central, 0);  // internal attributes
    Put32(&central, entry.attributes);
    Put32(&central, entry.offset);
    central += entry.name;
  }
  if (centralOffset + central.size() >= kLimit32) {
    *error = "the archive is too large without ZIP64";
    return false;
  }
  std::string end;
  Put32(&end, 0x06054b50);
  Put32(&end, 0);  // disks
  Put16(&end, static_cast<uint32_t>(entries_.size()));
  Put16(&end, static_cast<uint32_t>(entries_.size()));
  Put32(&end, static_cast<uint32_t>(central.size()));
  Put32(&end, static_cast<uint32_t>(centralOffset));
  Put16(&end, 0);  // comment
  const bool written = Put(central + end);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!written || !closed) *error = "cannot finish the archive";
  return written && closed;
}

}  // namespace drvpack
