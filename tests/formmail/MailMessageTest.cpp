#include <gtest/gtest.h>

#include "FormmailTestSupport.h"
#include "formmail/MailMessage.h"

using namespace vantrel::formmail;
using formmail_test::decodeQuotedPrintable;
using formmail_test::decodeSubject;
using formmail_test::parseMail;

namespace {

MailEnvelope envelope() {
  MailEnvelope e;
  e.sender = "formmail@example.org";
  e.recipient = "info@example.org";
  e.hostName = "host.example.org";
  e.date = std::chrono::system_clock::from_time_t(1'700'000'000);
  e.uniqueId = "1700000000.M1P2Q3";
  return e;
}

// Every line of a mail, CR LF separated.
std::vector<std::string> mailLines(const std::string& mail) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < mail.size()) {
    const std::size_t end = mail.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(mail.substr(start));
      break;
    }
    lines.push_back(mail.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace

TEST(MailOrder, ListsDataOrderFirstThenTheRestAndLeavesOutControlFields) {
  const PostedFields posted = {
      {"Kommentar", "gut"},    {"Name", "Eva"},
      {"B1", "Abschicken"},    {"Farbe", "rot"},
      {"Extra", "x"},          {"Farbe", "blau"},
      {"required", "Name"},    {"data_order", "Name,Farbe,Farbe,Kommentar,Titel"},
      {"submit_to", "a@b.de"}, {"form_id", "Formular"},
      {"website", ""}};
  const PostedFields expected = {
      {"Name", "Eva"}, {"Farbe", "rot"}, {"Farbe", "blau"}, {"Kommentar", "gut"}, {"Extra", "x"}};
  EXPECT_EQ(answersInOrder(posted, "Name,Farbe,Farbe,Kommentar,Titel", "website"), expected);
}

TEST(MailOrder, AnEmptyOrderKeepsPostOrder) {
  const PostedFields posted = {{"b", "2"}, {"a", "1"}, {"b", "3"}};
  EXPECT_EQ(answersInOrder(posted, "", ""), posted);
  EXPECT_EQ(answersInOrder(posted, ",,", ""), posted);
}

TEST(QuotedPrintable, EscapesWhatMustNotTravelPlain) {
  EXPECT_EQ(quotedPrintable("a=b"), "a=3Db");
  EXPECT_EQ(quotedPrintable("J\xC3\xBCrgen"), "J=C3=BCrgen");
  EXPECT_EQ(quotedPrintable("end \nnext\t"), "end=20\r\nnext=09");
  EXPECT_EQ(quotedPrintable(".\n..x"), "=2E\r\n=2E.x");
  EXPECT_EQ(quotedPrintable("a\r\nb\rc"), "a\r\nb\r\nc");
  EXPECT_EQ(quotedPrintable(std::string("\0", 1)), "=00");
}

TEST(QuotedPrintable, KeepsLinesShortAndDecodesBackToTheText) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += (i % 7 == 0) ? "\xC3\xA4" : (i % 11 == 0 ? " " : "x");
  text += "\nkurz\n" + std::string(76, 'y') + "\n" + std::string(77, 'z');
  const std::string encoded = quotedPrintable(text);
  for (const auto& line : mailLines(encoded)) EXPECT_LE(line.size(), 76U) << line;
  EXPECT_EQ(decodeQuotedPrintable(encoded), text);
}

TEST(Subject, StaysPlainWhenShortAscii) {
  EXPECT_EQ(encodeSubject("Formular: Formular"), "Formular: Formular");
}

TEST(Subject, EncodesUmlautsAndLongTextInFoldedWords) {
  const std::string subject =
      "Formular: Anmeldung f\xC3\xBCr den Kurs \xE2\x80\x9E"
      "Gr\xC3\xBCne Stadt\xE2\x80\x9C 2026";
  const std::string header = encodeSubject(subject);
  EXPECT_EQ(header.rfind("=?UTF-8?B?", 0), 0U);
  for (const auto& line : mailLines(header)) EXPECT_LE(line.size() + 9, 78U) << line;
  EXPECT_EQ(decodeSubject(header), subject);
}

TEST(Subject, DropsLineBreaksAndNul) {
  const std::string header = encodeSubject(std::string("Formular: x\r\nBcc: evil@x.de\0", 29));
  EXPECT_EQ(header, "Formular: xBcc: evil@x.de");
  // Encoded, the lines that separate words are continuation lines, never a new header.
  const std::string encoded =
      encodeSubject("Formular: \xC3\xA4\r\nBcc: evil@x.de" + std::string(80, 'a'));
  for (const auto& line : mailLines(encoded))
    EXPECT_TRUE(line.rfind("=?", 0) == 0 || line.rfind(" =?", 0) == 0);
  EXPECT_EQ(decodeSubject(encoded),
            "Formular: \xC3\xA4"
            "Bcc: evil@x.de" +
                std::string(80, 'a'));
}

TEST(ComposeMail, WritesMimeHeadersAndTheAnswersInUtf8) {
  const PostedFields answers = {
      {"Name", "J\xFCrgen"}, {"Kommentar", "Zeile 1\r\nZeile 2"}, {"Preis", "5 \x80"}};
  const std::string mail = composeMail(envelope(), "Formular", answers, false);
  const auto parsed = parseMail(mail);
  EXPECT_EQ(parsed.headers.at("From"), "formmail@example.org");
  EXPECT_EQ(parsed.headers.at("To"), "info@example.org");
  EXPECT_EQ(parsed.headers.at("Subject"), "Formular: Formular");
  EXPECT_EQ(parsed.headers.at("Date"), "Tue, 14 Nov 2023 22:13:20 +0000");
  EXPECT_EQ(parsed.headers.at("Message-ID"), "<1700000000.M1P2Q3@host.example.org>");
  EXPECT_EQ(parsed.headers.at("MIME-Version"), "1.0");
  EXPECT_EQ(parsed.headers.at("Content-Type"), "text/plain; charset=UTF-8");
  EXPECT_EQ(parsed.headers.at("Content-Transfer-Encoding"), "quoted-printable");
  EXPECT_EQ(parsed.body,
            "Name: J\xC3\xBCrgen\nKommentar: Zeile 1\nZeile 2\nPreis: 5 \xE2\x82\xAC\n");
  for (const auto& line : mailLines(mail)) EXPECT_LE(line.size(), 78U);
}

TEST(ComposeMail, TakesAUtf8PostAsItIs) {
  const std::string mail = composeMail(envelope(), "F\xC3\xB6rm", {{"N", "\xC3\xA4"}}, true);
  const auto parsed = parseMail(mail);
  EXPECT_EQ(parsed.body, "N: \xC3\xA4\n");
  EXPECT_EQ(decodeSubject(parsed.headers.at("Subject")), "Formular: F\xC3\xB6rm");
}
