#include "base/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

namespace vantrel {

File::~File() { release(); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

bool File::openForReading(const std::filesystem::path& path) {
  release();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, forever. The
  // kind is checked on what was opened, so nothing can be swapped in between.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    errno = EINVAL;
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

bool File::openForUpdate(const std::filesystem::path& path) {
  release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  fd_ = fd;
  path_ = path;
  return true;
}

bool File::createUnique(const std::filesystem::path& folder, const std::string& prefix) {
  release();
  std::string pattern = folder.string();
  if (pattern.empty() || pattern.back() != '/') pattern += '/';
  pattern += prefix + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  fd_ = fd;
  path_ = name.data();
  return true;
}

bool File::createExclusive(const std::filesystem::path& path) {
  release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  fd_ = fd;
  path_ = path;
  return true;
}

std::int64_t File::size() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return -1;
  return info.st_size;
}

std::int64_t File::read(void* buffer, std::size_t count) {
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, count);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

std::int64_t File::readAt(std::uint64_t offset, void* buffer, std::size_t count) {
  for (;;) {
    const ssize_t got = ::pread(fd_, buffer, count, static_cast<off_t>(offset));
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

bool File::readExactlyAt(std::uint64_t offset, void* buffer, std::size_t count) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    const std::int64_t got = readAt(offset, bytes, count);
    if (got <= 0) return false;
    bytes += got;
    offset += static_cast<std::uint64_t>(got);
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool File::writeAll(const void* buffer, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (count > 0) {
    const ssize_t put = ::write(fd_, bytes, count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes += put;
    count -= static_cast<std::size_t>(put);
  }
  return true;
}

bool File::seekTo(std::uint64_t offset) {
  return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::truncateTo(std::uint64_t length) {
  return ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
}

bool File::flushToDisk() { return ::fdatasync(fd_) == 0; }

bool File::close() {
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

void File::release() { static_cast<void>(close()); }

bool fileExists(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool isFolder(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void removeFile(const std::filesystem::path& path) { ::unlink(path.c_str()); }

std::filesystem::path systemTempFolder() {
  const char* fromEnvironment = std::getenv("TMPDIR");
  std::string folder = (fromEnvironment && *fromEnvironment) ? fromEnvironment : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
  const std::string& text = path.native();
  const auto slash = text.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return text.substr(0, slash);
}

}  // namespace vantrel
