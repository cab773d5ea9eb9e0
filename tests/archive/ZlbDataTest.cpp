// Archives written by another implementation of the format (tests/archive/zlb_check.py):
// good ones open and extract, hostile ones are refused with the component's own messages.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "ArchiveTestSupport.h"
#include "archive/ZLIBArchive.h"

using namespace vantrel::zlb;
using namespace vantrel::zlb::test;

namespace {

const std::string kData = std::string(VANTREL_TEST_DATA_DIR) + "/zlb";

bool isKnownMessage(const std::string& message) {
  static const char* known[] = {"The archive file appears to be corrupted",
                                "Unable to read archive file list", "Unable to read ",
                                "CRC error in ", "Unsafe path in the archive ("};
  for (const char* prefix : known) {
    if (message.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

}  // namespace

TEST(ZlbData, ForeignArchivesOpenAndExtract) {
  TempFolder dir;
  TZLBArchive zlb;
  zlb.CheckCRC = true;
  zlb.ExtractWithPath = true;

  ASSERT_TRUE(zlb.OpenArchive(kData + "/builder-page.zlb"));
  ASSERT_EQ(zlb.Count(), 1);
  EXPECT_EQ(zlb.GetEntry(0).StoredName(), "\\opt\\vantrel\\formular.htm");
  EXPECT_TRUE(zlb.ExtractFileByName("\\opt\\vantrel\\formular.htm", dir.path()));
  EXPECT_EQ(readFile(dir / "opt/vantrel/formular.htm").substr(0, 6), "<html>");

  ASSERT_TRUE(zlb.OpenArchive(kData + "/in-program.bin"));
  EXPECT_EQ(zlb.GetArchiveStart(), 3004u);
  EXPECT_EQ(contentOf(zlb, zlb.FindEntry("formular.htm")).size(), 2500u);

  ASSERT_TRUE(zlb.OpenArchive(kData + "/duplicates.zlb"));
  EXPECT_EQ(zlb.FindEntry("DUP.txt"), 0);
  EXPECT_EQ(contentOf(zlb, 0), "first");
  EXPECT_EQ(contentOf(zlb, 1), "second");

  for (const char* name : {"raw-registry.zlb", "stored-only.zlb", "empty.zlb"}) {
    ASSERT_TRUE(zlb.OpenArchive(kData + "/" + name)) << name;
    for (int i = 0; i < zlb.Count(); ++i) zlb.TestEntry(i);
  }
  EXPECT_EQ(zlb.Count(), 0);
}

TEST(ZlbData, HostileArchivesAreRefusedWithTheirMessages) {
  TempFolder dir;
  int refusals = 0;
  for (const auto& item : std::filesystem::directory_iterator(kData + "/hostile")) {
    const std::string name = item.path().filename().string();
    for (bool withPath : {false, true}) {
      TZLBArchive zlb;
      zlb.CheckCRC = true;
      zlb.ExtractWithPath = withPath;
      try {
        static_cast<void>(zlb.OpenArchive(item.path().string()));  // the name is never empty
      } catch (const EArchiveError& error) {
        EXPECT_TRUE(isKnownMessage(error.what())) << name << ": " << error.what();
        ++refusals;
        continue;
      }
      for (int i = 0; i < zlb.Count(); ++i) {
        try {
          static_cast<void>(zlb.ExtractFile(i, dir / "out/inner"));  // refusals throw
        } catch (const EArchiveError& error) {
          EXPECT_TRUE(isKnownMessage(error.what())) << name << ": " << error.what();
          ++refusals;
        }
      }
    }
  }
  EXPECT_GE(refusals, 20);
  EXPECT_FALSE(exists(dir / "evil.txt"));
  EXPECT_FALSE(exists(dir / "out/evil.txt"));
  EXPECT_FALSE(exists(dir / "out/evil"));
}
