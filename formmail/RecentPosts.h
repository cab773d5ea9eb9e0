#pragma once
// The posts stored in the last ten minutes, so that one post sent again (back and send once
// more, a reload of the thank-you page) is stored only once. A post is known by its client and
// a fingerprint of everything it posted. The standalone server keeps them in memory; CGI
// programs live for one post each, so they keep them in a file beside the rate counts.

#include <cstdint>
#include <filesystem>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "formmail/FormParser.h"

namespace vantrel::formmail {

// The bookkeeping itself, without locking or storage.
class RecentPostWindow {
 public:
  using Millis = std::int64_t;
  static constexpr Millis kWindow = Millis{10} * 60'000;
  // At most this many posts are kept, the oldest forgotten first: a flood of posts can make the
  // receiver forget a repeat, never refuse a post.
  static constexpr std::size_t kMaxPosts = 100'000;

  // Whether the post was remembered within the window before `now`.
  [[nodiscard]] bool seen(std::string_view post, Millis now);
  // Remembers a post that was stored.
  void remember(std::string_view post, Millis now);

  // Lines "time post", oldest first.
  [[nodiscard]] std::string serialize() const;
  // Anything unreadable is skipped: a broken state file must not stop the form.
  void deserialize(std::string_view text);

  [[nodiscard]] std::size_t size() const { return byPost_.size(); }

 private:
  struct Entry {
    Millis time;
    std::string post;
  };
  void forgetBefore(Millis cutoff);
  void keep(std::string post, Millis time);

  std::list<Entry> byTime_;                                                  // oldest first
  std::unordered_map<std::string_view, std::list<Entry>::iterator> byPost_;  // keys in byTime_
};

enum class RepeatDecision {
  First,
  Repeat,       // stored within the window: answered as the first was, nothing stored
  Unavailable,  // cannot tell; the post is stored rather than lost
};

struct [[nodiscard]] RepeatVerdict {
  RepeatDecision decision = RepeatDecision::First;
  std::string why;  // set when Unavailable
};

// A post is looked up before it is stored and remembered once it is: a post that was not
// stored must never be taken for a repeat, and if remembering fails the worst is a post stored
// twice. Two equal posts at the very same moment may both be stored, for the same reason.
class RecentPosts {
 public:
  virtual ~RecentPosts() = default;
  [[nodiscard]] virtual RepeatVerdict check(std::string_view post) = 0;
  // Says why when the post could not be remembered, for the operator's log.
  [[nodiscard]] virtual std::string remember(std::string_view post) = 0;
};

class MemoryRecentPosts : public RecentPosts {
 public:
  [[nodiscard]] RepeatVerdict check(std::string_view post) override;
  [[nodiscard]] std::string remember(std::string_view post) override;

 private:
  std::mutex mutex_;
  RecentPostWindow window_;
};

// The posts live in a file of a private folder, locked as the rate counts are.
class FileRecentPosts : public RecentPosts {
 public:
  explicit FileRecentPosts(std::filesystem::path path) : path_(std::move(path)) {}
  [[nodiscard]] RepeatVerdict check(std::string_view post) override;
  [[nodiscard]] std::string remember(std::string_view post) override;

 private:
  std::filesystem::path path_;
};

// The file beside the rate counts; empty when they have no place either.
std::filesystem::path recentPostsPathBeside(const std::filesystem::path& rateStatePath);

// How a post is known: the client's key, a blank and a fingerprint of the survey key and every
// posted name and value in post order.
std::string postIdentity(std::string_view client, std::string_view survey,
                         const PostedFields& fields);

}  // namespace vantrel::formmail
