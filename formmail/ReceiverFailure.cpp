#include "formmail/ReceiverFailure.h"

#include <array>
#include <string>

#include "base/UserMessages.h"

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

// The same in German, for the command line; "%s" for the same values in the same order.
constexpr std::array<std::string_view, static_cast<std::size_t>(ReceiverFailure::Count)> kGerman{
    "mehr als %s Felder",
    "ein Feld länger als %s Bytes",
    "Abschnittskopf ohne ']'",
    "unbekannter Abschnitt %s (nur [formmail])",
    "Schlüssel außerhalb des Abschnitts [formmail]",
    "erwartet: Schlüssel = Wert",
    "unbekannter Schlüssel '%s'",
    "%s erwartet eine ganze Zahl von %s bis %s",
    "%s erwartet yes oder no",
    "allow nennt etwas, das keine Adresse ist: '%s'",
    "kein Abschnitt [formmail]",
    "allow nennt keine Adresse: jede Sendung würde abgelehnt",
    "sender muss eine einfache Adresse sein wie formmail@example.org",
    "maildir (oder smtp) fehlt: es ist nicht gesagt, wohin die eMails gehen",
    "smtp muss eine smtp://- oder smtps://-Adresse sein",
    "success_redirect muss eine http(s)://-Adresse sein oder ein Pfad, der mit / beginnt",
    "%s kann nicht geöffnet werden",
    "%s kann nicht gelesen werden",
    "%s gibt es, aber es ist kein Ordner",
    "%s kann nicht angelegt werden: %s",
    "in %s kann keine Datei angelegt werden: %s",
    "%s kann nicht geschrieben werden: %s",
    "%s kann nicht geschlossen werden: %s",
    "%s kann nicht nach new/ verschoben werden: %s",
};

constexpr std::string_view kLinePrefix = "line ";

}  // namespace

std::string_view englishText(ReceiverFailure kind) {
  const auto index = static_cast<std::size_t>(kind);
  return index < kEnglish.size() ? kEnglish[index] : std::string_view("unknown failure");
}

std::string_view germanText(ReceiverFailure kind) {
  const auto index = static_cast<std::size_t>(kind);
  return index < kGerman.size() ? kGerman[index] : std::string_view("unbekannter Fehler");
}

std::string germanReceiverMessage(const Failure& failure) {
  if (failure.kind.area != FailureArea::Receiver) return germanMessage(failure);
  const auto kind = static_cast<ReceiverFailure>(failure.kind.code);
  std::string text = filledIn(germanText(kind), failure.values);
  if (failure.where.empty()) return text;
  // A line of the configuration is the one place the receiver names.
  const std::string_view where = failure.where;
  const std::string place = where.starts_with(kLinePrefix)
                                ? "Zeile " + std::string(where.substr(kLinePrefix.size()))
                                : std::string(where);
  return place + ": " + text;
}

}  // namespace vantrel::formmail
