#include "answers/AnswerStatistics.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

#include "answers/AnswerExport.h"
#include "base/Win1252.h"
#include "project/FormField.h"

namespace vantrel::answers {
namespace {

// Rows that stand above an option group and can serve as its question.
bool isQuestionText(FieldType type) {
  return type == FieldType::Heading || type == FieldType::PlainText;
}

std::optional<FieldKind> postedKindOf(FieldType type) {
  switch (type) {
    case FieldType::TextField:
    case FieldType::MultiLineTextField:
      return FieldKind::Text;
    case FieldType::OptionField:
      return FieldKind::OptionGroup;
    case FieldType::CheckBoxField:
      return FieldKind::CheckBox;
    default:
      return std::nullopt;
  }
}

std::string_view noAnswerCaptionFor(FieldKind kind) {
  return kind == FieldKind::CheckBox ? std::string_view("nicht angekreuzt") : kNoAnswerCaption;
}

double percentOf(std::uint64_t count, std::uint64_t total) {
  return total == 0 ? 0.0 : 100.0 * static_cast<double>(count) / static_cast<double>(total);
}

void addChoice(DescribedField& field, const FormField& row) {
  const std::string value = utf8From1252(row.Content);
  const bool known = std::any_of(field.choices.begin(), field.choices.end(),
                                 [&](const FormChoice& choice) { return choice.value == value; });
  if (!known) field.choices.push_back({value, utf8From1252(row.CaptionText)});
}

// The caption a field's first row gives it: for a single check box its own caption, for an
// option group the question above it.
std::string captionOfFirstRow(FieldKind kind, const FormField& row, const std::string& question,
                              const std::string& name) {
  if (kind == FieldKind::OptionGroup) return question.empty() ? name : question;
  const std::string caption = utf8From1252(row.CaptionText);
  return caption.empty() ? name : caption;
}

// An exported table holds the boxes of one name ticked together in one cell ("post, mail"):
// where every piece of such a value is a choice of the form, each piece is counted instead.
void splitJoinedChoices(std::unordered_map<std::string, std::uint64_t>& counts,
                        const DescribedField& field) {
  const auto isChoice = [&](std::string_view value) {
    return std::any_of(field.choices.begin(), field.choices.end(),
                       [&](const FormChoice& choice) { return choice.value == value; });
  };
  std::vector<std::pair<std::string, std::uint64_t>> joined;
  for (const auto& [value, count] : counts) {
    if (!isChoice(value) && value.find(kRepeatedValueJoin) != std::string::npos) {
      joined.emplace_back(value, count);
    }
  }
  for (const auto& [value, count] : joined) {
    std::vector<std::string_view> pieces;
    std::string_view rest = value;
    for (std::size_t at = rest.find(kRepeatedValueJoin); at != std::string_view::npos;
         at = rest.find(kRepeatedValueJoin)) {
      pieces.push_back(rest.substr(0, at));
      rest.remove_prefix(at + kRepeatedValueJoin.size());
    }
    pieces.push_back(rest);
    if (!std::all_of(pieces.begin(), pieces.end(), isChoice)) continue;
    counts.erase(value);
    for (const std::string_view piece : pieces) counts[std::string(piece)] += count;
  }
}

}  // namespace

const DescribedField* FormDescription::find(std::string_view name) const {
  const auto found = std::find_if(fields.begin(), fields.end(),
                                  [&](const DescribedField& field) { return field.name == name; });
  return found == fields.end() ? nullptr : &*found;
}

FormDescription describeForm(const FieldList& fields) {
  FormDescription form;
  std::string question;  // the text of the heading or plain text just above, if any
  for (const FormField& row : fields.rows()) {
    const std::optional<FieldType> type = fieldTypeOf(row.TypeText);
    const std::optional<FieldKind> kind = type ? postedKindOf(*type) : std::nullopt;
    if (!kind) {
      question = type && isQuestionText(*type) ? utf8From1252(row.CaptionText) : std::string();
      continue;
    }
    const std::string name = utf8From1252(row.InternalName);
    auto field = std::find_if(form.fields.begin(), form.fields.end(),
                              [&](const DescribedField& known) { return known.name == name; });
    if (field == form.fields.end()) {
      form.fields.push_back({name, captionOfFirstRow(*kind, row, question, name), *kind, {}});
      field = std::prev(form.fields.end());
    }
    if (field->kind != FieldKind::Text) addChoice(*field, row);
    // A second check box of the same name makes the caption of the first one too narrow.
    if (field->kind == FieldKind::CheckBox && field->choices.size() == 2) field->caption = name;
    if (*kind != FieldKind::OptionGroup) question.clear();
  }
  return form;
}

void AnswerTally::add(const Answer& answer) {
  ++answers_;
  if (!answer.receivedUtc.empty()) {
    if (firstReceived_.empty() || answer.receivedUtc < firstReceived_) {
      firstReceived_ = answer.receivedUtc;
    }
    lastReceived_ = std::max(lastReceived_, answer.receivedUtc);
  }
  order_.add(answer);
  std::unordered_set<std::string_view> seen;
  std::unordered_set<std::string_view> chosen;
  for (const auto& [name, value] : answer.fields) {
    // Names beyond those the column order keeps can never become a column.
    if (fields_.size() >= kMostNamesKept && !fields_.contains(name)) continue;
    FieldValues& field = fields_[name];
    if (!seen.insert(name).second) field.repeated = true;
    if (value.empty()) continue;
    if (chosen.insert(name).second) ++field.answersWithChoice;
    const auto counted = field.counts.find(value);
    if (counted != field.counts.end()) {
      ++counted->second;
    } else if (field.counts.size() < kMostCountedValues) {
      field.counts.emplace(value, 1);
      field.values.push_back(value);
    } else {
      ++field.otherValues;
    }
    if (keepTexts_) field.texts.push_back(value);
  }
}

std::vector<std::string> AnswerTally::rowOf(const Answer& answer,
                                            const std::vector<std::string>& columns) {
  std::unordered_map<std::string_view, std::size_t> indexOf;
  for (std::size_t i = 0; i < columns.size(); ++i) indexOf.emplace(columns[i], i);
  std::vector<std::string> row(columns.size());
  std::vector<bool> filled(columns.size(), false);
  for (const auto& [name, value] : answer.fields) {
    const auto column = indexOf.find(name);
    if (column == indexOf.end()) continue;
    const std::size_t index = column->second;
    if (filled[index]) row[index] += kRepeatedValueJoin;
    row[index] += value;
    filled[index] = true;
  }
  return row;
}

ColumnChoice AnswerTally::columnsFor(const FormDescription* form) const {
  std::vector<std::string> known;
  if (form) {
    for (const DescribedField& field : form->fields) known.push_back(field.name);
  }
  return order_.choose(known);
}

bool AnswerTally::looksLikeAChoice(const FieldValues& values) const {
  if (values.repeated) return true;
  return values.values.size() <= kMostGuessedChoices &&
         values.values.size() < values.answersWithChoice;
}

FieldStatistics AnswerTally::statisticsOf(const std::string& name,
                                          const DescribedField* described) const {
  static const FieldValues kNothing;
  const auto found = fields_.find(name);
  const FieldValues& values = found == fields_.end() ? kNothing : found->second;
  FieldStatistics statistics;
  statistics.name = name;
  statistics.caption = described ? described->caption : name;
  if (described) {
    statistics.kind = described->kind;
  } else {
    statistics.kind = looksLikeAChoice(values) ? FieldKind::OptionGroup : FieldKind::Text;
  }
  if (statistics.kind == FieldKind::Text) {
    statistics.texts = values.texts;
    return statistics;
  }
  std::unordered_map<std::string, std::uint64_t> counts = values.counts;
  if (described) splitJoinedChoices(counts, *described);
  const auto countOf = [&](const std::string& value) {
    const auto count = counts.find(value);
    return count == counts.end() ? std::uint64_t{0} : count->second;
  };
  std::unordered_set<std::string> listed;
  if (described) {
    for (const FormChoice& choice : described->choices) {
      const std::uint64_t count = countOf(choice.value);
      statistics.counts.push_back({choice.value,
                                   choice.caption.empty() ? choice.value : choice.caption, count,
                                   percentOf(count, answers_)});
      listed.insert(choice.value);
    }
  }
  for (const std::string& value : values.values) {
    if (!counts.contains(value) || !listed.insert(value).second) continue;
    const std::uint64_t count = countOf(value);
    statistics.counts.push_back({value, value, count, percentOf(count, answers_)});
  }
  if (values.otherValues > 0) {
    statistics.counts.push_back({std::string(), std::string(kOtherValuesCaption),
                                 values.otherValues, percentOf(values.otherValues, answers_)});
  }
  // Every answer that carried no non-empty value of this field made no choice.
  const std::uint64_t without = answers_ - values.answersWithChoice;
  statistics.counts.push_back({std::string(), std::string(noAnswerCaptionFor(statistics.kind)),
                               without, percentOf(without, answers_)});
  return statistics;
}

AnswerReport AnswerTally::report(const FormDescription* form) const {
  AnswerReport report;
  report.answers = answers_;
  report.firstReceived = firstReceived_;
  report.lastReceived = lastReceived_;
  ColumnChoice columns = columnsFor(form);
  report.columns = std::move(columns.names);
  report.namesLeftOut = columns.namesLeftOut;
  for (const std::string& name : report.columns) {
    const DescribedField* described = form ? form->find(name) : nullptr;
    report.columnCaptions.push_back(described ? described->caption : name);
    report.fields.push_back(statisticsOf(name, described));
  }
  return report;
}

}  // namespace vantrel::answers
