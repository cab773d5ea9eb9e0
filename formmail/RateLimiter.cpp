#include "formmail/RateLimiter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "base/AtomicFile.h"
#include "base/ByteFile.h"
#include "base/FileIo.h"

namespace vantrel::formmail {

bool SlidingWindow::admit(std::string_view client, Millis now, unsigned limit) {
  if (limit == 0) return true;
  // Sweeping all clients on every post would cost a walk of the whole map; once a window is enough.
  if (now - lastSweep_ >= kWindow || clients_.size() >= kMaxClients) {
    forgetOlderThan(now - kWindow);
    lastSweep_ = now;
  }
  auto entry = clients_.find(client);
  if (entry == clients_.end()) {
    if (clients_.size() >= kMaxClients) return false;
    entry = clients_.emplace(std::string(client), std::deque<Millis>{}).first;
  }
  auto& times = entry->second;
  while (!times.empty() && times.front() <= now - kWindow) times.pop_front();
  if (times.size() >= limit) return false;
  times.push_back(now);
  return true;
}

void SlidingWindow::forgetOlderThan(Millis cutoff) {
  for (auto it = clients_.begin(); it != clients_.end();) {
    auto& times = it->second;
    while (!times.empty() && times.front() <= cutoff) times.pop_front();
    it = times.empty() ? clients_.erase(it) : std::next(it);
  }
}

std::string SlidingWindow::serialize() const {
  std::string text;
  for (const auto& [client, times] : clients_) {
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
  std::size_t start = 0;
  while (start < text.size() && clients_.size() < kMaxClients) {
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
    if (!times.empty()) clients_[std::string(line.substr(0, blank))] = std::move(times);
  }
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
    } else if (status.st_uid != ::geteuid() || (status.st_mode & 077) != 0) {
      why_ = folder.string() + " is not private (owner only, mode 0700)";
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

 private:
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
Status writeState(const fs::path& path, std::string_view text) {
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(path, error))) removeFile(path);
  Result<AtomicFile> file = AtomicFile::begin(path);
  if (!file) return file.status();
  if (Status written = file.value().write(text); !written) return written;
  return file.value().commit(mode_t{0600});
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
  if (const Status kept = writeState(path_, window.serialize()); !kept)
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

std::string clientKey(std::string_view remoteAddress) {
  std::string key;
  for (char c : remoteAddress.substr(0, 64)) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                    c == '.' || c == ':' || c == '%' || (c >= 'g' && c <= 'z');
    key += ok ? c : '_';
  }
  return key.empty() ? "unknown" : key;
}

}  // namespace vantrel::formmail
