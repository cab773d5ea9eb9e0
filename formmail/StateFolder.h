#pragma once
// The private folder where the CGI program keeps what must outlive one post (the rate counts,
// the posts stored lately): created for this user alone, locked for the time of one decision.
// A folder may instead be shared with one group of this user (the package's vantrel-formmail,
// which the web server's user joins, so that every CGI worker counts in one place), never
// with others.

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace vantrel::formmail {

// The folder, created 0700 when missing (with any missing parents), locked while the object
// lives. Not held when the folder is open to others or cannot be locked; why() says so.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  [[nodiscard]] bool held() const { return why_.empty(); }
  [[nodiscard]] const std::string& why() const { return why_; }
  // Whether the folder is shared with its group, whose members must read the state too.
  [[nodiscard]] bool shared() const { return shared_; }

 private:
  bool privateEnough(const struct stat& status);

  int fd_ = -1;
  bool shared_ = false;
  std::string why_;
};

// A missing state file means nothing kept yet, and a broken one must not stop the form: both
// read as empty.
std::string readState(const std::filesystem::path& path);

// Replaces the state file through a new file renamed over it, 0600 or, in a folder shared with
// its group, 0660. Called with the folder's lock held.
[[nodiscard]] Status writeState(const FolderLock& lock, const std::filesystem::path& path,
                                std::string_view text);

}  // namespace vantrel::formmail
