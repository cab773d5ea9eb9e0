#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "page/FormPage.h"
#include "page/PageFile.h"
#include "tests/support/TempFolder.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class PageFileTest : public ::testing::Test {
 protected:
  // Only the named files: no temporary file may be left behind.
  std::vector<std::string> folderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  const vantrel::test::TempFolder temp_;
  const fs::path folder_ = temp_.path();
};

TEST_F(PageFileTest, WritesTheGeneratedPageOverAnOldOne) {
  const fs::path target = folder_ / "formular.htm";
  writeFile(target, std::string(10000, 'x'));  // longer than the new page: no tail may stay
  ::chmod(target.c_str(), 0640);

  FieldList fields;
  fields.append(FormField{"a", "Textfeld", "\xC4", "", "1", "1", "0", "Ja", "Nein"});
  const Status result = writeFormPage(folder_, fields, "x@y.de");

  ASSERT_TRUE(result) << result.reason();
  EXPECT_TRUE(result.reason().empty());
  EXPECT_EQ(readFile(target), generateFormPage(fields, "x@y.de", FormMailAddress()));
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "the old file's permissions are kept";
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"formular.htm"});
}

TEST_F(PageFileTest, CreatesTheFileWhenThereIsNone) {
  ASSERT_TRUE(replaceFileContents(folder_ / "neu.htm", "abc\r\n"));
  EXPECT_EQ(readFile(folder_ / "neu.htm"), "abc\r\n");
}

// A file size limit makes the write itself fail part way, also when the tests run as root,
// where permission bits would not stop anything.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

TEST_F(PageFileTest, AFailingWriteKeepsTheOldPageWholeAndSaysSo) {
  const fs::path target = folder_ / "formular.htm";
  const std::string oldPage = "<html>old page</html>\r\n";
  writeFile(target, oldPage);

  Status result;
  {
    FileSizeLimit limit(512);
    result = replaceFileContents(target, std::string(4096, 'n'));
  }
  EXPECT_FALSE(result);
  EXPECT_FALSE(result.reason().empty());
  EXPECT_EQ(readFile(target), oldPage);
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"formular.htm"});
}

TEST_F(PageFileTest, AMissingFolderIsReported) {
  const Status result = writeFormPage(folder_ / "gibt-es-nicht", FieldList{}, "");
  EXPECT_FALSE(result);
  EXPECT_FALSE(result.reason().empty());
  EXPECT_TRUE(folderEntries().empty());
}

TEST_F(PageFileTest, ATargetThatCannotBeReplacedIsReportedAndCleanedUp) {
  // A non-empty folder where the page should be: the rename fails after a complete write.
  fs::create_directories(folder_ / "formular.htm" / "inhalt");
  const Status result = writeFormPage(folder_, FieldList{}, "");
  EXPECT_FALSE(result);
  EXPECT_FALSE(result.reason().empty());
  EXPECT_TRUE(fs::is_directory(folder_ / "formular.htm" / "inhalt"));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"formular.htm"});
}

TEST(PageWriteMessage, IsTheToolsOwnText) {
  EXPECT_EQ(kPageWriteFailedMessage, "Die Datei formular.htm konnte nicht geschrieben werden!");
}

}  // namespace
}  // namespace vantrel
