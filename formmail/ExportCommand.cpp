#include "formmail/ExportCommand.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "answers/AnswerExport.h"
#include "base/AtomicFile.h"
#include "base/FailureKinds.h"

namespace vantrel::formmail {
namespace {

struct ExportCommandLine {
  std::filesystem::path source;
  std::optional<std::filesystem::path> output;
  answers::ExportOptions options;
};

void printExportUsage(std::ostream& out) {
  out << "usage: vantrel-formmail export SOURCE [--csv|--jsonl] [--comma] [--form ID] [-o FILE]\n"
         "  SOURCE   a Maildir, an mbox file or a folder of .eml files\n"
         "  --csv    CSV, UTF-8 with BOM, \";\" between fields (the default)\n"
         "  --jsonl  one JSON object per answer and line, as in the part antwort.json\n"
         "  --comma  \",\" between the CSV fields\n"
         "  --form   only the answers of the form with this id\n"
         "  -o FILE  write FILE (replaced whole) instead of standard output\n";
}

[[nodiscard]] std::optional<ExportCommandLine> parseExportArguments(
    std::span<char* const> arguments) {
  ExportCommandLine line;
  bool haveSource = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--csv") {
      line.options.format = answers::ExportFormat::csv;
    } else if (argument == "--jsonl") {
      line.options.format = answers::ExportFormat::jsonLines;
    } else if (argument == "--comma") {
      line.options.separator = ',';
    } else if (argument == "--form" && hasValue) {
      line.options.formId = arguments[++i];
    } else if (argument == "-o" && hasValue) {
      line.output = arguments[++i];
    } else if (!argument.starts_with("-") && !haveSource) {
      line.source = argument;
      haveSource = true;
    } else {
      return std::nullopt;
    }
  }
  if (!haveSource) return std::nullopt;
  return line;
}

void printSummary(const answers::ExportSummary& summary, std::ostream& err) {
  for (const Failure& problem : summary.read.problems)
    err << "vantrel-formmail export: " << problem.detail << "\n";
  const answers::ReadSummary& read = summary.read;
  err << "vantrel-formmail export: " << summary.written << " answer(s) written; read "
      << read.answers << ", of other forms " << summary.otherForms << ", duplicates "
      << read.duplicates << ", mails without antwort.json " << read.withoutAnswerPart << ", broken "
      << read.broken << "\n";
  if (summary.withUnknownFields > 0)
    err << "vantrel-formmail export: " << summary.withUnknownFields
        << " answer(s) arrived during the export with fields the header does not name; run it "
           "again to have them whole\n";
}

Result<answers::ExportSummary> exportToFile(const ExportCommandLine& line) {
  Result<AtomicFile> file = AtomicFile::begin(*line.output);
  if (!file) return file.failure();
  AtomicFile& output = file.value();
  Result<answers::ExportSummary> summary = answers::exportAnswers(
      line.source, line.options, [&](std::string_view bytes) { return output.write(bytes); });
  if (!summary) return summary;  // the new file goes with `output`; the target stays as it was
  if (const Status committed = output.commit(); !committed) return committed.failure();
  return summary;
}

Result<answers::ExportSummary> exportToStream(const ExportCommandLine& line, std::ostream& out) {
  return answers::exportAnswers(line.source, line.options, [&](std::string_view bytes) -> Status {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) return failure(FileFailure::WriteFailedPlain);
    return {};
  });
}

}  // namespace

int runExport(std::span<char* const> arguments, std::ostream& out, std::ostream& err) {
  if (arguments.size() == 1 && std::string_view(arguments[0]) == "--help") {
    printExportUsage(out);
    return 0;
  }
  const std::optional<ExportCommandLine> line = parseExportArguments(arguments);
  if (!line) {
    printExportUsage(err);
    return 2;
  }
  const Result<answers::ExportSummary> summary =
      line->output ? exportToFile(*line) : exportToStream(*line, out);
  if (!summary) {
    err << "vantrel-formmail export: " << summary.reason() << "\n";
    return 1;
  }
  printSummary(summary.value(), err);
  return 0;
}

}  // namespace vantrel::formmail
