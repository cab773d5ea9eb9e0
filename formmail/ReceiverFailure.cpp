#include "formmail/ReceiverFailure.h"

#include <array>

namespace vantrel::formmail {
namespace {

// In the order of the enum; the test checks that each kind has its own text.
constexpr std::array<std::string_view, static_cast<std::size_t>(ReceiverFailure::Count)> kEnglish{
    "more than %s fields",
    "a field longer than %s bytes",
    "section header without ']'",
    "unknown section %s (only [formmail])",
    "key outside the [formmail] section",
    "expected key = value",
    "unknown key '%s'",
    "%s expects a whole number from %s to %s",
    "%s expects yes or no",
    "allow has an entry that is no address: '%s'",
    "no [formmail] section",
    "allow names no address: every post would be refused",
    "sender must be a plain address like formmail@example.org",
    "set maildir (or smtp) to say where mail goes",
    "smtp must be an smtp:// or smtps:// URL",
    "success_redirect must be an http(s):// address or a path starting with /",
    "cannot open %s",
    "cannot read %s",
    "%s exists but is no folder",
    "cannot create %s: %s",
    "cannot create a file in %s: %s",
    "cannot write %s: %s",
    "cannot close %s: %s",
    "cannot move %s into new/: %s",
};

}  // namespace

std::string_view englishText(ReceiverFailure kind) {
  const auto index = static_cast<std::size_t>(kind);
  return index < kEnglish.size() ? kEnglish[index] : std::string_view("unknown failure");
}

}  // namespace vantrel::formmail
