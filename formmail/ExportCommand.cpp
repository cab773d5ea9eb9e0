#include "formmail/ExportCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

namespace fs = std::filesystem;

struct ExportCommandLine {
  std::filesystem::path source;
  std::optional<std::filesystem::path> output;
  std::filesystem::path caFile;  // for a mailbox: the certificates to trust
  answers::ExportOptions options;
  bool workbook = false;
};

void printExportUsage(std::ostream& out) {
  out << "Aufruf: vantrel-formmail export QUELLE [--csv|--jsonl|--xlsx] [--comma] [--form ID]\n"
         "                                [--survey KENNUNG] [--cacert DATEI] [-o DATEI]\n"
         "  QUELLE    ein Maildir, eine mbox-Datei, ein Ordner mit .eml-Dateien oder ein\n"
         "            Postfach-Ordner auf einem Server: imaps://BENUTZER@HOST[:PORT]/ORDNER\n"
         "            (imap:// nur mit STARTTLS); das Passwort kommt aus VANTREL_IMAP_PASSWORD\n"
         "            oder wird am Terminal erfragt\n"
         "  --cacert DATEI  vertraut den Zertifikaten in DATEI statt denen des Systems\n"
         "  --csv     CSV, UTF-8 mit Byte-Order-Mark, Felder durch \";\" getrennt, jeder Text in\n"
         "            Anführungszeichen (die Vorgabe); Zeiten in UTC\n"
         "  --jsonl   eine Zeile je Antwort, das JSON-Objekt aus antwort.json\n"
         "  --xlsx    eine Excel-Datei, Zeiten in Ortszeit (nur mit -o DATEI)\n"
         "  --comma   CSV-Felder durch \",\" getrennt\n"
         "  --form    nur die Antworten des Formulars mit dieser Kennung\n"
         "  --survey  nur die Antworten der Umfrage mit dieser Kennung (\"\" für die ohne)\n"
         "  -o DATEI  schreibt DATEI (am Ende als Ganzes ersetzt) statt auf die Standardausgabe\n";
}

// The words for a source that cannot be read at all, saying what to do about it.
std::string unreadableSource(const fs::path& place, int error) {
  if (error == EACCES || error == EPERM) {
    return "Keine Berechtigung, " + place.string() +
           " zu lesen: Wer die Antworten lesen soll, gehört in die Gruppe vantrel-formmail "
           "(adduser BENUTZER vantrel-formmail, dann neu anmelden).";
  }
  if (error == ENOENT || error == ENOTDIR) return place.string() + " gibt es nicht.";
  return place.string() + " kann nicht gelesen werden: " + std::strerror(error) + ".";
}

// Whether a folder holds a .eml file; false also when it cannot be listed.
bool holdsMailFiles(const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::string extension = entry->path().extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".eml") return true;
  }
  return false;
}

// Why the export cannot read `source`, in German; nothing when it may try. A Maildir is
// looked into as far as its new/ and cur/, where a missing right shows first.
std::optional<std::string> sourceProblem(const fs::path& source) {
  struct stat status {};
  if (::stat(source.c_str(), &status) != 0) return unreadableSource(source, errno);
  if (!S_ISDIR(status.st_mode)) {
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return unreadableSource(source, errno);
    ::close(fd);
    return std::nullopt;
  }
  if (::access(source.c_str(), R_OK | X_OK) != 0) return unreadableSource(source, errno);
  bool maildir = false;
  for (const char* part : {"new", "cur"}) {
    const fs::path folder = source / part;
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) continue;
    maildir = true;
    if (::access(folder.c_str(), R_OK | X_OK) != 0) return unreadableSource(folder, errno);
  }
  if (maildir || holdsMailFiles(source)) return std::nullopt;
  return source.string() +
         " ist kein Maildir (kein new/ oder cur/ darin) und kein Ordner mit .eml-Dateien.";
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
  // A workbook is a file of its own, never a stream of bytes on a terminal.
  if (!haveSource || (line.workbook && !line.output)) return std::nullopt;
  return line;
}

void printSummary(const answers::ExportSummary& summary, std::ostream& err) {
  for (const Failure& problem : summary.read.problems)
    err << "vantrel-formmail export: " << terminalSafe(germanMessage(problem)) << "\n";
  const answers::ReadSummary& read = summary.read;
  err << "vantrel-formmail export: " << summary.written << " Antwort(en) geschrieben; gelesen "
      << read.answers << ", anderer Formulare " << summary.otherForms << ", anderer Umfragen "
      << summary.otherSurveys << ", doppelt " << read.duplicates << ", eMails ohne antwort.json "
      << read.withoutAnswerPart << ", beschädigt " << read.broken << "\n";
  if (summary.namesLeftOut > 0)
    err << "vantrel-formmail export: " << summary.namesLeftOut
        << " Feldname(n) neben denen des Formulars bekamen keine Spalte; "
        << summary.withLeftOutFields << " Antwort(en) tragen sie, ganz in --jsonl\n";
  if (summary.textsCut > 0)
    err << "vantrel-formmail export: " << summary.textsCut
        << " Antwort(en), länger als eine Zelle der Excel-Datei fasst, wurden gekürzt; CSV und "
           "--jsonl behalten sie ganz\n";
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
  if (line.workbook) return answers::exportAnswersToWorkbook(source, line.options, *line.output);
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
                                              std::ostream& out, bool terminal) {
  std::string escaped;
  return answers::exportAnswers(source, line.options, [&](std::string_view bytes) -> Status {
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
  answers::AnswerSource source = [&](const answers::ReadCallbacks& callbacks) {
    return answers::readAnswers(line->source, callbacks);
  };
  const bool mailbox = answers::looksLikeMailboxAddress(line->source.string());
  if (!mailbox) {
    if (const std::optional<std::string> problem = sourceProblem(line->source)) {
      err << "vantrel-formmail export: " << terminalSafe(*problem) << "\n";
      return 1;
    }
  } else {
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
      line->output ? exportToFile(*line, source)
                   : exportToStream(*line, source, out, isTerminal(out, terminal));
  if (!summary) {
    err << "vantrel-formmail export: " << terminalSafe(germanMessage(summary.failure())) << "\n";
    if (summary.is(MailboxFailure::CertificateRefused))
      describeCertificate(answers::parseMailboxAddress(line->source.string()).value(), err);
    return 1;
  }
  printSummary(summary.value(), err);
  if (line->output)
    err << "vantrel-formmail export: geschrieben nach " << terminalSafe(line->output->string())
        << "\n";
  return 0;
}

}  // namespace vantrel::formmail
