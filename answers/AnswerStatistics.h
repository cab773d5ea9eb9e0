#pragma once
// The tabulation of a set of answers: how many there are and when they came, the table's
// columns in the form's order, and for every field either the counts of its choices with
// their percentages or the list of what was written into it. The window "Auswertung" shows
// what this computes and nothing else; all text here is UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "answers/Answer.h"
#include "answers/AnswerReader.h"
#include "project/FieldList.h"

namespace vantrel::answers {

// What a field asks for: a choice among values (an option group, or check boxes) is counted,
// a text is listed.
enum class FieldKind { Text, OptionGroup, CheckBox };

struct FormChoice {
  std::string value;    // what the post carries when this choice is made
  std::string caption;  // what the form shows beside it
};

struct DescribedField {
  std::string name;
  std::string caption;  // the question; the name itself when the form gives none
  FieldKind kind = FieldKind::Text;
  std::vector<FormChoice> choices;  // in the form's order; empty for text
};

// The fields of a form, one entry per internal name, in the order the form first names them.
struct FormDescription {
  std::vector<DescribedField> fields;
  [[nodiscard]] const DescribedField* find(std::string_view name) const;
};

// The form the field list builds. Rows that post nothing (separator, paragraph, heading,
// plain text) are left out; a heading or plain text directly above an option group is taken
// as the group's question, since the form shows no other caption for a group as a whole.
[[nodiscard]] FormDescription describeForm(const FieldList& fields);

struct ChoiceCount {
  std::string value;
  std::string caption;  // the form's caption, or the value itself
  std::uint64_t count = 0;
  double percent = 0;  // of all answers
};

struct FieldStatistics {
  std::string name;
  std::string caption;
  FieldKind kind = FieldKind::Text;
  // Choices: the form's in its order, then values the form does not know in first-seen order,
  // then the answers that made no choice ("keine Angabe"), whose value is empty.
  std::vector<ChoiceCount> counts;
  std::vector<std::string> texts;  // a text field's non-empty answers, in the order they came
};

struct AnswerReport {
  std::uint64_t answers = 0;
  std::string firstReceived;  // empty without answers
  std::string lastReceived;
  std::vector<std::string> columns;         // internal names in table order
  std::vector<std::string> columnCaptions;  // what the table's header shows for each
  std::vector<FieldStatistics> fields;      // in table order
  std::uint64_t namesLeftOut = 0;           // posted names that got no column (ColumnChoice)
};

// The caption of the choice "no answer" in every chart.
inline constexpr std::string_view kNoAnswerCaption = "keine Angabe";

// Without the form, a field is counted as a choice when it was posted twice in one answer (check
// boxes of one name), or when it took at most this many different values, fewer than the answers
// that filled it in (some value came again); otherwise it is listed as text.
inline constexpr std::size_t kMostGuessedChoices = 12;
// A field's different values are counted one by one up to this many; the rest are counted
// together as kOtherValuesCaption, so that posts of ever new values cannot grow the tally.
inline constexpr std::size_t kMostCountedValues = 1000;
inline constexpr std::string_view kOtherValuesCaption = "weitere Werte";

// Collects answers one by one (the reader delivers them in batches) and tabulates them on
// request, with or without the form that asked for them.
class AnswerTally {
 public:
  // Without `keepTexts` the report lists no texts: a caller that keeps the answers itself takes
  // them from there instead of holding every text twice.
  explicit AnswerTally(bool keepTexts = true) : keepTexts_(keepTexts) {}
  void add(const Answer& answer);

  [[nodiscard]] std::uint64_t count() const { return answers_; }
  // One answer's cells in the order of `columns`: the values of a name posted more than once
  // joined as the export joins them (kRepeatedValueJoin).
  [[nodiscard]] static std::vector<std::string> rowOf(const Answer& answer,
                                                      const std::vector<std::string>& columns);

  [[nodiscard]] AnswerReport report(const FormDescription* form) const;

 private:
  struct FieldValues {
    std::vector<std::string> values;  // in first-seen order
    std::unordered_map<std::string, std::uint64_t> counts;
    std::uint64_t answersWithChoice = 0;  // answers that carried a non-empty value of it
    std::uint64_t otherValues = 0;        // values beyond kMostCountedValues
    bool repeated = false;                // some answer carried it twice
    std::vector<std::string> texts;
  };

  [[nodiscard]] ColumnChoice columnsFor(const FormDescription* form) const;
  [[nodiscard]] FieldStatistics statisticsOf(const std::string& name,
                                             const DescribedField* described) const;
  [[nodiscard]] bool looksLikeAChoice(const FieldValues& values) const;

  bool keepTexts_ = true;
  std::uint64_t answers_ = 0;
  std::string firstReceived_;
  std::string lastReceived_;
  ColumnOrder order_;
  std::unordered_map<std::string, FieldValues> fields_;
};

}  // namespace vantrel::answers
