#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "answers/AnswerStatistics.h"
#include "project/FormField.h"

namespace vantrel::answers {
namespace {

FormField row(FieldType type, std::string name, std::string caption, std::string content = "") {
  FormField field;
  field.InternalName = std::move(name);
  field.TypeText = std::string(typeTextOf(type));
  field.CaptionText = std::move(caption);
  field.Content = std::move(content);
  field.OptionalFlag = "Ja";
  field.PreselectedFlag = "Nein";
  return field;
}

// A survey as the field list holds it, Windows-1252: a question above an option group of three,
// a check box, a text field, a multi-line field and a check box group of two.
FieldList surveyFields() {
  FieldList fields;
  fields.append(row(FieldType::Heading, "Kopf", "Umfrage"));
  fields.append(row(FieldType::TextField, "Name", "Ihr Name"));
  fields.append(row(FieldType::PlainText, "Frage", "Wie zufrieden sind Sie?"));
  fields.append(row(FieldType::OptionField, "Zufrieden", "Sehr zufrieden", "sehr"));
  fields.append(row(FieldType::OptionField, "Zufrieden", "Zufrieden", "ja"));
  fields.append(row(FieldType::OptionField, "Zufrieden", "Unzufrieden", "nein"));
  fields.append(row(FieldType::CheckBoxField, "Newsletter", "Newsletter abonnieren", "ja"));
  fields.append(row(FieldType::MultiLineTextField, "Anmerkung", "Anmerkungen f\xFCr uns"));
  fields.append(row(FieldType::CheckBoxField, "Kanal", "per Post", "post"));
  fields.append(row(FieldType::CheckBoxField, "Kanal", "per Mail", "mail"));
  return fields;
}

Answer answer(std::string received, std::vector<std::pair<std::string, std::string>> fields) {
  Answer made;
  made.formId = "Formular";
  made.receivedUtc = std::move(received);
  made.fields = std::move(fields);
  return made;
}

// Posts as the receiver keeps them: only what was posted, in data_order, a check box only when
// ticked, a field the form does not know ("Werbung", a field of an older page) at the end.
std::vector<Answer> surveyAnswers() {
  return {
      answer("2026-12-07T10:00:00Z", {{"Name", "Anna"},
                                      {"Zufrieden", "sehr"},
                                      {"Newsletter", "ja"},
                                      {"Anmerkung",
                                       "Gr\xC3\xBC\xC3\x9F"
                                       "e; \"gut\"\nzweite Zeile"},
                                      {"Kanal", "post"},
                                      {"Kanal", "mail"}}),
      answer("2026-12-06T09:30:00Z", {{"Name", "Bert"}, {"Zufrieden", "ja"}, {"Anmerkung", ""}}),
      answer("2026-12-08T23:59:59Z",
             {{"Name", ""}, {"Zufrieden", "sehr"}, {"Newsletter", "ja"}, {"Kanal", "mail"}}),
      answer("2026-12-07T12:00:00Z", {{"Name", "Dora"}, {"Anmerkung", "-"}, {"Werbung", "x"}}),
  };
}

struct ExpectedCount {
  std::string caption;
  std::uint64_t count;
  double percent;
};

void expectCounts(const FieldStatistics& field, const std::vector<ExpectedCount>& expected) {
  ASSERT_EQ(field.counts.size(), expected.size()) << field.name;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(field.counts[i].caption, expected[i].caption) << field.name << " " << i;
    EXPECT_EQ(field.counts[i].count, expected[i].count) << field.name << " " << i;
    EXPECT_DOUBLE_EQ(field.counts[i].percent, expected[i].percent) << field.name << " " << i;
  }
}

AnswerReport reportOf(const std::vector<Answer>& answers, const FormDescription* form) {
  AnswerTally tally;
  for (const Answer& one : answers) tally.add(one);
  return tally.report(form);
}

TEST(AnswerStatistics, FormGivesOrderCaptionsAndChoicesInItsOrder) {
  const FormDescription form = describeForm(surveyFields());
  const AnswerReport report = reportOf(surveyAnswers(), &form);

  EXPECT_EQ(report.answers, 4u);
  EXPECT_EQ(report.firstReceived, "2026-12-06T09:30:00Z");
  EXPECT_EQ(report.lastReceived, "2026-12-08T23:59:59Z");
  EXPECT_EQ(report.columns, (std::vector<std::string>{"Name", "Zufrieden", "Newsletter",
                                                      "Anmerkung", "Kanal", "Werbung"}));
  EXPECT_EQ(
      report.columnCaptions,
      (std::vector<std::string>{"Ihr Name", "Wie zufrieden sind Sie?", "Newsletter abonnieren",
                                "Anmerkungen f\xC3\xBCr uns", "Kanal", "Werbung"}));
  ASSERT_EQ(report.fields.size(), 6u);

  EXPECT_EQ(report.fields[0].kind, FieldKind::Text);
  EXPECT_EQ(report.fields[0].texts, (std::vector<std::string>{"Anna", "Bert", "Dora"}));
  EXPECT_TRUE(report.fields[0].counts.empty());

  // Choices in the form's order even where nobody chose them ("nein"), then no answer.
  EXPECT_EQ(report.fields[1].kind, FieldKind::OptionGroup);
  expectCounts(report.fields[1], {{"Sehr zufrieden", 2, 50.0},
                                  {"Zufrieden", 1, 25.0},
                                  {"Unzufrieden", 0, 0.0},
                                  {"keine Angabe", 1, 25.0}});
  EXPECT_EQ(report.fields[1].counts[0].value, "sehr");
  EXPECT_EQ(report.fields[1].counts[3].value, "");

  EXPECT_EQ(report.fields[2].kind, FieldKind::CheckBox);
  expectCounts(report.fields[2],
               {{"Newsletter abonnieren", 2, 50.0}, {"nicht angekreuzt", 2, 50.0}});

  EXPECT_EQ(report.fields[3].kind, FieldKind::Text);
  EXPECT_EQ(report.fields[3].texts, (std::vector<std::string>{"Gr\xC3\xBC\xC3\x9F"
                                                              "e; \"gut\"\nzweite Zeile",
                                                              "-"}));

  // Two boxes of one name: each counted on its own, so the shares add up to more than 100.
  EXPECT_EQ(report.fields[4].kind, FieldKind::CheckBox);
  expectCounts(report.fields[4],
               {{"per Post", 1, 25.0}, {"per Mail", 2, 50.0}, {"nicht angekreuzt", 2, 50.0}});

  // Unknown to the form, and one value once: listed as text.
  EXPECT_EQ(report.fields[5].kind, FieldKind::Text);
  EXPECT_EQ(report.fields[5].texts, (std::vector<std::string>{"x"}));
}

TEST(AnswerStatistics, WithoutTheFormColumnsComeFirstSeenAndChoicesAreGuessed) {
  std::vector<Answer> answers = surveyAnswers();
  answers.push_back(answer("", {{"Zufrieden", "ohne Zeit"}}));
  const AnswerReport report = reportOf(answers, nullptr);

  EXPECT_EQ(report.answers, 5u);
  // An answer without a time of receipt leaves the span alone.
  EXPECT_EQ(report.firstReceived, "2026-12-06T09:30:00Z");
  EXPECT_EQ(report.lastReceived, "2026-12-08T23:59:59Z");
  EXPECT_EQ(report.columns, (std::vector<std::string>{"Name", "Zufrieden", "Newsletter",
                                                      "Anmerkung", "Kanal", "Werbung"}));
  EXPECT_EQ(report.columnCaptions, report.columns);

  struct Case {
    std::size_t column;
    FieldKind kind;
  };
  // Names: four answers, three values -> text. Zufrieden: three values in five -> choice.
  // Newsletter: one value twice. Kanal: posted twice in one answer. Werbung: one value once.
  for (const Case c :
       {Case{0, FieldKind::Text}, Case{1, FieldKind::OptionGroup}, Case{2, FieldKind::OptionGroup},
        Case{3, FieldKind::Text}, Case{4, FieldKind::OptionGroup}, Case{5, FieldKind::Text}}) {
    EXPECT_EQ(report.fields[c.column].kind, c.kind) << report.columns[c.column];
  }
  expectCounts(
      report.fields[1],
      {{"sehr", 2, 40.0}, {"ja", 1, 20.0}, {"ohne Zeit", 1, 20.0}, {"keine Angabe", 1, 20.0}});
  expectCounts(report.fields[4], {{"post", 1, 20.0}, {"mail", 2, 40.0}, {"keine Angabe", 3, 60.0}});
}

TEST(AnswerStatistics, RowsFollowTheColumnsAndJoinRepeatedValues) {
  const std::vector<std::string> columns = {"Kanal", "Name", "Fehlt"};
  const std::vector<Answer> answers = surveyAnswers();
  EXPECT_EQ(AnswerTally::rowOf(answers[0], columns),
            (std::vector<std::string>{"post, mail", "Anna", ""}));
  EXPECT_EQ(AnswerTally::rowOf(answers[1], columns), (std::vector<std::string>{"", "Bert", ""}));
}

// Read back from an exported table, the boxes ticked together share one cell; the form tells
// they were two choices. A value that only looks joined stays one value.
TEST(AnswerStatistics, JoinedCellsOfAnExportCountEachChoice) {
  const FormDescription form = describeForm(surveyFields());
  AnswerTally tally;
  tally.add(answer("2026-12-07T10:00:00Z", {{"Kanal", "post, mail"}}));
  tally.add(answer("2026-12-07T11:00:00Z", {{"Kanal", "mail"}}));
  tally.add(answer("2026-12-07T12:00:00Z", {{"Kanal", "mail, Fax"}}));
  const AnswerReport report = tally.report(&form);
  expectCounts(report.fields[4], {{"per Post", 1, 100.0 / 3},
                                  {"per Mail", 2, 200.0 / 3},
                                  {"mail, Fax", 1, 100.0 / 3},
                                  {"nicht angekreuzt", 0, 0.0}});
}

TEST(AnswerStatistics, NoAnswersGiveNoSpanAndNoShares) {
  const FormDescription form = describeForm(surveyFields());
  const AnswerReport report = reportOf({}, &form);
  EXPECT_EQ(report.answers, 0u);
  EXPECT_EQ(report.firstReceived, "");
  EXPECT_EQ(report.columns.size(), 5u);
  expectCounts(report.fields[1], {{"Sehr zufrieden", 0, 0.0},
                                  {"Zufrieden", 0, 0.0},
                                  {"Unzufrieden", 0, 0.0},
                                  {"keine Angabe", 0, 0.0}});
}

}  // namespace
}  // namespace vantrel::answers
