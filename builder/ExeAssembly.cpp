#include "builder/ExeAssembly.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "base/FileIo.h"
#include "archive/ZLIBArchive.h"
#include "base/Win1252.h"

namespace vantrel::exe {

const std::array<unsigned char, kMarkerTextSize> kMarkerText = {'B', 'R', 'X', 'T', 'E', 'X', 'E', 'H'};

namespace {

std::string nativeOf(const std::string& path) { return utf8From1252(path); }

bool isQuoted(std::string_view text) {
  return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

// Opens a plain file for reading. Anything else (a folder, a pipe that would block until a
// writer appears, a device) is refused before it is opened.
bool openPlainFile(File& file, const std::string& nativePath) {
  struct stat info {};
  if (::stat(nativePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return file.openForReading(nativePath);
}

// Reads until the buffer is full or the file ends, so that every buffer but the last holds a
// whole number of blocks and block boundaries stay where the marker rule counts them.
std::int64_t readFull(File& file, unsigned char* buffer, std::size_t size) {
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
mode_t programMode(const std::string& nativeOutput) {
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

std::string baseNameOf(const std::string& nativePath) {
  const auto slash = nativePath.rfind('/');
  return slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
}

// The output as it is being written: a new file beside the target that only becomes the
// target when everything went into it.
class PendingOutput {
 public:
  explicit PendingOutput(const std::string& nativeTarget) : target_(nativeTarget) {}
  ~PendingOutput() { discard(); }

  bool create() {
    return file_.createUnique(nativeFolderOf(target_), "." + baseNameOf(target_) + ".");
  }
  bool write(const unsigned char* bytes, std::size_t size) {
    if (!file_.writeAll(bytes, size)) return false;
    written_ += size;
    return true;
  }
  std::uint64_t written() const { return written_; }

  // Syncs, sets the program's permissions and renames the file over the target.
  bool commit(std::string& reason) {
    const mode_t mode = programMode(target_);
    if (!file_.flushToDisk() || ::fchmod(file_.descriptor(), mode) != 0) {
      reason = "Unable to write the program file";
      return false;
    }
    if (!file_.close()) {
      reason = "Unable to close the program file";
      return false;
    }
    if (std::rename(file_.path().c_str(), target_.c_str()) != 0) {
      reason = "Unable to replace " + target_;
      return false;
    }
    committed_ = true;
    return true;
  }

  void discard() {
    if (committed_ || file_.path().empty()) return;
    file_.close();
    removeFile(file_.path());
    committed_ = true;  // nothing left to clean up
  }

 private:
  std::string target_;
  File file_;
  std::uint64_t written_ = 0;
  bool committed_ = false;
};

struct CopyOutcome {
  bool ok = true;
  bool markerFound = false;
  std::uint64_t bytes = 0;
  std::uint64_t blocks = 0;
};

CopyOutcome copyDecodedPrototype(File& prototype, PendingOutput& out,
                                 std::uint32_t programLength, std::size_t chunkSize) {
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
      break;
    }
    outcome.bytes += size;
  }
  return outcome;
}

bool copyArchive(File& archive, PendingOutput& out, std::size_t chunkSize) {
  std::vector<unsigned char> buffer(chunkSize);
  for (;;) {
    const std::int64_t got = archive.read(buffer.data(), buffer.size());
    if (got < 0) return false;
    if (got == 0) return true;
    if (!out.write(buffer.data(), static_cast<std::size_t>(got))) return false;
  }
}

void noteFirst(std::string& reason, const std::string& text) {
  if (reason.empty()) reason = text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string outputNameFrom(std::string_view editText) {
  const std::string whole(editText);
  if (whole.empty() || outputExists(whole)) return whole;
  if (isQuoted(editText)) return std::string(editText.substr(1, editText.size() - 2));
  return whole;
}

bool outputExists(const std::string& path) { return !path.empty() && fileExists(nativeOf(path)); }

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
    const unsigned char length[4] = {
        static_cast<unsigned char>(programLength), static_cast<unsigned char>(programLength >> 8),
        static_cast<unsigned char>(programLength >> 16), static_cast<unsigned char>(programLength >> 24)};
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

AssembleResult AssembleExe(const std::string& prototypePath, const std::string& archivePath,
                           const std::string& outputPath, const WindowSettings& settings,
                           const ShowMessage& show, const AssembleOptions& options) {
  AssembleResult result;
  bool failed = false;
  const std::size_t chunkSize =
      std::max(kBlockSize, options.chunkSize / kBlockSize * kBlockSize);

  PendingOutput out(nativeOf(outputPath));
  if (outputPath.empty() || !out.create()) {
    failed = true;
    noteFirst(result.reason, "Unable to create a file beside " + outputPath);
  } else {
    File prototype;
    if (!openPlainFile(prototype, nativeOf(prototypePath))) {
      failed = true;
      noteFirst(result.reason, "Unable to open " + prototypePath);
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
      } else if (!copy.ok || copy.bytes != result.programLength) {
        // A prototype that changed its length while being copied is as bad as a read error.
        failed = true;
        noteFirst(result.reason, "Unable to copy " + prototypePath);
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
        noteFirst(result.reason, "Unable to write the window settings");
      }

      File archive;
      if (!openPlainFile(archive, nativeOf(archivePath))) {
        failed = true;
        noteFirst(result.reason, "Unable to open " + archivePath);
        show(kArchiveUnreadable);
      } else {
        const bool copied = copyArchive(archive, out, chunkSize);
        if (!archive.close() || !copied) {
          failed = true;
          noteFirst(result.reason, "Unable to copy " + archivePath);
        }
      }
    }
    result.outputLength = out.written();
    if (!failed && !out.commit(result.reason)) failed = true;
    if (failed) out.discard();
  }

  result.built = !failed;
  show(failed ? kBuildFailed : kBuildSucceeded);
  return result;
}

// ---------------------------------------------------------------------------------------------

std::string temporaryArchiveName(const std::string& folder) {
  std::string base = folder;
  if (base.empty() || base.back() != '/') base += '/';
  for (unsigned long n = 0;; ++n) {
    std::string candidate = base + "tf" + std::to_string(n) + ".zlb";
    if (!fileExists(nativeOf(candidate))) return candidate;
  }
}

std::string systemTempFolder1252() {
  std::string folder = utf8To1252(systemTempFolder()).value_or("/tmp");
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

BuildResult buildExe(const BuildRequest& request, const ShowMessage& show) {
  BuildResult result;
  auto fail = [&](std::string reason) {
    result.reason = std::move(reason);
    show(kBuildFailed);
    return result;
  };
  if (!request.pageWritten) return fail("The page could not be written");

  const std::string folder = request.tempFolder.empty() ? systemTempFolder1252() : request.tempFolder;
  result.archivePath = temporaryArchiveName(folder);

  std::vector<std::string> logged;
  bool archiveCreated = false;  // a name taken by someone else in the meantime is not ours to remove
  try {
    zlb::TZLBArchive Archive1;
    Archive1.CheckCRC = true;
    Archive1.SavePaths = true;
    Archive1.RecursePaths = true;
    Archive1.OnErrorLogged = [&logged](const std::string& Msg) { logged.push_back(Msg); };
    Archive1.CreateArchive(result.archivePath);
    archiveCreated = true;
    std::vector<std::string> files{request.pagePath};
    Archive1.AddFiles(files);
    const int entries = Archive1.Count();
    Archive1.CloseArchive();
    if (entries != 1) logged.push_back("The page did not reach the archive");
  } catch (const std::exception& error) {
    if (archiveCreated) removeFile(nativeOf(result.archivePath));
    return fail(error.what());
  }
  if (!logged.empty()) {
    removeFile(nativeOf(result.archivePath));
    return fail(logged.front());
  }

  const WindowSettings settings{request.settings, request.pagePath};
  result.assembly = AssembleExe(request.prototypePath, result.archivePath, request.outputPath,
                                settings, show, request.options);
  removeFile(nativeOf(result.archivePath));
  result.built = result.assembly.built;
  result.reason = result.assembly.reason;
  return result;
}

}  // namespace vantrel::exe
