// Archives made to hurt the machine that unpacks them: entries sharing data
// (a small archive unpacking to gigabytes), sizes no deflate stream can
// reach, more than the destination holds, and entries that would write
// over the archive being read. Each is refused before anything is written.
// The archives are put together byte by byte: no archiver writes these.
// ZIP64 fields carry the same lies in 64 bits and meet the same checks.
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

void Put64(std::string* out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

constexpr uint32_t kAllOnes = 0xFFFFFFFFu;

// One entry's records: the local header with its data, and what the
// central directory says about it (its offset set by the caller). A ZIP64
// record puts all ones in the header's size and offset fields and the
// values in a ZIP64 extra field, as archivers writing ZIP64 always do.
struct Record {
  std::string name;
  uint16_t method;
  uint32_t crc;
  uint64_t size;
  std::string stored;  // the bytes in the archive
  uint64_t offset = 0;
  bool zip64 = false;
  uint64_t compressedClaim = kAllOnes;  // what the headers say; all ones: stored.size()

  static Record Deflate(const std::string& name, const std::string& data) {
    return {name, 8, Crc(data), data.size(), Deflated(data)};
  }
  static Record Store(const std::string& name, const std::string& data) {
    return {name, 0, Crc(data), data.size(), data};
  }
  uint64_t Compressed() const { return compressedClaim == kAllOnes ? stored.size() : compressedClaim; }
  void Header(std::string* out, uint32_t signature) const {
    const bool central = signature == 0x02014b50;
    std::string extra;
    if (zip64) {
      Put16(&extra, 1);
      Put16(&extra, central ? 24 : 16);
      Put64(&extra, size);
      Put64(&extra, Compressed());
      if (central) Put64(&extra, offset);
    }
    Put32(out, signature);
    if (central) Put16(out, 45);  // version made by
    Put16(out, zip64 ? 45 : 20);  // version needed
    Put16(out, 0);                // flags
    Put16(out, method);
    Put32(out, 0);  // time and date
    Put32(out, crc);
    Put32(out, zip64 ? kAllOnes : static_cast<uint32_t>(Compressed()));
    Put32(out, zip64 ? kAllOnes : static_cast<uint32_t>(size));
    Put16(out, static_cast<uint32_t>(name.size()));
    Put16(out, static_cast<uint32_t>(extra.size()));
    if (central) {
      Put16(out, 0);  // comment
      Put16(out, 0);  // disk
      Put16(out, 0);  // internal attributes
      Put32(out, 0);  // external attributes
      Put32(out, zip64 ? kAllOnes : static_cast<uint32_t>(offset));
    }
    *out += name + extra;
  }
  std::string Local() const {
    std::string out;
    Header(&out, 0x04034b50);
    return out + stored;
  }
};

// `data` (the local records) followed by a central directory of `entries`
// and the end record; `zip64`: a ZIP64 end record and locator before it,
// the end record's fields all ones.
std::string Assemble(const std::string& data, const std::vector<Record>& entries, bool zip64 = false) {
  std::string central;
  for (const Record& r : entries) r.Header(&central, 0x02014b50);
  std::string out = data + central;
  if (zip64) {
    const uint64_t recordOffset = out.size();
    Put32(&out, 0x06064b50);
    Put64(&out, 44);               // the record's size after this field
    Put32(&out, 45 | (45 << 16));  // versions
    Put64(&out, 0);                // disks
    Put64(&out, entries.size());
    Put64(&out, entries.size());
    Put64(&out, central.size());
    Put64(&out, data.size());
    Put32(&out, 0x07064b50);
    Put32(&out, 0);
    Put64(&out, recordOffset);
    Put32(&out, 1);
  }
  Put32(&out, 0x06054b50);
  Put32(&out, 0);
  Put16(&out, zip64 ? 0xFFFF : static_cast<uint32_t>(entries.size()));
  Put16(&out, zip64 ? 0xFFFF : static_cast<uint32_t>(entries.size()));
  Put32(&out, zip64 ? kAllOnes : static_cast<uint32_t>(central.size()));
  Put32(&out, zip64 ? kAllOnes : static_cast<uint32_t>(data.size()));
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

TEST_F(HostileArchiveTest, Zip64FieldsMeetTheSameChecks) {
  std::string why;
  Record a = Record::Deflate("a.txt", std::string(70000, 'a'));
  Record b = Record::Store("b.bin", "stored bytes");
  a.zip64 = b.zip64 = true;
  auto layout = [&](const Record& first, Record second) {
    second.offset = first.Local().size();
    return Assemble(first.Local() + second.Local(), {first, second}, true);
  };
  // The honest archive opens and unpacks.
  std::string path = Write(layout(a, b));
  ASSERT_EQ(zipreader::ExtractZip(path, (root_ / "dest").string()).code, zipreader::kOk);
  EXPECT_EQ(ReadText(root_ / "dest" / "a.txt"), std::string(70000, 'a'));
  stdfs::remove_all(root_ / "dest");

  Record liar = a;
  liar.size = liar.stored.size() * zipreader::kMaxDeflateRatio + 1;
  EXPECT_EQ(Refused(layout(liar, b), &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("claims more data"), std::string::npos) << why;
  // Sizes and offsets near 2^64 must not wrap round a bounds check.
  for (uint64_t huge : {uint64_t{1} << 32, ~uint64_t{0} - 20}) {
    Record far = a;
    far.compressedClaim = huge;
    EXPECT_EQ(Refused(layout(far, b), &why), zipreader::kCorrupt) << huge;
    EXPECT_NE(why.find("outside the archive data"), std::string::npos) << why;
    Record misplaced = b;
    misplaced.offset = huge;
    EXPECT_EQ(Refused(Assemble(a.Local() + b.Local(), {a, misplaced}, true), &why), zipreader::kCorrupt);
  }
  // Two central entries on one local record, told apart only in 64 bits.
  Record copy = a;
  copy.name = "copy.txt";
  EXPECT_EQ(Refused(Assemble(a.Local(), {a, copy}, true), &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("share data"), std::string::npos) << why;
  // Many entries within the ratio, more than the library unpacks in all.
  std::vector<Record> many;
  std::string data;
  for (int i = 0; i < 3; ++i) {
    Record big{"big" + std::to_string(i), 8, 0, 0, std::string(400 * 1024, '\x5A')};
    big.zip64 = true;
    big.size = big.stored.size() * zipreader::kMaxDeflateRatio;
    big.offset = data.size();
    data += big.Local();
    many.push_back(big);
  }
  EXPECT_EQ(Refused(Assemble(data, many, true), &why), zipreader::kUnsupported);
  EXPECT_NE(why.find("more than the"), std::string::npos) << why;
}

TEST_F(HostileArchiveTest, InconsistentZip64RecordsAreRefused) {
  std::string why;
  Record a = Record::Deflate("a.txt", "some text");
  a.zip64 = true;
  const std::string good = Assemble(a.Local(), {a}, true);
  const size_t end = good.size() - 22, locator = end - 20, record = locator - 56;
  auto patched = [&good](size_t at, const std::string& bytes) {
    return std::string(good).replace(at, bytes.size(), bytes);
  };
  // The end record's count says 2 where the ZIP64 record says 1.
  EXPECT_EQ(Refused(patched(end + 10, std::string("\x02\x00", 2)), &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("disagree"), std::string::npos) << why;
  // The locator points past itself, or at something else.
  EXPECT_EQ(Refused(patched(locator + 8, std::string("\xF0\xFF\xFF\xFF", 4)), &why), zipreader::kCorrupt);
  EXPECT_EQ(Refused(patched(locator + 8, std::string(4, '\0')), &why), zipreader::kCorrupt);
  // The ZIP64 record claims a directory past its own start.
  EXPECT_EQ(Refused(patched(record + 40, std::string("\xFF\xFF", 2)), &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("outside the archive"), std::string::npos) << why;
  // All ones in the central header, but no ZIP64 field to read them from.
  const std::string noExtra = std::string(good).replace(good.find("a.txt\x01\x00", a.Local().size()) + 5, 2,
                                                        std::string("\x09\x00", 2));
  EXPECT_EQ(Refused(noExtra, &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("lacks the ZIP64 field"), std::string::npos) << why;
  // The local header's ZIP64 sizes differ from the central directory's.
  Record local = a;
  local.size += 1;
  EXPECT_EQ(Refused(Assemble(local.Local(), {a}, true), &why), zipreader::kCorrupt);
  EXPECT_NE(why.find("disagree on its sizes"), std::string::npos) << why;
}

}  // namespace
