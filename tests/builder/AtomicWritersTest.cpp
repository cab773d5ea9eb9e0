// Every writer that replaces a user's file goes through the one atomic writer: a failure at
// any byte, at the sync or at the rename leaves the old file exactly as it was and no new file
// beside it, and is reported; a symbolic link as target is followed and stays a link. Files
// synced together after their renames are the one exception: a failed sync is reported, with
// the new file whole in place.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "archive/ZLIBArchive.h"
#include "base/AtomicFile.h"
#include "base/ByteFile.h"
#include "base/FailureKinds.h"
#include "builder/BuildProgram.h"
#include "icon/BitmapFile.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "page/PageFile.h"
#include "project/ProjectFile.h"
#include "tests/builder/BuilderTestSupport.h"
#include "tests/support/TempFolder.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

struct Writer {
  const char* name;
  const char* target;  // file name in the folder
  // Writes the target; true when the writer reported success.
  std::function<bool(const TempFolder& folder)> write;
  // Renamed first and synced with its batch afterwards: a failed sync is reported, but the
  // target then already holds the new bytes.
  bool syncedAfterRename = false;
  // Extraction refuses a symbolic link in the destination instead of following it: a link
  // planted there must not carry a member elsewhere.
  bool refusesLinks = false;
};

bool succeeds(const std::function<void()>& action) {
  try {
    action();
    return true;
  } catch (const Error&) {
    return false;
  }
}

Project smallProject() {
  Project project;
  project.email = "a@example.org";
  project.fields.append(
      FormField{"name", "Textfeld", "Ihr Name", "", "30", "1", "0", "Nein", "Nein"});
  return project;
}

// An archive of one member, "auszug.txt", made before the first fault is injected: each
// writer's first write is a good one.
const fs::path& sourceArchive() {
  static const TempFolder folder;
  static const fs::path archive = [] {
    putFile(folder.file("auszug.txt"), std::string(2000, 'a') + std::string(1000, 'z'));
    zlb::TZLBArchive packer;
    packer.CreateArchive(folder.path() / "quelle.zlb");
    std::vector<fs::path> files{folder.path() / "auszug.txt"};
    packer.AddFiles(files);
    return folder.path() / "quelle.zlb";
  }();
  return archive;
}

// Extracts the member into the folder, synced at once or with `later`.
bool extractInto(const TempFolder& folder, SyncBatch* later) {
  return succeeds([&] {
    zlb::TZLBArchive archive;
    archive.CheckCRC = true;
    archive.SyncLater = later;
    if (!archive.OpenArchive(sourceArchive()) || !archive.ExtractFile(0, folder.path()))
      throw Error(unknownFailure("not extracted"));
  });
}

const Writer kWriters[] = {
    {"project", "umfrage.vtq",
     [](const TempFolder& folder) {
       return succeeds([&] { saveProjectFile(folder.path() / "umfrage.vtq", smallProject()); });
     }},
    {"page", "formular.htm",
     [](const TempFolder& folder) {
       return writeFormPage(folder.path(), smallProject().fields, "a@example.org").ok();
     }},
    {"icon bitmap", "theicon.bmp",
     [](const TempFolder& folder) {
       return succeeds([&] {
         saveBitmapFile(folder.path() / "theicon.bmp", renderIconBitmap(standardIconPicture()));
       });
     }},
    {"archive", "seite.zlb",
     [](const TempFolder& folder) {
       putFile(folder.file("seite.htm"), std::string(3000, 's'));
       return succeeds([&] {
         zlb::TZLBArchive archive;
         if (fs::exists(folder.path() / "seite.zlb"))
           static_cast<void>(archive.OpenArchive(folder.path() / "seite.zlb"));
         else
           archive.CreateArchive(folder.path() / "seite.zlb");
         std::vector<fs::path> files{folder.path() / "seite.htm"};
         archive.AddFiles(files);
         // A failed write leaves the archive as it was, without the new member.
         if (archive.FindEntry("seite.htm") < 0) throw Error(unknownFailure("not added"));
       });
     }},
    {"built program", "ziel.exe",
     [](const TempFolder& folder) {
       fs::create_directories(folder.path() / "tool");
       putFile(folder.file("tool/ProtoExe.dat"), encoded(decodedPrototype(5000, {2048 + 16})));
       exe::BuildRequest request;
       request.prototypePath = folder.path() / "tool/ProtoExe.dat";
       putFile(folder.file("tool/formular.htm"), "<html>seite</html>");
       request.pagePath = folder.path() / "tool/formular.htm";
       request.outputPath = folder.path() / "ziel.exe";
       request.settings = someSettings();
       request.tempFolder = folder.path() / "tool";
       request.icon = {100, renderIconBitmap(standardIconPicture())};
       const exe::BuildResult result = exe::buildExe(request);
       return result.built && result.assembly.icon == WriteIconResult::Written;
     }},
    {"extracted file", "auszug.txt",
     [](const TempFolder& folder) { return extractInto(folder, nullptr); }, false, true},
    {"extracted files synced together", "auszug.txt",
     [](const TempFolder& folder) {
       SyncBatch batch;
       const bool extracted = extractInto(folder, &batch);
       return batch.flush().ok() && extracted;
     },
     true, true},
};

// What stands at `path` before a write: any bytes, or for the archive an archive (only an
// archive can be opened and added to).
std::string putOldFile(const Writer& writer, const fs::path& path) {
  if (std::string(writer.target) == "seite.zlb") {
    const fs::path source = path.parent_path() / "alt.htm";
    putFile(source.string(), "alte Seite");
    zlb::TZLBArchive archive;
    archive.CreateArchive(path);
    std::vector<fs::path> files{source};
    archive.AddFiles(files);
    fs::remove(source);
  } else {
    putFile(path.string(), "the user's old file");
  }
  return fileBytes(path.string());
}

// The folder's entries apart from the helpers' own files.
std::vector<std::string> leftOvers(const TempFolder& folder, const std::string& target) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    if (name != target && name != "tool" && name != "seite.htm") names.push_back(name);
  }
  return names;
}

class FaultGuard {
 public:
  explicit FaultGuard(AtomicFile::Fault fault) { AtomicFile::injectFaultForTests(fault); }
  ~FaultGuard() { AtomicFile::injectFaultForTests(std::nullopt); }
  FaultGuard(const FaultGuard&) = delete;
  FaultGuard& operator=(const FaultGuard&) = delete;
};

TEST(AtomicWriters, EveryFailureKeepsTheOldFileAndLeavesNothingBehind) {
  for (const Writer& writer : kWriters) {
    SCOPED_TRACE(writer.name);
    // The size of a good write tells how many byte offsets there are to fail at.
    std::string written;
    {
      TempFolder folder;
      ASSERT_TRUE(writer.write(folder));
      written = fileBytes(folder.file(writer.target));
    }
    const std::uint64_t size = written.size();
    std::vector<AtomicFile::Fault> faults;
    // Every offset of small files, a spread of offsets of larger ones.
    const std::uint64_t step = std::max<std::uint64_t>(1, size / 97);
    for (std::uint64_t at = 0; at < size; at += step) faults.push_back({at, false, false});
    faults.push_back({size - 1, false, false});
    faults.push_back({std::numeric_limits<std::uint64_t>::max(), true, false});
    faults.push_back({std::numeric_limits<std::uint64_t>::max(), false, true});
    for (const AtomicFile::Fault& fault : faults) {
      SCOPED_TRACE("byte " + std::to_string(fault.failAtByte) + (fault.failSync ? " sync" : "") +
                   (fault.failRename ? " rename" : ""));
      TempFolder folder;
      const std::string old = putOldFile(writer, folder.path() / writer.target);
      bool reported = false;
      {
        FaultGuard guard(fault);
        reported = !writer.write(folder);
      }
      EXPECT_TRUE(reported);
      const bool renamed = fault.failSync && writer.syncedAfterRename;
      EXPECT_EQ(fileBytes(folder.file(writer.target)), renamed ? written : old);
      EXPECT_EQ(leftOvers(folder, writer.target), std::vector<std::string>{});
    }
  }
}

TEST(AtomicWriters, ASymbolicLinkIsFollowedAndStaysALinkOrIsRefused) {
  for (const Writer& writer : kWriters) {
    SCOPED_TRACE(writer.name);
    TempFolder folder;
    fs::create_directories(folder.path() / "real");
    const std::string old = putOldFile(writer, folder.path() / "real" / writer.target);
    fs::create_symlink(folder.path() / "real" / writer.target, folder.path() / writer.target);
    ASSERT_EQ(writer.write(folder), !writer.refusesLinks);
    EXPECT_TRUE(fs::is_symlink(folder.path() / writer.target));
    EXPECT_EQ(fileBytes(folder.file(std::string("real/") + writer.target)) == old,
              writer.refusesLinks);
  }
}

// A folder whose name Windows-1252 cannot hold: the page, the archive and the program are
// written all the same.
TEST(BuildProgram, BuildsInAFolderWhoseNameWindows1252CannotHold) {
  TempFolder folder;
  const fs::path tool =
      folder.path() / "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82\xD1\x8B \xF0\x9F\x99\x82";
  fs::create_directories(tool);
  putFile((tool / "ProtoExe.dat").string(), encoded(decodedPrototype(5000, {2048 + 16})));
  exe::BuildJob job;
  job.fields = smallProject().fields;
  job.email = "a@example.org";
  job.settings = someSettings();
  job.outputText = (tool /
                    "Umfrage \xC5\x81\xC3\xB3"
                    "d\xC5\xBA.exe")
                       .string();
  job.supportFolder = tool;
  job.pageFolder = tool;
  job.tempFolder = tool;
  job.icon = renderIconBitmap(standardIconPicture());
  BuildMessageRecorder recorder;
  const exe::ProgramBuild build = exe::buildProgram(job, {recorder.sink(), {}, {}});
  ASSERT_TRUE(build.built()) << build.failure.detail;
  EXPECT_TRUE(build.icon.ok());
  EXPECT_EQ(recorder.shown, std::vector<exe::BuildMessage>{exe::kBuildSucceeded});
  EXPECT_TRUE(fs::is_regular_file(build.output));

  zlb::TZLBArchive reader;
  reader.CheckCRC = true;
  ASSERT_TRUE(reader.OpenArchive(build.output));
  ASSERT_EQ(reader.Count(), 1);
  EXPECT_EQ(reader.GetEntry(0).EntryName(), "formular.htm");
  reader.TestEntry(0);
}

// The reason of a failed replacement names the file that stays as it was.
TEST(AtomicWriters, AFailedReplacementNamesItsTarget) {
  TempFolder folder;
  const fs::path target = folder.path() / "seite.htm";
  Status result;
  {
    FaultGuard guard({std::numeric_limits<std::uint64_t>::max(), false, true});
    result = replaceFileContents(target, "<html></html>");
  }
  ASSERT_FALSE(result);
  EXPECT_EQ(result.reason(), "Cannot replace " + target.string() + ": Input/output error.");
}

// Files committed into a batch are in place at once; its flush reports a failed sync with the
// folder it concerns, and a flush with nothing to do succeeds.
TEST(AtomicWriters, ABatchRenamesAtOnceAndItsFailedSyncNamesTheFolder) {
  TempFolder folder;
  SyncBatch batch;
  EXPECT_TRUE(SyncBatch().flush().ok());
  for (const char* name : {"a.txt", "b.txt"}) {
    auto file = AtomicFile::begin(folder.path() / name);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file.value().write(std::string_view(name)));
    ASSERT_TRUE(file.value().commit(&batch));
    EXPECT_EQ(fileBytes(folder.file(name)), name);
  }
  Status result;
  {
    FaultGuard guard({std::numeric_limits<std::uint64_t>::max(), true, false});
    result = batch.flush();
  }
  ASSERT_FALSE(result);
  EXPECT_TRUE(result.failure().is(FileFailure::CannotSync));
  EXPECT_EQ(result.reason(), "Cannot write the files in " + folder.path().string() +
                                 " to disk: Input/output error.");
  // The flush emptied the batch: nothing is left to sync, and nothing to fail.
  EXPECT_TRUE(batch.flush().ok());
}

}  // namespace
}  // namespace vantrel::test
