#include "formmail/Maildir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

namespace vantrel::formmail {
namespace {

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

Status ensureDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return {};
    return Failure{path + " exists but is no folder"};
  }
  return Failure{systemError("cannot create " + path)};
}

[[nodiscard]] bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The rename into new/ is only durable once the folder entry itself is on disk. Best effort:
// the mail already stands in new/, and calling it lost now would only have it posted twice.
void syncDirectory(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

Status writeToTmp(const std::string& tmpPath, std::string_view mail) {
  const int fd = ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Failure{systemError("cannot create " + tmpPath)};
  const bool ok = writeAll(fd, mail) && ::fsync(fd) == 0;
  Status written = ok ? Status() : Status(Failure{systemError("cannot write " + tmpPath)});
  if (::close(fd) != 0 && ok) return Failure{systemError("cannot close " + tmpPath)};
  return written;
}

}  // namespace

std::string localHostName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0') return "localhost";
  // '/' and ':' have a meaning in Maildir names.
  std::string name(buffer);
  for (char& c : name) {
    if (c == '/' || c == ':') c = '_';
  }
  return name;
}

std::string uniqueDeliveryName() {
  static std::atomic<unsigned long> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count() % 1000000;
  // Six digits of microseconds, so that names of one second sort in delivery order.
  std::string microDigits = std::to_string(micros);
  microDigits.insert(0, 6 - std::min<std::size_t>(6, microDigits.size()), '0');
  return std::to_string(seconds) + ".M" + microDigits + "P" + std::to_string(::getpid()) + "Q" +
         std::to_string(++counter) + "R" + std::to_string(random() & 0xFFFFFFFFu) + "." +
         localHostName();
}

Result<std::string> storeInMaildir(const std::string& maildir, std::string_view mail) {
  for (const std::string& folder :
       {maildir, maildir + "/tmp", maildir + "/new", maildir + "/cur"}) {
    if (const Status made = ensureDirectory(folder); !made) return Failure{made.reason()};
  }
  const std::string name = uniqueDeliveryName();
  const std::string tmpPath = maildir + "/tmp/" + name;
  const std::string newPath = maildir + "/new/" + name;
  Status moved = writeToTmp(tmpPath, mail);
  if (moved && ::rename(tmpPath.c_str(), newPath.c_str()) != 0) {
    moved = Failure{systemError("cannot move " + tmpPath + " into new/")};
  }
  if (!moved) {
    ::unlink(tmpPath.c_str());
    return Failure{moved.reason()};
  }
  syncDirectory(maildir + "/new");
  return newPath;
}

}  // namespace vantrel::formmail
