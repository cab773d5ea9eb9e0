#include <gtest/gtest.h>

#include <string>

#include "project/FieldList.h"

using namespace vantrel;

namespace {

FieldList listOf(const std::string& names) {
  FieldList list;
  for (char c : names) {
    FormField field;
    field.InternalName = std::string(1, c);
    field.Content = "content of " + field.InternalName;
    list.append(field);
  }
  return list;
}

std::string namesOf(const FieldList& list) {
  std::string names;
  for (const auto& row : list.rows()) names += row.InternalName;
  return names;
}

}  // namespace

TEST(FieldListMove, UpSwapsWithTheRowAboveAndFollowsTheRow) {
  auto list = listOf("ABC");
  EXPECT_EQ(list.moveUp(1), 0);
  EXPECT_EQ(namesOf(list), "BAC");
  EXPECT_EQ(list.at(0).Content, "content of B");
  EXPECT_FALSE(list.moveUp(0).has_value());
  EXPECT_EQ(namesOf(list), "BAC");
}

TEST(FieldListMove, DownSwapsWithTheRowBelow) {
  auto list = listOf("ABC");
  EXPECT_EQ(list.moveDown(1), 2);
  EXPECT_EQ(namesOf(list), "ACB");
  list = listOf("ABC");
  EXPECT_EQ(list.moveDown(0), 1);
  EXPECT_EQ(namesOf(list), "BAC");
}

TEST(FieldListMove, LastRowDownStaysLastAndSelected) {
  auto list = listOf("ABC");
  EXPECT_EQ(list.moveDown(2), 2);
  EXPECT_EQ(namesOf(list), "ABC");
  auto single = listOf("A");
  EXPECT_EQ(single.moveDown(0), 0);
  EXPECT_EQ(namesOf(single), "A");
}

TEST(FieldListMove, NoSelectionMovesNothing) {
  auto list = listOf("AB");
  EXPECT_FALSE(list.moveUp(-1).has_value());
  EXPECT_FALSE(list.moveDown(-1).has_value());
  EXPECT_FALSE(list.moveDown(2).has_value());
  EXPECT_EQ(namesOf(list), "AB");
}

TEST(FieldList, InsertBeyondTheEndAppendsAndRemoveChecksTheIndex) {
  auto list = listOf("AB");
  FormField z;
  z.InternalName = "Z";
  list.insert(7, z);
  EXPECT_EQ(namesOf(list), "ABZ");
  EXPECT_THROW(list.remove(3), std::out_of_range);
  list.remove(0);
  EXPECT_EQ(namesOf(list), "BZ");
}
