#include <gtest/gtest.h>

#include "project/FormField.h"

using namespace vantrel;

TEST(SanitizeInternalName, KeepsLettersUnderscoreAndLaterDigits) {
  EXPECT_EQ(sanitizeInternalName("Alter"), "Alter");
  EXPECT_EQ(sanitizeInternalName("1. Frage"), "Frage");
  EXPECT_EQ(sanitizeInternalName("123abc"), "abc");
  EXPECT_EQ(sanitizeInternalName("_1a"), "_1a");
  EXPECT_EQ(sanitizeInternalName("a-b c"), "abc");
  EXPECT_EQ(sanitizeInternalName("Gr\xF6\xDF"
                                 "e"),
            "Gre");
  EXPECT_EQ(sanitizeInternalName("12"), "");
  EXPECT_EQ(sanitizeInternalName("a1 2"), "a12");
}

TEST(CheckEditorInput, NoticeComesFromAnyChangeAndTheVerdictFromTheFilteredName) {
  auto check = checkEditorInput("Alter", 0, "");
  EXPECT_FALSE(check.nameChanged);
  EXPECT_EQ(check.verdict, EditorVerdict::Accept);

  check = checkEditorInput("1. Frage", 0, "");
  EXPECT_TRUE(check.nameChanged);
  EXPECT_EQ(check.filteredName, "Frage");
  EXPECT_EQ(check.verdict, EditorVerdict::Accept);

  check = checkEditorInput("12", 0, "");
  EXPECT_TRUE(check.nameChanged);
  EXPECT_EQ(check.verdict, EditorVerdict::EmptyName);

  check = checkEditorInput("", 4, "");
  EXPECT_FALSE(check.nameChanged);
  EXPECT_EQ(check.verdict, EditorVerdict::EmptyName);
}

TEST(CheckEditorInput, OptionFieldsAndCheckBoxesNeedContent) {
  EXPECT_EQ(checkEditorInput("a", 2, "").verdict, EditorVerdict::EmptyContent);
  EXPECT_EQ(checkEditorInput("a", 3, "").verdict, EditorVerdict::EmptyContent);
  EXPECT_EQ(checkEditorInput("a", 3, " ").verdict, EditorVerdict::Accept);
  for (int type : {0, 1, 4, 5, 6, 7}) {
    EXPECT_EQ(checkEditorInput("a", type, "").verdict, EditorVerdict::Accept) << type;
  }
}

TEST(FieldTypes, TextsMatchExactlyAndCaseSensitively) {
  EXPECT_EQ(fieldTypeOf("\xDC"
                        "berschrift"),
            FieldType::Heading);
  EXPECT_EQ(fieldTypeOf("Optionsfeld (nur je eins von allen kann ausgew\xE4hlt werden)"),
            FieldType::OptionField);
  EXPECT_FALSE(fieldTypeOf("textfeld").has_value());
  EXPECT_FALSE(fieldTypeOf("Textfeld ").has_value());
  EXPECT_FALSE(fieldTypeOf("").has_value());
}

TEST(EditorAndRow, MandatoryIsStoredAsNotOptional) {
  FieldEditorValues values;
  values.name = "A";
  values.typeIndex = 1;
  values.width = "40";
  values.height = "5";
  values.maxChars = "0";
  values.mandatory = true;
  const FormField row = fieldFromEditor(values);
  EXPECT_EQ(row.TypeText, "Mehrzeiliges Textfeld");
  EXPECT_EQ(row.OptionalFlag, "Nein");
  EXPECT_EQ(row.PreselectedFlag, "Nein");
  EXPECT_EQ(editorValuesFor(row, 0), values);
}

TEST(EditorAndRow, PreselectedUnlessExactlyNeinAndUnknownTypeKeepsTheEditorType) {
  FormField row;
  row.TypeText = "Dropdown";
  row.OptionalFlag = "";
  row.PreselectedFlag = "";
  auto values = editorValuesFor(row, 5);
  EXPECT_EQ(values.typeIndex, 5);
  EXPECT_TRUE(values.preselected);
  EXPECT_FALSE(values.mandatory);

  row.PreselectedFlag = "nein";
  row.OptionalFlag = "Nein";
  values = editorValuesFor(row, 0);
  EXPECT_TRUE(values.preselected);
  EXPECT_TRUE(values.mandatory);
}
