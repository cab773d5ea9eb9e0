#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "formmail/Config.h"
#include "formmail/Limits.h"
#include "formmail/ReceiverFailure.h"

using namespace vantrel::formmail;

namespace {

const std::string kMinimal =
    "[formmail]\n"
    "allow = info@example.org\n"
    "sender = formmail@example.org\n"
    "maildir = /var/mail/forms\n";

std::string errorOf(const std::string& text) { return parseConfig(text).reason(); }

std::string sourceFile(const std::string& name) {
  std::ifstream in(std::string(VANTREL_TEST_DATA_DIR) + "/../../formmail/" + name,
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// What the configuration keeps for a limit's key.
std::size_t limitIn(const Config& config, std::string_view key) {
  if (key == kMaxBody.key) return config.maxBody;
  if (key == kMaxFields.key) return config.limits.maxFields;
  if (key == kMaxFieldLength.key) return config.limits.maxFieldLength;
  if (key == kRatePerMinute.key) return config.ratePerMinute;
  if (key == kHeaderTimeout.key) return config.headerTimeoutSeconds;
  if (key == kRequestTimeout.key) return config.requestTimeoutSeconds;
  if (key == kBodyMemory.key) return config.bodyMemory;
  ADD_FAILURE() << "a limit the test does not know: " << key;
  return 0;
}

class EveryLimit : public ::testing::TestWithParam<Limit> {};

std::string limitName(const ::testing::TestParamInfo<Limit>& param) {
  return std::string(param.param.key);
}

}  // namespace

TEST(Config, ReadsEveryKeyWithCommentsAndBlanks) {
  const auto result = parseConfig(
      "# comment\n"
      "; another\n"
      "[formmail]\r\n"
      "  allow = Info@Example.org ,@example.com,, \n"
      "sender=formmail@example.org\n"
      "maildir = /tmp/m\n"
      "smtp = smtps://mail.example.org:465\n"
      "smtp_user = forms\n"
      "smtp_password = geheim = ja\n"
      "starttls = no\n"
      "spool = /tmp/spool\n"
      "max_body = 2048\n"
      "max_fields = 20\n"
      "max_field_length = 300\n"
      "rate_per_minute = 0\n"
      "rate_state = /tmp/rate\n"
      "honeypot = website\n"
      "success_redirect = https://example.org/danke.html\n");
  ASSERT_TRUE(result.ok()) << result.reason();
  const Config& c = result.value();
  EXPECT_EQ(c.allow, (std::vector<std::string>{"info@example.org", "@example.com"}));
  EXPECT_EQ(c.smtpPassword, "geheim = ja");
  EXPECT_FALSE(c.starttls);
  EXPECT_EQ(c.maxBody, 2048U);
  EXPECT_EQ(c.limits.maxFields, 20U);
  EXPECT_EQ(c.limits.maxFieldLength, 300U);
  EXPECT_EQ(c.ratePerMinute, 0U);
  EXPECT_EQ(c.honeypot, "website");
  EXPECT_EQ(c.successRedirect, "https://example.org/danke.html");
}

TEST(Config, DefaultsAreTheDocumentedOnes) {
  const auto result = parseConfig(kMinimal);
  ASSERT_TRUE(result.ok()) << result.reason();
  EXPECT_EQ(result.value().maxBody, 1048576U);
  EXPECT_EQ(result.value().limits.maxFields, 1000U);
  EXPECT_EQ(result.value().limits.maxFieldLength, 65536U);
  EXPECT_EQ(result.value().ratePerMinute, 10U);
  EXPECT_TRUE(result.value().starttls);
  EXPECT_TRUE(result.value().smtp.empty());
}

TEST(Config, NamesTheLineOfAMistake) {
  EXPECT_EQ(errorOf(kMinimal + "alow = x@y.de\n"), "line 5: unknown key 'alow'");
  EXPECT_EQ(errorOf("allow = a@b.de\n"), "line 1: key outside the [formmail] section");
  EXPECT_EQ(errorOf("[mail]\n"), "line 1: unknown section [mail] (only [formmail])");
  EXPECT_EQ(errorOf(kMinimal + "max_body = 12k\n"),
            "line 5: max_body expects a whole number from 1 to 67108864");
  EXPECT_EQ(errorOf(kMinimal + "max_fields = 0\n"),
            "line 5: max_fields expects a whole number from 1 to 100000");
  EXPECT_EQ(errorOf(kMinimal + "starttls = maybe\n"), "line 5: starttls expects yes or no");
  EXPECT_EQ(errorOf(kMinimal + "just text\n"), "line 5: expected key = value");
  // Told apart by kind, whatever the words.
  EXPECT_TRUE(parseConfig(kMinimal + "alow = x@y.de\n").is(ReceiverFailure::UnknownKey));
  EXPECT_TRUE(parseConfig(kMinimal + "max_fields = 0\n").is(ReceiverFailure::NotACount));
  EXPECT_TRUE(parseConfig("# only a comment\n").is(ReceiverFailure::NoSection));
  EXPECT_TRUE(loadConfig("/nonexistent/formmail.conf").is(ReceiverFailure::CannotOpenConfig));
}

TEST(Config, RefusesWhatWouldBreakHeadersOrRelay) {
  EXPECT_NE(errorOf("[formmail]\nallow = a@b.de x@evil.de\nsender = f@b.de\nmaildir = /m\n"), "");
  EXPECT_NE(errorOf("[formmail]\nallow = a@b.de, @\nsender = f@b.de\nmaildir = /m\n"), "");
  EXPECT_NE(errorOf("[formmail]\nallow = \nsender = f@b.de\nmaildir = /m\n"), "");
  EXPECT_NE(errorOf("[formmail]\nallow = a@b.de\nsender = Form <f@b.de>\nmaildir = /m\n"), "");
  EXPECT_NE(errorOf("[formmail]\nallow = a@b.de\nsender = f@b.de\n"), "");
  EXPECT_NE(errorOf(kMinimal + "smtp = http://mail.example.org\n"), "");
  EXPECT_NE(errorOf(kMinimal + "success_redirect = javascript:alert(1)\n"), "");
  EXPECT_NE(errorOf("# only a comment\n"), "");
}

TEST(Config, AllowListMatchesWholeAddressesAndWholeDomainsOnly) {
  auto config =
      parseConfig(
          "[formmail]\nallow = info@example.org, @example.com\nsender = f@b.de\nmaildir = /m\n")
          .value();
  EXPECT_TRUE(isAllowedRecipient(config, "info@example.org"));
  EXPECT_TRUE(isAllowedRecipient(config, "INFO@Example.ORG"));
  EXPECT_TRUE(isAllowedRecipient(config, "anyone@example.com"));
  EXPECT_FALSE(isAllowedRecipient(config, "other@example.org"));
  EXPECT_FALSE(isAllowedRecipient(config, "x@sub.example.com"));
  EXPECT_FALSE(isAllowedRecipient(config, "x@example.com.evil.de"));
  EXPECT_FALSE(isAllowedRecipient(config, "info@example.org,x@evil.de"));
  EXPECT_FALSE(isAllowedRecipient(config, "info@example.org x@evil.de"));
  EXPECT_FALSE(isAllowedRecipient(config, "info@example.org\r\nBcc: x@evil.de"));
  EXPECT_FALSE(isAllowedRecipient(config, "x@evil.de@example.com"));
  EXPECT_FALSE(isAllowedRecipient(config, "<info@example.org>"));
  EXPECT_FALSE(isAllowedRecipient(config, ""));
}

TEST(Config, TheShippedExampleIsValid) {
  const auto result =
      loadConfig(std::string(VANTREL_TEST_DATA_DIR) + "/../../formmail/formmail.conf.example");
  ASSERT_TRUE(result.ok()) << result.reason();
  EXPECT_EQ(result.value().allow,
            (std::vector<std::string>{"info@example.org", "@forms.example.org"}));
  EXPECT_EQ(loadConfig("/nonexistent/formmail.conf").reason(),
            "cannot open /nonexistent/formmail.conf");
}

TEST(Config, LocalPartsThatRouteOnwardsAreNotAllowed) {
  const auto config =
      parseConfig("[formmail]\nallow = @example.org\nsender = f@b.de\nmaildir = /m\n").value();
  for (const char* address :
       {"victim%attacker.example@example.org", "attacker.example!victim@example.org",
        "%@example.org", "\"victim@attacker.example\"@example.org", "\"x\"@example.org"}) {
    EXPECT_FALSE(isAllowedRecipient(config, address)) << address;
  }
  EXPECT_TRUE(isAllowedRecipient(config, "first.last+tag@example.org"));
  // SMTP's limit for the local part: 64 octets.
  EXPECT_TRUE(isAllowedRecipient(config, std::string(64, 'w') + "@example.org"));
  EXPECT_FALSE(isAllowedRecipient(config, std::string(65, 'w') + "@example.org"));
}

// The table is what the parser takes: its default when the key is missing, both ends of the
// range, and nothing beyond them.
TEST_P(EveryLimit, TheParserTakesTheTablesDefaultAndRange) {
  const Limit& limit = GetParam();
  const std::string key(limit.key);
  const auto parsedWith = [&](std::size_t value) {
    return parseConfig(kMinimal + key + " = " + std::to_string(value) + "\n");
  };
  EXPECT_EQ(limitIn(parseConfig(kMinimal).value(), key), limit.byDefault);
  for (const std::size_t value : {limit.minimum, limit.maximum}) {
    const auto result = parsedWith(value);
    ASSERT_TRUE(result.ok()) << key << " = " << value << ": " << result.reason();
    EXPECT_EQ(limitIn(result.value(), key), value);
  }
  const std::string refusal = "line 5: " + key + " expects a whole number from " +
                              std::to_string(limit.minimum) + " to " +
                              std::to_string(limit.maximum);
  EXPECT_EQ(parsedWith(limit.maximum + 1).reason(), refusal);
  if (limit.minimum > 0) {
    EXPECT_EQ(parsedWith(limit.minimum - 1).reason(), refusal);
  }
  EXPECT_EQ(errorOf(kMinimal + key + " = -1\n"), refusal);
}

// The example sets each limit to its default, and the comment above it names the default and
// the range: "(default 1000, from 1 to 100000)".
TEST_P(EveryLimit, TheExampleConfigurationStatesTheTable) {
  const Limit& limit = GetParam();
  const std::vector<std::string> lines = linesOf(sourceFile("formmail.conf.example"));
  const std::string setting = std::string(limit.key) + " = ";
  const auto at = std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& line) { return line.starts_with(setting); });
  ASSERT_NE(at, lines.end()) << "the example does not set " << limit.key;
  EXPECT_EQ(at->substr(setting.size()), std::to_string(limit.byDefault));
  std::string comment;
  for (auto above = at; above != lines.begin() && std::prev(above)->starts_with("#"); --above)
    comment = std::prev(above)->substr(1) + comment;
  std::smatch stated;
  ASSERT_TRUE(
      std::regex_search(comment, stated, std::regex(R"(\(default (\d+), from (\d+) to (\d+)\))")))
      << comment;
  EXPECT_EQ(stated[1], std::to_string(limit.byDefault));
  EXPECT_EQ(stated[2], std::to_string(limit.minimum));
  EXPECT_EQ(stated[3], std::to_string(limit.maximum));
}

INSTANTIATE_TEST_SUITE_P(Limits, EveryLimit, ::testing::ValuesIn(kLimits), limitName);

// The README's table of limits holds the rows of the program's table, in its order.
TEST(Config, TheReadmesTableOfLimitsIsTheProgramsTable) {
  const std::vector<std::string> lines = linesOf(sourceFile("README.md"));
  const auto header =
      std::find(lines.begin(), lines.end(), "| key | default | from | to | what it bounds |");
  ASSERT_NE(header, lines.end());
  std::vector<std::string> rows;
  for (auto row = header + 2; row != lines.end() && row->starts_with("|"); ++row)
    rows.push_back(*row);
  std::vector<std::string> expected;
  for (const Limit& limit : kLimits) {
    expected.push_back("| `" + std::string(limit.key) + "` | " + std::to_string(limit.byDefault) +
                       " | " + std::to_string(limit.minimum) + " | " +
                       std::to_string(limit.maximum) + " | " + std::string(limit.meaning) + " |");
  }
  EXPECT_EQ(rows, expected);
}
