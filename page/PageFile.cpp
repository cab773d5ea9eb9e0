#include "page/PageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "page/FormPage.h"

namespace vantrel {
namespace {

std::string describeErrno(std::string_view step, const std::filesystem::path& path, int error) {
  std::string reason(step);
  reason += ' ';
  reason += path.string();
  reason += ": ";
  reason += std::strerror(error);
  return reason;
}

FileWriteResult failure(std::string reason) { return FileWriteResult{false, std::move(reason)}; }

// Exclusive creation of a name no one else uses; the folder is the target's, so the final
// rename never crosses a file system.
int createUniqueSibling(const std::filesystem::path& target, std::filesystem::path& created) {
  static std::atomic<unsigned> counter{0};
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string suffix = ".tmp." + std::to_string(::getpid()) + "." +
                               std::to_string(counter.fetch_add(1));
    created = target;
    created += suffix;
    const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void keepPermissionsOf(const std::filesystem::path& target, int fd) {
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  }
}

}  // namespace

FileWriteResult replaceFileContents(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::path temporary;
  const int fd = createUniqueSibling(path, temporary);
  if (fd < 0) return failure(describeErrno("cannot create", temporary, errno));

  keepPermissionsOf(path, fd);
  if (!writeAll(fd, bytes) || ::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    return failure(describeErrno("cannot write", temporary, error));
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return failure(describeErrno("cannot write", temporary, error));
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return failure(describeErrno("cannot replace", path, error));
  }
  return FileWriteResult{true, {}};
}

FileWriteResult writeFormPage(const std::filesystem::path& folder, const FieldList& fields,
                              std::string_view email) {
  return replaceFileContents(folder / kFormPageFileName,
                             generateFormPage(fields, email, formMailAction()));
}

}  // namespace vantrel
