#pragma once
// The responses of an IMAP4rev1 server as data: where one response ends in the bytes received
// (its line and the literals it announces), and the response parsed into a tree of atoms,
// strings and lists. Everything here reads bytes that come from the network: every count is
// checked against what is there, nesting is bounded, and a literal larger than the limit is
// refused before its bytes arrive.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::answers {

// A literal larger than this is refused: the parts this program asks for are a few KiB, and it
// bounds the memory one response may take.
inline constexpr std::uint64_t kLargestImapLiteral = std::uint64_t{16} << 20;
// A response line (without its literals) longer than this is refused. A UID SEARCH of 100,000
// mails is under 1 MiB.
inline constexpr std::size_t kLongestImapLine = std::size_t{8} << 20;
inline constexpr int kDeepestImapNesting = 16;

struct ImapValue {
  enum class Kind { atom, string, nil, list, code };  // code: a "[...]" response code
  Kind kind = Kind::atom;
  std::string text;              // atom or string (quoted or literal), undecoded
  std::vector<ImapValue> items;  // list or code

  [[nodiscard]] bool isAtom(std::string_view name) const;  // caseless
  [[nodiscard]] bool isText() const { return kind == Kind::atom || kind == Kind::string; }
};

struct ImapResponse {
  std::string tag;               // "*" untagged, "+" continuation, else the command's tag
  std::vector<ImapValue> items;  // after the tag
  // For a status response (OK, NO, BAD, BYE, PREAUTH): the words after the status and its
  // response code, as they stand.
  std::string statusText;

  [[nodiscard]] bool isStatus(std::string_view status) const;  // items[0] caseless
};

// How many bytes of `buffer` the first response takes, lines and literals: 0 when it is not
// complete yet; nullopt when it can never be read (a literal or line over the limits, a bad
// literal count).
[[nodiscard]] std::optional<std::size_t> imapResponseLength(std::string_view buffer);

// One complete response as imapResponseLength() measured it; nullopt for bytes that do not
// follow the grammar.
[[nodiscard]] std::optional<ImapResponse> parseImapResponse(std::string_view response);

// A folder name given in UTF-8 as a command argument: in modified UTF-7 (the mailbox name
// encoding of IMAP4rev1), quoted. Bytes that are no UTF-8 are taken as Latin-1 characters.
[[nodiscard]] std::string imapFolderArgument(std::string_view utf8Name);
// A folder name as a server lists it (modified UTF-7) in UTF-8; nullopt for a name that is not
// valid modified UTF-7.
[[nodiscard]] std::optional<std::string> decodedFolderName(std::string_view name);

// The number of an atom, nullopt if it is none or larger than 32 bits (UIDs and counts are).
[[nodiscard]] std::optional<std::uint32_t> imapNumber(const ImapValue& value);

}  // namespace vantrel::answers
