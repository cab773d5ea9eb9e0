#include "answers/AnswerReader.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "answers/AnswerCsv.h"
#include "answers/MailPart.h"
#include "answers/Mbox.h"
#include "base/FailureKinds.h"
#include "base/FileIo.h"

namespace fs = std::filesystem;

namespace vantrel::answers {
namespace {

constexpr std::size_t kMostProblemsKept = 20;
constexpr std::size_t kReadChunk = 1 << 16;
// Progress is told after this many bytes or mails, whichever comes first, so that a window can
// follow a read of 100,000 mails without being flooded.
constexpr std::uint64_t kProgressBytes = 1 << 20;
constexpr std::uint64_t kProgressMails = 500;

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text;
}

// Counts, duplicates and progress for every kind of source alike.
class Collector {
 public:
  Collector(const ReadCallbacks& callbacks, std::uint64_t bytesTotal)
      : callbacks_(callbacks), bytesTotal_(bytesTotal) {}

  void take(MailAnswer&& mail, const std::string& where) {
    ++mails_;
    switch (mail.kind) {
      case MailKind::withoutAnswerPart:
        ++summary_.withoutAnswerPart;
        return;
      case MailKind::broken:
        noteBroken(where, std::move(mail.failure));
        return;
      case MailKind::answer:
        deliver(std::move(mail.answer));
        return;
    }
  }

  void deliver(Answer&& answer) {
    if (!answer.messageId.empty() && !seenIds_.insert(answer.messageId).second) {
      ++summary_.duplicates;
      return;
    }
    ++summary_.answers;
    if (callbacks_.onAnswer) callbacks_.onAnswer(std::move(answer));
  }

  void noteBroken(const std::string& where, Failure failure) {
    ++summary_.broken;
    if (summary_.problems.size() < kMostProblemsKept)
      summary_.problems.push_back(locatedIn(where, std::move(failure)));
  }

  // False once the caller has cancelled.
  [[nodiscard]] bool progress(std::uint64_t bytesDone, bool force = false) {
    if (summary_.cancelled) return false;
    if (!force && bytesDone - lastBytes_ < kProgressBytes && mails_ - lastMails_ < kProgressMails)
      return true;
    lastBytes_ = bytesDone;
    lastMails_ = mails_;
    if (callbacks_.onProgress && !callbacks_.onProgress(bytesDone, bytesTotal_))
      summary_.cancelled = true;
    return !summary_.cancelled;
  }

  ReadSummary summary() && { return std::move(summary_); }

 private:
  const ReadCallbacks& callbacks_;
  std::uint64_t bytesTotal_;
  ReadSummary summary_;
  std::unordered_set<std::string> seenIds_;
  std::uint64_t mails_ = 0;
  std::uint64_t lastBytes_ = 0;
  std::uint64_t lastMails_ = 0;
};

Failure mailTooLarge() { return failure(AnswerFailure::MailTooLarge, kLargestMailBytes >> 20); }

// The mail files of a source, in the order they are read. A folder of 100,000 mails is listed
// before the first is read, so the names share one buffer: a path object for each would cost
// several times the memory of the names themselves.
class MailFiles {
 public:
  void add(std::uint32_t folder, std::string_view name, std::uint64_t size) {
    entries_.push_back({folder, static_cast<std::uint32_t>(names_.size()),
                        static_cast<std::uint32_t>(name.size()), size});
    names_ += name;
  }
  std::uint32_t addFolder(const fs::path& folder) {
    folders_.push_back(folder);
    return static_cast<std::uint32_t>(folders_.size() - 1);
  }
  // Maildir names begin with the time of delivery: by name is the order the mails came in.
  void sortByName() {
    std::sort(entries_.begin(), entries_.end(),
              [&](const Entry& a, const Entry& b) { return nameOf(a) < nameOf(b); });
  }
  [[nodiscard]] std::size_t count() const { return entries_.size(); }
  [[nodiscard]] fs::path path(std::size_t index) const {
    return folders_[entries_[index].folder] / nameOf(entries_[index]);
  }
  [[nodiscard]] std::uint64_t size(std::size_t index) const { return entries_[index].size; }

 private:
  struct Entry {
    std::uint32_t folder;
    std::uint32_t nameAt;
    std::uint32_t nameLength;
    std::uint64_t size;
  };
  [[nodiscard]] std::string_view nameOf(const Entry& entry) const {
    return std::string_view(names_).substr(entry.nameAt, entry.nameLength);
  }
  std::vector<fs::path> folders_;
  std::string names_;
  std::vector<Entry> entries_;
};

// The mails of a Maildir (cur/ and new/) or the .eml files of a folder. Names beginning with "."
// are the mail programs' own files.
MailFiles mailFiles(const fs::path& folder, bool maildir) {
  MailFiles files;
  const std::vector<fs::path> folders = maildir
                                            ? std::vector<fs::path>{folder / "cur", folder / "new"}
                                            : std::vector<fs::path>{folder};
  for (const fs::path& inside : folders) {
    const std::uint32_t index = files.addFolder(inside);
    std::error_code error;
    for (fs::directory_iterator it(inside, error), end; !error && it != end; it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.starts_with(".") || !it->is_regular_file(error)) continue;
      if (!maildir && lowered(it->path().extension().string()) != ".eml") continue;
      const std::uint64_t size = it->file_size(error);
      files.add(index, name, error ? 0 : size);
      error.clear();
    }
  }
  files.sortByName();
  return files;
}

// A whole mail file into `mail`, which keeps its buffer from one mail to the next. The size is
// taken from the open file, so a mail over the limit is never read.
Status readMailFile(const fs::path& path, std::string& mail) {
  File file;
  if (!file.openForReading(path)) return failure(AnswerFailure::MailCannotBeOpened);
  const std::int64_t size = file.size();
  if (size < 0) return failure(AnswerFailure::MailCannotBeOpened);
  if (static_cast<std::uint64_t>(size) > kLargestMailBytes) return mailTooLarge();
  mail.resize(static_cast<std::size_t>(size));
  std::size_t filled = 0;
  while (filled < mail.size()) {
    const std::int64_t got = file.read(mail.data() + filled, mail.size() - filled);
    if (got < 0) return failure(AnswerFailure::MailCannotBeRead);
    if (got == 0) break;  // shortened while we read: what is there is judged as it is
    filled += static_cast<std::size_t>(got);
  }
  mail.resize(filled);
  (void)file.close();  // only read: nothing to lose
  return {};
}

ReadSummary readMailFiles(const MailFiles& files, const ReadCallbacks& callbacks) {
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < files.count(); ++i) total += files.size(i);
  Collector collector(callbacks, total);
  std::string mail;
  std::uint64_t done = 0;
  if (collector.progress(0, true)) {
    for (std::size_t i = 0; i < files.count(); ++i) {
      const fs::path path = files.path(i);
      const Status read = readMailFile(path, mail);
      if (read) {
        collector.take(answerInMail(mail), path.string());
      } else {
        collector.noteBroken(path.string(), read.failure());
      }
      done += files.size(i);
      if (!collector.progress(done)) break;
    }
    (void)collector.progress(done, true);  // the end, told even when it was cancelled
  }
  return std::move(collector).summary();
}

ReadSummary readMbox(File& file, const fs::path& path, const ReadCallbacks& callbacks) {
  const std::uint64_t total = static_cast<std::uint64_t>(std::max<std::int64_t>(0, file.size()));
  Collector collector(callbacks, total);
  std::uint64_t number = 0;
  const auto where = [&](std::uint64_t offset) {
    return path.string() + ", mail " + std::to_string(number) + " at byte " +
           std::to_string(offset);
  };
  MboxSplitter splitter(kLargestMailBytes,
                        [&](std::string_view mail, std::uint64_t offset, bool tooLarge) {
                          ++number;
                          if (tooLarge) {
                            collector.noteBroken(where(offset), mailTooLarge());
                          } else {
                            collector.take(answerInMail(mail), where(offset));
                          }
                        });
  std::string chunk(kReadChunk, '\0');
  std::uint64_t done = 0;
  bool going = collector.progress(0, true);
  while (going) {
    const std::int64_t got = file.read(chunk.data(), chunk.size());
    if (got < 0) collector.noteBroken(path.string(), failure(AnswerFailure::RestUnreadable));
    if (got <= 0) break;
    splitter.feed(std::string_view(chunk).substr(0, static_cast<std::size_t>(got)));
    done += static_cast<std::uint64_t>(got);
    going = collector.progress(done);
  }
  if (going) splitter.finish();
  (void)collector.progress(done, true);
  return std::move(collector).summary();
}

// The separator of an export: the first ";" or "," of the header, whose names hold neither.
char csvSeparator(std::string_view start) {
  if (start.starts_with(kUtf8ByteOrderMark)) start.remove_prefix(kUtf8ByteOrderMark.size());
  const std::size_t at = start.substr(0, start.find('\n')).find_first_of(";,");
  return at != std::string_view::npos && start[at] == ',' ? ',' : ';';
}

// `file` stands at `offset`, behind the byte order mark if there is one.
ReadSummary readCsv(File& file, std::uint64_t offset, char separator, const fs::path& path,
                    const ReadCallbacks& callbacks) {
  const std::uint64_t total = static_cast<std::uint64_t>(std::max<std::int64_t>(0, file.size()));
  Collector collector(callbacks, total);
  CsvRecordReader reader(file, separator, kLargestMailBytes);
  std::vector<std::string> names;
  std::vector<std::string> record;
  const auto where = [&] {
    return path.string() + ", record " + std::to_string(reader.recordNumber());
  };
  bool going =
      collector.progress(0, true) && reader.next(names) == CsvRecordReader::Outcome::record;
  while (going) {
    const CsvRecordReader::Outcome outcome = reader.next(record);
    if (outcome == CsvRecordReader::Outcome::end) break;
    if (outcome != CsvRecordReader::Outcome::record) {
      // Past a record that had to be cut off, the quotes cannot be trusted to pair up again.
      collector.noteBroken(where(), failure(outcome == CsvRecordReader::Outcome::tooLarge
                                                ? AnswerFailure::RecordTooLarge
                                                : AnswerFailure::RestUnreadable));
      break;
    }
    if (record.size() == 1 && record.front().empty()) continue;  // an empty line
    if (record.size() != names.size()) {
      collector.noteBroken(where(), failure(AnswerFailure::RecordFieldsDoNotMatch));
    } else {
      Answer answer;
      answer.receivedUtc = utcFromCsvTime(record.front());
      for (std::size_t i = 1; i < record.size(); ++i) {
        // An empty cell is a field that was not posted (or posted empty): not an answer.
        if (!record[i].empty()) answer.fields.emplace_back(names[i], std::move(record[i]));
      }
      collector.deliver(std::move(answer));
    }
    going = collector.progress(offset + reader.bytesRead());
  }
  (void)collector.progress(offset + reader.bytesRead(), true);
  return std::move(collector).summary();
}

enum class FileKind { mbox, csv, mail };

FileKind kindOf(const fs::path& path, std::string_view start) {
  if (start.starts_with("From ")) return FileKind::mbox;
  const bool csvName = lowered(path.extension().string()) == ".csv";
  // Exports before every text was quoted began with the bare header.
  const std::string bom(kUtf8ByteOrderMark);
  const std::string header(kReceivedColumn);
  if (csvName || start.starts_with(bom + header) || start.starts_with(bom + csvText(header)))
    return FileKind::csv;
  return FileKind::mail;
}

Result<ReadSummary> readFile(const fs::path& source, const ReadCallbacks& callbacks) {
  File file;
  if (!file.openForReading(source)) return failure(FileFailure::CannotOpenPlain, source);
  // Enough for the header of an export, which tells its separator.
  std::string start(4096, '\0');
  const std::int64_t got = file.readAt(0, start.data(), start.size());
  if (got < 0) return failure(FileFailure::CannotOpenPlain, source);
  start.resize(static_cast<std::size_t>(got));
  switch (kindOf(source, start)) {
    case FileKind::mbox:
      return readMbox(file, source, callbacks);
    case FileKind::csv: {
      const std::uint64_t offset =
          start.starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
      if (!file.seekTo(offset)) return failure(FileFailure::CannotOpenPlain, source);
      return readCsv(file, offset, csvSeparator(start), source, callbacks);
    }
    case FileKind::mail:
      break;
  }
  const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(0, file.size()));
  (void)file.close();  // only read; the mail is read again by its path
  MailFiles one;
  one.add(one.addFolder(source.parent_path()), source.filename().string(), size);
  return readMailFiles(one, callbacks);
}

}  // namespace

void ColumnOrder::add(const Answer& answer) {
  ++answers_;
  const std::uint64_t stamp = answers_;
  for (const auto& field : answer.fields) {
    const auto found = known_.find(field.first);
    if (found != known_.end()) {
      // A name posted twice in one answer counts once for it: the stamp marks the answer.
      if (carriedIn_[found->second] != stamp) ++carried_[found->second];
      carriedIn_[found->second] = stamp;
    } else if (names_.size() < kMostNamesKept) {
      known_.emplace(field.first, names_.size());
      names_.push_back(field.first);
      carried_.push_back(1);
      carriedIn_.push_back(stamp);
    } else {
      otherNames_.insert(std::hash<std::string>{}(field.first));
    }
  }
}

ColumnChoice ColumnOrder::choose(const std::vector<std::string>& known) const {
  const std::unordered_set<std::string_view> given(known.begin(), known.end());
  std::vector<std::size_t> others;  // indexes into names_, in first-seen order
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (!given.contains(names_[i])) others.push_back(i);
  }
  std::vector<bool> chosen(names_.size(), false);
  std::vector<std::size_t> byCount;
  for (const std::size_t i : others) {
    if (carried_[i] * 2 >= answers_) {
      chosen[i] = true;
    } else {
      byCount.push_back(i);
    }
  }
  const std::size_t extra = std::min(byCount.size(), kMostExtraColumns);
  std::stable_sort(byCount.begin(), byCount.end(),
                   [&](std::size_t a, std::size_t b) { return carried_[a] > carried_[b]; });
  for (std::size_t i = 0; i < extra; ++i) chosen[byCount[i]] = true;
  ColumnChoice choice;
  choice.names = known;
  for (const std::size_t i : others) {
    if (chosen[i]) choice.names.push_back(names_[i]);
  }
  choice.namesLeftOut = byCount.size() - extra + otherNames_.size();
  return choice;
}

Result<ReadSummary> readAnswers(const fs::path& source, const ReadCallbacks& callbacks) {
  std::error_code error;
  const fs::file_status status = fs::status(source, error);
  if (error || !fs::exists(status)) return failure(FileFailure::CannotOpenPlain, source);
  if (!fs::is_directory(status)) return readFile(source, callbacks);
  const bool maildir =
      fs::is_directory(source / "cur", error) || fs::is_directory(source / "new", error);
  fs::directory_iterator probe(source, error);
  if (error) return failure(FileFailure::CannotOpenPlain, source);
  return readMailFiles(mailFiles(source, maildir), callbacks);
}

}  // namespace vantrel::answers
