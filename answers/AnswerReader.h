#pragma once
// Reading answers back from where the receiver's mails end up: a Maildir folder, an mbox file, a
// folder of .eml files, or a CSV file written by `vantrel-formmail export`.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "answers/Answer.h"
#include "base/Result.h"

namespace vantrel::answers {

// A mail larger than this is counted as broken and skipped without being read: the receiver's
// mails are a few KiB, and this bounds the memory of a read.
inline constexpr std::uint64_t kLargestMailBytes = std::uint64_t{16} << 20;

// What a read found. A struct, not a Result: a read that could open its source always succeeds,
// and the caller needs the counts of what it skipped beside the answers it delivered.
struct ReadSummary {
  std::uint64_t answers = 0;            // delivered to onAnswer
  std::uint64_t duplicates = 0;         // same Message-ID seen before: skipped
  std::uint64_t withoutAnswerPart = 0;  // mails without "antwort.json" (foreign mail)
  std::uint64_t broken = 0;             // truncated mail, bad JSON, wrong version ...
  std::vector<Failure> problems;        // the first few, each naming the file/position
  bool cancelled = false;
};

struct ReadCallbacks {
  std::function<void(Answer&&)> onAnswer;
  // Called now and then; returning false cancels the read (summary.cancelled = true).
  std::function<bool(std::uint64_t bytesDone, std::uint64_t bytesTotal)> onProgress;
};

// Reads a Maildir folder (cur/ and new/), an mbox file, a folder of .eml files, or a CSV file
// written by `vantrel-formmail export` (columns: time of receipt, then fields). Streams: memory
// stays bounded by one mail (mails above a size limit, e.g. 16 MiB, are counted as broken and
// skipped without being read whole), plus the set of Message-IDs. A source that cannot be opened
// at all is a Failure; a bad mail never is.
[[nodiscard]] vantrel::Result<ReadSummary> readAnswers(const std::filesystem::path& source,
                                                       const ReadCallbacks& callbacks);

// A form's own fields are the names of its page; anything else a post carries is kept in the
// answer part and shown in at most this many columns more, so that posts made up of new names
// cannot widen a table without end.
inline constexpr std::size_t kMostExtraColumns = 50;
// Names are remembered whole up to this many; beyond it they are only counted.
inline constexpr std::size_t kMostNamesKept = 10'000;

// The columns chosen for a set of answers, and how many distinct names were left out of them.
struct ColumnChoice {
  std::vector<std::string> names;
  std::uint64_t namesLeftOut = 0;
};

// The field names of a set of answers: each in first-seen order with the number of answers that
// carry it. Linear in the fields added, bounded in memory.
class ColumnOrder {
 public:
  void add(const Answer& answer);
  // Every name kept, in first-seen order.
  [[nodiscard]] const std::vector<std::string>& names() const { return names_; }
  // The columns: `known` (the form's fields) first, then the names at least half of the answers
  // carry, then the names carried most often up to kMostExtraColumns more; all but `known` in
  // first-seen order.
  [[nodiscard]] ColumnChoice choose(const std::vector<std::string>& known = {}) const;

 private:
  std::uint64_t answers_ = 0;
  std::vector<std::string> names_;
  std::vector<std::uint64_t> carried_;    // per name: answers that carry it
  std::vector<std::uint64_t> carriedIn_;  // per name: the last answer that carried it
  std::unordered_map<std::string, std::size_t> known_;
  std::unordered_set<std::uint64_t> otherNames_;  // hashes of the names beyond kMostNamesKept
};

}  // namespace vantrel::answers
