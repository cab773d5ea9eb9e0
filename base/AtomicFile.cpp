#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <utility>

#include "base/FailureKinds.h"
#include "base/TemporaryFiles.h"

namespace vantrel {
namespace {

std::mutex faultMutex;
std::optional<AtomicFile::Fault> injectedFault;

std::optional<AtomicFile::Fault> currentFault() {
  const std::lock_guard lock(faultMutex);
  return injectedFault;
}

std::string systemText(int error) { return std::strerror(error); }

Failure writeError(int error) { return failure(FileFailure::WriteFailed, systemText(error)); }

std::filesystem::path resolvedTarget(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) return path;
  const auto real = std::filesystem::weakly_canonical(path, error);
  return error ? path : real;
}

// Hidden, and named after the target, so a left-over after a power failure is recognisable.
[[nodiscard]] std::optional<File> createBeside(const std::filesystem::path& target) {
  const std::string base = target.filename().string().substr(0, 100);
  const std::filesystem::path folder = folderOf(target);
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate =
        folder / ("." + base + "." + std::to_string(random() % 1000000000u) + ".tmp");
    File file;
    if (file.createExclusive(candidate)) return file;
    if (errno != EEXIST) break;
  }
  return std::nullopt;
}

bool syncFails() {
  const auto fault = currentFault();
  return fault && fault->failSync;
}

void syncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // best effort: the rename itself has happened
  ::fsync(fd);
  ::close(fd);
}

Failure syncFailure(const std::filesystem::path& folder, int error) {
  return failure(FileFailure::CannotSync, folder, systemText(error));
}

}  // namespace

SyncBatch::~SyncBatch() { closeAll(); }

void SyncBatch::closeAll() {
  for (const FileSystem& fileSystem : fileSystems_) ::close(fileSystem.folder);
  fileSystems_.clear();
}

Status SyncBatch::note(int descriptor, const std::filesystem::path& folder) {
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) return syncFailure(folder, errno);
  for (const FileSystem& known : fileSystems_) {
    if (known.device == info.st_dev) return {};
  }
  const int opened = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (opened < 0) return syncFailure(folder, errno);
  fileSystems_.push_back({info.st_dev, opened, folder});
  return {};
}

// syncfs() writes out the whole file system the folder lies on, data and names, and reports
// any write error on it since the folder was opened: one call covers every file of the batch.
Status SyncBatch::flush() {
  Status result;
  for (const FileSystem& fileSystem : fileSystems_) {
    if (!result) break;
    if (syncFails()) {
      result = syncFailure(fileSystem.folderPath, EIO);
    } else if (::syncfs(fileSystem.folder) != 0) {
      result = syncFailure(fileSystem.folderPath, errno);
    }
  }
  closeAll();
  return result;
}

void AtomicFile::injectFaultForTests(std::optional<Fault> fault) {
  const std::lock_guard lock(faultMutex);
  injectedFault = fault;
}

Result<AtomicFile> AtomicFile::begin(const std::filesystem::path& target) {
  AtomicFile atomic;
  atomic.target_ = resolvedTarget(target);
  struct stat old {};
  if (::stat(atomic.target_.c_str(), &old) == 0) {
    // What could not be opened for writing in place is not replaced either.
    if (!S_ISREG(old.st_mode) || ::access(atomic.target_.c_str(), W_OK) != 0) {
      return failure(FileFailure::CannotWrite, target);
    }
    atomic.oldMode_ = old.st_mode & 07777;
  }
  const StopSignalsHeld held;
  auto file = createBeside(atomic.target_);
  if (!file) {
    return failure(FileFailure::CannotCreateBeside, atomic.target_, systemText(errno));
  }
  atomic.file_ = std::move(*file);
  atomic.open_ = true;
  registerTemporary(atomic.file_.path());
  return atomic;
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)),
      file_(std::move(other.file_)),
      oldMode_(other.oldMode_),
      written_(other.written_),
      handedToDisk_(other.handedToDisk_),
      open_(std::exchange(other.open_, false)) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this != &other) {
    discard();
    target_ = std::move(other.target_);
    file_ = std::move(other.file_);
    oldMode_ = other.oldMode_;
    written_ = other.written_;
    handedToDisk_ = other.handedToDisk_;
    open_ = std::exchange(other.open_, false);
  }
  return *this;
}

AtomicFile::~AtomicFile() { discard(); }

Status AtomicFile::write(const void* data, std::size_t size) {
  if (!open_) return writeError(EBADF);
  if (const auto fault = currentFault(); fault && written_ + size > fault->failAtByte) {
    const auto part =
        static_cast<std::size_t>(fault->failAtByte - std::min(written_, fault->failAtByte));
    if (part > 0 && file_.writeAll(data, part)) written_ += part;
    return writeError(EIO);
  }
  if (!file_.writeAll(data, size)) return writeError(errno);
  written_ += size;
  startWriteback();
  return {};
}

// A large file starts on its way to the disk while it is still being written, so that the sync
// at the end waits for the last few megabytes only instead of the whole file. Only a hint: a
// write error on the way is reported by that sync.
void AtomicFile::startWriteback() {
  constexpr std::uint64_t kStep = std::uint64_t{8} << 20;
  if (written_ - handedToDisk_ < kStep) return;
  static_cast<void>(::sync_file_range(file_.descriptor(), static_cast<off_t>(handedToDisk_),
                                      static_cast<off_t>(written_ - handedToDisk_),
                                      SYNC_FILE_RANGE_WRITE));
  handedToDisk_ = written_;
}

Status AtomicFile::truncateTo(std::uint64_t length) {
  if (!open_ || !file_.truncateTo(length) || !file_.seekTo(length)) {
    return writeError(errno);
  }
  written_ = length;
  handedToDisk_ = std::min(handedToDisk_, length);
  return {};
}

Status AtomicFile::commit(std::optional<mode_t> mode) {
  if (!open_) return writeError(EBADF);
  const bool injected = syncFails();
  if (injected || !file_.flushToDisk()) {
    const int error = injected ? EIO : errno;
    discard();
    return writeError(error);
  }
  if (const Status replaced = replaceTarget(mode); !replaced) return replaced;
  syncFolder(folderOf(target_));
  return {};
}

Status AtomicFile::commit(SyncBatch* later, std::optional<mode_t> mode) {
  if (!later) return commit(mode);
  if (!open_) return writeError(EBADF);
  if (const Status noted = later->note(file_.descriptor(), folderOf(target_)); !noted) {
    discard();
    return noted;
  }
  return replaceTarget(mode);
}

Status AtomicFile::replaceTarget(std::optional<mode_t> mode) {
  const auto wanted = mode ? mode : oldMode_;
  if (wanted && ::fchmod(file_.descriptor(), *wanted) != 0) {
    const int error = errno;
    discard();
    return writeError(error);
  }
  if (!file_.close()) {
    const int error = errno;
    discard();
    return writeError(error);
  }
  const auto fault = currentFault();
  if ((fault && fault->failRename) || std::rename(file_.path().c_str(), target_.c_str()) != 0) {
    const int error = fault && fault->failRename ? EIO : errno;
    discard();
    return failure(FileFailure::CannotReplace, target_, systemText(error));
  }
  open_ = false;
  unregisterTemporary(file_.path());
  return {};
}

void AtomicFile::discard() {
  if (!open_) return;
  open_ = false;
  static_cast<void>(file_.close());  // the new file is removed, its bytes do not matter
  removeFile(file_.path());
  unregisterTemporary(file_.path());
}

}  // namespace vantrel
