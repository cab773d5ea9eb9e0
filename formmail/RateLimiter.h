#pragma once
// Posts per client address within the last minute. The standalone server keeps the counts in
// memory; CGI programs live for one post each, so they share a state file under a lock.

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace vantrel::formmail {

// The bookkeeping itself, without locking or storage. Each post costs the same whatever the
// number of clients: clients are kept in the order of their last admitted post, so the silent
// ones are forgotten from the front, one at a time.
class SlidingWindow {
 public:
  using Millis = std::int64_t;
  static constexpr Millis kWindow = 60'000;
  // At most this many clients are kept; a newcomer beyond it makes the window forget the client
  // whose last post is oldest, so a flood of new addresses can never lock others out.
  static constexpr std::size_t kMaxClients = 100'000;

  // Counts the post and says yes while the client stays within `limit` posts a minute.
  // Refused posts are not recorded: a client that keeps trying is let in again one minute
  // after its last admitted post, and its history never grows beyond `limit` entries.
  [[nodiscard]] bool admit(std::string_view client, Millis now, unsigned limit);

  // Lines "client t1 t2 ...", the client silent longest first.
  [[nodiscard]] std::string serialize() const;
  // Anything unreadable is skipped: a broken state file must not stop the form from working.
  void deserialize(std::string_view text);

  [[nodiscard]] std::size_t clientCount() const { return clients_.size(); }

 private:
  struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  struct Client {
    std::deque<Millis> times;              // admitted posts within the window, oldest first
    std::list<std::string>::iterator age;  // its place in byAge_
  };

  void forgetSilentSince(Millis cutoff);
  void forgetOldest();
  void keep(std::string key, std::deque<Millis> times);

  std::unordered_map<std::string, Client, TransparentHash, std::equal_to<>> clients_;
  std::list<std::string> byAge_;  // least recently admitted first
};

enum class RateDecision {
  Admitted,
  Limited,      // over the limit
  Unavailable,  // the counts cannot be kept safely; the post must not pass uncounted
};

// A struct rather than a Result: "limited" is an answer, not a failure, and an unavailable
// count carries its reason for the operator's log.
struct [[nodiscard]] RateVerdict {
  RateDecision decision = RateDecision::Admitted;
  std::string why;  // set when Unavailable
};

class RateLimiter {
 public:
  virtual ~RateLimiter() = default;
  [[nodiscard]] virtual RateVerdict decide(std::string_view client) = 0;
  [[nodiscard]] bool admit(std::string_view client) {
    return decide(client).decision == RateDecision::Admitted;
  }
};

class MemoryRateLimiter : public RateLimiter {
 public:
  explicit MemoryRateLimiter(unsigned perMinute) : perMinute_(perMinute) {}
  [[nodiscard]] RateVerdict decide(std::string_view client) override;

 private:
  unsigned perMinute_;
  std::mutex mutex_;
  SlidingWindow window_;
};

// The counts live in a file inside a private folder (owned by this user, no access for
// others; created so when missing), or one shared with a group this user is in and with
// nobody else (mode 2770, as the package makes it for the web server's user), and the lock is
// taken on that folder: nobody outside can plant a file, a link or a lock of their own there. When
// the folder is not private or the lock cannot be held, or the new count cannot be written, the
// post is not admitted uncounted: Unavailable, with the reason. A broken state file still counts as
// empty: it must not stop the form.
class FileRateLimiter : public RateLimiter {
 public:
  FileRateLimiter(std::filesystem::path path, unsigned perMinute)
      : path_(std::move(path)), perMinute_(perMinute) {}
  [[nodiscard]] RateVerdict decide(std::string_view client) override;

 private:
  std::filesystem::path path_;
  unsigned perMinute_;
};

SlidingWindow::Millis nowMillis();

// Where the CGI program keeps its counts when `rate_state` is not set: in the user's own
// runtime folder ($XDG_RUNTIME_DIR), else state folder ($XDG_STATE_HOME, else
// $HOME/.local/state), under vantrel-formmail/. Empty when the environment names none.
std::filesystem::path defaultRateStatePath();

// The key a client is counted under: an IPv4 address as it is, an IPv6 address by its /64
// ("2001:db8:1:2::/64"), since one host usually holds a whole /64 and could otherwise post
// from as many addresses as it likes; an IPv4 address mapped into IPv6 as the IPv4 address.
// Anything that is not an address keeps only the characters an address can hold, the rest '_'.
std::string clientKey(std::string_view remoteAddress);

}  // namespace vantrel::formmail
