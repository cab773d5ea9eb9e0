#pragma once
// What a user reads when something fails. The core words its reasons in English, for the tests
// and the code that tells failures apart; every window and the command-line tool show them in
// German through germanMessage(). The catalogue holds one entry per reason the core gives, with
// "%s" for a value (a path, a number, a system text) and "%1", "%2"... for where the German text
// puts the values. Texts that the file formats and the archive component define ("Read beyond end
// of file.", "Unable to open file (...)") are shown as they are.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

struct MessageTranslation {
  std::string_view english;  // the core's reason, "%s" for each value
  std::string_view german;   // UTF-8; "%1", "%2"... for the values in their English order;
                             // empty for a text defined elsewhere and shown as it is
};

// Every reason of the core that can reach a user, most specific first. Defined texts that a
// broader pattern would also match are listed before it, with an empty German text.
std::span<const MessageTranslation> messageCatalogue();

// `reason` in German, UTF-8. A reason the catalogue does not know is returned unchanged; the
// catalogue test makes sure that is never one of the core's own.
std::string germanMessage(std::string_view reason);

// `reason` in German, naming `file` in front when the reason does not name it already: for the
// failures of reading a file the user chose, whose reasons speak of "the picture".
std::string germanMessageAbout(const std::filesystem::path& file, std::string_view reason);

// Matches `text` against a catalogue pattern; true with the values filled in `values`.
bool matchesPattern(std::string_view pattern, std::string_view text, std::span<std::string> values);

}  // namespace vantrel
