#pragma once
// The one way a user's file is replaced (or created): the bytes go into a new file beside the
// target, which is synced and then renamed over the target, and the folder is synced so that
// the rename survives a power failure. Until commit() the target is untouched; a new file that
// is not committed is removed again. A symbolic link as target is followed, so the file it
// points to is replaced and the link stays a link.
//
// Many files written one after another (an archive extracted) may leave the syncs to a
// SyncBatch instead: each is renamed over its target at once, and one flush() at the end puts
// them all on disk together, where two syncs for each file would take far longer than the
// writing. Each target still holds either its old or its whole new bytes while the process
// runs; only a power failure before flush() may lose what was renamed.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "base/FileIo.h"
#include "base/Result.h"

namespace vantrel {

// The replacements whose sync is left to one flush(). A batch that is never flushed suits a
// temporary file that is removed again a moment later: nothing of it needs to reach the disk.
class SyncBatch {
 public:
  SyncBatch() = default;
  SyncBatch(const SyncBatch&) = delete;
  SyncBatch& operator=(const SyncBatch&) = delete;
  ~SyncBatch();

  // Syncs every file system the batch's files were renamed on, once each: their bytes and
  // their names. Only after it succeeded are they safe from a power failure. The batch is
  // empty afterwards. Reason: "Cannot write the files in <folder> to disk: <system text>.".
  [[nodiscard]] Status flush();

 private:
  friend class AtomicFile;

  // Notes the file system of the open file `descriptor`, whose folder is `folder`. The folder
  // is opened now, so that flush() learns of every write error from here on, even one that
  // another process has been told about already.
  [[nodiscard]] Status note(int descriptor, const std::filesystem::path& folder);
  void closeAll();

  struct FileSystem {
    dev_t device;
    int folder;  // an open descriptor of a folder on it
    std::filesystem::path folderPath;
  };
  std::vector<FileSystem> fileSystems_;
};

class AtomicFile {
 public:
  // Refuses a target that must not be replaced (a folder, a write-protected file) and creates
  // the new file. Reasons: "Cannot write <target>." or "Cannot create a file in the folder of
  // <target>: <system text>.".
  [[nodiscard]] static Result<AtomicFile> begin(const std::filesystem::path& target);

  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&& other) noexcept;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  // The file that will be replaced, a symbolic link resolved.
  [[nodiscard]] const std::filesystem::path& target() const { return target_; }
  [[nodiscard]] std::uint64_t written() const { return written_; }
  // The new file until commit(), for a step that must reach it by name before it is renamed.
  [[nodiscard]] const std::filesystem::path& pendingPath() const { return file_.path(); }

  // Reason: "Write error: <system text>.".
  [[nodiscard]] Status write(const void* data, std::size_t size);
  [[nodiscard]] Status write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
  // Cuts the new file back to `length` bytes and continues writing there.
  [[nodiscard]] Status truncateTo(std::uint64_t length);
  // Syncs the new file, gives it `mode` (otherwise the old target's permissions, or the
  // default of a new file), and renames it over the target. Reasons: "Write error: ..." and
  // "Cannot replace <target>: <system text>.".
  [[nodiscard]] Status commit(std::optional<mode_t> mode = std::nullopt);
  // The same with `later` null; otherwise the new file is renamed without a sync and
  // `later->flush()` syncs it with the rest of its batch (and reports a failure there).
  [[nodiscard]] Status commit(SyncBatch* later, std::optional<mode_t> mode = std::nullopt);
  // Removes the new file; the target stays as it was.
  void discard();

  // Makes every replacement in this process fail at a chosen point, so that tests can prove
  // each writer's error path: at byte `failAtByte` of the new file, at the sync (a batch's
  // flush() included), or at the rename. Not for use outside tests.
  struct Fault {
    std::uint64_t failAtByte = std::numeric_limits<std::uint64_t>::max();
    bool failSync = false;
    bool failRename = false;
  };
  static void injectFaultForTests(std::optional<Fault> fault);

 private:
  AtomicFile() = default;
  // Gives the new file its permissions and renames it over the target.
  [[nodiscard]] Status replaceTarget(std::optional<mode_t> mode);
  void startWriteback();

  std::filesystem::path target_;
  File file_;
  std::optional<mode_t> oldMode_;  // the permissions the target had, if it existed
  std::uint64_t written_ = 0;
  std::uint64_t handedToDisk_ = 0;  // bytes whose writeback has been started
  bool open_ = false;
};

}  // namespace vantrel
