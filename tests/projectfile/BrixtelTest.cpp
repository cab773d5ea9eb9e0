#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "base/brixtel.h"
#include "tests/support/TempFolder.h"

namespace vantrel {
namespace {

using test::TempFolder;

std::string lengthPrefixed(std::string_view text) {
  std::string bytes;
  StringWriter writer(bytes);
  WriteLengthPrefixedString(writer, text);
  return bytes;
}

std::string expectInOutError(const std::string& bytes) {
  MemoryReader reader(bytes);
  try {
    ReadLengthPrefixedString(reader);
  } catch (const InOutError& error) {
    return error.what();
  }
  ADD_FAILURE() << "no InOutError";
  return {};
}

TEST(LengthPrefixedString, LayoutIsLittleEndianCountThenBytes) {
  EXPECT_EQ(lengthPrefixed(""), std::string(4, '\0'));
  EXPECT_EQ(lengthPrefixed("abc"), std::string("\x03\0\0\0abc", 7));
  // The count is of bytes: umlauts are one byte each in Windows-1252.
  EXPECT_EQ(lengthPrefixed("Gr\xF6\xDF"
                           "e"),
            std::string("\x05\0\0\0Gr\xF6\xDF"
                        "e",
                        9));
  const std::string big(0x012345, 'x');
  EXPECT_EQ(lengthPrefixed(big).substr(0, 4), std::string("\x45\x23\x01\0", 4));
}

TEST(LengthPrefixedString, ReadsBackWhatWasWrittenAndStopsAfterIt) {
  const std::string text("A\0B\xFF\x81", 5);
  const std::string bytes = lengthPrefixed(text) + lengthPrefixed("") + "tail";
  MemoryReader reader(bytes);
  EXPECT_EQ(ReadLengthPrefixedString(reader), text);
  EXPECT_EQ(ReadLengthPrefixedString(reader), "");
  EXPECT_EQ(reader.remaining(), 4u);
}

TEST(LengthPrefixedString, DamagedLengthsAreReadBeyondEndOfFile) {
  EXPECT_EQ(expectInOutError(""), "Read beyond end of file.");
  EXPECT_EQ(expectInOutError(std::string("\x05\0", 2)), "Read beyond end of file.");
  EXPECT_EQ(expectInOutError(std::string("\x05\0\0\0abcd", 8)), "Read beyond end of file.");
  // Negative and huge counts fail before any text is made of them.
  EXPECT_EQ(expectInOutError(std::string("\xFF\xFF\xFF\xFF"
                                         "abc",
                                         7)),
            "Read beyond end of file.");
  EXPECT_EQ(expectInOutError(std::string("\x00\x00\x00\x80", 4)), "Read beyond end of file.");
  EXPECT_EQ(expectInOutError(std::string("\xF0\xFF\xFF\x7F"
                                         "abc",
                                         7)),
            "Read beyond end of file.");
}

TEST(LengthPrefixedString, FileReaderReadsAcrossItsBuffer) {
  TempFolder folder;
  const std::string large(200000, 'q');
  test::putFile(folder.file("strings"),
                lengthPrefixed("first") + lengthPrefixed(large) + lengthPrefixed("\xE4\xF6\xFC"));
  FileReader reader(folder.file("strings"));
  EXPECT_EQ(ReadLengthPrefixedString(reader), "first");
  EXPECT_EQ(ReadLengthPrefixedString(reader), large);
  EXPECT_EQ(ReadLengthPrefixedString(reader), "\xE4\xF6\xFC");
  EXPECT_TRUE(reader.atEnd());
  EXPECT_THROW(ReadLengthPrefixedString(reader), InOutError);
}

TEST(LengthPrefixedString, WriteFailuresAreInOutErrors) {
  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  OstreamWriter toBrokenStream(broken);
  EXPECT_THROW(WriteLengthPrefixedString(toBrokenStream, "x"), InOutError);

  // A full disk shows up at the latest when the buffered bytes are handed on.
  auto full = FileWriter::create("/dev/full");
  EXPECT_THROW(
      {
        WriteLengthPrefixedString(*full, std::string(100000, 'z'));
        full->flush();
      },
      InOutError);
}

TEST(FileReader, RefusesWhatIsNotAPlainFile) {
  TempFolder folder;
  EXPECT_THROW(FileReader(folder.file("missing")), CannotOpenFile);
  EXPECT_THROW(FileReader(folder.path().string()), CannotOpenFile);
  ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0600), 0);
  EXPECT_THROW(FileReader(folder.file("pipe")), CannotOpenFile);  // must not hang either
}

}  // namespace
}  // namespace vantrel
