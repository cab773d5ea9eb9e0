#pragma once
// The answers already read from one folder of one mailbox, kept in an SQLite file in the user's
// cache folder, so that a second read fetches only the mails the server did not have before.
// Keyed by the folder's UIDVALIDITY and each mail's UID: when the server renumbers the folder,
// everything kept is dropped. A mail the server no longer has stays, marked as gone.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "answers/MailPart.h"
#include "answers/mailbox/MailboxAddress.h"
#include "base/Result.h"

namespace vantrel::answers {

// $XDG_CACHE_HOME/vantrel-formulare, else $HOME/.cache/vantrel-formulare.
[[nodiscard]] std::filesystem::path defaultAnswerCacheFolder();
// The file of one mailbox folder in `folder`: a readable name and a hash of the whole address.
[[nodiscard]] std::filesystem::path answerCacheFile(const std::filesystem::path& folder,
                                                    const MailboxAddress& address);

class AnswerCache {
 public:
  // Opens the file, or makes it (and its folder). A file that SQLite cannot read, whose check
  // fails or whose layout is another is removed and made anew: its answers are fetched again.
  // A failure (CacheCannotBeOpened) only when no file can be made there at all.
  [[nodiscard]] static Result<std::unique_ptr<AnswerCache>> open(const std::filesystem::path& file);
  ~AnswerCache();
  AnswerCache(const AnswerCache&) = delete;
  AnswerCache& operator=(const AnswerCache&) = delete;

  // Keeps the mails of `uidValidity`; those of another are dropped first.
  [[nodiscard]] Status useUidValidity(std::uint32_t uidValidity);
  [[nodiscard]] Result<std::set<std::uint32_t>> knownUids();
  // One batch of mails read from the server, in one transaction.
  [[nodiscard]] Status store(const std::vector<std::pair<std::uint32_t, MailAnswer>>& batch);
  // Marks every kept mail whose UID is not in `onServer` as gone from the server.
  [[nodiscard]] Status markGone(const std::set<std::uint32_t>& onServer);
  // Every kept mail in UID order.
  [[nodiscard]] Status forEach(
      const std::function<void(std::uint32_t uid, MailAnswer&& mail, bool gone)>& visit);

  [[nodiscard]] bool wasRebuilt() const { return rebuilt_; }

 private:
  AnswerCache(void* database, std::filesystem::path file, bool rebuilt);
  [[nodiscard]] Status run(const char* sql);
  [[nodiscard]] Failure sqliteFailure() const;

  void* database_;  // sqlite3*
  std::filesystem::path file_;
  bool rebuilt_ = false;
};

}  // namespace vantrel::answers
