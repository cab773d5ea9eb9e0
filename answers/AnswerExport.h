#pragma once
// `vantrel-formmail export`: the answers of a mail folder, mbox file or folder of .eml files as
// CSV (see AnswerCsv.h) or as JSON lines (one "antwort.json" object per line). CSV needs its
// columns before the first record, so the source is read twice: once for the field names, once
// for the records.

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
};

// What an export did. A struct beside the Result: a finished export reports the counts of what
// it read and skipped as well as what it wrote.
struct ExportSummary {
  ReadSummary read;              // of the pass that wrote the records
  std::uint64_t written = 0;     // records (answers) written
  std::uint64_t otherForms = 0;  // answers of other forms, left out
  // Answers that arrived between the two passes with a field the header does not name: written
  // without that field, and counted so the user can run the export again.
  std::uint64_t withUnknownFields = 0;
};

// Values of one name that a post carried several times (the boxes of an option group ticked
// together) share one cell, in the order of the post, joined by this.
inline constexpr std::string_view kRepeatedValueJoin = ", ";

// Writes the export in pieces through `write`; a failed write ends the export with its reason.
using ExportWriter = std::function<Status(std::string_view bytes)>;
[[nodiscard]] Result<ExportSummary> exportAnswers(const std::filesystem::path& source,
                                                  const ExportOptions& options,
                                                  const ExportWriter& write);

// The same from any source of answers (a mailbox on a server): `source` is read twice for CSV,
// once for JSON lines.
using AnswerSource = std::function<Result<ReadSummary>(const ReadCallbacks& callbacks)>;
[[nodiscard]] Result<ExportSummary> exportAnswers(const AnswerSource& source,
                                                  const ExportOptions& options,
                                                  const ExportWriter& write);

}  // namespace vantrel::answers
