#pragma once
// `vantrel-formmail export SOURCE [--csv|--jsonl|--xlsx] [--comma] [--form ID] [--survey KEY]
// [--cacert FILE] [-o FILE]`: the answers of a Maildir, an mbox file, a folder of .eml files or
// a mailbox folder on an IMAP server (imaps://USER@HOST[:PORT]/FOLDER) as CSV, JSON lines or an
// Excel workbook. The output goes to FILE (replaced as a whole, never left half written) or to
// standard output; the counts of what was read, skipped and written go to standard error.
// Answers are posted by anyone: their control characters reach a terminal only escaped, and so
// do those of file names in messages.

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace vantrel::formmail {

// The arguments after "export". Exit code 0 when the export was written (bad mails are counted,
// never fatal), 1 when the source cannot be read or the output cannot be written, 2 for a wrong
// command line. `out` is taken as a terminal when `terminal` says so, or, by default, when it is
// std::cout and standard output is a terminal.
enum class OutputTerminal { detect, yes, no };
[[nodiscard]] int runExport(std::span<char* const> arguments, std::ostream& out, std::ostream& err,
                            OutputTerminal terminal = OutputTerminal::detect);

// `text` with every control character that a terminal would act on written as "\xHH" (C1
// controls as "\u0080".."\u009F"): tab, line feed and the carriage return of a CR LF stay.
[[nodiscard]] std::string terminalSafe(std::string_view text);

}  // namespace vantrel::formmail
