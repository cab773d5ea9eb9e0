#pragma once
// `vantrel-formmail export SOURCE [--csv|--jsonl] [--comma] [--form ID] [--cacert FILE] [-o FILE]`:
// the answers of a Maildir, an mbox file, a folder of .eml files or a mailbox folder on an IMAP
// server (imaps://USER@HOST[:PORT]/FOLDER) as CSV or JSON lines. The output goes to
// FILE (replaced as a whole, never left half written) or to standard output; the counts of what
// was read, skipped and written go to standard error.

#include <iosfwd>
#include <span>

namespace vantrel::formmail {

// The arguments after "export". Exit code 0 when the export was written (bad mails are counted,
// never fatal), 1 when the source cannot be read or the output cannot be written, 2 for a wrong
// command line.
[[nodiscard]] int runExport(std::span<char* const> arguments, std::ostream& out, std::ostream& err);

}  // namespace vantrel::formmail
