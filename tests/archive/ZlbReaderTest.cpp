#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <limits>
#include <sstream>

#include "ArchiveTestSupport.h"
#include "archive/ZLIBArchive.h"
#include "base/AtomicFile.h"

using namespace vantrel::zlb;
using namespace vantrel::zlb::test;

namespace {

std::string messageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no exception)";
}

bool isClosed(const TZLBArchive& zlb) {
  return zlb.GetArchiveFileName().empty() && zlb.Count() == 0 && zlb.GetTrailer().isZero();
}

}  // namespace

TEST(ZlbState, CreateOpenCloseAndLookupFailures) {
  TempFolder dir;
  writeFile(dir / "there", "x");
  TZLBArchive zlb;
  int progressCalls = 0;
  zlb.OnProgress = [&](const std::string& msg, int pct) {
    EXPECT_EQ(msg, "");
    EXPECT_EQ(pct, 0);
    ++progressCalls;
  };
  zlb.CloseArchive();  // nothing open: still reported
  EXPECT_EQ(progressCalls, 1);
  zlb.OnProgress = nullptr;

  EXPECT_EQ(messageOf([&] { zlb.CreateArchive(dir / "there"); }), "File already exists");
  EXPECT_TRUE(isClosed(zlb));
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.OpenArchive(dir / "nowhere")); }),
            "Archive file not found");
  EXPECT_TRUE(isClosed(zlb));
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.OpenArchive(dir.path())); }),
            "Unable to open file (" + dir.path().string() + ")");
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.OpenArchive(dir / "there")); }),
            "The archive file appears to be corrupted");
  EXPECT_FALSE(zlb.OpenArchive(""));
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.FindEntry("x")); }),
            "No archive is currently open");
  std::vector<std::filesystem::path> none;
  EXPECT_EQ(messageOf([&] { zlb.AddFiles(none); }), "No archive is currently open");

  zlb.CreateArchive(dir / "new.zlb");
  EXPECT_TRUE(zlb.IsNewArchive());
  EXPECT_FALSE(exists(dir / "new.zlb"));  // nothing written before AddFiles
  EXPECT_EQ(zlb.FindEntry("x"), -1);
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.GetEntry(0)); }), "Index out of bounds");
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.GetEntry(-1)); }), "Index out of bounds");
}

TEST(ZlbState, ProgressRoundsHalvesToEvenAndSurvivesAZeroTotal) {
  struct Probe : TZLBArchive {
    int report(std::uint8_t mode, std::int64_t done, std::int64_t total,
               std::uint64_t position = 0) {
      int seen = -1;
      OnProgress = [&](const std::string&, int pct) { seen = pct; };
      ProgressMode = mode;
      ProgressDone = done;
      ProgressTotal = total;
      DoProgress(position);
      return seen;
    }
  } probe;
  EXPECT_EQ(probe.report(0, 1, 8), 12);     // 12.5
  EXPECT_EQ(probe.report(0, 3, 8), 38);     // 37.5
  EXPECT_EQ(probe.report(1, 7, 8), 88);     // 87.5
  EXPECT_EQ(probe.report(2, 0, 8, 5), 62);  // 62.5, from the sender's position
  EXPECT_EQ(probe.report(4, 5, 0), 0);
  EXPECT_EQ(probe.report(3, 0, 0, 9), 0);
}

TEST(ZlbReader, EveryChangedByteIsRefused) {
  TempFolder dir;
  writeFile(dir / "a.txt", textBytes(900));
  const std::string good =
      handMadeArchive({zlibMember("a.txt", textBytes(900)), rawMember("b", "bee")});
  for (std::size_t at = 0; at + 36 < good.size(); at += 7) {
    std::string bad = good;
    bad[at] = static_cast<char>(bad[at] ^ 0x20);
    writeFile(dir / "bad.zlb", bad);
    TZLBArchive zlb;
    EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.OpenArchive(dir / "bad.zlb")); }),
              "The archive file appears to be corrupted")
        << at;
    EXPECT_TRUE(isClosed(zlb));
  }
}

TEST(ZlbReader, ReadsRawAndCompressedRegistriesAndArchivesInsideAProgram) {
  TempFolder dir;
  const std::string text = textBytes(100000, 3);
  const std::vector<HandMember> members{zlibMember("\\web\\formular.htm", text),
                                        rawMember("raw.bin", "\x01\x02"), rawMember("empty", "")};
  for (bool compressed : {true, false}) {
    for (const std::string& prefix : {std::string(), std::string("MZ") + noiseBytes(5000)}) {
      writeFile(dir / "a.exe", prefix + handMadeArchive(members, compressed));
      TZLBArchive zlb;
      zlb.CheckCRC = true;
      ASSERT_TRUE(zlb.OpenArchive(dir / "a.exe"));
      EXPECT_EQ(zlb.GetArchiveStart(), prefix.size());
      ASSERT_EQ(zlb.Count(), 3);
      EXPECT_EQ(zlb.FindEntry("\\WEB\\Formular.htm"), 0);
      EXPECT_EQ(contentOf(zlb, 0), text);
      EXPECT_EQ(contentOf(zlb, 1), "\x01\x02");
      EXPECT_EQ(contentOf(zlb, 2), "");
      std::vector<std::filesystem::path> files;
      if (!prefix.empty()) {
        EXPECT_EQ(messageOf([&] { zlb.AddFiles(files); }),
                  "The archive is part of a larger file and cannot be changed");
      }
    }
  }
}

TEST(ZlbReader, DamagedRegistriesFailAsFileListErrors) {
  TempFolder dir;
  const auto one = std::vector<HandMember>{rawMember("a", "abc")};
  const std::vector<std::string> hostile{
      handMadeArchive(one, true, 2),           // fewer records inflate than counted
      handMadeArchive(one, false, 2),          // raw registry shorter than counted... start moves
      handMadeArchive(one, true, 0x7FFFFFFF),  // a count no stream could hold
  };
  for (const auto& bytes : hostile) {
    writeFile(dir / "h.zlb", bytes);
    TZLBArchive zlb;
    const std::string message =
        messageOf([&] { static_cast<void>(zlb.OpenArchive(dir / "h.zlb")); });
    EXPECT_TRUE(message == "Unable to read archive file list" ||
                message == "The archive file appears to be corrupted")
        << message;
    EXPECT_TRUE(isClosed(zlb));
  }
  // A handler that fails makes the whole opening fail.
  writeFile(dir / "ok.zlb", handMadeArchive(one));
  TZLBArchive zlb;
  zlb.OnArchiveOpened = [](TZLBArchive&) { throw std::runtime_error("handler"); };
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.OpenArchive(dir / "ok.zlb")); }),
            "Unable to read archive file list");
  EXPECT_TRUE(isClosed(zlb));
  // A writer that left RegistrySize 0: the file is read as an archive of its own.
  std::string noSize = handMadeArchive({rawMember("a", "abc"), zlibMember("b", textBytes(800))});
  std::fill_n(noSize.end() - 24, 4, '\0');
  writeFile(dir / "nosize.zlb", noSize);
  TZLBArchive lenient;
  lenient.CheckCRC = true;
  ASSERT_TRUE(lenient.OpenArchive(dir / "nosize.zlb"));
  EXPECT_EQ(lenient.GetArchiveStart(), 0u);
  ASSERT_EQ(lenient.Count(), 2);
  lenient.TestEntry(1);
  // An empty registry needs no bytes at all.
  writeFile(dir / "none.zlb", handMadeArchive({}, true, -5));
  TZLBArchive empty;
  EXPECT_TRUE(empty.OpenArchive(dir / "none.zlb"));
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_EQ(empty.FindEntry("a"), -1);
}

TEST(ZlbReader, DamagedMembersAreRefusedNotTrusted) {
  TempFolder dir;
  HandMember outside = rawMember("outside", "abcd");
  outside.entry.SetDataOffset(0xFFFFFFFEu);  // far beyond the member data area
  outside.keepOffset = true;
  HandMember longer = zlibMember("longer", textBytes(5000));
  longer.entry.SetFileSize(6000);  // the stream ends before FileSize
  HandMember shorter = zlibMember("shorter", textBytes(5000));
  shorter.entry.SetFileSize(100);  // inflation stops at FileSize; the CRC tells
  HandMember badCrc = rawMember("badcrc", "content");
  badCrc.entry.SetFileCRC(1);
  HandMember truncated = zlibMember("truncated", textBytes(5000));
  truncated.stored.resize(truncated.stored.size() / 2);
  truncated.entry.SetStoredSize(static_cast<std::uint32_t>(truncated.stored.size()));
  HandMember rawMismatch = rawMember("rawsize", "abc");
  rawMismatch.entry.SetFileSize(10);
  writeFile(dir / "d.zlb",
            handMadeArchive({outside, longer, shorter, badCrc, truncated, rawMismatch}));

  TZLBArchive zlb;
  ASSERT_TRUE(zlb.OpenArchive(dir / "d.zlb"));
  EXPECT_EQ(messageOf([&] { contentOf(zlb, 0); }), "Unable to read outside from the archive");
  EXPECT_EQ(messageOf([&] { contentOf(zlb, 1); }), "Unable to read longer from the archive");
  EXPECT_EQ(contentOf(zlb, 2), textBytes(100));  // CheckCRC off: what the entry promises
  EXPECT_EQ(messageOf([&] { zlb.TestEntry(2); }), "CRC error in shorter");
  EXPECT_EQ(messageOf([&] { zlb.TestEntry(3); }), "CRC error in badcrc");
  EXPECT_EQ(messageOf([&] { contentOf(zlb, 4); }), "Unable to read truncated from the archive");
  EXPECT_EQ(messageOf([&] { contentOf(zlb, 5); }), "Unable to read rawsize from the archive");
  zlb.CheckCRC = true;
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.ExtractFile(3, dir / "out")); }),
            "CRC error in badcrc");
  EXPECT_FALSE(exists(dir / "out/badcrc"));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));  // no work file left behind
}

TEST(ZlbExtract, ToFoldersWithAndWithoutPathsAskingBeforeReplacing) {
  TempFolder dir;
  writeFile(dir / "a.zlb", handMadeArchive({zlibMember("\\site\\pages\\index.htm", textBytes(3000)),
                                            rawMember("plain.txt", "plain")}));
  TZLBArchive zlb;
  zlb.CheckCRC = true;
  std::vector<std::string> extracted, asked, streamed;
  zlb.OnFileExtracted = [&](const std::string& name) { extracted.push_back(name); };
  zlb.OnStreamExtracted = [&](const std::string& name) { streamed.push_back(name); };
  ASSERT_TRUE(zlb.OpenArchive(dir / "a.zlb"));

  EXPECT_TRUE(zlb.ExtractFileByName("\\SITE\\pages\\index.htm", dir / "flat"));
  EXPECT_EQ(readFile(dir / "flat/index.htm"), textBytes(3000));
  zlb.ExtractWithPath = true;
  EXPECT_TRUE(zlb.ExtractFile(0, dir / "deep"));
  EXPECT_EQ(readFile(dir / "deep/site/pages/index.htm"), textBytes(3000));
  EXPECT_EQ(extracted,
            (std::vector<std::string>{dir / "flat/index.htm", dir / "deep/site/pages/index.htm"}));

  writeFile(dir / "flat/plain.txt", "mine");
  zlb.OnReplaceFile = [&](const std::string& name, bool& replace) {
    asked.push_back(name);
    EXPECT_TRUE(replace);
    replace = false;
  };
  EXPECT_FALSE(zlb.ExtractFile(1, dir / "flat"));
  EXPECT_EQ(readFile(dir / "flat/plain.txt"), "mine");
  zlb.OnReplaceFile = nullptr;
  EXPECT_TRUE(zlb.ExtractFile(1, dir / "flat"));
  EXPECT_EQ(readFile(dir / "flat/plain.txt"), "plain");
  EXPECT_EQ(asked, std::vector<std::string>{dir / "flat/plain.txt"});

  std::ostringstream out;
  zlb.ExtractToStreamByName("plain.txt", out);
  EXPECT_EQ(streamed, std::vector<std::string>{"plain.txt"});
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.ExtractFileByName("nope", dir.path())); }),
            "nope not found in the archive");
}

TEST(ZlbExtract, NeverWritesOutsideTheDestination) {
  TempFolder dir;
  const std::vector<std::pair<std::string, bool>> names{
      // stored name, refused only with ExtractWithPath
      {"..\\..\\evil.txt", true},      {"C:\\Windows\\evil.txt", true},
      {"\\a\\..\\..\\evil.txt", true}, {"..", false},
      {"a/../../evil.txt", false},
  };
  for (const auto& [stored, onlyWithPath] : names) {
    writeFile(dir / "h.zlb", handMadeArchive({rawMember(stored, "evil")}));
    for (bool withPath : {false, true}) {
      TZLBArchive zlb;
      ASSERT_TRUE(zlb.OpenArchive(dir / "h.zlb"));
      zlb.ExtractWithPath = withPath;
      const std::string message =
          messageOf([&] { static_cast<void>(zlb.ExtractFile(0, dir / "dest/inner")); });
      if (withPath || !onlyWithPath) {
        EXPECT_EQ(message, "Unsafe path in the archive (" + stored + ")") << stored << withPath;
      } else {
        EXPECT_EQ(message, "(no exception)");
        EXPECT_EQ(readFile(dir / "dest/inner/evil.txt"), "evil");
      }
    }
  }
  EXPECT_FALSE(exists(dir / "evil.txt"));
  EXPECT_FALSE(exists(dir / "dest/evil.txt"));
}

TEST(ZlbRecovery, FailedRenameRaisesAndRemovesTheTemporaryFile) {
  TempFolder dir;
  writeFile(dir / "page.htm", "page");
  TZLBArchive zlb;
  zlb.CreateArchive(dir / "a.zlb");
  writeFile(dir / "a.zlb/blocker", "a folder now stands where the archive goes");
  std::vector<std::filesystem::path> files{dir / "page.htm"};
  EXPECT_EQ(messageOf([&] { zlb.AddFiles(files); }),
            "Unable to replace the archive file (" + dir / "a.zlb" + ")");
  EXPECT_TRUE(isClosed(zlb));
  for (const auto& item : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(item.path().filename().string().rfind("ZLB", 0), std::string::npos) << item.path();
  }
}

TEST(ZlbRecovery, ASilentFailureLeavesEntriesMatchingTheFile) {
  TempFolder dir;
  writeFile(dir / "one.txt", "one");
  writeFile(dir / "two.txt", "two");
  TZLBArchive zlb;
  zlb.CreateArchive(dir / "a.zlb");
  std::vector<std::filesystem::path> files{dir / "one.txt"};
  zlb.AddFiles(files);
  const std::string before = readFile(dir / "a.zlb");
  // A handler that throws stops AddFiles after "two.txt" was taken in.
  zlb.OnErrorLogged = [](const std::string&) { throw std::runtime_error("stop"); };
  files = {dir / "two.txt", dir / "missing"};
  zlb.AddFiles(files);
  EXPECT_EQ(readFile(dir / "a.zlb"), before);
  ASSERT_EQ(zlb.Count(), 1);  // reloaded from the file: no entry for data it does not hold
  EXPECT_EQ(zlb.GetEntry(0).EntryName(), "one.txt");
  EXPECT_FALSE(zlb.IsNewArchive());
}

TEST(ZlbStreams, CompressionStreamOnlyGoesForward) {
  std::string out;
  TCompressionStream stream(TFileCompressionLevel::fcDefault,
                            [&](const unsigned char* d, std::size_t n) {
                              out.append(reinterpret_cast<const char*>(d), n);
                            });
  stream.Write("abc", 3);
  EXPECT_EQ(stream.Position(), 3u);
  EXPECT_EQ(messageOf([&] { stream.Read(nullptr, 1); }), "Invalid stream operation");
  EXPECT_EQ(messageOf([&] { stream.Seek(0); }), "Invalid stream operation");
  stream.Finish();
  EXPECT_EQ(out, zlibCompress("abc", 6));

  std::string damaged = out;
  damaged[0] = 0x79;  // header check fails
  std::size_t given = 0;
  TDecompressionStream reader([&](unsigned char* buffer, std::size_t capacity) {
    const std::size_t n = std::min(capacity, damaged.size() - given);
    std::copy_n(damaged.data() + given, n, buffer);
    given += n;
    return n;
  });
  char sink[8];
  EXPECT_EQ(messageOf([&] { reader.Read(sink, 3); }), "error");
}

TEST(ZlbState, UnwritableFolderRaisesTheFileLayersMessage) {
  TZLBArchive zlb;
  zlb.CreateArchive("/nonexistent-zlb-folder/a.zlb");
  std::vector<std::filesystem::path> files;
  EXPECT_EQ(messageOf([&] { zlb.AddFiles(files); }),
            "Datei /nonexistent-zlb-folder/ZLBXXXXXX kann nicht ge\xF6"
            "ffnet werden");
  EXPECT_TRUE(zlb.IsNewArchive());  // unchanged
}

TEST(ZlbExtract, ReportsProgressPerChunkAndNothingWhileDestroyed) {
  TempFolder dir;
  const std::string text = textBytes(200000);
  writeFile(dir / "a.zlb", handMadeArchive({zlibMember("big.txt", text),
                                            rawMember("raw.bin", noiseBytes(140000))}));
  std::vector<std::string> seen;
  {
    TZLBArchive zlb;
    ASSERT_TRUE(zlb.OpenArchive(dir / "a.zlb"));
    zlb.OnProgress = [&](const std::string& msg, int pct) {
      seen.push_back(msg + " " + std::to_string(pct));
    };
    EXPECT_EQ(contentOf(zlb, 0), text);
    EXPECT_EQ(contentOf(zlb, 1), noiseBytes(140000));
  }  // destroyed while open: no closing report
  EXPECT_EQ(seen, (std::vector<std::string>{"Extracting big.txt 33", "Extracting big.txt 66",
                                            "Extracting big.txt 98", "Extracting raw.bin 47",
                                            "Extracting raw.bin 94"}));
}

TEST(ZlbExtract, NeverFollowsALinkPlantedInsideTheDestination) {
  TempFolder dir;
  std::filesystem::create_directories(dir / "elsewhere");
  writeFile(dir / "elsewhere/victim.txt", "precious");
  std::filesystem::create_directories(dir / "dest/real");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "dest/lnk");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "dest/real/deeper");
  std::filesystem::create_symlink(dir / "elsewhere/victim.txt", dir / "dest/victim.txt");
  const struct {
    const char* stored;
    bool withPath;
  } cases[] = {
      {"lnk\\evil.txt", true},           // a folder of the member's path is a link
      {"real\\deeper\\evil.txt", true},  // a link further down
      {"lnk\\victim.txt", true},         // would replace a file through the link
      {"victim.txt", false},             // the target itself is a link
      {"victim.txt", true},
  };
  for (const auto& attempt : cases) {
    writeFile(dir / "h.zlb", handMadeArchive({rawMember(attempt.stored, "evil")}));
    TZLBArchive zlb;
    ASSERT_TRUE(zlb.OpenArchive(dir / "h.zlb"));
    zlb.ExtractWithPath = attempt.withPath;
    EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.ExtractFile(0, dir / "dest")); }),
              std::string("Unsafe path in the archive (") + attempt.stored + ")")
        << attempt.stored;
  }
  EXPECT_FALSE(exists(dir / "elsewhere/evil.txt"));
  EXPECT_EQ(readFile(dir / "elsewhere/victim.txt"), "precious");
  // A destination that is itself a link is the caller's choice and is followed.
  writeFile(dir / "h.zlb", handMadeArchive({rawMember("new.txt", "fine")}));
  TZLBArchive zlb;
  ASSERT_TRUE(zlb.OpenArchive(dir / "h.zlb"));
  EXPECT_TRUE(zlb.ExtractFile(0, dir / "dest/lnk"));
  EXPECT_EQ(readFile(dir / "elsewhere/new.txt"), "fine");
}

TEST(ZlbReader, MembersSharingStoredBytesAreRefused) {
  TempFolder dir;
  const HandMember big = zlibMember("big", textBytes(100'000));
  const auto sameRange = [&](const std::string& name, std::uint32_t offset, std::uint32_t size) {
    HandMember member = big;
    member.entry.SetEntryName(name);
    member.entry.SetDataOffset(offset);
    member.entry.SetStoredSize(size);
    member.stored.clear();
    member.keepOffset = true;
    return member;
  };
  const auto stored = static_cast<std::uint32_t>(big.stored.size());
  const struct {
    const char* what;
    std::vector<HandMember> members;
  } cases[] = {
      {"the same stream twice", {big, sameRange("again", 0, stored)}},
      {"a range inside another", {big, sameRange("inner", 10, 20)}},
      {"ranges that cross", {big, sameRange("cross", stored / 2, stored / 2)}},
  };
  for (const auto& attempt : cases) {
    writeFile(dir / "o.zlb", handMadeArchive(attempt.members));
    TZLBArchive zlb;
    EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.OpenArchive(dir / "o.zlb")); }),
              "Unable to read archive file list")
        << attempt.what;
  }
  // Members side by side, and empty ones anywhere, are what archives are made of.
  HandMember next = rawMember("next", "abc");
  HandMember empty = sameRange("empty", 0, 0);
  writeFile(dir / "fine.zlb", handMadeArchive({big, next, empty}));
  TZLBArchive zlb;
  ASSERT_TRUE(zlb.OpenArchive(dir / "fine.zlb"));
  EXPECT_EQ(zlb.Count(), 3);
}

TEST(ZlbReader, ARegistryFarLargerThanItsArchiveIsRefusedBeforeItIsInflated) {
  TempFolder dir;
  // 20,000 identical records inflate from some 40 KB to 10 MB.
  std::vector<HandMember> copies(20'000, rawMember("same", ""));
  for (auto& copy : copies) copy.keepOffset = true;
  writeFile(dir / "bomb.zlb", handMadeArchive(copies));
  ASSERT_LT(std::filesystem::file_size(dir / "bomb.zlb"), 50'000U);
  TZLBArchive zlb;
  EXPECT_EQ(messageOf([&] { static_cast<void>(zlb.OpenArchive(dir / "bomb.zlb")); }),
            "Unable to read archive file list");

  // A real archive of many small members, written by the component, opens.
  std::vector<std::filesystem::path> files;
  std::filesystem::create_directory(dir / "many");
  for (int i = 0; i < 2'000; ++i) {
    files.push_back(dir / ("many/f" + std::to_string(i)));
    writeFile(files.back(), "");
  }
  TZLBArchive writer;
  writer.CreateArchive(dir / "many.zlb");
  writer.AddFiles(files);
  writer.CloseArchive();
  TZLBArchive reader;
  ASSERT_TRUE(reader.OpenArchive(dir / "many.zlb"));
  EXPECT_EQ(reader.Count(), 2'000);
}

TEST(ZlbReader, OnlyRegularFilesAreOpenedAndAFifoNeverBlocks) {
  TempFolder dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Should anything block on the FIFO, a writer opened here releases it and the test fails.
  auto attempt = std::async(std::launch::async, [&] {
    std::vector<std::string> messages;
    TZLBArchive reader;
    messages.push_back(messageOf([&] { static_cast<void>(reader.OpenArchive(fifo)); }));
    writeFile(dir / "page.htm", "page");
    TZLBArchive writer;
    writer.OnErrorLogged = [&](const std::string& message) { messages.push_back(message); };
    writer.CreateArchive(dir / "a.zlb");
    std::vector<std::filesystem::path> files{fifo, dir / "page.htm"};
    writer.AddFiles(files);
    messages.push_back(std::to_string(writer.Count()));
    return messages;
  });
  if (attempt.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    const int release = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ADD_FAILURE() << "blocked on a FIFO";
    attempt.wait();
    ::close(release);
    return;
  }
  EXPECT_EQ(attempt.get(), (std::vector<std::string>{"Unable to open file (" + fifo + ")",
                                                     "Unable to open file (" + fifo + ")", "1"}));
}

TEST(ZlbExtract, AFailedWriteNamesTheFileAndTheSystemsReason) {
  TempFolder dir;
  writeFile(dir / "a.zlb", handMadeArchive({rawMember("page.htm", textBytes(5000))}));
  TZLBArchive zlb;
  ASSERT_TRUE(zlb.OpenArchive(dir / "a.zlb"));
  const struct {
    const char* what;
    vantrel::AtomicFile::Fault fault;
  } cases[] = {
      {"write", {100, false, false}},
      {"sync", {std::numeric_limits<std::uint64_t>::max(), true, false}},
  };
  for (const auto& attempt : cases) {
    vantrel::AtomicFile::injectFaultForTests(attempt.fault);
    const std::string message =
        messageOf([&] { static_cast<void>(zlb.ExtractFile(0, dir / "out")); });
    vantrel::AtomicFile::injectFaultForTests(std::nullopt);
    EXPECT_EQ(message, "Unable to write file (" + dir / "out/page.htm" +
                           "): Write error: Input/output error.")
        << attempt.what;
  }
  std::filesystem::create_directories(dir / "locked");
  writeFile(dir / "locked/sub", "a file where a folder should go");
  zlb.ExtractWithPath = false;
  const std::string message =
      messageOf([&] { static_cast<void>(zlb.ExtractFile(0, dir / "locked/sub")); });
  EXPECT_EQ(message.rfind("Unable to create file (" + dir / "locked/sub/page.htm" + "): ", 0), 0U)
      << message;
  EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
}
