#include <gtest/gtest.h>

#include "formmail/FormParser.h"

using namespace vantrel::formmail;

namespace {
const FormLimits kRoomy{1000, 100000};
}

TEST(FormParser, DecodesNamesAndValuesAsBytesInPostOrder) {
  const auto parsed = parseUrlEncoded("Name=J%FCrgen+M%FCller&B=1&B=2&Leer=&nur", kRoomy);
  ASSERT_EQ(parsed.status, ParseStatus::Ok);
  const PostedFields expected = {{"Name", "J\xFCrgen M\xFCller"}, {"B", "1"}, {"B", "2"}, {"Leer", ""}, {"nur", ""}};
  EXPECT_EQ(parsed.fields, expected);
  EXPECT_EQ(countOf(parsed.fields, "B"), 2U);
  EXPECT_EQ(valuesOf(parsed.fields, "B"), (std::vector<std::string_view>{"1", "2"}));
}

TEST(FormParser, KeepsEscapedSeparatorsAndControlBytesInsideValues) {
  const auto parsed = parseUrlEncoded("a%3Db=c%26d%3D&x=%0D%0A%00%2B", kRoomy);
  ASSERT_EQ(parsed.status, ParseStatus::Ok);
  ASSERT_EQ(parsed.fields.size(), 2U);
  EXPECT_EQ(parsed.fields[0], (FormFieldValue{"a=b", "c&d="}));
  EXPECT_EQ(parsed.fields[1].value, std::string("\r\n\0+", 4));
}

TEST(FormParser, KeepsBrokenEscapesLiterally) {
  EXPECT_EQ(percentDecode("100%"), "100%");
  EXPECT_EQ(percentDecode("%4"), "%4");
  EXPECT_EQ(percentDecode("%zz%41"), "%zzA");
  EXPECT_EQ(percentDecode("%%41"), "%A");
}

TEST(FormParser, SkipsEmptyPieces) {
  const auto parsed = parseUrlEncoded("&&a=1&&", kRoomy);
  ASSERT_EQ(parsed.status, ParseStatus::Ok);
  EXPECT_EQ(parsed.fields, (PostedFields{{"a", "1"}}));
  EXPECT_TRUE(parseUrlEncoded("", kRoomy).fields.empty());
}

TEST(FormParser, RefusesMoreFieldsThanAllowed) {
  const FormLimits limits{3, 100};
  EXPECT_EQ(parseUrlEncoded("a=1&b=2&c=3", limits).status, ParseStatus::Ok);
  const auto over = parseUrlEncoded("a=1&b=2&c=3&d=4", limits);
  EXPECT_EQ(over.status, ParseStatus::TooManyFields);
  EXPECT_TRUE(over.fields.empty());
}

TEST(FormParser, MeasuresFieldLengthAfterDecoding) {
  const FormLimits limits{10, 4};
  // Twelve encoded characters, four decoded bytes: within the limit.
  EXPECT_EQ(parseUrlEncoded("v=%41%42%43%44", limits).status, ParseStatus::Ok);
  EXPECT_EQ(parseUrlEncoded("v=ABCDE", limits).status, ParseStatus::FieldTooLong);
  EXPECT_EQ(parseUrlEncoded("NAMEN=1", limits).status, ParseStatus::FieldTooLong);
}
