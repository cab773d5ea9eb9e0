#include "formmail/ExportCommand.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "answers/AnswerExport.h"
#include "answers/mailbox/MailboxReader.h"
#include "base/AtomicFile.h"
#include "base/FailureKinds.h"
#include "base/UserMessages.h"

namespace vantrel::formmail {
namespace {

struct ExportCommandLine {
  std::filesystem::path source;
  std::optional<std::filesystem::path> output;
  std::filesystem::path caFile;  // for a mailbox: the certificates to trust
  answers::ExportOptions options;
};

void printExportUsage(std::ostream& out) {
  out << "usage: vantrel-formmail export SOURCE [--csv|--jsonl] [--comma] [--form ID] [-o FILE]\n"
         "  SOURCE   a Maildir, an mbox file or a folder of .eml files, or a mailbox folder on a\n"
         "           server: imaps://USER@HOST[:PORT]/FOLDER (imap:// only with STARTTLS); the\n"
         "           password comes from VANTREL_IMAP_PASSWORD or is asked on the terminal\n"
         "  --cacert FILE  trust the certificates in FILE instead of the system's\n"
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
    } else if (argument == "--cacert" && hasValue) {
      line.caFile = arguments[++i];
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

// The password of a mailbox: from the environment, else asked on the terminal without echo.
// It is never taken from the command line, where other users could read it.
std::optional<std::string> mailboxPassword(const answers::MailboxAddress& address,
                                           std::ostream& err) {
  if (const char* given = std::getenv("VANTREL_IMAP_PASSWORD")) return std::string(given);
  termios before{};
  if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &before) != 0) return std::nullopt;
  termios silent = before;
  silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  err << "Passwort für " << address.user << "@" << address.host << ": " << std::flush;
  (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  std::string password;
  const bool read = static_cast<bool>(std::getline(std::cin, password));
  (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
  err << "\n";
  if (!read) return std::nullopt;
  return password;
}

// What the server presented, so that the user can compare it with what the provider publishes
// before trusting it with --cacert.
void describeCertificate(const answers::MailboxAddress& address, std::ostream& err) {
  const Result<answers::ServerCertificate> shown =
      answers::peekServerCertificate(address, answers::ImapConnectOptions{});
  if (!shown) return;
  err << "vantrel-formmail export: Ausgestellt von: " << shown.value().issuer << "\n"
      << "vantrel-formmail export: SHA-256-Fingerabdruck: " << shown.value().sha256 << "\n"
      << "vantrel-formmail export: Wer dem Zertifikat vertraut, gibt seine Datei mit --cacert "
         "an.\n";
}

answers::AnswerSource mailboxSource(const answers::MailboxAddress& address, std::string password,
                                    const std::filesystem::path& caFile) {
  return [address, password = std::move(password),
          caFile](const answers::ReadCallbacks& callbacks) -> Result<answers::ReadSummary> {
    answers::MailboxReadOptions options;
    options.connect.caFile = caFile;
    Result<answers::MailboxSummary> read =
        answers::readMailbox(address, password, options, callbacks);
    if (!read) return read.failure();
    return std::move(read.value().read);
  };
}

Result<answers::ExportSummary> exportToFile(const ExportCommandLine& line,
                                            const answers::AnswerSource& source) {
  Result<AtomicFile> file = AtomicFile::begin(*line.output);
  if (!file) return file.failure();
  AtomicFile& output = file.value();
  Result<answers::ExportSummary> summary = answers::exportAnswers(
      source, line.options, [&](std::string_view bytes) { return output.write(bytes); });
  if (!summary) return summary;  // the new file goes with `output`; the target stays as it was
  if (const Status committed = output.commit(); !committed) return committed.failure();
  return summary;
}

Result<answers::ExportSummary> exportToStream(const ExportCommandLine& line,
                                              const answers::AnswerSource& source,
                                              std::ostream& out) {
  return answers::exportAnswers(source, line.options, [&](std::string_view bytes) -> Status {
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
  answers::AnswerSource source = [&](const answers::ReadCallbacks& callbacks) {
    return answers::readAnswers(line->source, callbacks);
  };
  const bool mailbox = answers::looksLikeMailboxAddress(line->source.string());
  if (mailbox) {
    const Result<answers::MailboxAddress> address =
        answers::parseMailboxAddress(line->source.string());
    if (!address) {
      err << "vantrel-formmail export: " << germanMessage(address.failure()) << "\n";
      return 2;
    }
    std::optional<std::string> password = mailboxPassword(address.value(), err);
    if (!password) {
      err << "vantrel-formmail export: Kein Passwort für " << address.value().server()
          << ": VANTREL_IMAP_PASSWORD setzen oder am Terminal eingeben.\n";
      return 1;
    }
    source = mailboxSource(address.value(), std::move(*password), line->caFile);
  }
  const Result<answers::ExportSummary> summary =
      line->output ? exportToFile(*line, source) : exportToStream(*line, source, out);
  if (!summary) {
    // A mailbox's failures are the user's to mend (password, certificate, folder): in German.
    err << "vantrel-formmail export: "
        << (mailbox ? germanMessage(summary.failure()) : summary.reason()) << "\n";
    if (summary.is(MailboxFailure::CertificateRefused))
      describeCertificate(answers::parseMailboxAddress(line->source.string()).value(), err);
    return 1;
  }
  printSummary(summary.value(), err);
  return 0;
}

}  // namespace vantrel::formmail
