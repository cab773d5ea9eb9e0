#include "builder/ExeAssembly.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "archive/ZLIBArchive.h"
#include "base/AtomicFile.h"
#include "base/FailureKinds.h"
#include "base/FileIo.h"
#include "base/UserMessages.h"
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
[[nodiscard]] Status openPlainFile(File& file, const fs::path& nativePath) {
  struct stat info {};
  if (::stat(nativePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      !file.openForReading(nativePath)) {
    return failure(BuildFailure::CannotOpen, nativePath);
  }
  return {};
}

Failure readFailure(const fs::path& path) {
  return failure(BuildFailure::CannotReadBecause, path, std::strerror(errno));
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
// target when everything went into it. Its failures name the output as the user typed it.
class PendingOutput {
 public:
  explicit PendingOutput(const fs::path& target) : target_(target) {}

  // Reason: "Unable to create a file beside <output>: <why>".
  [[nodiscard]] Status create() {
    if (target_.empty()) return failure(BuildFailure::CannotCreateBeside, target_);
    auto begun = AtomicFile::begin(target_);
    if (!begun) {
      return failure(BuildFailure::CannotCreateBesideBecause, target_, begun.reason());
    }
    file_.emplace(std::move(begun).value());
    return {};
  }
  // Reason: "Unable to write <output>: Write error: <system text>.".
  [[nodiscard]] Status write(const void* bytes, std::size_t size) {
    return named(file_->write(bytes, size));
  }
  [[nodiscard]] std::uint64_t written() const { return file_ ? file_->written() : 0; }
  [[nodiscard]] const fs::path& pendingPath() const { return file_->pendingPath(); }
  // Empties the new file, so that other bytes can take the place of those written.
  [[nodiscard]] Status restart() { return named(file_->truncateTo(0)); }

  // The icon goes into the new file by its name, over bytes already written.
  [[nodiscard]] WriteIconResult writeIcon(const ProgramIcon& icon) {
    return WriteIcon(file_->pendingPath(), icon.position, icon.bitmap);
  }
  // Syncs, sets the program's permissions and renames the file over the target.
  [[nodiscard]] Status commit() { return named(file_->commit(programMode(file_->target()))); }
  void discard() {
    if (file_) file_->discard();
  }

 private:
  [[nodiscard]] Status named(const Status& status) const {
    if (status) return status;
    return failure(BuildFailure::CannotWriteBecause, target_, status.reason());
  }

  fs::path target_;
  std::optional<AtomicFile> file_;
};

// S, the prototype's length, must fit the record's 32 bits, or the viewer would look for its
// data elsewhere.
Status measurePrototype(const File& prototype, AssembleResult& result) {
  const std::int64_t size = prototype.size();
  if (size < 0 || static_cast<std::uint64_t>(size) > std::numeric_limits<std::uint32_t>::max()) {
    return failure(BuildFailure::PrototypeTooLarge);
  }
  result.programLength = static_cast<std::uint64_t>(size);
  return {};
}

// Copies the prototype decoded, with the marker rule applied to the first block that holds the
// marker; counts the blocks and notes the marker in `result` as it goes.
Status copyDecodedPrototype(File& prototype, const fs::path& path, PendingOutput& out,
                            std::size_t chunkSize, AssembleResult& result) {
  const auto programLength = static_cast<std::uint32_t>(result.programLength);
  std::vector<unsigned char> buffer(chunkSize);
  std::uint64_t copied = 0;
  for (;;) {
    const std::int64_t got = readFull(prototype, buffer.data(), buffer.size());
    if (got < 0) return readFailure(path);
    if (got == 0) break;
    const std::size_t size = static_cast<std::size_t>(got);
    decodePrototypeBytes(buffer.data(), size);
    // Blocks are counted from the file's first byte; a chunk always starts on a block boundary.
    for (std::size_t at = 0; at < size; at += kBlockSize) {
      const std::size_t blockSize = std::min(kBlockSize, size - at);
      if (!result.markerFound) {
        result.markerFound = patchMarkerInBlock(buffer.data() + at, blockSize, programLength);
      }
      ++result.prototypeBlocks;
    }
    if (const Status written = out.write(buffer.data(), size); !written) return written;
    copied += size;
  }
  if (!prototype.close()) return readFailure(path);
  // A prototype that changed its length while being copied is as bad as a read error.
  if (copied != result.programLength) {
    return failure(BuildFailure::CannotReadBecause, path, "its length changed while it was read");
  }
  return {};
}

Status markerStatus(const AssembleResult& result) {
  if (!result.markerFound) return failure(BuildFailure::NoMarkerRecord);
  return {};
}

Status writeSettings(PendingOutput& out, const WindowSettings& settings) {
  const std::string bytes = windowSettingsBytes(settings);
  return out.write(bytes.data(), bytes.size());
}

Status copyArchive(File& archive, const fs::path& path, PendingOutput& out, std::size_t chunkSize) {
  std::vector<unsigned char> buffer(chunkSize);
  for (;;) {
    const std::int64_t got = archive.read(buffer.data(), buffer.size());
    if (got < 0) return readFailure(path);
    if (got == 0) break;
    if (const Status written = out.write(buffer.data(), static_cast<std::size_t>(got)); !written) {
      return written;
    }
  }
  static_cast<void>(archive.close());  // only read: its bytes were checked as they came
  return {};
}

// The finished program, signed into a file beside the new one; the signed bytes then take the
// new file's place, so that the commit syncs and renames the signed program and an unsigned
// one never replaces the output.
Status signInPlace(PendingOutput& out, const SigningJob& job, std::size_t chunkSize) {
  const fs::path signedCopy = out.pendingPath().string() + ".signed";
  if (Status signedOk = signProgram(job, out.pendingPath(), signedCopy); !signedOk) return signedOk;
  File signedFile;
  Status copied = openPlainFile(signedFile, signedCopy);
  if (copied) copied = out.restart();
  if (copied) copied = copyArchive(signedFile, signedCopy, out, chunkSize);
  std::error_code ignored;
  fs::remove(signedCopy, ignored);
  return copied;
}

// The message a failed step adds before the closing one; most failures have only the closing
// one.
std::optional<BuildMessage> stepMessage(AssemblyStep step) {
  switch (step) {
    case AssemblyStep::openPrototype:
      return kPrototypeUnreadable;
    case AssemblyStep::measurePrototype:
    case AssemblyStep::findMarker:
      return kPrototypeDamaged;
    case AssemblyStep::openArchive:
      return kArchiveUnreadable;
    case AssemblyStep::none:
    case AssemblyStep::createOutput:
    case AssemblyStep::copyPrototype:
    case AssemblyStep::writeSettings:
    case AssemblyStep::copyArchive:
    case AssemblyStep::sign:
    case AssemblyStep::commit:
      break;
  }
  return std::nullopt;
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
                           const AssembleOptions& options, const ProgramIcon& icon) {
  const std::size_t chunkSize = std::max(kBlockSize, options.chunkSize / kBlockSize * kBlockSize);
  AssembleResult result;
  PendingOutput out(outputPath);
  File prototype;
  File archive;
  // In the order of the output's bytes; the first step that fails ends the assembly.
  const std::pair<AssemblyStep, std::function<Status()>> steps[] = {
      {AssemblyStep::createOutput, [&] { return out.create(); }},
      {AssemblyStep::openPrototype, [&] { return openPlainFile(prototype, prototypePath); }},
      {AssemblyStep::measurePrototype, [&] { return measurePrototype(prototype, result); }},
      {AssemblyStep::copyPrototype,
       [&] { return copyDecodedPrototype(prototype, prototypePath, out, chunkSize, result); }},
      {AssemblyStep::findMarker, [&] { return markerStatus(result); }},
      {AssemblyStep::writeSettings, [&] { return writeSettings(out, settings); }},
      {AssemblyStep::openArchive, [&] { return openPlainFile(archive, archivePath); }},
      {AssemblyStep::copyArchive,
       [&] { return copyArchive(archive, archivePath, out, chunkSize); }},
      {AssemblyStep::sign,
       [&] {
         result.icon = out.writeIcon(icon);  // before the signature, which covers it
         return options.signing ? signInPlace(out, *options.signing, chunkSize) : Status();
       }},
      {AssemblyStep::commit, [&] { return out.commit(); }},
  };
  for (const auto& [step, run] : steps) {
    const Status status = run();
    if (!status) {
      result.stoppedAt = step;
      result.failure = status.failure();
      break;
    }
  }
  result.outputLength = out.written();
  result.built = result.stoppedAt == AssemblyStep::none;
  if (!result.built) out.discard();
  return result;
}

std::vector<BuildMessage> assemblyMessages(const AssembleResult& result) {
  if (result.built) return {kBuildSucceeded};
  std::vector<BuildMessage> messages;
  if (const auto message = stepMessage(result.stoppedAt)) messages.push_back(*message);
  messages.push_back(kBuildFailed);
  return messages;
}

// ---------------------------------------------------------------------------------------------

fs::path temporaryArchiveName(const fs::path& folder) {
  for (unsigned long n = 0;; ++n) {
    fs::path candidate = folder / ("tf" + std::to_string(n) + ".zlb");
    if (!fileExists(candidate)) return candidate;
  }
}

BuildResult buildExe(const BuildRequest& request) {
  BuildResult result;
  auto fail = [&](Failure failure) {
    result.failure = std::move(failure);
    return result;
  };
  if (!request.pageWritten) return fail(failure(BuildFailure::PageNotWritten));

  const fs::path folder = request.tempFolder.empty() ? systemTempFolder() : request.tempFolder;
  result.archivePath = temporaryArchiveName(folder);

  std::vector<Failure> logged;
  bool archiveCreated =
      false;  // a name taken by someone else in the meantime is not ours to remove
  try {
    // The archive is removed again right after the assembly: it needs no sync.
    SyncBatch neverSynced;
    zlb::TZLBArchive Archive1;
    Archive1.SyncLater = &neverSynced;
    Archive1.CheckCRC = true;
    Archive1.SavePaths = true;
    Archive1.RecursePaths = true;
    Archive1.OnErrorLogged = [&logged](const std::string& Msg) {
      logged.push_back(failure(BuildFailure::ArchiveFailed, Msg));
    };
    Archive1.CreateArchive(result.archivePath);
    archiveCreated = true;
    std::vector<fs::path> files{request.pagePath};
    Archive1.AddFiles(files);
    const int entries = Archive1.Count();
    Archive1.CloseArchive();
    if (entries != 1) logged.push_back(failure(BuildFailure::PageNotInArchive));
  } catch (const std::exception& error) {
    if (archiveCreated) removeFile(result.archivePath);
    return fail(failureOf(error));
  }
  if (!logged.empty()) {
    removeFile(result.archivePath);
    return fail(logged.front());
  }

  // The settings record the page's path as the archive does: in Windows-1252, "_" for what
  // it cannot hold. The viewer finds its page by name, so nothing depends on the rest.
  const WindowSettings settings{request.settings, utf8To1252Recorded(request.pagePath.native())};
  result.assembly = AssembleExe(request.prototypePath, result.archivePath, request.outputPath,
                                settings, request.options, request.icon);
  removeFile(result.archivePath);
  result.built = result.assembly.built;
  result.failure = result.assembly.failure;
  return result;
}

std::vector<BuildMessage> buildMessages(const BuildResult& result) {
  // A build that stopped before the assembly has an assembly that never ran: it failed
  // without a step of its own.
  return assemblyMessages(result.assembly);
}

}  // namespace vantrel::exe
