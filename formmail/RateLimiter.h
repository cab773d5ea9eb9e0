#pragma once
// Posts per client address within the last minute. The standalone server keeps the counts in
// memory; CGI programs live for one post each, so they share a state file under a lock.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace vantrel::formmail {

// The bookkeeping itself, without locking or storage.
class SlidingWindow {
 public:
  using Millis = std::int64_t;
  static constexpr Millis kWindow = 60'000;
  // Beyond this many clients within one minute new ones are refused, so memory stays bounded.
  static constexpr std::size_t kMaxClients = 100'000;

  // Counts the post and says yes while the client stays within `limit` posts a minute.
  // Refused posts are not recorded: a client that keeps trying is let in again one minute
  // after its last admitted post, and its history never grows beyond `limit` entries.
  [[nodiscard]] bool admit(std::string_view client, Millis now, unsigned limit);

  [[nodiscard]] std::string serialize() const;
  // Lines "client t1 t2 ..."; anything unreadable is skipped: a broken state file must not
  // stop the form from working.
  void deserialize(std::string_view text);

  [[nodiscard]] std::size_t clientCount() const { return clients_.size(); }

 private:
  void forgetOlderThan(Millis cutoff);
  std::map<std::string, std::deque<Millis>, std::less<>> clients_;
  Millis lastSweep_ = 0;
};

class RateLimiter {
 public:
  virtual ~RateLimiter() = default;
  [[nodiscard]] virtual bool admit(std::string_view client) = 0;
};

class MemoryRateLimiter : public RateLimiter {
 public:
  explicit MemoryRateLimiter(unsigned perMinute) : perMinute_(perMinute) {}
  [[nodiscard]] bool admit(std::string_view client) override;

 private:
  unsigned perMinute_;
  std::mutex mutex_;
  SlidingWindow window_;
};

class FileRateLimiter : public RateLimiter {
 public:
  FileRateLimiter(std::string path, unsigned perMinute)
      : path_(std::move(path)), perMinute_(perMinute) {}
  // When the state file cannot be used the post is admitted: the limit protects the
  // recipient's inbox, while losing a real submission would be worse.
  [[nodiscard]] bool admit(std::string_view client) override;

 private:
  std::string path_;
  unsigned perMinute_;
};

SlidingWindow::Millis nowMillis();

// Only characters an IP address (v4 or v6, with zone) can hold; the rest becomes '_'.
std::string clientKey(std::string_view remoteAddress);

}  // namespace vantrel::formmail
