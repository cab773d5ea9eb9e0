#pragma once
// One row of the field list, the eight field types, and the rules that tie a row to the
// field editor's controls. All texts are Windows-1252 bytes.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

struct FormField {
  std::string InternalName;
  std::string TypeText;
  std::string CaptionText;
  std::string Content;
  std::string Width;
  std::string Height;
  std::string MaxChars;
  std::string OptionalFlag;
  std::string PreselectedFlag;

  bool operator==(const FormField&) const = default;
};

inline constexpr int kFormFieldMemberCount = 9;

// The nine members in column and file order.
std::string& memberAt(FormField& field, int index);
const std::string& memberAt(const FormField& field, int index);

enum class FieldType {
  TextField = 0,
  MultiLineTextField = 1,
  OptionField = 2,
  CheckBoxField = 3,
  SeparatorLine = 4,
  NewParagraph = 5,
  Heading = 6,
  PlainText = 7,
};

inline constexpr int kFieldTypeCount = 8;

// The type texts, in the index order of the editor's type list.
extern const std::array<std::string_view, kFieldTypeCount> kFieldTypeTexts;

std::string_view typeTextOf(FieldType type);
// Exact, case-sensitive, whole-text comparison in index order.
[[nodiscard]] std::optional<FieldType> fieldTypeOf(std::string_view typeText);

inline constexpr std::string_view kYes = "Ja";
inline constexpr std::string_view kNo = "Nein";

// What the field editor's controls hold, read as plain values.
struct FieldEditorValues {
  std::string name;
  int typeIndex = 0;
  std::string caption;
  std::string content;
  std::string width;
  std::string height;
  std::string maxChars;
  bool mandatory = false;    // "Feld muss ausgefüllt werden"
  bool preselected = false;  // "Feld ist vorausgewählt"

  bool operator==(const FieldEditorValues&) const = default;
};

// The row that a confirmed editor stores. The list shows "optional", the editor asks
// "mandatory": a ticked box is stored as "Nein".
FormField fieldFromEditor(const FieldEditorValues& values);

// Loads a row into the editor. A type text outside the eight keeps the editor's current type.
FieldEditorValues editorValuesFor(const FormField& field, int currentTypeIndex);

// Keeps ASCII letters, "_" and, once something is kept, ASCII digits; drops everything else.
std::string sanitizeInternalName(std::string_view name);

enum class EditorVerdict { Accept, EmptyName, EmptyContent };

struct EditorCheck {
  std::string filteredName;
  bool nameChanged = false;  // the notice is shown before any other message
  EditorVerdict verdict = EditorVerdict::Accept;
};

// The field editor's validation on OK.
[[nodiscard]] EditorCheck checkEditorInput(std::string_view name, int typeIndex,
                                           std::string_view content);

}  // namespace vantrel
