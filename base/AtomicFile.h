#pragma once
// The one way a user's file is replaced (or created): the bytes go into a new file beside the
// target, which is synced and then renamed over the target, and the folder is synced so that
// the rename survives a power failure. Until commit() the target is untouched; a new file that
// is not committed is removed again. A symbolic link as target is followed, so the file it
// points to is replaced and the link stays a link.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>

#include "base/FileIo.h"
#include "base/Result.h"

namespace vantrel {

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

  // Reason: "Write error: <system text>.".
  [[nodiscard]] Status write(const void* data, std::size_t size);
  [[nodiscard]] Status write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
  // Cuts the new file back to `length` bytes and continues writing there.
  [[nodiscard]] Status truncateTo(std::uint64_t length);
  // Syncs the new file, gives it `mode` (otherwise the old target's permissions, or the
  // default of a new file), and renames it over the target. Reasons: "Write error: ..." and
  // "Cannot replace <target>: <system text>.".
  [[nodiscard]] Status commit(std::optional<mode_t> mode = std::nullopt);
  // Removes the new file; the target stays as it was.
  void discard();

  // Makes every replacement in this process fail at a chosen point, so that tests can prove
  // each writer's error path: at byte `failAtByte` of the new file, at the sync, or at the
  // rename. Not for use outside tests.
  struct Fault {
    std::uint64_t failAtByte = std::numeric_limits<std::uint64_t>::max();
    bool failSync = false;
    bool failRename = false;
  };
  static void injectFaultForTests(std::optional<Fault> fault);

 private:
  AtomicFile() = default;

  std::filesystem::path target_;
  File file_;
  std::optional<mode_t> oldMode_;  // the permissions the target had, if it existed
  std::uint64_t written_ = 0;
  bool open_ = false;
};

}  // namespace vantrel
