#include "formmail/RateLimiter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <vector>

#include "base/AtomicFile.h"
#include "base/ByteFile.h"
#include "base/FileIo.h"

namespace vantrel::formmail {

bool SlidingWindow::admit(std::string_view client, Millis now, unsigned limit) {
  if (limit == 0) return true;
  forgetSilentSince(now - kWindow);
  auto entry = clients_.find(client);
  if (entry == clients_.end()) {
    if (clients_.size() >= kMaxClients) forgetOldest();
    byAge_.emplace_back(client);
    entry = clients_.emplace(std::string(client), Client{{}, std::prev(byAge_.end())}).first;
  }
  Client& known = entry->second;
  while (!known.times.empty() && known.times.front() <= now - kWindow) known.times.pop_front();
  if (known.times.size() >= limit) return false;
  known.times.push_back(now);
  byAge_.splice(byAge_.end(), byAge_, known.age);
  return true;
}

// The front client has the oldest last post of all: once that is out of the window, so is
// every post it made.
void SlidingWindow::forgetSilentSince(Millis cutoff) {
  while (!byAge_.empty()) {
    const auto front = clients_.find(byAge_.front());
    if (!front->second.times.empty() && front->second.times.back() > cutoff) break;
    forgetOldest();
  }
}

void SlidingWindow::forgetOldest() {
  clients_.erase(clients_.find(byAge_.front()));
  byAge_.pop_front();
}

void SlidingWindow::keep(std::string key, std::deque<Millis> times) {
  if (clients_.contains(key)) return;
  if (clients_.size() >= kMaxClients) forgetOldest();
  byAge_.push_back(key);
  clients_.emplace(std::move(key), Client{std::move(times), std::prev(byAge_.end())});
}

std::string SlidingWindow::serialize() const {
  std::string text;
  for (const std::string& client : byAge_) {
    const auto& times = clients_.find(client)->second.times;
    if (times.empty()) continue;
    text += client;
    for (const Millis t : times) {
      text += ' ';
      text += std::to_string(t);
    }
    text += '\n';
  }
  return text;
}

void SlidingWindow::deserialize(std::string_view text) {
  clients_.clear();
  byAge_.clear();
  std::vector<std::pair<std::string, std::deque<Millis>>> read;
  std::size_t start = 0;
  while (start < text.size() && read.size() < kMaxClients) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t blank = line.find(' ');
    if (blank == 0 || blank == std::string_view::npos) continue;
    std::deque<Millis> times;
    std::string_view rest = line.substr(blank + 1);
    while (!rest.empty()) {
      Millis t = 0;
      const auto [ptr, error] = std::from_chars(rest.data(), rest.data() + rest.size(), t);
      if (error != std::errc{} || (!times.empty() && t < times.back())) break;
      times.push_back(t);
      rest.remove_prefix(static_cast<std::size_t>(ptr - rest.data()));
      if (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
      else if (!rest.empty())
        break;
    }
    if (!times.empty()) read.emplace_back(std::string(line.substr(0, blank)), std::move(times));
  }
  // A file written in another order (by hand, or by an older receiver) is put in age order.
  std::stable_sort(read.begin(), read.end(),
                   [](const auto& a, const auto& b) { return a.second.back() < b.second.back(); });
  for (auto& [client, times] : read) keep(std::move(client), std::move(times));
}

RateVerdict MemoryRateLimiter::decide(std::string_view client) {
  const std::lock_guard lock(mutex_);
  if (window_.admit(client, nowMillis(), perMinute_)) return {};
  return {RateDecision::Limited, {}};
}

namespace {

namespace fs = std::filesystem;

// The folder that holds the state, created 0700 when missing (with any missing parents),
// locked for the time of one decision.
class FolderLock {
 public:
  explicit FolderLock(const fs::path& folder) {
    if (!makePrivateFolders(folder)) {
      why_ = "cannot create " + folder.string() + ": " + std::strerror(errno);
      return;
    }
    // O_NOFOLLOW: a link in place of the folder would hand the counts to its owner.
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
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  [[nodiscard]] bool held() const { return why_.empty(); }
  [[nodiscard]] const std::string& why() const { return why_; }
  // Whether the folder is shared with its group, whose members must read the counts too.
  [[nodiscard]] bool shared() const { return shared_; }

 private:
  // Nobody outside may touch the counts. A group may share them when this user is in it: the
  // package's group vantrel-formmail, which the web server's user joins so that every CGI
  // worker counts in one place. Whoever owns such a folder is trusted as its group is.
  bool privateEnough(const struct stat& status) {
    if ((status.st_mode & S_IRWXO) != 0) return false;
    shared_ = (status.st_mode & S_IRWXG) != 0;
    if (shared_) return inGroup(status.st_gid);
    return status.st_uid == ::geteuid();
  }

  static bool inGroup(gid_t group) {
    if (group == ::getegid()) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int filled = ::getgroups(count, groups.data());
    return filled > 0 &&
           std::find(groups.begin(), groups.begin() + filled, group) != groups.begin() + filled;
  }

  // Each missing folder on the way is made for this user alone; std::filesystem would make
  // them with the umask's permissions first and narrow them only afterwards.
  static bool makePrivateFolders(const fs::path& folder) {
    fs::path path;
    for (const fs::path& part : folder) {
      path /= part;
      if (path == path.root_path()) continue;
      if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
  }

  int fd_ = -1;
  bool shared_ = false;
  std::string why_;
};

// A missing state file means no counts yet, and a broken one must not stop the form: both
// count as empty.
std::string readState(const fs::path& path) {
  try {
    return readWholeFile(path);
  } catch (const Error&) {
    return {};
  }
}

// Inside the private, locked folder only this user can have put a link in place of the state
// file; it is removed rather than followed, so the counts never land anywhere else.
Status writeState(const fs::path& path, std::string_view text, mode_t mode) {
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(path, error))) removeFile(path);
  Result<AtomicFile> file = AtomicFile::begin(path);
  if (!file) return file.status();
  if (Status written = file.value().write(text); !written) return written;
  return file.value().commit(mode);
}

}  // namespace

RateVerdict FileRateLimiter::decide(std::string_view client) {
  if (perMinute_ == 0) return {};
  if (path_.empty())
    return {RateDecision::Unavailable, "no folder for the rate state: set rate_state"};
  const FolderLock lock(folderOf(path_));
  if (!lock.held()) return {RateDecision::Unavailable, "rate state unusable: " + lock.why()};
  SlidingWindow window;
  window.deserialize(readState(path_));
  if (!window.admit(client, nowMillis(), perMinute_)) return {RateDecision::Limited, {}};
  // A post whose count was not kept would not be counted against the next ones.
  const mode_t mode = lock.shared() ? 0660 : 0600;
  if (const Status kept = writeState(path_, window.serialize(), mode); !kept)
    return {RateDecision::Unavailable, "rate state not written: " + kept.reason()};
  return {};
}

fs::path defaultRateStatePath() {
  const auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return fs::path(value != nullptr && value[0] == '/' ? value : "");
  };
  fs::path folder = variable("XDG_RUNTIME_DIR");
  if (folder.empty()) folder = variable("XDG_STATE_HOME");
  if (folder.empty() && !variable("HOME").empty()) folder = variable("HOME") / ".local/state";
  return folder.empty() ? fs::path() : folder / "vantrel-formmail/rate";
}

SlidingWindow::Millis nowMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

namespace {

std::string printableKey(std::string_view remoteAddress) {
  std::string key;
  for (char c : remoteAddress.substr(0, 64)) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                    c == '.' || c == ':' || c == '%' || (c >= 'g' && c <= 'z');
    key += ok ? c : '_';
  }
  return key.empty() ? "unknown" : key;
}

// The /64 of an IPv6 address, or its IPv4 address when it is one mapped into IPv6.
std::optional<std::string> ipv6Key(std::string_view remoteAddress) {
  const std::string address(remoteAddress.substr(0, remoteAddress.find('%')));  // no zone
  in6_addr bytes{};
  if (address.size() > INET6_ADDRSTRLEN || ::inet_pton(AF_INET6, address.c_str(), &bytes) != 1)
    return std::nullopt;
  if (IN6_IS_ADDR_V4MAPPED(&bytes)) {
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &bytes.s6_addr[12], text, sizeof text) == nullptr) return std::nullopt;
    return std::string(text);
  }
  std::fill(std::begin(bytes.s6_addr) + 8, std::end(bytes.s6_addr), 0);
  char text[INET6_ADDRSTRLEN] = {};
  if (::inet_ntop(AF_INET6, &bytes, text, sizeof text) == nullptr) return std::nullopt;
  return std::string(text) + "/64";
}

}  // namespace

std::string clientKey(std::string_view remoteAddress) {
  if (remoteAddress.find(':') != std::string_view::npos) {
    if (auto key = ipv6Key(remoteAddress)) return *key;
  }
  return printableKey(remoteAddress);
}

}  // namespace vantrel::formmail
