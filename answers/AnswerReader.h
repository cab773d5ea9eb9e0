#pragma once
// Reading answers back from where the receiver's mails end up: a Maildir folder, an mbox file, a
// folder of .eml files, or a CSV file written by `vantrel-formmail export`.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
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

// The columns of a set of answers: the union of the field names in first-seen order.
class ColumnOrder {
 public:
  void add(const Answer& answer);
  [[nodiscard]] const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
  std::unordered_map<std::string, std::size_t> known_;
};

}  // namespace vantrel::answers
