#include "answers/AnswerExport.h"

#include <unordered_map>
#include <vector>

#include "answers/AnswerCsv.h"

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

bool wanted(const Answer& answer, const ExportOptions& options) {
  return !options.formId || answer.formId == *options.formId;
}

Result<ColumnOrder> columnsOf(const AnswerSource& source, const ExportOptions& options) {
  ColumnOrder columns;
  ReadCallbacks callbacks;
  callbacks.onAnswer = [&](Answer&& answer) {
    if (wanted(answer, options)) columns.add(answer);
  };
  const Result<ReadSummary> read = source(callbacks);
  if (!read) return read.failure();
  return columns;
}

// One CSV record: the time, then per column the values posted under its name.
class CsvRecords {
 public:
  CsvRecords(const ColumnOrder& columns, char separator) : separator_(separator) {
    std::vector<std::string> header{std::string(kReceivedColumn)};
    for (const std::string& name : columns.names()) {
      index_.emplace(name, header.size());
      header.push_back(name);
    }
    width_ = header.size();
    header_ = std::string(kUtf8ByteOrderMark) + csvRecord(header, separator_);
  }

  [[nodiscard]] const std::string& header() const { return header_; }

  // False when the answer has a field the header does not name (it is left out).
  bool record(const Answer& answer, std::string& out) const {
    std::vector<std::string> cells(width_);
    std::vector<bool> filled(width_, false);
    cells[0] = csvTimeFromUtc(answer.receivedUtc);
    bool complete = true;
    for (const auto& [name, value] : answer.fields) {
      const auto column = index_.find(name);
      if (column == index_.end()) {
        complete = false;
        continue;
      }
      std::string& cell = cells[column->second];
      if (filled[column->second]) cell += kRepeatedValueJoin;
      cell += value;
      filled[column->second] = true;
    }
    out = csvRecord(cells, separator_);
    return complete;
  }

 private:
  char separator_;
  std::unordered_map<std::string, std::size_t> index_;
  std::size_t width_ = 1;
  std::string header_;
};

}  // namespace

Result<ExportSummary> exportAnswers(const std::filesystem::path& source,
                                    const ExportOptions& options, const ExportWriter& write) {
  return exportAnswers(
      [&](const ReadCallbacks& callbacks) { return readAnswers(source, callbacks); }, options,
      write);
}

Result<ExportSummary> exportAnswers(const AnswerSource& source, const ExportOptions& options,
                                    const ExportWriter& write) {
  std::optional<CsvRecords> csv;
  if (options.format == ExportFormat::csv) {
    Result<ColumnOrder> columns = columnsOf(source, options);
    if (!columns) return columns.failure();
    csv.emplace(columns.value(), options.separator);
  }
  BufferedOutput output(write);
  if (csv) output.add(csv->header());
  ExportSummary summary;
  std::string record;
  ReadCallbacks callbacks;
  callbacks.onAnswer = [&](Answer&& answer) {
    if (!wanted(answer, options)) {
      ++summary.otherForms;
      return;
    }
    if (csv) {
      if (!csv->record(answer, record)) ++summary.withUnknownFields;
    } else {
      record = answerJson(answer) + "\n";
    }
    output.add(record);
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

}  // namespace vantrel::answers
