#include "formmail/RateLimiter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

bool MemoryRateLimiter::admit(std::string_view client) {
  const std::lock_guard lock(mutex_);
  return window_.admit(client, nowMillis(), perMinute_);
}

namespace {

class FileLock {
 public:
  // O_NOFOLLOW: the default state lies in the shared /tmp, where anyone may plant a link.
  explicit FileLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  [[nodiscard]] bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

std::string readWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  return text.str();
}

// The state is replaced by rename so that a crash mid-write leaves the old state, not half.
// The new file gets a fresh name of its own (mkstemp), so a link planted under a guessable
// name cannot redirect the write.
void writeReplacing(const std::string& path, const std::string& text) {
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return;
  std::string_view rest = text;
  bool ok = true;
  while (ok && !rest.empty()) {
    const ssize_t written = ::write(fd, rest.data(), rest.size());
    ok = written > 0 || (written < 0 && errno == EINTR);
    if (written > 0) rest.remove_prefix(static_cast<std::size_t>(written));
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) ::unlink(tmp.c_str());
}

}  // namespace

bool FileRateLimiter::admit(std::string_view client) {
  if (perMinute_ == 0) return true;
  const FileLock lock(path_ + ".lock");
  if (!lock.held()) return true;
  SlidingWindow window;
  window.deserialize(readWhole(path_));
  const bool admitted = window.admit(client, nowMillis(), perMinute_);
  if (admitted) writeReplacing(path_, window.serialize());
  return admitted;
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
