// Archives made to hurt the machine that unpacks them: entries sharing data
// (a small archive unpacking to gigabytes), sizes no deflate stream can
// reach, more than the destination holds, and entries that would write
// over the archive being read. Each is refused before anything is written.
// The archives are put together byte by byte: minizip writes none of these.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "temp_folder.h"
#include "zip_reader.h"

namespace stdfs = std::filesystem;

namespace {

using testing_support::ReadText;

void Put16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

std::string Deflated(const std::string& data) {
  std::string out(compressBound(static_cast<uLong>(data.size())) + 64, '\0');
  z_stream z = {};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// One entry's records: the local header with its data, and what the
// central directory says about it (its offset set by the caller).
struct Record {
  std::string name;
  uint16_t method;
  uint32_t crc;
  uint32_t size;
  std::string stored;  // the bytes in the archive
  uint32_t offset = 0;

  static Record Deflate(const std::string& name, const std::string& data) {
    return {name, 8, Crc(data), static_cast<uint32_t>(data.size()), Deflated(data)};
  }
  static Record Store(const std::string& name, const std::string& data) {
    return {name, 0, Crc(data), static_cast<uint32_t>(data.size()), data};
  }
  void Header(std::string* out, uint32_t signature) const {
    Put32(out, signature);
    if (signature == 0x02014b50) Put16(out, 20);  // version made by
    Put16(out, 20);                               // version needed
    Put16(out, 0);                                // flags
    Put16(out, method);
    Put32(out, 0);  // time and date
    Put32(out, crc);
    Put32(out, static_cast<uint32_t>(stored.size()));
    Put32(out, size);
    Put16(out, static_cast<uint32_t>(name.size()));
    Put16(out, 0);  // extra
    if (signature == 0x02014b50) {
      Put16(out, 0);  // comment
      Put16(out, 0);  // disk
      Put16(out, 0);  // internal attributes
      Put32(out, 0);  // external attributes
      Put32(out, offset);
    }
    *out += name;
  }
  std::string Local() const {
    std::string out;
    Header(&out, 0x04034b50);
    return out + stored;
  }
};

// `data` (the local records) followed by a central directory of `entries`.
std::string Assemble(const std::string& data, const std::vector<Record>& entries) {
  std::string central;
  for (const Record& r : entries) r.Header(&central, 0x02014b50);
  std::string out = data + central;
  Put32(&out, 0x06054b50);
  Put32(&out, 0);
  Put16(&out, static_cast<uint32_t>(entries.size()));
  Put16(&out, static_cast<uint32_t>(entries.size()));
  Put32(&out, static_cast<uint32_t>(central.size()));
  Put32(&out, static_cast<uint32_t>(data.size()));
  Put16(&out, 0);
  return out;
}

class HostileArchiveTest : public testing_support::TempFolderTest {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "test.zip") {
    std::ofstream((root_ / name), std::ios::binary) << bytes;
    return (root_ / name).string();
  }
  // Opens and extracts `bytes`; nothing may be written.
  int Refused(const std::string& bytes, std::string* why) {
    std::string path = Write(bytes);
    zipreader::Archive archive;
    int open = archive.Open(path, why);
    archive.Close();
    zipreader::ExtractReport report = zipreader::ExtractZip(path, (root_ / "dest").string());
    EXPECT_EQ(report.code, open);
    EXPECT_EQ(report.filesWritten, 0u);
    EXPECT_FALSE(stdfs::exists(root_ / "dest"));
    return open;
  }
};

TEST_F(HostileArchiveTest, EntriesSharingDataAreRefused) {
  const std::string zeros(1 << 20, '\0');
  Record bomb = Record::Deflate("bomb.txt", zeros);
  std::string why;

  // The honest layout of the same helper opens: each entry its own record.
  Record other = Record::Deflate("other.txt", zeros);
  other.offset = static_cast<uint32_t>(bomb.Local().size());
  std::string path = Write(Assemble(bomb.Local() + other.Local(), {bomb, other}));
  EXPECT_EQ(zipreader::ExtractZip(path, (root_ / "dest").string()).code, zipreader::kOk);
  stdfs::remove_all(root_ / "dest");

  // Many central entries on one local record: a megabyte each, again and again.
  std::vector<Record> copies;
  for (int i = 0; i < 50; ++i) {
    Record copy = bomb;
    copy.name = "copy" + std::to_string(i) + ".txt";
    copies.push_back(copy);
  }
  EXPECT_EQ(Refused(Assemble(bomb.Local(), copies), &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("share data"), std::string::npos) << why;

  // An entry whose record lies inside another entry's stored data.
  Record outer = Record::Store("outer.bin", bomb.Local());
  Record inner = bomb;
  inner.offset = static_cast<uint32_t>(30 + outer.name.size());
  EXPECT_EQ(Refused(Assemble(outer.Local(), {outer, inner}), &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("share data"), std::string::npos) << why;
}

TEST_F(HostileArchiveTest, SizesBeyondWhatTheDataCanHoldAreRefused) {
  std::string why;
  // Deflate gives at most 1032 bytes per byte: a claim beyond is a lie.
  Record liar = Record::Deflate("liar.txt", std::string(1000, 'x'));
  liar.size = static_cast<uint32_t>(liar.stored.size() * zipreader::kMaxDeflateRatio + 1);
  EXPECT_EQ(Refused(Assemble(liar.Local(), {liar}), &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("claims more data"), std::string::npos) << why;

  // Within the ratio but more than the library unpacks in all.
  Record huge{"huge.bin", 8, 0, 0, std::string(1100 * 1024, '\x5A')};
  huge.size = static_cast<uint32_t>(huge.stored.size() * zipreader::kMaxDeflateRatio);
  ASSERT_GT(huge.size, zipreader::kMaxUnpackedTotal);
  EXPECT_EQ(Refused(Assemble(huge.Local(), {huge}), &why), zipreader::kUnsupported);
  EXPECT_NE(why.find("more than the"), std::string::npos) << why;
}

TEST_F(HostileArchiveTest, AnArchiveLargerThanTheFreeSpaceIsRefusedBeforeWriting) {
  Record a = Record::Deflate("Ticket/a.GPD", std::string(6000, 'a'));
  Record b = Record::Store("b.txt", std::string(5000, 'b'));
  b.offset = static_cast<uint32_t>(a.Local().size());
  const std::string path = Write(Assemble(a.Local() + b.Local(), {a, b}));
  const stdfs::path dest = root_ / "missing" / "dest";
  std::string asked;
  auto freeBytes = [&asked](uint64_t bytes) {
    return [&asked, bytes](const std::string& folder, uint64_t* available) {
      asked = folder;
      *available = bytes;
      return true;
    };
  };

  zipreader::ExtractReport report = zipreader::ExtractZip(path, dest.string(), freeBytes(10999));
  EXPECT_EQ(report.code, zipreader::kWriteError);
  ASSERT_EQ(report.errors.size(), 1u);
  EXPECT_NE(report.errors[0].find("11000 bytes"), std::string::npos) << report.errors[0];
  EXPECT_TRUE(stdfs::is_directory(asked)) << asked;  // the nearest folder that exists
  EXPECT_FALSE(stdfs::exists(root_ / "missing"));

  EXPECT_EQ(zipreader::ExtractZip(path, dest.string(), freeBytes(11000)).code, zipreader::kOk);
  EXPECT_EQ(ReadText(dest / "b.txt"), std::string(5000, 'b'));
  // When the free space cannot be told, extraction goes ahead.
  auto unknown = [](const std::string&, uint64_t*) { return false; };
  EXPECT_EQ(zipreader::ExtractZip(path, (root_ / "other").string(), unknown).code, zipreader::kOk);
}

TEST_F(HostileArchiveTest, AnEntryLandingOnTheArchiveItselfRefusesTheArchive) {
  // The package read from the folder it is unpacked to (C:\DriverData.Drv
  // into C:\), with an entry of its own name: by name, and through a
  // second name (a hard link) that only the file's identity reveals.
  const stdfs::path dest = root_ / "c";
  stdfs::create_directories(dest);
  Record good = Record::Deflate("DriverName.cfg", "[Receipt01]\r\nPrintName1=RV-580\r\n");
  for (const char* entry : {"DriverData.Drv", "Other.Drv"}) {
    Record self = Record::Store(entry, std::string(4000, 'x'));
    self.offset = static_cast<uint32_t>(good.Local().size());
    const std::string bytes = Assemble(good.Local() + self.Local(), {good, self});
    const stdfs::path archive = dest / "DriverData.Drv";
    stdfs::remove(dest / "Other.Drv");
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
    stdfs::create_hard_link(archive, dest / "Other.Drv");

    zipreader::ExtractReport report = zipreader::ExtractZip(archive.string(), dest.string());
    EXPECT_EQ(report.code, zipreader::kUnsafeName) << entry;
    ASSERT_EQ(report.errors.size(), 1u) << entry;
    EXPECT_NE(report.errors[0].find("overwrite the archive being read"), std::string::npos)
        << report.errors[0];
    EXPECT_EQ(ReadText(archive), bytes) << entry;
    EXPECT_FALSE(stdfs::exists(dest / "DriverName.cfg")) << entry;
  }
}

}  // namespace
