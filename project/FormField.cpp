#include "project/FormField.h"

#include <stdexcept>

#include "base/Win1252.h"

namespace vantrel {

namespace {
// The names are Windows-1252 in the model.
constexpr auto kOptionField = cp1252("Optionsfeld (nur je eins von allen kann ausgewählt werden)");
constexpr auto kHeading = cp1252("Überschrift");
}  // namespace

const std::array<std::string_view, kFieldTypeCount> kFieldTypeTexts = {
    "Textfeld",   "Mehrzeiliges Textfeld", kOptionField, "Ankreuzfeld",
    "Trennlinie", "Neuer Absatz",          kHeading,     "Normaler Text",
};

std::string& memberAt(FormField& field, int index) {
  return const_cast<std::string&>(memberAt(static_cast<const FormField&>(field), index));
}

const std::string& memberAt(const FormField& field, int index) {
  switch (index) {
    case 0:
      return field.InternalName;
    case 1:
      return field.TypeText;
    case 2:
      return field.CaptionText;
    case 3:
      return field.Content;
    case 4:
      return field.Width;
    case 5:
      return field.Height;
    case 6:
      return field.MaxChars;
    case 7:
      return field.OptionalFlag;
    case 8:
      return field.PreselectedFlag;
    default:
      throw std::out_of_range("FormField member index");
  }
}

std::string_view typeTextOf(FieldType type) {
  return kFieldTypeTexts.at(static_cast<size_t>(type));
}

std::optional<FieldType> fieldTypeOf(std::string_view typeText) {
  for (int i = 0; i < kFieldTypeCount; ++i) {
    if (kFieldTypeTexts[static_cast<size_t>(i)] == typeText) return static_cast<FieldType>(i);
  }
  return std::nullopt;
}

FormField fieldFromEditor(const FieldEditorValues& values) {
  FormField field;
  field.InternalName = values.name;
  field.TypeText = std::string(kFieldTypeTexts.at(static_cast<size_t>(values.typeIndex)));
  field.CaptionText = values.caption;
  field.Content = values.content;
  field.Width = values.width;
  field.Height = values.height;
  field.MaxChars = values.maxChars;
  field.OptionalFlag = std::string(values.mandatory ? kNo : kYes);
  field.PreselectedFlag = std::string(values.preselected ? kYes : kNo);
  return field;
}

FieldEditorValues editorValuesFor(const FormField& field, int currentTypeIndex) {
  FieldEditorValues values;
  values.name = field.InternalName;
  const auto type = fieldTypeOf(field.TypeText);
  values.typeIndex = type ? static_cast<int>(*type) : currentTypeIndex;
  values.caption = field.CaptionText;
  values.content = field.Content;
  values.width = field.Width;
  values.height = field.Height;
  values.maxChars = field.MaxChars;
  values.mandatory = field.OptionalFlag == kNo;
  values.preselected = field.PreselectedFlag != kNo;
  return values;
}

std::string sanitizeInternalName(std::string_view name) {
  std::string result;
  for (char c : name) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    if (letter || c == '_' || (digit && !result.empty())) result += c;
  }
  return result;
}

EditorCheck checkEditorInput(std::string_view name, int typeIndex, std::string_view content) {
  EditorCheck check;
  check.filteredName = sanitizeInternalName(name);
  check.nameChanged = check.filteredName != name;
  const bool needsContent = typeIndex == static_cast<int>(FieldType::OptionField) ||
                            typeIndex == static_cast<int>(FieldType::CheckBoxField);
  if (check.filteredName.empty()) {
    check.verdict = EditorVerdict::EmptyName;
  } else if (needsContent && content.empty()) {
    check.verdict = EditorVerdict::EmptyContent;
  }
  return check;
}

}  // namespace vantrel
