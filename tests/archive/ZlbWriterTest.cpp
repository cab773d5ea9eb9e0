#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ArchiveTestSupport.h"
#include "archive/ZLIBArchive.h"

using namespace vantrel::zlb;
using namespace vantrel::zlb::test;

namespace {

// Records every event as one line, in order.
struct EventLog {
  std::vector<std::string> lines;
  void attach(TZLBArchive& archive) {
    archive.OnProgress = [this](const std::string& msg, int pct) {
      lines.push_back("progress " + msg + " " + std::to_string(pct));
    };
    archive.OnArchiveOpened = [this](TZLBArchive&) { lines.push_back("opened"); };
    archive.OnErrorLogged = [this](const std::string& msg) { lines.push_back("log " + msg); };
  }
  std::vector<std::string> logged() const {
    std::vector<std::string> out;
    for (const auto& line : lines)
      if (line.rfind("log ", 0) == 0) out.push_back(line.substr(4));
    return out;
  }
};

ArchiveTrailer trailerOf(const std::string& bytes) {
  return ArchiveTrailer::fromBytes(
      reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - 36));
}

std::string pack(const std::string& archive, std::vector<std::filesystem::path> files,
                 std::function<void(TZLBArchive&)> setup = nullptr) {
  TZLBArchive zlb;
  if (setup) setup(zlb);
  zlb.CreateArchive(archive);
  zlb.AddFiles(files);
  EXPECT_TRUE(files.empty());
  zlb.CloseArchive();
  return readFile(archive);
}

}  // namespace

TEST(ZlbWriter, BuilderArchiveFieldByField) {
  TempFolder dir;
  const std::string page = dir / "formular.htm";
  const std::string html = "<html><body>" + textBytes(5000) + "</body></html>";
  writeFile(page, html);
  const std::string bytes = pack(dir / "tf0.zlb", {page}, [](TZLBArchive& a) {
    a.SavePaths = a.RecursePaths = a.CheckCRC = true;
  });

  const ArchiveTrailer trailer = trailerOf(bytes);
  EXPECT_EQ(trailer.EntryCount, 1);
  EXPECT_EQ(trailer.AlwaysOne, 1u);
  EXPECT_EQ(trailer.RegistryCompressed, 1);
  EXPECT_EQ(bytes.size(), trailer.RegistryOffset + trailer.RegistrySize + 36);
  EXPECT_EQ(trailer.ArchiveCRC, crcOf(bytes.substr(0, bytes.size() - 36)));
  EXPECT_EQ(bytes.substr(bytes.size() - 15), std::string(15, '\0'));

  TZLBArchive reader;
  ASSERT_TRUE(reader.OpenArchive(dir / "tf0.zlb"));
  ASSERT_EQ(reader.Count(), 1);
  const RegistryEntry entry = reader.GetEntry(0);
  EXPECT_EQ(entry.EntryName(), "formular.htm");
  std::string folder = dir.path().string() + "/";
  std::replace(folder.begin(), folder.end(), '/', '\\');
  EXPECT_EQ(entry.EntryPath(), folder);
  EXPECT_EQ(entry.FileSize(), html.size());
  EXPECT_EQ(entry.FileCRC(), crcOf(html));
  EXPECT_FALSE(entry.StoredRaw());
  EXPECT_EQ(entry.LevelUsed(), 2);
  EXPECT_EQ(entry.DataOffset(), 0u);
  EXPECT_EQ(trailer.RegistryOffset, entry.StoredSize());
  EXPECT_EQ(bytes.substr(0, entry.StoredSize()), zlibCompress(html, 6));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.Bytes.data() + 530), 2),
            std::string(2, '\0'));
}

TEST(ZlbWriter, EmptyIncompressibleAndStoredMembers) {
  TempFolder dir;
  writeFile(dir / "empty.txt", "");
  writeFile(dir / "noise.bin", noiseBytes(70000));
  writeFile(dir / "text.txt", textBytes(70000));
  for (auto level : {TFileCompressionLevel::fcNone, TFileCompressionLevel::fcFastest,
                     TFileCompressionLevel::fcMaximum}) {
    const std::string name = dir / (std::string("a-") + levelName(level) + ".zlb");
    const std::string bytes = pack(name, {dir / "empty.txt", dir / "noise.bin", dir / "text.txt"},
                                   [&](TZLBArchive& a) { a.CompressionLevel = level; });
    TZLBArchive reader;
    ASSERT_TRUE(reader.OpenArchive(name));
    ASSERT_EQ(reader.Count(), 3);
    const auto empty = reader.GetEntry(0), noise = reader.GetEntry(1), text = reader.GetEntry(2);
    EXPECT_EQ(empty.FileSize(), 0u);
    EXPECT_TRUE(empty.StoredRaw());
    EXPECT_EQ(empty.StoredSize(), 0u);
    EXPECT_EQ(empty.FileCRC(), 0u);
    EXPECT_TRUE(noise.StoredRaw());
    EXPECT_EQ(noise.StoredSize(), 70000u);
    EXPECT_EQ(noise.LevelUsed(), 0);
    EXPECT_EQ(bytes.substr(noise.DataOffset(), 70000), noiseBytes(70000));
    if (level == TFileCompressionLevel::fcNone) {
      EXPECT_TRUE(text.StoredRaw());
    } else {
      EXPECT_FALSE(text.StoredRaw());
      EXPECT_EQ(text.LevelUsed(), static_cast<int>(level));
    }
    EXPECT_EQ(text.DataOffset(), noise.DataOffset() + noise.StoredSize());
    EXPECT_EQ(reader.GetTrailer().RegistryCompressed, 1);  // even with fcNone
  }
}

// Overrides the temporary-file maker to see which work files a member needed.
class WorkFileSpy : public TZLBArchive {
 public:
  std::vector<std::string> made;
  std::filesystem::path MakeTempFileName() override {
    made.push_back(TZLBArchive::MakeTempFileName());
    return made.back();
  }
};

TEST(ZlbWriter, WorkFileOnlyAboveTwentyMebibytesAndGoneAfterwards) {
  TempFolder dir;
  writeFile(dir / "exact.bin", textBytes(kMemoryMemberLimit));
  writeFile(dir / "over.bin", textBytes(kMemoryMemberLimit + 1, 2));
  WorkFileSpy zlb;
  zlb.CompressionLevel = TFileCompressionLevel::fcFastest;
  zlb.CreateArchive(dir / "big.zlb");
  std::vector<std::filesystem::path> files{dir / "exact.bin"};
  zlb.AddFiles(files);
  EXPECT_TRUE(zlb.made.empty());
  files = {dir / "over.bin"};
  zlb.AddFiles(files);
  ASSERT_EQ(zlb.made.size(), 1u);
  EXPECT_FALSE(exists(zlb.made[0]));
  ASSERT_EQ(zlb.Count(), 2);
  std::ostringstream out;
  zlb.CheckCRC = true;
  zlb.ExtractToStream(1, out);
  EXPECT_EQ(out.str(), textBytes(kMemoryMemberLimit + 1, 2));
}

TEST(ZlbWriter, SavePathsAndDuplicateNames) {
  TempFolder dir;
  writeFile(dir / "Sub/F.txt", "one");
  writeFile(dir / "other/f.TXT", "two");
  EventLog log;
  TZLBArchive zlb;
  log.attach(zlb);
  zlb.CreateArchive(dir / "a.zlb");
  std::vector<std::filesystem::path> files{dir / "Sub/F.txt", dir / "other/f.TXT"};
  zlb.AddFiles(files);
  // Without SavePaths both are stored as a bare name: the second is a duplicate, added anyway.
  EXPECT_EQ(log.logged(),
            std::vector<std::string>{dir / "other/f.TXT" + " already exists in the archive"});
  ASSERT_EQ(zlb.Count(), 2);
  EXPECT_EQ(zlb.GetEntry(0).StoredName(), "F.txt");
  EXPECT_EQ(zlb.GetEntry(0).EntryPath(), "");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(zlb.GetEntry(0).Bytes.data() + 256), 256),
            std::string(256, '\0'));
  EXPECT_EQ(zlb.FindEntry("f.txt"), 0);
  EXPECT_EQ(zlb.FindEntry(dir / "f.txt"), -1);  // a folder in the name stays in the key

  zlb.SavePaths = true;
  files = {dir / "Sub/F.txt"};
  zlb.AddFiles(files);
  std::string folder = dir.path().string() + "/Sub/";
  std::replace(folder.begin(), folder.end(), '/', '\\');
  EXPECT_EQ(zlb.GetEntry(2).EntryPath(), folder);
  EXPECT_EQ(zlb.FindEntry(dir / "sub/f.txt"), 2);
  EXPECT_EQ(zlb.FindEntry(folder + "f.txt"), 2);
}

TEST(ZlbWriter, FoldersWithAndWithoutRecursion) {
  TempFolder dir;
  writeFile(dir / "tree/a.txt", "a");
  writeFile(dir / "tree/sub/b.txt", "b");
  writeFile(dir / "tree/sub/deeper/c.txt", "c");
  std::filesystem::create_directory_symlink(dir / "tree", dir / "tree/sub/loop");
  for (bool savePaths : {false, true}) {
    EventLog log;
    TZLBArchive zlb;
    log.attach(zlb);
    zlb.SavePaths = savePaths;
    zlb.CreateArchive(dir / ("flat" + std::to_string(savePaths) + ".zlb"));
    std::vector<std::filesystem::path> files{dir / "tree"};
    zlb.AddFiles(files);
    EXPECT_EQ(zlb.Count(), 0);  // a folder without RecursePaths is dropped silently
    EXPECT_TRUE(log.logged().empty());

    zlb.RecursePaths = true;
    files = {dir / "tree/"};
    zlb.AddFiles(files);
    std::multiset<std::string> names;
    for (int i = 0; i < zlb.Count(); ++i) names.insert(zlb.GetEntry(i).EntryName());
    // Every file once: no sub-folder is offered twice, the link loop is not followed.
    EXPECT_EQ(names, (std::multiset<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_TRUE(log.logged().empty());
  }
}

TEST(ZlbWriter, UnreadablePathIsLoggedAndTheRestAdded) {
  TempFolder dir;
  writeFile(dir / "good.txt", "good");
  writeFile(dir / "first.txt", textBytes(5000));
  EventLog log;
  TZLBArchive zlb;
  log.attach(zlb);
  zlb.CheckCRC = true;
  zlb.CreateArchive(dir / "a.zlb");
  std::vector<std::filesystem::path> files{dir / "missing.txt", dir / "first.txt", dir / "gone.txt",
                                           dir / "good.txt"};
  zlb.AddFiles(files);
  EXPECT_EQ(log.logged(),
            (std::vector<std::string>{"Unable to open file (" + dir / "missing.txt" + ")",
                                      "Unable to open file (" + dir / "gone.txt" + ")"}));
  ASSERT_EQ(zlb.Count(), 2);
  EXPECT_EQ(zlb.GetEntry(1).EntryName(), "good.txt");
  // Nothing left behind by the failed members, nothing lost of the ones before them.
  EXPECT_EQ(zlb.GetEntry(0).DataOffset(), 0u);
  EXPECT_EQ(zlb.GetEntry(1).DataOffset(), zlb.GetEntry(0).StoredSize());
  std::ostringstream out;
  zlb.ExtractToStream(0, out);
  zlb.ExtractToStream(1, out);
  EXPECT_EQ(out.str(), textBytes(5000) + "good");
}

TEST(ZlbWriter, EmptyListWritesAnEmptyArchive) {
  TempFolder dir;
  const std::string bytes = pack(dir / "e.zlb", {});
  const ArchiveTrailer trailer = trailerOf(bytes);
  EXPECT_EQ(trailer.EntryCount, 0);
  EXPECT_EQ(trailer.RegistryOffset, 0u);
  EXPECT_EQ(trailer.RegistryCompressed, 1);
  EXPECT_EQ(bytes.substr(0, trailer.RegistrySize), zlibCompress("", 6));
  EXPECT_EQ(bytes.size(), trailer.RegistrySize + 36);
}

TEST(ZlbWriter, ExtendingKeepsOldMembersAndOffsets) {
  TempFolder dir;
  writeFile(dir / "one.txt", textBytes(3000));
  writeFile(dir / "two.txt", textBytes(4000, 7));
  const std::string before = pack(dir / "a.zlb", {dir / "one.txt"});
  const RegistryEntry oldEntry = [&] {
    TZLBArchive a;
    static_cast<void>(a.OpenArchive(dir / "a.zlb"));  // the name is never empty
    return a.GetEntry(0);
  }();
  TZLBArchive zlb;
  ASSERT_TRUE(zlb.OpenArchive(dir / "a.zlb"));
  std::vector<std::filesystem::path> files{dir / "two.txt"};
  zlb.AddFiles(files);
  ASSERT_EQ(zlb.Count(), 2);
  EXPECT_EQ(zlb.GetEntry(0).Bytes, oldEntry.Bytes);
  EXPECT_EQ(zlb.GetEntry(1).DataOffset(), oldEntry.StoredSize());
  const std::string after = readFile(dir / "a.zlb");
  EXPECT_EQ(after.substr(0, oldEntry.StoredSize()), before.substr(0, oldEntry.StoredSize()));
}

TEST(ZlbWriter, LongFolderAndNameCutTo255Bytes) {
  TempFolder dir;
  std::string deep = dir.path();
  while (deep.size() < 300) deep += "/" + std::string(40, 'd');
  const std::string name(255, 'n');  // the longest name the file system allows
  writeFile(deep + "/" + name, "x");
  TZLBArchive zlb;
  zlb.SavePaths = true;
  zlb.CreateArchive(dir / "a.zlb");
  std::vector<std::filesystem::path> files{deep + "/" + name};
  zlb.AddFiles(files);
  ASSERT_EQ(zlb.Count(), 1);
  std::string recorded = deep + "/";
  std::replace(recorded.begin(), recorded.end(), '/', '\\');
  EXPECT_EQ(zlb.GetEntry(0).EntryPath(), recorded.substr(0, 255));
  EXPECT_EQ(zlb.GetEntry(0).EntryName(), name);

  RegistryEntry entry;
  entry.SetEntryName(std::string(300, 'x'));
  EXPECT_EQ(entry.EntryName(), std::string(255, 'x'));
  EXPECT_EQ(entry.Bytes[0], 255);
}

TEST(ZlbWriter, ThreadCountChangesNeitherBytesNorEvents) {
  TempFolder dir;
  std::vector<std::filesystem::path> sources;
  for (int i = 0; i < 7; ++i) {
    const std::string name = dir / ("f" + std::to_string(i));
    writeFile(name, i % 3 == 0 ? noiseBytes(150000, i) : textBytes(200000 + i * 50000, i));
    sources.push_back(name);
  }
  writeFile(dir / "f1", "");  // an empty member among them
  sources.push_back(dir / "missing");
  std::vector<std::string> events[2];
  std::string bytes[2];
  for (int run = 0; run < 2; ++run) {
    EventLog log;
    TZLBArchive zlb;
    log.attach(zlb);
    zlb.CompressionThreads = run == 0 ? 1 : 3;
    const std::string name = dir / ("t" + std::to_string(run) + ".zlb");
    zlb.CreateArchive(name);
    std::vector<std::filesystem::path> files = sources;
    zlb.AddFiles(files);
    zlb.CloseArchive();
    events[run] = log.lines;
    bytes[run] = readFile(name);
    TZLBArchive reader;
    reader.CheckCRC = true;
    ASSERT_TRUE(reader.OpenArchive(name));
    ASSERT_EQ(reader.Count(), 7);
    for (int i = 0; i < reader.Count(); ++i) reader.TestEntry(i);
    for (auto& line : events[run]) {
      if (auto at = line.find(name); at != std::string::npos)
        line.replace(at, name.size(), "ARCHIVE");
    }
  }
  EXPECT_EQ(bytes[0], bytes[1]);
  EXPECT_EQ(events[0], events[1]);
  EXPECT_GT(
      std::count_if(events[0].begin(), events[0].end(),
                    [](const std::string& l) { return l.find("Updating") != std::string::npos; }),
      3);
}

TEST(ZlbWriter, EventsInTheBuildersOrder) {
  TempFolder dir;
  const std::string page = dir / "formular.htm";
  writeFile(page, noiseBytes(140000));  // three full 64 KiB output buffers
  EventLog log;
  TZLBArchive zlb;
  log.attach(zlb);
  const std::string name = dir / "tf0.zlb";
  zlb.CreateArchive(name);
  std::vector<std::filesystem::path> files{page};
  zlb.AddFiles(files);
  zlb.CloseArchive();
  const std::string updating = "progress Updating " + page + " ";
  const std::vector<std::string> expected{
      "progress  0",
      "opened",
      updating + "47",
      updating + "93",  // positions of the input consumed at each full buffer
      "progress  0",
      "progress  0",
      "progress Extracting archive registry 100",
      "opened",
      "progress " + name + " 0",
      "progress  0"};
  ASSERT_EQ(log.lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (i == 2 || i == 3)
      EXPECT_EQ(log.lines[i].rfind(updating, 0), 0u) << log.lines[i];
    else
      EXPECT_EQ(log.lines[i], expected[i]) << i;
  }
}

TEST(ZlbWriter, NamesAreWindows1252AndOthersAreLogged) {
  TempFolder dir;
  writeFile(dir /
                "tree/Gr\xC3\xB6\xC3\x9F"
                "e.txt",
            "umlauts");  // UTF-8 on disk
  writeFile(dir / "tree/\xE6\x97\xA5.txt", "not in the code page");
  EventLog log;
  TZLBArchive zlb;
  log.attach(zlb);
  zlb.RecursePaths = true;
  zlb.CreateArchive(dir / "a.zlb");
  std::vector<std::filesystem::path> files{dir / "tree"};
  zlb.AddFiles(files);
  ASSERT_EQ(zlb.Count(), 1);
  EXPECT_EQ(zlb.GetEntry(0).EntryName(),
            "Gr\xF6\xDF"
            "e.txt");
  EXPECT_EQ(log.logged(),
            std::vector<std::string>{"Unable to open file (" + dir / "tree/???.txt)"});
  TempFolder out;
  ASSERT_TRUE(zlb.ExtractFile(0, out.path()));
  EXPECT_EQ(readFile(out / "Gr\xC3\xB6\xC3\x9F"
                           "e.txt"),
            "umlauts");
}
