// The simulated profile functions read a file parsed once per version of
// it: the answers are those of a fresh parse, and every change is seen.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/sim/files.h"
#include "host/sim/ini_cache.h"
#include "test_support.h"

namespace {

std::string Value(const char* section, const char* key, const char* file = "C:\\cat.cfg") {
  char buffer[64] = {};
  plat::Files().GetPrivateProfileStringA(section, key, "(none)", buffer, sizeof buffer, file);
  return buffer;
}

TEST(ProfileFileCache, LookupsAreThoseOfTheFile) {
  const sim::IniFile file = sim::IniFile::Parse(
      "Orphan=before any section\n"
      "[Models]\r\n"
      "  Name = \"quoted\"  \n"
      "name=second of the name\n"
      "; Name=comment\n"
      "[models]\n"
      "Extra=in the second section of the name\n"
      "[Other]\n"
      "Empty=\n");
  ASSERT_NE(file.Find("MODELS", "NAME"), nullptr);
  EXPECT_EQ(*file.Find("MODELS", "NAME"), "quoted");  // the first key, quotes gone
  EXPECT_EQ(file.Find("models", "Extra"), nullptr);   // the first section of a name only
  EXPECT_EQ(file.Find("Models", "Orphan"), nullptr);
  ASSERT_NE(file.Find("Other", "Empty"), nullptr);
  EXPECT_EQ(*file.Find("Other", "Empty"), "");
  EXPECT_EQ(file.SectionNames(), std::string("Models\0models\0Other\0", 20));
}

TEST(ProfileFileCache, EveryChangeToTheFileIsSeen) {
  testing_support::SimulatedMachine sim;
  sim::SimFiles& files = sim.machine.Files();
  files.WriteFile("C:\\cat.cfg", "[A]\nKey=one\n");
  EXPECT_EQ(Value("A", "Key"), "one");
  // The same size, at once: within one tick of the file clock.
  files.WriteFile("C:\\cat.cfg", "[A]\nKey=two\n");
  EXPECT_EQ(Value("A", "Key"), "two");
  // Written on the host, past the drive's calls, to another size.
  { std::ofstream(files.HostPathOf("C:\\cat.cfg"), std::ios::binary) << "[A]\nKey=three!\n"; }
  EXPECT_EQ(Value("A", "Key"), "three!");
  // Copied over by the drive's own call.
  files.WriteFile("C:\\other.cfg", "[A]\nKey=four\n");
  ASSERT_TRUE(plat::Files().CopyFileA("C:\\other.cfg", "C:\\cat.cfg", FALSE));
  EXPECT_EQ(Value("A", "Key"), "four");
  ASSERT_TRUE(plat::Files().DeleteFileA("C:\\cat.cfg"));
  EXPECT_EQ(Value("A", "Key"), "(none)");
  // Two files, each its own.
  files.WriteFile("C:\\cat.cfg", "[A]\nKey=five\n");
  EXPECT_EQ(Value("A", "Key"), "five");
  EXPECT_EQ(Value("A", "Key", "C:\\other.cfg"), "four");
}

}  // namespace
