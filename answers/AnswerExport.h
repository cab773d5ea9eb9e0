#pragma once
// `vantrel-formmail export`: the answers of a mail folder, mbox file or folder of .eml files as
// CSV (see AnswerCsv.h), as JSON lines (one "antwort.json" object per line) or as an Excel
// workbook (AnswerWorkbook.h). A table needs its columns before the first record: the source is
// read once, the answers kept in a temporary file meanwhile, and the records written from there.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "answers/AnswerReader.h"
#include "base/Result.h"

namespace vantrel::answers {

enum class ExportFormat { csv, jsonLines };

struct ExportOptions {
  ExportFormat format = ExportFormat::csv;
  char separator = ';';
  std::optional<std::string> formId;  // only the answers of this form
  std::optional<std::string> survey;  // only the answers of this survey ("" : those without one)
};

// What an export did. A struct beside the Result: a finished export reports the counts of what
// it read and skipped as well as what it wrote.
struct ExportSummary {
  ReadSummary read;                // of the reading of the source
  std::uint64_t written = 0;       // records (answers) written
  std::uint64_t otherForms = 0;    // answers of other forms, left out
  std::uint64_t otherSurveys = 0;  // answers of other surveys, left out
  // Field names that got no column of the table (ColumnOrder::choose), and the answers that
  // carry such a field; the JSON lines keep them whole.
  std::uint64_t namesLeftOut = 0;
  std::uint64_t withLeftOutFields = 0;
  std::uint64_t textsCut = 0;  // workbook cells cut to the longest text a cell holds
};

// Values of one name that a post carried several times (the boxes of an option group ticked
// together) share one cell, in the order of the post, joined by this.
inline constexpr std::string_view kRepeatedValueJoin = ", ";

// Whether an answer is one the options select.
[[nodiscard]] bool selectedBy(const Answer& answer, const ExportOptions& options);

// Writes the export in pieces through `write`; a failed write ends the export with its reason.
using ExportWriter = std::function<Status(std::string_view bytes)>;
[[nodiscard]] Result<ExportSummary> exportAnswers(const std::filesystem::path& source,
                                                  const ExportOptions& options,
                                                  const ExportWriter& write);

// The same table as the CSV (the format of `options` aside) as an Excel workbook, replacing
// `target` only when it is whole.
[[nodiscard]] Result<ExportSummary> exportAnswersToWorkbook(const std::filesystem::path& source,
                                                            const ExportOptions& options,
                                                            const std::filesystem::path& target);

// The same from any source of answers (a mailbox folder on a server), read once.
using AnswerSource = std::function<Result<ReadSummary>(const ReadCallbacks& callbacks)>;
[[nodiscard]] AnswerSource answersIn(const std::filesystem::path& source);
[[nodiscard]] Result<ExportSummary> exportAnswers(const AnswerSource& source,
                                                  const ExportOptions& options,
                                                  const ExportWriter& write);
[[nodiscard]] Result<ExportSummary> exportAnswersToWorkbook(const AnswerSource& source,
                                                            const ExportOptions& options,
                                                            const std::filesystem::path& target);

}  // namespace vantrel::answers
