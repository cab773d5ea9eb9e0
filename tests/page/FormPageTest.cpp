#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "base/FailureKinds.h"
#include "base/UserMessages.h"
#include "page/FormPage.h"
#include "project/SurveyKey.h"

namespace vantrel {
namespace {

constexpr const char* kAction = "http://forms.test/cgi-bin/sendmailform.cgi";

std::string crlfLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

const std::string kPrologue = crlfLines({
    "<html>",
    "<body bgcolor=#EEEEEE>",
    "<form name=\"Formular\" ACTION=\"http://forms.test/cgi-bin/sendmailform.cgi\" "
    "method=\"POST\">",
    "<p>",
    "<table border=\"0\" cellpadding=4 cellspacing=1 >",
});

std::string epilogue(const std::string& required, const std::string& order,
                     const std::string& email) {
  return crlfLines({
      "<tr>",
      "<td colspan=2><input type=\"submit\" name=\"B1\" value=\"Abschicken\"></td>",
      "</tr>",
      "</table>",
      "<!--  SCRIPT CONFIGURATION SECTION -->",
      "<INPUT TYPE=\"HIDDEN\" NAME=\"required\"",
      "VALUE=\"" + required + "\">",
      "<INPUT TYPE=\"HIDDEN\" NAME=\"data_order\"",
      "VALUE=\"" + order + "\">",
      "<INPUT TYPE=\"HIDDEN\" NAME=\"submit_to\" VALUE=\"" + email + "\">",
      "<INPUT TYPE=\"HIDDEN\" NAME=\"form_id\" VALUE=\"Formular\">",
      "<!--  END OF SCRIPT CONFIGURATION SECTION -->",
      "</form>",
      "</body>",
      "</html>",
  });
}

FormField row(std::string name, std::string_view type, std::string caption = "",
              std::string content = "", std::string optional = "Ja",
              std::string preselected = "Nein") {
  return FormField{std::move(name),
                   std::string(type),
                   std::move(caption),
                   std::move(content),
                   "40",
                   "5",
                   "0",
                   std::move(optional),
                   std::move(preselected)};
}

FieldList listOf(std::initializer_list<FormField> rows) {
  FieldList list;
  for (const FormField& field : rows) list.append(field);
  return list;
}

std::string page(const FieldList& fields, const std::string& email = "a@b.de") {
  return generateFormPage(fields, email, FormMailAddress::parse(kAction).value());
}

const std::string kRadio(typeTextOf(FieldType::OptionField));
const std::string kHeading(typeTextOf(FieldType::Heading));

TEST(FormPage, EmptyListIsPrologueAndEpilogueOnly) {
  const std::string text = page(FieldList{}, "");
  EXPECT_EQ(text, kPrologue + epilogue("", "", ""));
  size_t lineEnds = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
    ++lineEnds;
  }
  EXPECT_EQ(lineEnds, 20u);
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "no bare LF";
  EXPECT_EQ(text.substr(text.size() - 9), "</html>\r\n");
}

TEST(FormPage, RequiredTextFieldOptionGroupAndSeparator) {
  FormField a = row("A", "Textfeld", "Name", "", "Nein");
  const FieldList fields = listOf({
      a,
      row("B", kRadio, "rot", "r", "Ja", "Ja"),
      row("B", kRadio, "blau", "b", "Ja", "Nein"),
      row("C", "Trennlinie"),
  });
  EXPECT_EQ(page(fields),
            kPrologue +
                crlfLines({
                    "<tr>",
                    "<td>Name*</td>",
                    "<td><input type=\"text\" size=\"40\" name=\"A\" value=\"\"></td>",
                    "</tr>",
                    "<tr>",
                    "<td colspan=2><input type=\"radio\" name=\"B\" value=\"r\" "
                    "checked=\"checked\"> rot</td>",
                    "</tr>",
                    "<tr>",
                    "<td colspan=2><input type=\"radio\" name=\"B\" value=\"b\"> blau</td>",
                    "</tr>",
                    "</table><hr><table border=\"0\" cellpadding=4 cellspacing=1 >",
                }) +
                epilogue("A", "A,B,B,C", "a@b.de"));
}

TEST(FormPage, EveryOtherTypeWritesItsLines) {
  FormField area = row("T", "Mehrzeiliges Textfeld", "Text", "<b>x</b>");
  area.Width = "30";
  area.Height = "7";
  const FieldList fields = listOf({
      area,
      row("K", "Ankreuzfeld", "ja?", "1", "Ja", "Ja"),
      row("L", "Ankreuzfeld", "nein?", "2", "Ja", ""),
      row("P", "Neuer Absatz", "ignored", "ignored"),
      row("N", "Normaler Text", "<i>Hinweis</i>"),
  });
  EXPECT_EQ(page(fields),
            kPrologue +
                crlfLines({
                    "<tr>",
                    "<td>Text</td>",
                    "<td><textarea name=\"T\" cols=\"30\" rows=\"7\"><b>x</b></textarea></td>",
                    "</tr>",
                    "<tr>",
                    "<td colspan=2><input type=\"checkbox\" name=\"K\" value=\"1\" "
                    "checked=\"checked\"> ja?</td>",
                    "</tr>",
                    "<tr>",
                    "<td colspan=2><input type=\"checkbox\" name=\"L\" value=\"2\"> nein?</td>",
                    "</tr>",
                    "</table><p><table border=\"0\" cellpadding=4 cellspacing=1 >",
                    "</table><i>Hinweis</i><table border=\"0\" cellpadding=4 cellspacing=1 >",
                }) +
                epilogue("", "T,K,L,P,N", "a@b.de"));
}

TEST(FormPage, MaxCharsIsLeftOutOnlyForExactlyZero) {
  const auto inputLineFor = [](const std::string& maxChars) {
    FormField field = row("M", "Textfeld", "", "v");
    field.MaxChars = maxChars;
    const std::string text = page(listOf({field}));
    const size_t start = text.find("<td><input");
    return text.substr(start, text.find("\r\n", start) - start);
  };
  EXPECT_EQ(inputLineFor("0"), "<td><input type=\"text\" size=\"40\" name=\"M\" value=\"v\"></td>");
  EXPECT_EQ(inputLineFor("00"),
            "<td><input type=\"text\" size=\"40\" maxlength=\"00\" name=\"M\" value=\"v\"></td>");
  EXPECT_EQ(inputLineFor(""),
            "<td><input type=\"text\" size=\"40\" maxlength=\"\" name=\"M\" value=\"v\"></td>");
  EXPECT_EQ(inputLineFor("12"),
            "<td><input type=\"text\" size=\"40\" maxlength=\"12\" name=\"M\" value=\"v\"></td>");
}

TEST(FormPage, RequiredHeadingIsStarredAndListedWithoutAnInput) {
  const FieldList fields = listOf({row("H", kHeading, "Umfrage", "", "Nein")});
  EXPECT_EQ(page(fields), kPrologue +
                              crlfLines({
                                  "</table><h1>Umfrage*</h1><table border=\"0\" "
                                  "cellpadding=4 cellspacing=1 >",
                              }) +
                              epilogue("H", "H", "a@b.de"));
}

TEST(FormPage, UnknownTypeWritesNothingButStaysInTheLists) {
  const FieldList fields = listOf(
      {row("X", "Textfeld ", "cap", "", "Nein"), row("Y", "textfeld", "cap"), row("Z", "", "cap")});
  EXPECT_EQ(page(fields), kPrologue + epilogue("X", "X,Y,Z", "a@b.de"));
}

TEST(FormPage, EmptyNamesInTheLists) {
  // An empty first name leaves no leading comma; a later empty name leaves a trailing one.
  const FieldList fields = listOf({row("", "Trennlinie", "", "", "Nein"),
                                   row("A", "Trennlinie", "", "", "Nein"), row("", "Trennlinie")});
  const std::string separator = "</table><hr><table border=\"0\" cellpadding=4 cellspacing=1 >";
  EXPECT_EQ(page(fields), kPrologue + crlfLines({separator, separator, separator}) +
                              epilogue("A", "A,", "a@b.de"));
}

TEST(FormPage, Windows1252BytesPassThroughAsSingleBytes) {
  // "Größe", "Übung", "Ä€" in Windows-1252.
  const FieldList fields = listOf({row("g", "Textfeld",
                                       "Gr\xF6\xDF"
                                       "e",
                                       "\xDC"
                                       "bung"),
                                   row("h", kHeading, "\xC4\x80")});
  const std::string text = page(fields, "m\xFC@x.de");
  EXPECT_NE(text.find("<td>Gr\xF6\xDF"
                      "e</td>\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("value=\"\xDC"
                      "bung\"></td>\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("<h1>\xC4\x80</h1>"), std::string::npos);
  EXPECT_NE(text.find("VALUE=\"m\xFC@x.de\">"), std::string::npos);
  EXPECT_EQ(text.find("\xC3"), std::string::npos) << "no UTF-8 lead byte";
}

TEST(FormPage, DoubleQuotesAreEscapedInAttributeValuesOnly) {
  FormField text = row("n\"1", "Textfeld", "Sag \"Hallo\"", "er sagte \"ja\"");
  text.Width = "4\"0";
  text.MaxChars = "9\"";
  FormField area = row("t\"", "Mehrzeiliges Textfeld", "\"q\"", "\"drin\" & <b>");
  area.Width = "\"";
  area.Height = "\"\"";
  const FieldList fields = listOf({text, area, row("r", kRadio, "\"L\"", "x\"y", "Nein", "Ja")});
  const std::string body = page(fields, "\"a\"@b.de");
  EXPECT_EQ(body, kPrologue +
                      crlfLines({
                          "<tr>",
                          "<td>Sag \"Hallo\"</td>",
                          "<td><input type=\"text\" size=\"4&quot;0\" maxlength=\"9&quot;\" "
                          "name=\"n&quot;1\" value=\"er sagte &quot;ja&quot;\"></td>",
                          "</tr>",
                          "<tr>",
                          "<td>\"q\"</td>",
                          "<td><textarea name=\"t&quot;\" cols=\"&quot;\" rows=\"&quot;&quot;\">"
                          "\"drin\" & <b></textarea></td>",
                          "</tr>",
                          "<tr>",
                          "<td colspan=2><input type=\"radio\" name=\"r\" value=\"x&quot;y\" "
                          "checked=\"checked\"> \"L\"*</td>",
                          "</tr>",
                      }) +
                      epilogue("r", "n&quot;1,t&quot;,r", "&quot;a&quot;@b.de"));
}

TEST(FormPage, NothingButTheDoubleQuoteIsChanged) {
  EXPECT_EQ(quoteAttributeValue("&amp; <>'\t\r\n\x80\xFF"), "&amp; <>'\t\r\n\x80\xFF");
  EXPECT_EQ(quoteAttributeValue("\"\""), "&quot;&quot;");
  EXPECT_EQ(quoteAttributeValue(std::string("a\0\"b", 4)), std::string("a\0&quot;b", 9));
}

TEST(FormPage, ActionIsTheScriptOnTheConfiguredHost) {
  EXPECT_EQ(FormMailAddress::onHost("mail.example.org").text(),
            "http://mail.example.org/cgi-bin/sendmailform.cgi");
  EXPECT_EQ(FormMailAddress().text(),
            std::string("http://") + VANTREL_FORMMAIL_HOST + "/cgi-bin/sendmailform.cgi");
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// The user's own receiver: only what a browser can post to unchanged becomes the ACTION.
TEST(FormMailAddress, OnlyAbsoluteHttpAndHttpsAddressesWithoutBlanksAreUsable) {
  const struct {
    std::string address;
    bool usable;
    bool ownComputer = false;  // the respondent's own computer: the answers go nowhere
  } cases[] = {
      {"http://localhost/cgi-bin/sendmailform.cgi", true, true},
      {"https://umfragen.example.org/cgi-bin/sendmailform.cgi", true},
      {"HTTPS://Umfragen.Example.org", true},
      {"http://127.0.0.1:8080/senden?x=1#a", true, true},
      {"http://[::1]:8080/senden", true, true},
      {"http://nutzer@LOCALHOST.:8080/", true, true},
      {"https://umfragen.localhost/senden", true, true},
      {"http://127.1.2.3/", true, true},
      {"http://localhost.example.org/", true},
      {"http://umfragen-localhost/", true},
      {"http://127.0.0.1.example.org/", true},
      {"http://127.example.org/", true},
      {"http://example.org/localhost", true},
      {"http://[::2]/", true},
      {"http://nutzer@umfragen.example.org/", true},
      {"https://umfragen.example.org/K\xF6ln", true},  // a Windows-1252 letter is no blank
      {"", false},
      {"umfragen.example.org/cgi-bin/sendmailform.cgi", false},
      {"ftp://umfragen.example.org/", false},
      {"mailto:info@example.org", false},
      {"http:/umfragen.example.org/", false},
      {"http://", false},
      {"https:///pfad", false},
      {"http://:8080/pfad", false},
      {"http://nutzer@/pfad", false},
      {"http://umfragen example.org/", false},
      {"http://umfragen.example.org/ pfad", false},
      {" http://umfragen.example.org/", false},
      {"http://umfragen.example.org/\tpfad", false},
      {"http://umfragen.example.org/\r\nX: y", false},
      {std::string("http://umfragen.example.org/\0", 29), false},
      {"http://umfragen.example.org/\x7F", false},
      {"http://umfragen.example.org/\xA0", false},  // the no-break space
      {"http://umfragen.example.org/\"onclick=\"x", false},
  };
  // Usable: taken as the page's ACTION exactly as typed. The empty text is no address: it
  // stands for the default one.
  for (const auto& c : cases) {
    const Result<FormMailAddress> parsed = FormMailAddress::parse(c.address);
    EXPECT_EQ(parsed.ok() && parsed.value().text() == c.address, c.usable) << c.address;
    if (parsed && !c.address.empty()) {  // the empty text stands for the default
      EXPECT_EQ(parsed.value().postsToOwnComputer(), c.ownComputer) << c.address;
    }
    if (!c.usable && !c.address.empty()) {
      EXPECT_TRUE(parsed.is(ProjectFailure::UnusableFormMailAddress)) << c.address;
    }
  }
  EXPECT_EQ(FormMailAddress::parse("").value(), FormMailAddress());
  // What the user reads, byte for byte.
  EXPECT_EQ(germanMessage(FormMailAddress::parse("ftp://x").failure()),
            "Die Adresse des Formular-Empfängers muss eine vollständige http- oder https-Adresse "
            "sein (zum Beispiel https://example.org/cgi-bin/sendmailform.cgi), ohne Leerzeichen "
            "und Steuerzeichen.");
}

TEST(FormMailAddress, TheUsersAddressIsThePagesAction) {
  const std::string page =
      generateFormPage(FieldList{}, "a@example.org",
                       FormMailAddress::parse("https://umfragen.example.org/senden").value());
  EXPECT_NE(page.find("ACTION=\"https://umfragen.example.org/senden\""), std::string::npos);
  EXPECT_TRUE(FormMailAddress::parse(FormMailAddress().text()).ok());
}

// The key goes into the address the page posts to; without one the page is what it was.
TEST(SurveyKey, APagesAddressCarriesTheKeyOnlyWhenThereIsOne) {
  const struct {
    const char* address;
    const char* key;
    const char* action;
  } cases[] = {
      {"https://u.example.org/cgi-bin/sendmailform.cgi", "",
       "https://u.example.org/cgi-bin/sendmailform.cgi"},
      {"https://u.example.org/cgi-bin/sendmailform.cgi", "Kurs-2026",
       "https://u.example.org/cgi-bin/sendmailform.cgi?umfrage=Kurs-2026"},
      {"https://u.example.org/senden?x=1#oben", "a1",
       "https://u.example.org/senden?x=1&umfrage=a1#oben"},
  };
  for (const auto& c : cases) {
    const FormMailAddress address = FormMailAddress::parse(c.address).value();
    const std::string page =
        generateFormPage(FieldList{}, "a@example.org", address.withSurvey(c.key));
    EXPECT_NE(page.find("ACTION=\"" + std::string(c.action) + "\""), std::string::npos) << c.key;
  }
  const FormMailAddress plain = FormMailAddress::parse(cases[0].address).value();
  EXPECT_EQ(generateFormPage(FieldList{}, "a@example.org", plain.withSurvey("")),
            generateFormPage(FieldList{}, "a@example.org", plain));
}

TEST(SurveyKey, IsProposedFromTheProjectName) {
  const std::pair<const char*, const char*> cases[] = {
      {"Kundenumfrage 2026", "Kundenumfrage-2026"},
      {"\xC4rzte & Gr\xFC\xDF"
       "e / M\xF6"
       "bel",
       "Aerzte-Gruesse-Moebel"},
      {"  --Caf\xE9 \xDC"
       "bung!! ",
       "Caf-Uebung"},
      {"!!!", ""},
      {"Eine sehr lange Projektbezeichnung mit vielen W\xF6rtern darin",
       "Eine-sehr-lange-Projektbezeichnung-mit-v"},
  };
  for (const auto& [name, key] : cases) {
    EXPECT_EQ(proposedSurveyKey(name), key) << name;
    EXPECT_TRUE(std::string(key).empty() || isValidSurveyKey(key)) << key;
  }
  EXPECT_EQ(surveyKeyFrom(" Kurs-1 ").value(), "Kurs-1");
  EXPECT_EQ(surveyKeyFrom("").value(), "");
  EXPECT_TRUE(surveyKeyFrom("Gr\xFCn").is(ProjectFailure::UnusableSurveyKey));
}

}  // namespace
}  // namespace vantrel
