#include "formmail/ExportCommand.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
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
  bool workbook = false;
};

void printExportUsage(std::ostream& out) {
  out << "usage: vantrel-formmail export SOURCE [--csv|--jsonl|--xlsx] [--comma] [--form ID]\n"
         "                                [--survey KEY] [-o FILE]\n"
         "  SOURCE    a Maildir, an mbox file or a folder of .eml files\n"
         "  --csv     CSV, UTF-8 with BOM, \";\" between fields, every text quoted (the default);\n"
         "            times in UTC\n"
         "  --jsonl   one JSON object per answer and line, as in the part antwort.json\n"
         "  --xlsx    an Excel workbook, times in local time (needs -o FILE)\n"
         "  --comma   \",\" between the CSV fields\n"
         "  --form    only the answers of the form with this id\n"
         "  --survey  only the answers of the survey with this key (\"\" for those without)\n"
         "  -o FILE   write FILE (replaced whole) instead of standard output\n";
}

[[nodiscard]] std::optional<ExportCommandLine> parseExportArguments(
    std::span<char* const> arguments) {
  ExportCommandLine line;
  bool haveSource = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--csv" || argument == "--jsonl" || argument == "--xlsx") {
      line.options.format =
          argument == "--jsonl" ? answers::ExportFormat::jsonLines : answers::ExportFormat::csv;
      line.workbook = argument == "--xlsx";
    } else if (argument == "--comma") {
      line.options.separator = ',';
    } else if (argument == "--form" && hasValue) {
      line.options.formId = arguments[++i];
    } else if (argument == "--survey" && hasValue) {
      line.options.survey = arguments[++i];
    } else if (argument == "-o" && hasValue) {
      line.output = arguments[++i];
    } else if (!argument.starts_with("-") && !haveSource) {
      line.source = argument;
      haveSource = true;
    } else {
      return std::nullopt;
    }
  }
  // A workbook is a file of its own, never a stream of bytes on a terminal.
  if (!haveSource || (line.workbook && !line.output)) return std::nullopt;
  return line;
}

void printSummary(const answers::ExportSummary& summary, std::ostream& err) {
  for (const Failure& problem : summary.read.problems)
    err << "vantrel-formmail export: " << terminalSafe(problem.detail) << "\n";
  const answers::ReadSummary& read = summary.read;
  err << "vantrel-formmail export: " << summary.written << " answer(s) written; read "
      << read.answers << ", of other forms " << summary.otherForms << ", of other surveys "
      << summary.otherSurveys << ", duplicates " << read.duplicates
      << ", mails without antwort.json " << read.withoutAnswerPart << ", broken " << read.broken
      << "\n";
  if (summary.namesLeftOut > 0)
    err << "vantrel-formmail export: " << summary.namesLeftOut
        << " field name(s) posted beside the form's got no column; " << summary.withLeftOutFields
        << " answer(s) carry them, whole in --jsonl\n";
  if (summary.textsCut > 0)
    err << "vantrel-formmail export: " << summary.textsCut
        << " answer(s) longer than a workbook cell holds were cut; CSV and --jsonl keep them\n";
}

Result<answers::ExportSummary> exportToFile(const ExportCommandLine& line) {
  if (line.workbook)
    return answers::exportAnswersToWorkbook(line.source, line.options, *line.output);
  Result<AtomicFile> file = AtomicFile::begin(*line.output);
  if (!file) return file.failure();
  AtomicFile& output = file.value();
  Result<answers::ExportSummary> summary = answers::exportAnswers(
      line.source, line.options, [&](std::string_view bytes) { return output.write(bytes); });
  if (!summary) return summary;  // the new file goes with `output`; the target stays as it was
  if (const Status committed = output.commit(); !committed) return committed.failure();
  return summary;
}

Result<answers::ExportSummary> exportToStream(const ExportCommandLine& line, std::ostream& out,
                                              bool terminal) {
  std::string escaped;
  return answers::exportAnswers(line.source, line.options, [&](std::string_view bytes) -> Status {
    if (terminal) {
      escaped = terminalSafe(bytes);
      bytes = escaped;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) return failure(FileFailure::WriteFailedPlain);
    return {};
  });
}

bool isTerminal(const std::ostream& out, OutputTerminal terminal) {
  if (terminal != OutputTerminal::detect) return terminal == OutputTerminal::yes;
  return &out == &std::cout && ::isatty(STDOUT_FILENO) == 1;
}

void appendEscape(std::string& out, const char* format, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, format, value);
  out += escape;
}

}  // namespace

std::string terminalSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool crLf = byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if ((byte < 0x20 && byte != '\t' && byte != '\n' && !crLf) || byte == 0x7F) {
      appendEscape(out, "\\x%02X", byte);
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // C1 controls in UTF-8 (U+0080..U+009F): many terminals take U+009B as the start of a
      // control sequence, as they take ESC [.
      appendEscape(out, "\\u%04X", static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
  return out;
}

int runExport(std::span<char* const> arguments, std::ostream& out, std::ostream& err,
              OutputTerminal terminal) {
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
      line->output ? exportToFile(*line) : exportToStream(*line, out, isTerminal(out, terminal));
  if (!summary) {
    err << "vantrel-formmail export: " << terminalSafe(summary.reason()) << "\n";
    return 1;
  }
  printSummary(summary.value(), err);
  if (line->output)
    err << "vantrel-formmail export: written to " << terminalSafe(line->output->string()) << "\n";
  return 0;
}

}  // namespace vantrel::formmail
