#include "builder/ExeAssembly.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <vector>

#include "archive/ZLIBArchive.h"
#include "base/AtomicFile.h"
#include "base/FileIo.h"
#include "base/Win1252.h"

namespace vantrel::exe {

const std::array<unsigned char, kMarkerTextSize> kMarkerText = {'B', 'R', 'X', 'T',
                                                                'E', 'X', 'E', 'H'};

namespace {

namespace fs = std::filesystem;

bool isQuoted(std::string_view text) {
  return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

// Opens a plain file for reading. Anything else (a folder, a pipe that would block until a
// writer appears, a device) is refused before it is opened.
[[nodiscard]] bool openPlainFile(File& file, const fs::path& nativePath) {
  struct stat info {};
  if (::stat(nativePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return file.openForReading(nativePath);
}

// Reads until the buffer is full or the file ends, so that every buffer but the last holds a
// whole number of blocks and block boundaries stay where the marker rule counts them.
[[nodiscard]] std::int64_t readFull(File& file, unsigned char* buffer, std::size_t size) {
  std::size_t filled = 0;
  while (filled < size) {
    const std::int64_t got = file.read(buffer + filled, size - filled);
    if (got < 0) return -1;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(filled);
}

// The permission bits of the finished program: those of the file it replaces, or the usual
// ones for a new file, with the executable bit wherever the file may be read.
mode_t programMode(const fs::path& nativeOutput) {
  struct stat info {};
  mode_t mode = 0;
  if (::stat(nativeOutput.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    mode = info.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  return mode | ((mode & 0444) >> 2);
}

// The output as it is being written: a new file beside the target that only becomes the
// target when everything went into it.
class PendingOutput {
 public:
  explicit PendingOutput(const fs::path& target) : target_(target) {}

  [[nodiscard]] bool create() {
    auto begun = AtomicFile::begin(target_);
    if (!begun) {
      failure_ = begun.reason();
      return false;
    }
    file_.emplace(std::move(begun).value());
    return true;
  }
  [[nodiscard]] bool write(const unsigned char* bytes, std::size_t size) {
    const Status written = file_->write(bytes, size);
    if (!written && failure_.empty()) failure_ = written.reason();
    return written.ok();
  }
  // Why creating or writing the new file failed first, in the system's words ("Write error:
  // No space left on device."); empty while nothing failed.
  [[nodiscard]] const std::string& failure() const { return failure_; }
  [[nodiscard]] std::uint64_t written() const { return file_ ? file_->written() : 0; }

  // Syncs, sets the program's permissions and renames the file over the target.
  Status commit() { return file_->commit(programMode(file_->target())); }
  void discard() {
    if (file_) file_->discard();
  }

 private:
  fs::path target_;
  std::optional<AtomicFile> file_;
  std::string failure_;
};

// Measured even when the copy failed: the assembly reports blocks and marker either way.
struct [[nodiscard]] CopyOutcome {
  bool ok = true;
  bool writeFailed = false;  // the output, not the prototype, failed
  bool markerFound = false;
  std::uint64_t bytes = 0;
  std::uint64_t blocks = 0;
};

CopyOutcome copyDecodedPrototype(File& prototype, PendingOutput& out, std::uint32_t programLength,
                                 std::size_t chunkSize) {
  CopyOutcome outcome;
  std::vector<unsigned char> buffer(chunkSize);
  for (;;) {
    const std::int64_t got = readFull(prototype, buffer.data(), buffer.size());
    if (got < 0) {
      outcome.ok = false;
      break;
    }
    if (got == 0) break;
    const std::size_t size = static_cast<std::size_t>(got);
    decodePrototypeBytes(buffer.data(), size);
    // Blocks are counted from the file's first byte; a chunk always starts on a block boundary.
    for (std::size_t at = 0; at < size; at += kBlockSize) {
      const std::size_t blockSize = std::min(kBlockSize, size - at);
      if (!outcome.markerFound) {
        outcome.markerFound = patchMarkerInBlock(buffer.data() + at, blockSize, programLength);
      }
      ++outcome.blocks;
    }
    if (!out.write(buffer.data(), size)) {
      outcome.ok = false;
      outcome.writeFailed = true;
      break;
    }
    outcome.bytes += size;
  }
  return outcome;
}

// The reason when reading the archive failed; the output's own failure is kept by `out`.
[[nodiscard]] std::optional<std::string> copyArchive(File& archive, PendingOutput& out,
                                                     std::size_t chunkSize) {
  std::vector<unsigned char> buffer(chunkSize);
  for (;;) {
    const std::int64_t got = archive.read(buffer.data(), buffer.size());
    if (got < 0) return "Unable to read " + archive.path().string() + ": " + std::strerror(errno);
    if (got == 0) return std::nullopt;
    if (!out.write(buffer.data(), static_cast<std::size_t>(got))) return std::nullopt;
  }
}

// What a failed write of the output says: which file, and why.
std::string writeFailure(const fs::path& outputPath, const PendingOutput& out) {
  return "Unable to write " + outputPath.string() + ": " + out.failure();
}

void noteFirst(std::string& reason, const std::string& text) {
  if (reason.empty()) reason = text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

fs::path outputNameFrom(std::string_view editText) {
  const std::string whole(editText);
  if (whole.empty() || outputExists(whole)) return whole;
  if (isQuoted(editText)) return std::string(editText.substr(1, editText.size() - 2));
  return whole;
}

bool outputExists(const fs::path& path) { return !path.empty() && fileExists(path); }

bool patchMarkerInBlock(unsigned char* block, std::size_t size, std::uint32_t programLength) {
  bool found = false;
  if (size < kMarkerTextSize) return false;
  const std::size_t lastStart = size - kMarkerTextSize;
  for (std::size_t p = 0; p <= lastStart; ++p) {
    // Jump to the next candidate first byte; most blocks hold few of them.
    const void* next = std::memchr(block + p, kMarkerText[0], lastStart - p + 1);
    if (!next) break;
    p = static_cast<std::size_t>(static_cast<const unsigned char*>(next) - block);
    if (!std::equal(kMarkerText.begin(), kMarkerText.end(), block + p)) continue;
    found = true;
    const unsigned char length[4] = {static_cast<unsigned char>(programLength),
                                     static_cast<unsigned char>(programLength >> 8),
                                     static_cast<unsigned char>(programLength >> 16),
                                     static_cast<unsigned char>(programLength >> 24)};
    std::copy(length, length + 4, block + p);
    // Bytes 16..19 of the record are zeroed only as far as they lie in this block: a record
    // cut by the block's end must not make us write into the next block.
    for (std::size_t i = p + 16; i < p + kMarkerRecordSize && i < size; ++i) block[i] = 0;
  }
  return found;
}

void decodePrototypeBytes(unsigned char* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(bytes[i] - 1);
}

void encodePrototypeBytes(unsigned char* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(bytes[i] + 1);
}

AssembleResult AssembleExe(const fs::path& prototypePath, const fs::path& archivePath,
                           const fs::path& outputPath, const WindowSettings& settings,
                           const ShowMessage& show, const AssembleOptions& options) {
  AssembleResult result;
  bool failed = false;
  const std::size_t chunkSize = std::max(kBlockSize, options.chunkSize / kBlockSize * kBlockSize);

  PendingOutput out(outputPath);
  if (outputPath.empty() || !out.create()) {
    failed = true;
    noteFirst(result.reason, "Unable to create a file beside " + outputPath.string() +
                                 (out.failure().empty() ? "" : ": " + out.failure()));
  } else {
    File prototype;
    if (!openPlainFile(prototype, prototypePath)) {
      failed = true;
      noteFirst(result.reason, "Unable to open " + prototypePath.string());
      show(kPrototypeUnreadable);
    } else {
      const std::int64_t size = prototype.size();
      // S must fit the record's 32 bits, or the viewer would look for its data elsewhere.
      const bool sizeFits = size >= 0 && static_cast<std::uint64_t>(size) <=
                                             std::numeric_limits<std::uint32_t>::max();
      result.programLength = sizeFits ? static_cast<std::uint64_t>(size) : 0;
      CopyOutcome copy;
      if (sizeFits) {
        copy = copyDecodedPrototype(prototype, out, static_cast<std::uint32_t>(size), chunkSize);
      }
      if (!prototype.close()) copy.ok = false;
      result.prototypeBlocks = copy.blocks;
      result.markerFound = copy.markerFound;
      if (!sizeFits) {
        failed = true;
        noteFirst(result.reason, "The prototype is larger than 4 GiB");
      } else if (copy.writeFailed) {
        failed = true;
        noteFirst(result.reason, writeFailure(outputPath, out));
      } else if (!copy.ok || copy.bytes != result.programLength) {
        // A prototype that changed its length while being copied is as bad as a read error.
        failed = true;
        noteFirst(result.reason, "Unable to read " + prototypePath.string() +
                                     (copy.ok ? ": its length changed while it was read"
                                              : ": " + std::string(std::strerror(errno))));
      }
      if (!copy.markerFound) {
        failed = true;
        noteFirst(result.reason, "The prototype holds no marker record");
        show(kPrototypeDamaged);
      }

      const std::string settingsBytes = windowSettingsBytes(settings);
      if (!out.write(reinterpret_cast<const unsigned char*>(settingsBytes.data()),
                     settingsBytes.size())) {
        failed = true;
        noteFirst(result.reason, writeFailure(outputPath, out));
      }

      File archive;
      if (!openPlainFile(archive, archivePath)) {
        failed = true;
        noteFirst(result.reason, "Unable to open " + archivePath.string());
        show(kArchiveUnreadable);
      } else {
        const std::optional<std::string> readFailure = copyArchive(archive, out, chunkSize);
        static_cast<void>(archive.close());  // only read: its bytes were checked as they came
        if (!out.failure().empty()) {
          failed = true;
          noteFirst(result.reason, writeFailure(outputPath, out));
        } else if (readFailure) {
          failed = true;
          noteFirst(result.reason, *readFailure);
        }
      }
    }
    result.outputLength = out.written();
    if (!failed) {
      if (const Status committed = out.commit(); !committed) {
        failed = true;
        noteFirst(result.reason,
                  "Unable to write " + outputPath.string() + ": " + committed.reason());
      }
    }
    if (failed) out.discard();
  }

  result.built = !failed;
  show(failed ? kBuildFailed : kBuildSucceeded);
  return result;
}

// ---------------------------------------------------------------------------------------------

fs::path temporaryArchiveName(const fs::path& folder) {
  for (unsigned long n = 0;; ++n) {
    fs::path candidate = folder / ("tf" + std::to_string(n) + ".zlb");
    if (!fileExists(candidate)) return candidate;
  }
}

BuildResult buildExe(const BuildRequest& request, const ShowMessage& show) {
  BuildResult result;
  auto fail = [&](std::string reason) {
    result.reason = std::move(reason);
    show(kBuildFailed);
    return result;
  };
  if (!request.pageWritten) return fail("The page could not be written");

  const fs::path folder = request.tempFolder.empty() ? systemTempFolder() : request.tempFolder;
  result.archivePath = temporaryArchiveName(folder);

  std::vector<std::string> logged;
  bool archiveCreated =
      false;  // a name taken by someone else in the meantime is not ours to remove
  try {
    zlb::TZLBArchive Archive1;
    Archive1.CheckCRC = true;
    Archive1.SavePaths = true;
    Archive1.RecursePaths = true;
    Archive1.OnErrorLogged = [&logged](const std::string& Msg) { logged.push_back(Msg); };
    Archive1.CreateArchive(result.archivePath);
    archiveCreated = true;
    std::vector<fs::path> files{request.pagePath};
    Archive1.AddFiles(files);
    const int entries = Archive1.Count();
    Archive1.CloseArchive();
    if (entries != 1) logged.push_back("The page did not reach the archive");
  } catch (const std::exception& error) {
    if (archiveCreated) removeFile(result.archivePath);
    return fail(error.what());
  }
  if (!logged.empty()) {
    removeFile(result.archivePath);
    return fail(logged.front());
  }

  // The settings record the page's path as the archive does: in Windows-1252, "_" for what
  // it cannot hold. The viewer finds its page by name, so nothing depends on the rest.
  const WindowSettings settings{request.settings, utf8To1252Recorded(request.pagePath.native())};
  result.assembly = AssembleExe(request.prototypePath, result.archivePath, request.outputPath,
                                settings, show, request.options);
  removeFile(result.archivePath);
  result.built = result.assembly.built;
  result.reason = result.assembly.reason;
  return result;
}

}  // namespace vantrel::exe
