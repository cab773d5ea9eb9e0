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

void syncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // best effort: the rename itself has happened
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

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
      open_(std::exchange(other.open_, false)) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this != &other) {
    discard();
    target_ = std::move(other.target_);
    file_ = std::move(other.file_);
    oldMode_ = other.oldMode_;
    written_ = other.written_;
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
  return {};
}

Status AtomicFile::truncateTo(std::uint64_t length) {
  if (!open_ || !file_.truncateTo(length) || !file_.seekTo(length)) {
    return writeError(errno);
  }
  written_ = length;
  return {};
}

Status AtomicFile::commit(std::optional<mode_t> mode) {
  if (!open_) return writeError(EBADF);
  const auto fault = currentFault();
  if ((fault && fault->failSync) || !file_.flushToDisk()) {
    const int error = fault && fault->failSync ? EIO : errno;
    discard();
    return writeError(error);
  }
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
  if ((fault && fault->failRename) || std::rename(file_.path().c_str(), target_.c_str()) != 0) {
    const int error = fault && fault->failRename ? EIO : errno;
    discard();
    return failure(FileFailure::CannotReplace, target_, systemText(error));
  }
  open_ = false;
  unregisterTemporary(file_.path());
  syncFolder(folderOf(target_));
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
