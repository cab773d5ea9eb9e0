#pragma once
// A small survey and four answers to it, for the tests of "Auswertung" and its screenshot: the
// field list as the main window holds it, and a Maildir as the receiver leaves it, with one
// answer delivered twice and one mail that is no answer at all.

#include <QDir>
#include <QString>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "answers/Answer.h"
#include "app/FieldListModel.h"
#include "app/MainUnit.h"
#include "project/FormField.h"
#include "tests/gui/MainFormFixture.h"

namespace vantrel::test {

inline FormField surveyRow(FieldType type, const char* name, const char* caption,
                           const char* content = "") {
  FormField field;
  field.InternalName = name;
  field.TypeText = std::string(typeTextOf(type));
  field.CaptionText = caption;
  field.Content = content;
  field.Width = "40";
  field.Height = "4";
  field.MaxChars = "0";
  field.OptionalFlag = "Ja";
  field.PreselectedFlag = "Nein";
  return field;
}

// Windows-1252, as the list holds it.
inline void fillSurvey(TMainForm& form) {
  FieldListModel* list = fieldListOf(form);
  list->appendField(surveyRow(FieldType::Heading, "Kopf", "Kundenumfrage 2026"));
  list->appendField(surveyRow(FieldType::TextField, "Name", "Ihr Name"));
  list->appendField(surveyRow(FieldType::PlainText, "Frage", "Wie zufrieden sind Sie?"));
  list->appendField(surveyRow(FieldType::OptionField, "Zufrieden", "Sehr zufrieden", "sehr"));
  list->appendField(surveyRow(FieldType::OptionField, "Zufrieden", "Zufrieden", "ja"));
  list->appendField(surveyRow(FieldType::OptionField, "Zufrieden", "Unzufrieden", "nein"));
  list->appendField(
      surveyRow(FieldType::CheckBoxField, "Newsletter", "Newsletter abonnieren", "ja"));
  list->appendField(
      surveyRow(FieldType::MultiLineTextField, "Anmerkung", "Anmerkungen f\xFCr uns"));
  list->appendField(surveyRow(FieldType::CheckBoxField, "Kanal", "per Post", "post"));
  list->appendField(surveyRow(FieldType::CheckBoxField, "Kanal", "per Mail", "mail"));
}

inline answers::Answer surveyAnswer(std::string received, std::string messageId,
                                    std::vector<std::pair<std::string, std::string>> fields) {
  answers::Answer made;
  made.formId = "Formular";
  made.receivedUtc = std::move(received);
  made.fields = std::move(fields);
  made.messageId = std::move(messageId);
  return made;
}

// UTF-8, only what each post carried: a check box only when ticked.
inline std::vector<answers::Answer> surveyAnswers() {
  return {
      surveyAnswer("2026-12-07T10:00:00Z", "<a1@umfrage.example>",
                   {{"Name", "Anna"},
                    {"Zufrieden", "sehr"},
                    {"Newsletter", "ja"},
                    {"Anmerkung",
                     "Gr\xC3\xBC\xC3\x9F"
                     "e; \"gut\"\nzweite Zeile"},
                    {"Kanal", "post"},
                    {"Kanal", "mail"}}),
      surveyAnswer("2026-12-06T09:30:00Z", "<a2@umfrage.example>",
                   {{"Name", "Bert"}, {"Zufrieden", "ja"}, {"Anmerkung", ""}}),
      surveyAnswer("2026-12-08T23:59:59Z", "<a3@umfrage.example>",
                   {{"Name", ""}, {"Zufrieden", "sehr"}, {"Newsletter", "ja"}, {"Kanal", "mail"}}),
      surveyAnswer("2026-12-07T12:00:00Z", "<a4@umfrage.example>",
                   {{"Name", "Dora"}, {"Anmerkung", "-"}}),
  };
}

// A mail as the receiver writes one: a readable part and the part "antwort.json".
inline std::string surveyMail(const answers::Answer& answer) {
  std::string readable;
  for (const auto& [name, value] : answer.fields) readable += name + ": " + value + "\r\n";
  return "Message-ID: " + answer.messageId +
         "\r\n"
         "Subject: Formular: Formular\r\n"
         "MIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"=_grenze\"\r\n"
         "\r\n"
         "--=_grenze\r\n"
         "Content-Type: text/plain; charset=UTF-8\r\n"
         "Content-Transfer-Encoding: 8bit\r\n"
         "\r\n" +
         readable +
         "\r\n--=_grenze\r\n"
         "Content-Type: application/json; charset=UTF-8; name=\"antwort.json\"\r\n"
         "Content-Disposition: attachment; filename=\"antwort.json\"\r\n"
         "Content-Transfer-Encoding: 8bit\r\n"
         "\r\n" +
         answers::answerJson(answer) + "\r\n--=_grenze--\r\n";
}

inline void writeMailFile(const std::filesystem::path& file, const std::string& mail) {
  std::ofstream out(file, std::ios::binary);
  out << mail;
}

// The four answers in new/, the first of them once more in cur/ (the same Message-ID), a mail
// from someone else that carries no answer, and one whose answer part was cut off.
inline void writeSurveyMaildir(const QString& folder) {
  const std::filesystem::path root(QFile::encodeName(folder).toStdString());
  for (const char* part : {"cur", "new", "tmp"}) std::filesystem::create_directories(root / part);
  const std::vector<answers::Answer> answers = surveyAnswers();
  for (std::size_t i = 0; i < answers.size(); ++i) {
    writeMailFile(root / "new" / ("170000000" + std::to_string(i) + ".umfrage"),
                  surveyMail(answers[i]));
  }
  writeMailFile(root / "cur" / "1700000000.umfrage:2,S", surveyMail(answers[0]));
  writeMailFile(root / "cur" / "1700000009.fremd:2,S",
                "Message-ID: <fremd@example.org>\r\nSubject: Hallo\r\n\r\nNur ein Gruss.\r\n");
  answers::Answer cut = answers[1];
  cut.messageId = "<abgeschnitten@umfrage.example>";
  std::string mail = surveyMail(cut);
  mail.replace(mail.find("{"), std::string::npos, "{\"format\":\r\n--=_grenze--\r\n");
  writeMailFile(root / "cur" / "1700000008.umfrage:2,S", mail);
}

}  // namespace vantrel::test
