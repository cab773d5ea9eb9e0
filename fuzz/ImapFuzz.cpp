// Fuzzes the reading of an IMAP server's responses: where each response ends (lines and the
// literals they announce), the parse into atoms, strings and lists, the search of a
// BODYSTRUCTURE for the answer part, and the folder name sent back as an argument. Beyond "no
// crash, no leak":
//  - a response is measured the same whether more bytes follow it or not, and a cut-off
//    response is never measured as complete;
//  - a folder argument is one quoted string of printable ASCII, whatever the name, that decodes
//    to a name again (the same name when it is printable ASCII).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "answers/mailbox/ImapResponse.h"
#include "answers/mailbox/MailboxReader.h"

using namespace vantrel::answers;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void visit(const ImapValue& value) {
  if (value.kind == ImapValue::Kind::list) (void)answerSectionOf(value);
  for (const ImapValue& item : value.items) visit(item);
}

void checkFolderArgument(std::string_view name) {
  const std::string argument = imapFolderArgument(name);
  require(argument.size() >= 2 && argument.front() == '"' && argument.back() == '"');
  for (std::size_t i = 1; i + 1 < argument.size(); ++i) {
    const auto c = static_cast<unsigned char>(argument[i]);
    require(c >= 0x20 && c < 0x7F && c != '"');
    if (c == '\\') {
      ++i;  // escapes the next, which is a quote or a backslash
      require(i + 1 < argument.size() && (argument[i] == '"' || argument[i] == '\\'));
    }
  }
  // Without quoting in the way, the server's decoding of it gives a name again, the same one
  // for plain ASCII.
  if (name.find_first_of("\"\\") == std::string_view::npos) {
    const auto decoded = decodedFolderName(argument.substr(1, argument.size() - 2));
    require(decoded.has_value());
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) {
      return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
    if (ascii) require(*decoded == name);
  }
  (void)decodedFolderName(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::string_view rest = bytes.substr(at);
    const auto length = imapResponseLength(rest);
    if (!length || *length == 0) break;
    require(*length <= rest.size());
    // The same response alone, and one byte short of it.
    require(imapResponseLength(rest.substr(0, *length)) == length);
    const auto shorter = imapResponseLength(rest.substr(0, *length - 1));
    require(!shorter || *shorter == 0 || *shorter < *length);
    const auto parsed = parseImapResponse(rest.substr(0, *length));
    if (parsed) {
      for (const ImapValue& item : parsed->items) visit(item);
    }
    at += *length;
  }
  checkFolderArgument(bytes.substr(0, 200));
  return 0;
}
