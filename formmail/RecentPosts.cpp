#include "formmail/RecentPosts.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "base/FileIo.h"
#include "formmail/RateLimiter.h"
#include "formmail/StateFolder.h"

namespace vantrel::formmail {

bool RecentPostWindow::seen(std::string_view post, Millis now) {
  forgetBefore(now - kWindow);
  return byPost_.contains(post);
}

void RecentPostWindow::remember(std::string_view post, Millis now) {
  forgetBefore(now - kWindow);
  keep(std::string(post), now);
}

void RecentPostWindow::forgetBefore(Millis cutoff) {
  while (!byTime_.empty() && byTime_.front().time <= cutoff) {
    byPost_.erase(byTime_.front().post);
    byTime_.pop_front();
  }
}

void RecentPostWindow::keep(std::string post, Millis time) {
  if (byPost_.contains(post)) return;
  if (byTime_.size() >= kMaxPosts) {
    byPost_.erase(byTime_.front().post);
    byTime_.pop_front();
  }
  byTime_.push_back({time, std::move(post)});
  byPost_.emplace(byTime_.back().post, std::prev(byTime_.end()));
}

std::string RecentPostWindow::serialize() const {
  std::string text;
  for (const Entry& entry : byTime_) {
    text += std::to_string(entry.time);
    text += ' ';
    text += entry.post;
    text += '\n';
  }
  return text;
}

void RecentPostWindow::deserialize(std::string_view text) {
  byTime_.clear();
  byPost_.clear();
  std::vector<Entry> read;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    Millis time = 0;
    const auto [after, error] = std::from_chars(line.data(), line.data() + line.size(), time);
    const auto blank = static_cast<std::size_t>(after - line.data());
    if (error != std::errc{} || blank + 1 >= line.size() || line[blank] != ' ') continue;
    read.push_back({time, std::string(line.substr(blank + 1))});
  }
  // A file written in another order (by hand) is put in time order; only the newest are kept.
  std::stable_sort(read.begin(), read.end(),
                   [](const Entry& a, const Entry& b) { return a.time < b.time; });
  const std::size_t first = read.size() > kMaxPosts ? read.size() - kMaxPosts : 0;
  for (std::size_t i = first; i < read.size(); ++i) keep(std::move(read[i].post), read[i].time);
}

RepeatVerdict MemoryRecentPosts::check(std::string_view post) {
  const std::lock_guard lock(mutex_);
  if (window_.seen(post, nowMillis())) return {RepeatDecision::Repeat, {}};
  return {};
}

std::string MemoryRecentPosts::remember(std::string_view post) {
  const std::lock_guard lock(mutex_);
  window_.remember(post, nowMillis());
  return {};
}

RepeatVerdict FileRecentPosts::check(std::string_view post) {
  if (path_.empty()) return {RepeatDecision::Unavailable, "no folder for the recent posts"};
  const FolderLock lock(folderOf(path_));
  if (!lock.held()) return {RepeatDecision::Unavailable, "recent posts unusable: " + lock.why()};
  RecentPostWindow window;
  window.deserialize(readState(path_));
  if (window.seen(post, nowMillis())) return {RepeatDecision::Repeat, {}};
  return {};
}

std::string FileRecentPosts::remember(std::string_view post) {
  if (path_.empty()) return "no folder for the recent posts";
  const FolderLock lock(folderOf(path_));
  if (!lock.held()) return "recent posts unusable: " + lock.why();
  RecentPostWindow window;
  window.deserialize(readState(path_));
  window.remember(post, nowMillis());
  if (const Status kept = writeState(lock, path_, window.serialize()); !kept)
    return "recent posts not written: " + kept.reason();
  return {};
}

std::filesystem::path recentPostsPathBeside(const std::filesystem::path& rateStatePath) {
  if (rateStatePath.empty()) return {};
  return folderOf(rateStatePath) / "recent-posts";
}

namespace {

// FNV-1a, 64 bits: stable across runs, so the CGI program's file keeps meaning the same.
class Fingerprint {
 public:
  void add(std::string_view bytes) {
    // The length first, so that no two different lists of texts run together alike.
    const std::string length = std::to_string(bytes.size()) + ':';
    for (const char c : length) mix(c);
    for (const char c : bytes) mix(c);
  }
  [[nodiscard]] std::string hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return text;
  }

 private:
  void mix(char c) {
    hash_ ^= static_cast<unsigned char>(c);
    hash_ *= 0x100000001B3ULL;
  }
  std::uint64_t hash_ = 0xCBF29CE484222325ULL;
};

}  // namespace

std::string postIdentity(std::string_view client, std::string_view survey,
                         const PostedFields& fields) {
  Fingerprint fingerprint;
  fingerprint.add(survey);
  for (const auto& field : fields) {
    fingerprint.add(field.name);
    fingerprint.add(field.value);
  }
  return std::string(client) + ' ' + fingerprint.hex();
}

}  // namespace vantrel::formmail
