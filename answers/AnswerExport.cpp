#include "answers/AnswerExport.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "answers/AnswerCsv.h"
#include "answers/AnswerWorkbook.h"
#include "base/FailureKinds.h"

namespace vantrel::answers {
namespace {

// Writes are gathered to this size: a hundred thousand small records in a few hundred writes.
constexpr std::size_t kWriteChunk = 1 << 20;

class BufferedOutput {
 public:
  explicit BufferedOutput(const ExportWriter& write) : write_(write) {}

  void add(std::string_view bytes) {
    if (!status_) return;
    pending_ += bytes;
    if (pending_.size() >= kWriteChunk) flush();
  }
  void flush() {
    if (status_ && !pending_.empty()) status_ = write_(pending_);
    pending_.clear();
  }
  [[nodiscard]] const Status& status() const { return status_; }

 private:
  const ExportWriter& write_;
  std::string pending_;
  Status status_;
};

bool ofTheForm(const Answer& answer, const ExportOptions& options) {
  return !options.formId || answer.formId == *options.formId;
}

bool ofTheSurvey(const Answer& answer, const ExportOptions& options) {
  return !options.survey || answer.survey == *options.survey;
}

// The answers of the first reading kept in a temporary file, so that the records are written
// from there instead of reading and decoding every mail a second time. The file has no name (it
// goes when it is closed, whatever ends the process) and is read back in the order it was
// written: memory holds one answer.
class AnswerSpool {
 public:
  AnswerSpool() : file_(std::tmpfile()) {}
  ~AnswerSpool() {
    if (file_) std::fclose(file_);
  }
  AnswerSpool(const AnswerSpool&) = delete;
  AnswerSpool& operator=(const AnswerSpool&) = delete;

  [[nodiscard]] bool usable() const { return file_ && !failed_; }

  void add(const Answer& answer) {
    putText(answer.receivedUtc);
    putNumber(answer.fields.size());
    for (const auto& [name, value] : answer.fields) {
      putText(name);
      putText(value);
    }
  }
  [[nodiscard]] bool rewind() { return usable() && std::fseek(file_, 0, SEEK_SET) == 0; }
  // False at the end or on a read error (then usable() is false).
  [[nodiscard]] bool next(Answer& answer) {
    std::uint64_t fields = 0;
    answer.fields.clear();
    if (!getText(answer.receivedUtc)) return false;
    if (!getNumber(fields)) return fail();
    answer.fields.resize(fields);
    for (auto& [name, value] : answer.fields) {
      if (!getText(name) || !getText(value)) return fail();
    }
    return true;
  }

 private:
  bool fail() {
    failed_ = true;
    return false;
  }
  void putNumber(std::uint64_t value) {
    if (usable() && std::fwrite(&value, sizeof value, 1, file_) != 1) failed_ = true;
  }
  void putText(std::string_view text) {
    putNumber(text.size());
    if (usable() && !text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size())
      failed_ = true;
  }
  bool getNumber(std::uint64_t& value) { return std::fread(&value, sizeof value, 1, file_) == 1; }
  bool getText(std::string& text) {
    std::uint64_t size = 0;
    if (!getNumber(size)) return false;
    // Only this file's own writes are read back; a size beyond a mail's is a broken file.
    if (size > kLargestMailBytes) return fail();
    text.resize(size);
    return size == 0 || std::fread(text.data(), 1, size, file_) == size || fail();
  }

  std::FILE* file_;
  bool failed_ = false;
};

// One answer's cells: per column the values posted under its name.
class TableRows {
 public:
  explicit TableRows(const std::vector<std::string>& columns) : cells_(columns.size()) {
    for (std::size_t i = 0; i < columns.size(); ++i) index_.emplace(columns[i], i);
  }

  // False when the answer has a field without a column (it is left out).
  bool fill(const Answer& answer) {
    for (std::string& cell : cells_) cell.clear();
    filled_.assign(cells_.size(), false);
    bool complete = true;
    for (const auto& [name, value] : answer.fields) {
      const auto column = index_.find(name);
      if (column == index_.end()) {
        complete = false;
        continue;
      }
      std::string& cell = cells_[column->second];
      if (filled_[column->second]) cell += kRepeatedValueJoin;
      cell += value;
      filled_[column->second] = true;
    }
    return complete;
  }
  [[nodiscard]] const std::vector<std::string>& cells() const { return cells_; }

 private:
  std::unordered_map<std::string, std::size_t> index_;
  std::vector<std::string> cells_;
  std::vector<bool> filled_;
};

// Where the rows of a table go.
class TableOutput {
 public:
  virtual ~TableOutput() = default;
  [[nodiscard]] virtual Status begin(const std::vector<std::string>& columns) = 0;
  virtual void row(const std::string& receivedUtc, const std::vector<std::string>& cells) = 0;
  [[nodiscard]] virtual bool going() const = 0;
  [[nodiscard]] virtual Status finish(ExportSummary& summary) = 0;
};

class CsvOutput : public TableOutput {
 public:
  CsvOutput(const ExportWriter& write, char separator) : output_(write), separator_(separator) {}
  Status begin(const std::vector<std::string>& columns) override {
    std::vector<std::string> header{std::string(kReceivedColumn)};
    header.insert(header.end(), columns.begin(), columns.end());
    output_.add(std::string(kUtf8ByteOrderMark) + csvRecord(header, separator_));
    return {};
  }
  void row(const std::string& receivedUtc, const std::vector<std::string>& cells) override {
    output_.add(csvAnswerRecord(csvTimeFromUtc(receivedUtc), cells, separator_));
  }
  [[nodiscard]] bool going() const override { return output_.status().ok(); }
  Status finish(ExportSummary& /*summary*/) override {
    output_.flush();
    return output_.status();
  }

 private:
  BufferedOutput output_;
  char separator_;
};

class WorkbookOutput : public TableOutput {
 public:
  explicit WorkbookOutput(std::filesystem::path target) : target_(std::move(target)) {}
  Status begin(const std::vector<std::string>& columns) override {
    Result<AnswerWorkbook> begun = AnswerWorkbook::begin(target_, columns);
    if (!begun) return begun.failure();
    workbook_ = std::make_unique<AnswerWorkbook>(std::move(begun).value());
    return {};
  }
  void row(const std::string& receivedUtc, const std::vector<std::string>& cells) override {
    if (status_) status_ = workbook_->addRow(receivedUtc, cells);
  }
  [[nodiscard]] bool going() const override { return status_.ok(); }
  Status finish(ExportSummary& summary) override {
    if (!status_) return status_;
    summary.textsCut = workbook_->textsCut();
    return workbook_->commit();
  }

 private:
  std::filesystem::path target_;
  std::unique_ptr<AnswerWorkbook> workbook_;
  Status status_;
};

// Counts an answer the options leave out; true when it is selected.
bool countUnselected(const Answer& answer, const ExportOptions& options, ExportSummary& summary) {
  if (!ofTheForm(answer, options)) {
    ++summary.otherForms;
    return false;
  }
  if (!ofTheSurvey(answer, options)) {
    ++summary.otherSurveys;
    return false;
  }
  return true;
}

// The records of the table from `spool`, once the columns are known.
void writeRows(AnswerSpool& spool, const ColumnChoice& columns, TableOutput& output,
               ExportSummary& summary) {
  TableRows rows(columns.names);
  Answer answer;
  while (output.going() && spool.next(answer)) {
    if (!rows.fill(answer)) ++summary.withLeftOutFields;
    output.row(answer.receivedUtc, rows.cells());
    ++summary.written;
  }
}

// The source is read once: the columns are counted while the answers go into the spool, and the
// records are written from the spool.
Result<ExportSummary> exportTable(const AnswerSource& source, const ExportOptions& options,
                                  TableOutput& output) {
  AnswerSpool spool;
  if (!spool.usable()) return failure(FileFailure::WriteFailedPlain);
  ExportSummary summary;
  ColumnOrder order;
  ReadCallbacks callbacks;
  callbacks.onAnswer = [&](Answer&& answer) {
    if (!countUnselected(answer, options, summary)) return;
    order.add(answer);
    spool.add(answer);
  };
  callbacks.onProgress = [&](std::uint64_t, std::uint64_t) { return spool.usable(); };
  Result<ReadSummary> read = source(callbacks);
  if (!read) return read.failure();
  if (!spool.rewind()) return failure(FileFailure::WriteFailedPlain);
  const ColumnChoice columns = order.choose();
  if (Status begun = output.begin(columns.names); !begun) return begun.failure();
  summary.namesLeftOut = columns.namesLeftOut;
  writeRows(spool, columns, output, summary);
  if (!spool.usable()) return failure(FileFailure::WriteFailedPlain);
  if (Status finished = output.finish(summary); !finished) return finished.failure();
  summary.read = std::move(read).value();
  return summary;
}

Result<ExportSummary> exportJsonLines(const AnswerSource& source, const ExportOptions& options,
                                      const ExportWriter& write) {
  BufferedOutput output(write);
  ExportSummary summary;
  ReadCallbacks callbacks;
  callbacks.onAnswer = [&](Answer&& answer) {
    if (!countUnselected(answer, options, summary)) return;
    output.add(answerJson(answer) + "\n");
    ++summary.written;
  };
  callbacks.onProgress = [&](std::uint64_t, std::uint64_t) { return output.status().ok(); };
  Result<ReadSummary> read = source(callbacks);
  if (!read) return read.failure();
  output.flush();
  if (!output.status()) return output.status().failure();
  summary.read = std::move(read).value();
  return summary;
}

}  // namespace

bool selectedBy(const Answer& answer, const ExportOptions& options) {
  return ofTheForm(answer, options) && ofTheSurvey(answer, options);
}

AnswerSource answersIn(const std::filesystem::path& source) {
  return [source](const ReadCallbacks& callbacks) { return readAnswers(source, callbacks); };
}

Result<ExportSummary> exportAnswers(const std::filesystem::path& source,
                                    const ExportOptions& options, const ExportWriter& write) {
  return exportAnswers(answersIn(source), options, write);
}

Result<ExportSummary> exportAnswersToWorkbook(const std::filesystem::path& source,
                                              const ExportOptions& options,
                                              const std::filesystem::path& target) {
  return exportAnswersToWorkbook(answersIn(source), options, target);
}

Result<ExportSummary> exportAnswers(const AnswerSource& source, const ExportOptions& options,
                                    const ExportWriter& write) {
  if (options.format == ExportFormat::jsonLines) return exportJsonLines(source, options, write);
  CsvOutput csv(write, options.separator);
  return exportTable(source, options, csv);
}

Result<ExportSummary> exportAnswersToWorkbook(const AnswerSource& source,
                                              const ExportOptions& options,
                                              const std::filesystem::path& target) {
  WorkbookOutput workbook(target);
  return exportTable(source, options, workbook);
}

}  // namespace vantrel::answers
