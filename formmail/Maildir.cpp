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

#include "base/FileIo.h"
#include "formmail/ReceiverFailure.h"

namespace vantrel::formmail {
namespace {

namespace fs = std::filesystem;

// The system's words for the last failed call.
std::string systemWords() { return std::strerror(errno); }

// The group of the folder may read the mails (the package's vantrel-formmail, for the people
// who export them); the umask may narrow that. In a folder with the set-group-ID bit the new
// ones inherit its group and the bit.
Status ensureDirectory(const fs::path& path) {
  if (::mkdir(path.c_str(), 0750) == 0 || errno == EEXIST) {
    if (isFolder(path)) return {};
    return failure(ReceiverFailure::NoFolder, path);
  }
  return failure(ReceiverFailure::CannotCreateFolder, path, systemWords());
}

// The rename into new/ is only durable once the folder entry itself is on disk. Best effort:
// the mail already stands in new/, and calling it lost now would only have it posted twice.
void syncDirectory(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    static_cast<void>(::fsync(fd));  // best effort, as said above
    ::close(fd);
  }
}

// A file of its own under tmp/, readable by this user and the folder's group alone (the
// answers are private to those who may export them), on disk before the mail is moved into
// new/. Its path is `file`'s, for the move.
Status writeToTmp(File& file, const fs::path& tmp, const std::string& name, std::string_view mail) {
  if (!file.createUnique(tmp, name + "."))
    return failure(ReceiverFailure::CannotCreateMail, tmp, systemWords());
  const bool ok = ::fchmod(file.descriptor(), 0640) == 0 &&
                  file.writeAll(mail.data(), mail.size()) && file.flushToDisk();
  Status written =
      ok ? Status() : Status(failure(ReceiverFailure::CannotWriteMail, file.path(), systemWords()));
  if (!file.close() && ok)
    return failure(ReceiverFailure::CannotCloseMail, file.path(), systemWords());
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

Result<fs::path> storeInMaildir(const fs::path& maildir, std::string_view mail) {
  for (const fs::path& folder : {maildir, maildir / "tmp", maildir / "new", maildir / "cur"}) {
    if (const Status made = ensureDirectory(folder); !made) return made.failure();
  }
  const std::string name = uniqueDeliveryName();
  const fs::path newPath = maildir / "new" / name;
  File file;
  Status moved = writeToTmp(file, maildir / "tmp", name, mail);
  if (moved && ::rename(file.path().c_str(), newPath.c_str()) != 0) {
    moved = failure(ReceiverFailure::CannotMoveMail, file.path(), systemWords());
  }
  if (!moved) {
    removeFile(file.path());  // nothing when it was never made
    return moved.failure();
  }
  syncDirectory(maildir / "new");
  return newPath;
}

}  // namespace vantrel::formmail
