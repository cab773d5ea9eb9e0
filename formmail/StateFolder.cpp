#include "formmail/StateFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "base/AtomicFile.h"
#include "base/ByteFile.h"
#include "base/FileIo.h"

namespace vantrel::formmail {
namespace {

namespace fs = std::filesystem;

// Each missing folder on the way is made for this user alone; std::filesystem would make
// them with the umask's permissions first and narrow them only afterwards.
bool makePrivateFolders(const fs::path& folder) {
  fs::path path;
  for (const fs::path& part : folder) {
    path /= part;
    if (path == path.root_path()) continue;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool inGroup(gid_t group) {
  if (group == ::getegid()) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int filled = ::getgroups(count, groups.data());
  return filled > 0 &&
         std::find(groups.begin(), groups.begin() + filled, group) != groups.begin() + filled;
}

}  // namespace

// Nobody outside may touch the state. Whoever owns a folder shared with a group of this user is
// trusted as that group is.
bool FolderLock::privateEnough(const struct stat& status) {
  if ((status.st_mode & S_IRWXO) != 0) return false;
  shared_ = (status.st_mode & S_IRWXG) != 0;
  if (shared_) return inGroup(status.st_gid);
  return status.st_uid == ::geteuid();
}

FolderLock::FolderLock(const fs::path& folder) {
  if (!makePrivateFolders(folder)) {
    why_ = "cannot create " + folder.string() + ": " + std::strerror(errno);
    return;
  }
  // O_NOFOLLOW: a link in place of the folder would hand the state to its owner.
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat status {};
  if (fd_ < 0 || ::fstat(fd_, &status) != 0) {
    why_ = "cannot open " + folder.string() + ": " + std::strerror(errno);
  } else if (!privateEnough(status)) {
    why_ = folder.string() +
           " is not private (owner only, mode 0700, or shared with a group of this user, mode "
           "2770, never with others)";
  } else if (::flock(fd_, LOCK_EX) != 0) {
    why_ = "cannot lock " + folder.string() + ": " + std::strerror(errno);
  }
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

std::string readState(const fs::path& path) {
  try {
    return readWholeFile(path);
  } catch (const Error&) {
    return {};
  }
}

// Inside the private, locked folder only this user can have put a link in place of the state
// file; it is removed rather than followed, so the state never lands anywhere else.
Status writeState(const FolderLock& lock, const fs::path& path, std::string_view text) {
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(path, error))) removeFile(path);
  Result<AtomicFile> file = AtomicFile::begin(path);
  if (!file) return file.status();
  if (Status written = file.value().write(text); !written) return written;
  return file.value().commit(lock.shared() ? mode_t{0660} : mode_t{0600});
}

}  // namespace vantrel::formmail
