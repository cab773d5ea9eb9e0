#include "formmail/RateLimiter.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <vector>

#include "base/FileIo.h"
#include "formmail/StateFolder.h"

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

namespace fs = std::filesystem;

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
  if (const Status kept = writeState(lock, path_, window.serialize()); !kept)
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
