#include <gtest/gtest.h>

#include <set>

#include "formmail/FormParser.h"
#include "formmail/PostedText.h"
#include "formmail/ReceiverFailure.h"

using namespace vantrel::formmail;
using vantrel::Failure;
using vantrel::FailureArea;

namespace {
const FormLimits kRoomy{1000, 100000};
}

TEST(FormParser, DecodesNamesAndValuesAsBytesInPostOrder) {
  const auto parsed = parseUrlEncoded("Name=J%FCrgen+M%FCller&B=1&B=2&Leer=&nur", kRoomy);
  ASSERT_TRUE(parsed.ok()) << parsed.reason();
  const PostedFields expected = {
      {"Name", "J\xFCrgen M\xFCller"}, {"B", "1"}, {"B", "2"}, {"Leer", ""}, {"nur", ""}};
  EXPECT_EQ(parsed.value(), expected);
  EXPECT_EQ(countOf(parsed.value(), "B"), 2U);
  EXPECT_EQ(valuesOf(parsed.value(), "B"), (std::vector<std::string_view>{"1", "2"}));
}

TEST(FormParser, KeepsEscapedSeparatorsAndControlBytesInsideValues) {
  const auto parsed = parseUrlEncoded("a%3Db=c%26d%3D&x=%0D%0A%00%2B", kRoomy);
  ASSERT_TRUE(parsed.ok()) << parsed.reason();
  const PostedFields& fields = parsed.value();
  ASSERT_EQ(fields.size(), 2U);
  EXPECT_EQ(fields[0], (FormFieldValue{"a=b", "c&d="}));
  EXPECT_EQ(fields[1].value, std::string("\r\n\0+", 4));
}

TEST(FormParser, KeepsBrokenEscapesLiterally) {
  EXPECT_EQ(percentDecode("100%"), "100%");
  EXPECT_EQ(percentDecode("%4"), "%4");
  EXPECT_EQ(percentDecode("%zz%41"), "%zzA");
  EXPECT_EQ(percentDecode("%%41"), "%A");
}

TEST(FormParser, SkipsEmptyPieces) {
  const auto parsed = parseUrlEncoded("&&a=1&&", kRoomy);
  ASSERT_TRUE(parsed.ok()) << parsed.reason();
  EXPECT_EQ(parsed.value(), (PostedFields{{"a", "1"}}));
  const auto nothing = parseUrlEncoded("", kRoomy);
  ASSERT_TRUE(nothing.ok()) << nothing.reason();
  EXPECT_TRUE(nothing.value().empty());
}

TEST(FormParser, RefusesMoreFieldsThanAllowed) {
  const FormLimits limits{3, 100};
  EXPECT_TRUE(parseUrlEncoded("a=1&b=2&c=3", limits).ok());
  // A refused post hands on no fields at all: there is only the reason.
  const auto over = parseUrlEncoded("a=1&b=2&c=3&d=4", limits);
  EXPECT_FALSE(over.ok());
  EXPECT_EQ(over.reason(), "more than 3 fields");
  EXPECT_TRUE(over.is(ReceiverFailure::TooManyFields));
}

TEST(FormParser, MeasuresFieldLengthAfterDecoding) {
  const FormLimits limits{10, 4};
  // Twelve encoded characters, four decoded bytes: within the limit.
  EXPECT_TRUE(parseUrlEncoded("v=%41%42%43%44", limits).ok());
  EXPECT_EQ(parseUrlEncoded("v=ABCDE", limits).reason(), "a field longer than 4 bytes");
  EXPECT_EQ(parseUrlEncoded("NAMEN=1", limits).reason(), "a field longer than 4 bytes");
  EXPECT_TRUE(parseUrlEncoded("NAMEN=1", limits).is(ReceiverFailure::FieldTooLong));
}

struct PostedTextCase {
  const char* posted;  // Windows-1252 bytes as the browser sent them
  const char* utf8;    // what the mail and the JSON part carry
};

class PostedTextTest : public ::testing::TestWithParam<PostedTextCase> {};

TEST_P(PostedTextTest, DecodesOnlyReferencesToCharactersTheCodePageLacks) {
  EXPECT_EQ(postedText(GetParam().posted, false), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PostedTextTest,
    ::testing::Values(PostedTextCase{"&#321;ukasz", "\u0141ukasz"},
                      PostedTextCase{"Y&#305;lmaz", "Y\u0131lmaz"},
                      PostedTextCase{"&#x3A3;&#X3c9;", "\u03A3\u03C9"},
                      PostedTextCase{"&#128512;!", "\U0001F600!"},
                      PostedTextCase{"J\xFCrgen &#8364;\x80", "J\u00FCrgen &#8364;\u20AC"},
                      PostedTextCase{"&#65;&#252;&#129;&#8222;", "&#65;&#252;&#129;&#8222;"},
                      PostedTextCase{"&amp;&lt;&#;&#x;&#321&#32 1;",
                                     "&amp;&lt;&#;&#x;&#321&#32 1;"},
                      PostedTextCase{"&#55357;&#0;&#1114112;&#99999999999999999999;",
                                     "&#55357;&#0;&#1114112;&#99999999999999999999;"},
                      PostedTextCase{"&&#00321;;&#", "&\u0141;&#"}));

TEST(PostedText, TakesAUtf8PostAsItIs) {
  EXPECT_EQ(postedText("&#321;\xC5\x81", true), "&#321;\xC5\x81");
}

// Each kind has words of its own in English and in German, with a "%s" for each value it is
// given in both: what the log or the command line reads tells the kinds apart.
TEST(ReceiverFailure, EveryKindHasItsOwnWords) {
  std::set<std::string_view> seen;
  std::set<std::string_view> seenGerman;
  const auto values = [](std::string_view words) {
    std::size_t count = 0;
    for (std::size_t at = words.find("%s"); at != std::string_view::npos;
         at = words.find("%s", at + 2))
      ++count;
    return count;
  };
  for (std::uint16_t code = 0; code < static_cast<std::uint16_t>(ReceiverFailure::Count); ++code) {
    const std::string_view words = englishText(static_cast<ReceiverFailure>(code));
    const std::string_view german = germanText(static_cast<ReceiverFailure>(code));
    EXPECT_FALSE(words.empty()) << code;
    EXPECT_NE(words, "unknown failure") << code;
    EXPECT_TRUE(seen.insert(words).second) << words;
    EXPECT_TRUE(seenGerman.insert(german).second) << german;
    EXPECT_EQ(values(german), values(words)) << german;
  }
  const Failure located = vantrel::locatedIn(
      "line 4", vantrel::failure(ReceiverFailure::NotACount, "max_body", 1, 67108864));
  EXPECT_EQ(located.detail, "line 4: max_body expects a whole number from 1 to 67108864");
  EXPECT_EQ(germanReceiverMessage(located),
            "Zeile 4: max_body erwartet eine ganze Zahl von 1 bis 67108864");
  EXPECT_TRUE(located.is(ReceiverFailure::NotACount));
  EXPECT_EQ(located.kind.area, FailureArea::Receiver);
}
