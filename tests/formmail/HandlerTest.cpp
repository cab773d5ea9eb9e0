// The receiver's core against real Maildirs: what is mailed, and what is refused with
// nothing mailed. The abuse cases are the classic holes of form-mail scripts.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>
#include <optional>
#include <set>

#include "FormmailTestSupport.h"
#include "base/AtomicFile.h"
#include "formmail/FormMailHandler.h"
#include "project/SurveyKey.h"

using namespace vantrel::formmail;
using namespace formmail_test;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

// What the generated page posts, in the browser's order: visible fields, button, hidden ones.
Fields pagePost(const Fields& visible, const std::string& required, const std::string& order,
                const std::string& submitTo = "info@example.org") {
  Fields post = visible;
  post.insert(post.end(), {{"B1", "Abschicken"},
                           {"required", required},
                           {"data_order", order},
                           {"submit_to", submitTo},
                           {"form_id", "Formular"}});
  return post;
}

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest() {
    config.allow = {"info@example.org", "@example.com"};
    config.sender = "formmail@example.org";
    config.maildir = dir.file("Maildir");
    config.honeypot = "website";
    config.ratePerMinute = 0;  // the burst test switches it on
  }

  Answer post(const std::string& body, const std::string& client = "192.0.2.1",
              const std::string& contentType = "application/x-www-form-urlencoded") {
    if (!limiter) limiter = std::make_unique<MemoryRateLimiter>(config.ratePerMinute);
    const auto delivery = makeDelivery(config);
    const FormMailHandler handler(config, *delivery, *limiter, recent);
    return handler.handle({"POST", contentType, body, client, survey});
  }
  Answer post(const Fields& fields) { return post(formBody(fields)); }

  std::vector<std::string> mails() const { return mailsIn(config.maildir); }

  TempFolder dir;
  Config config;
  std::unique_ptr<RateLimiter> limiter;
  MemoryRecentPosts recent;
  std::string survey;
};

const std::set<std::string> kHeaderNames = {
    "Date",       "From",         "To",           "Subject",
    "Message-ID", "MIME-Version", "Content-Type", "Content-Transfer-Encoding"};

}  // namespace

TEST_F(HandlerTest, StoresTheMailWithAnswersInDataOrderAndUmlautsIntact) {
  const Answer answer = post(pagePost({{"Name",
                                        "J\xFCrgen Stra\xDF"
                                        "er"},
                                       {"Farbe", "Gr\xFCn"},
                                       {"Farbe", "Blau"},
                                       {"Kommentar", "Sch\xF6n\r\nZweite Zeile"},
                                       {"Zusatz", "nicht in der Liste"}},
                                      "Name", "Kommentar,Name,Farbe,Farbe,Titel"));
  EXPECT_EQ(answer.status, 200);
  EXPECT_NE(answer.body.find("Vielen Dank"), std::string::npos);
  const auto stored = mails();
  ASSERT_EQ(stored.size(), 1U);
  EXPECT_EQ(fileCount(config.maildir / "tmp"), 0U);
  const ParsedMail mail = parseMail(stored[0]);
  EXPECT_EQ(mail.headers.at("To"), "info@example.org");
  EXPECT_EQ(mail.headers.at("Subject"), "Formular: Formular");
  EXPECT_EQ(mail.body,
            "Kommentar: Sch\xC3\xB6n\nZweite Zeile\n"
            "Name: J\xC3\xBCrgen Stra\xC3\x9F"
            "er\n"
            "Farbe: Gr\xC3\xBCn\nFarbe: Blau\n"
            "Zusatz: nicht in der Liste\n");
  EXPECT_EQ(stored[0].find('\r'), std::string::npos) << "Maildir files use LF line ends";

  // The folders' group may read the answers; the umask may narrow the folders, not the mails.
  namespace fs = std::filesystem;
  const mode_t umask = ::umask(0);
  ::umask(umask);
  for (const char* folder : {".", "new", "cur", "tmp"})
    EXPECT_EQ(static_cast<mode_t>(fs::status(config.maildir / folder).permissions()), 0750 & ~umask)
        << folder;
  for (const auto& entry : fs::directory_iterator(config.maildir / "new"))
    EXPECT_EQ(static_cast<mode_t>(entry.status().permissions()), 0640);
}

TEST_F(HandlerTest, AcceptsWholeDomainsAndMixedCaseRecipients) {
  EXPECT_EQ(post(pagePost({{"a", "1"}}, "", "a", "Anfragen@EXAMPLE.com")).status, 200);
  EXPECT_EQ(post(pagePost({{"a", "1"}}, "", "a", " info@example.org ")).status, 200);
  EXPECT_EQ(mails().size(), 2U);
}

TEST_F(HandlerTest, MissingRequiredFieldsAreNamedAndNothingIsMailed) {
  const Answer answer = post(pagePost({{"Name", "  "},
                                       {"E-Mail", "a@b.de"},
                                       {"Stra\xDF"
                                        "e",
                                        ""}},
                                      "Name,E-Mail,Stra\xDF"
                                      "e,Name,Anrede",
                                      "Name,E-Mail,Stra\xDF"
                                      "e,Anrede"));
  EXPECT_EQ(answer.status, 422);
  EXPECT_NE(answer.body.find("<li>Name</li>\n<li>Stra\xC3\x9F"
                             "e</li>\n<li>Anrede</li>\n"),
            std::string::npos)
      << answer.body;
  EXPECT_EQ(answer.body.find("<li>E-Mail</li>"), std::string::npos);
  EXPECT_NE(answer.body.find("history.back()"), std::string::npos);
  EXPECT_TRUE(mails().empty());
}

TEST_F(HandlerTest, AnswerPagesEscapePostedText) {
  const Answer answer = post(pagePost({}, "<script>alert(\"x\")</script>,a&b", ""));
  EXPECT_EQ(answer.status, 422);
  EXPECT_EQ(answer.body.find("<script>"), std::string::npos);
  EXPECT_NE(answer.body.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;"),
            std::string::npos);
  EXPECT_NE(answer.body.find("a&amp;b"), std::string::npos);
}

TEST_F(HandlerTest, RefusesEveryRecipientThatIsNotExactlyOneAllowedAddress) {
  const std::vector<Fields> posts = {
      pagePost({{"a", "1"}}, "", "a", "someone@elsewhere.de"),
      pagePost({{"a", "1"}}, "", "a", "info@example.org,spam@elsewhere.de"),
      pagePost({{"a", "1"}}, "", "a", "info@example.org; spam@elsewhere.de"),
      pagePost({{"a", "1"}}, "", "a", "info@example.org\r\nBcc: spam@elsewhere.de"),
      pagePost({{"a", "1"}}, "", "a", "Info <info@example.org>"),
      pagePost({{"a", "1"}}, "", "a", "info@example.org.elsewhere.de"),
      pagePost({{"a", "1"}}, "", "a", ""),
      {{"a", "1"}, {"form_id", "x"}},  // no submit_to at all
      // Two recipients as two fields: the second one must not be mailed, nor the first.
      pagePost({{"a", "1"}, {"submit_to", "spam@elsewhere.de"}}, "", "a"),
      pagePost({{"a", "1"}, {"submit_to", "info@example.org"}}, "", "a"),
  };
  for (const auto& fields : posts) {
    const Answer answer = post(fields);
    EXPECT_EQ(answer.status, 403) << formBody(fields);
    EXPECT_NE(answer.body.find("Es wurde nichts versendet"), std::string::npos);
  }
  EXPECT_TRUE(mails().empty());
}

TEST_F(HandlerTest, LineBreaksInEveryFieldNeverReachAHeader) {
  const std::string injection =
      "x\r\nBcc: evil@elsewhere.de\r\nX-Injected: yes\n\rTo: evil2@elsewhere.de";
  Fields fields = pagePost({{"Name", injection}, {injection, "wert"}}, "Name", "Name," + injection);
  fields.back().second =
      "Formular" + injection + std::string(1, '\0') + "Reply-To: evil@elsewhere.de";
  fields.emplace_back("B1\r\nCc: evil@elsewhere.de", injection);
  ASSERT_EQ(post(fields).status, 200);
  const auto stored = mails();
  ASSERT_EQ(stored.size(), 1U);
  const ParsedMail mail = parseMail(stored[0]);
  std::set<std::string> names;
  for (const auto& [name, value] : mail.headers) names.insert(name);
  EXPECT_EQ(names, kHeaderNames);
  // Only the subject carries posted text, encoded, on continuation lines.
  std::string withoutSubject = mail.headerBlock;
  const std::size_t subject = withoutSubject.find("Subject: ");
  const std::size_t afterSubject = withoutSubject.find("\nMessage-ID:");
  withoutSubject.erase(subject, afterSubject - subject);
  EXPECT_EQ(withoutSubject.find("evil"), std::string::npos) << mail.headerBlock;
  EXPECT_EQ(withoutSubject.find("Injected"), std::string::npos);
  const std::string decoded = decodeSubject(mail.headers.at("Subject"));
  EXPECT_EQ(decoded.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
  EXPECT_EQ(decoded.rfind("Formular: Formularx", 0), 0U);
  // In the body the text arrives whole.
  EXPECT_NE(mail.body.find("Name: x\nBcc: evil@elsewhere.de\n"), std::string::npos);
}

TEST_F(HandlerTest, OversizedPostsAreRefusedWith413AndNothingIsMailed) {
  config.maxBody = 1000;
  config.limits = {10, 100};
  const auto base = pagePost({{"a", "1"}}, "", "a");
  EXPECT_EQ(post(formBody(base) + "&pad=" + std::string(1000, 'p')).status, 413);
  Fields many = base;
  for (int i = 0; i < 10; ++i) many.emplace_back("f" + std::to_string(i), "1");
  EXPECT_EQ(post(many).status, 413);
  Fields longField = pagePost({{"a", std::string(101, 'x')}}, "", "a");
  EXPECT_EQ(post(longField).status, 413);
  EXPECT_TRUE(mails().empty());
  // Right at the limits everything is taken.
  Fields fits = pagePost({{"a", std::string(100, 'x')}, {"b", ""}, {"c", ""}, {"d", ""}}, "", "a");
  ASSERT_EQ(fits.size(), 9U);
  EXPECT_EQ(post(fits).status, 200);
}

// Each refusal's log line names the configuration key that refused it.
TEST_F(HandlerTest, TheLogNamesTheLimitThatRefusedAPost) {
  config.maxBody = 1000;
  config.limits = {10, 100};
  const auto base = pagePost({{"a", "1"}}, "", "a");
  Fields many = base;
  for (int i = 0; i < 10; ++i) many.emplace_back("f" + std::to_string(i), "1");
  const struct {
    std::string body;
    std::string limit;
  } cases[] = {
      {formBody(base) + "&pad=" + std::string(1000, 'p'), "max_body"},
      {formBody(many), "max_fields"},
      {formBody(pagePost({{"a", std::string(101, 'x')}}, "", "a")), "max_field_length"},
  };
  for (const auto& c : cases) {
    const Answer answer = post(c.body);
    EXPECT_EQ(answer.status, 413) << c.limit;
    EXPECT_EQ(answer.logNote.rfind("post refused by " + c.limit + " (", 0), 0U) << answer.logNote;
  }
}

// The largest form the tool builds in normal use passes the default limits: 500 fields, each
// posted empty or with 200 characters that all need percent-encoding.
TEST_F(HandlerTest, TheDefaultLimitsTakeAFiveHundredFieldFormFilledOrEmpty) {
  config.maxBody = Config().maxBody;
  config.limits = FormLimits();
  for (const std::string& value : {std::string(), std::string(200, '\xE4')}) {
    Fields visible;
    std::string order;
    for (int i = 0; i < 500; ++i) {
      const std::string name = "feld_mit_langem_namen_" + std::to_string(i);
      visible.emplace_back(name, value);
      order += (i ? "," : "") + name;
    }
    const Answer answer = post(pagePost(visible, "", order));
    EXPECT_EQ(answer.status, 200) << value.size() << ": " << answer.logNote;
  }
  EXPECT_EQ(mails().size(), 2U);
}

TEST_F(HandlerTest, BurstOverTheRateLimitIsRefusedPerClient) {
  config.ratePerMinute = 10;
  const auto bodyNumber = [](int i) {
    return formBody(pagePost({{"a", std::to_string(i)}}, "", "a"));
  };
  int accepted = 0, limited = 0;
  for (int i = 0; i < 15; ++i) {
    const Answer answer = post(bodyNumber(i), "198.51.100.7");
    accepted += answer.status == 200;
    limited += answer.status == 429;
  }
  EXPECT_EQ(accepted, 10);
  EXPECT_EQ(limited, 5);
  EXPECT_EQ(mails().size(), 10U);
  EXPECT_EQ(post(bodyNumber(15), "198.51.100.8").status, 200) << "another client has its own count";
}

// Posts that are refused anyway are not counted: a flood of them neither fills the table nor
// uses up the count of the address they come from.
TEST_F(HandlerTest, OnlyPostsThatWouldBeDeliveredAreCounted) {
  config.ratePerMinute = 2;
  const auto good = formBody(pagePost({{"a", "1"}}, "", "a"));
  const struct {
    const char* what;
    std::string body;
    int status;
  } refused[] = {
      {"recipient not allowed", formBody(pagePost({{"a", "1"}}, "", "a", "x@elsewhere.invalid")),
       403},
      {"required field missing", formBody(pagePost({{"a", ""}}, "a", "a")), 422},
      {"honeypot filled", formBody(pagePost({{"website", "spam"}}, "", "")), 200},
  };
  for (const auto& attempt : refused) {
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(post(attempt.body, "198.51.100.7").status, attempt.status) << attempt.what;
  }
  EXPECT_TRUE(mails().empty());
  EXPECT_EQ(post(good, "198.51.100.7").status, 200);
  EXPECT_EQ(post(formBody(pagePost({{"a", "2"}}, "", "a")), "198.51.100.7").status, 200);
  EXPECT_EQ(post(formBody(pagePost({{"a", "3"}}, "", "a")), "198.51.100.7").status, 429);
}

TEST(SlidingWindow, AFullTableForgetsItsLongestSilentClientInsteadOfRefusingNewcomers) {
  SlidingWindow window;
  for (std::size_t i = 0; i < SlidingWindow::kMaxClients; ++i)
    ASSERT_TRUE(
        window.admit("c" + std::to_string(i), static_cast<SlidingWindow::Millis>(i / 100), 1));
  EXPECT_TRUE(window.admit("newcomer", 1'000, 1));
  EXPECT_EQ(window.clientCount(), SlidingWindow::kMaxClients);
  EXPECT_TRUE(window.admit("c0", 1'001, 1)) << "the client silent longest was forgotten";
  EXPECT_FALSE(window.admit("c99999", 1'002, 1)) << "a recent client keeps its count";
}

TEST(SlidingWindow, AStateFileInAnyOrderIsReadInTheOrderOfLastPosts) {
  SlidingWindow window;
  window.deserialize("late 500 900\nearly 100\nbroken x\nmiddle 300 400\n");
  EXPECT_EQ(window.serialize(), "early 100\nmiddle 300 400\nlate 500 900\n");
  EXPECT_TRUE(window.admit("fresh", 60'401, 5));
  EXPECT_EQ(window.clientCount(), 2U) << "only 'late' is within the minute";
}

TEST(ClientKey, CountsIpv6ClientsByTheirSlash64) {
  const std::pair<const char*, const char*> cases[] = {
      {"203.0.113.9", "203.0.113.9"},
      {"2001:db8:1:2:aaaa::1", "2001:db8:1:2::/64"},
      {"2001:0db8:0001:0002:ffff:ffff:ffff:ffff", "2001:db8:1:2::/64"},
      {"::ffff:203.0.113.9", "203.0.113.9"},
      {"fe80::1%eth0", "fe80::/64"},
      {"::1", "::/64"},
      {"not<an>address", "not_an_address"},
      {"", "unknown"},
  };
  for (const auto& [address, key] : cases) EXPECT_EQ(clientKey(address), key) << address;
}

TEST_F(HandlerTest, RateLimitZeroSwitchesItOff) {
  config.ratePerMinute = 0;
  for (int i = 0; i < 30; ++i)
    ASSERT_EQ(post(formBody(pagePost({{"a", std::to_string(i)}}, "", "a"))).status, 200);
  EXPECT_EQ(mails().size(), 30U);
}

TEST_F(HandlerTest, FilledHoneypotIsAnsweredAsSuccessAndDropped) {
  const Answer trapped = post(pagePost({{"a", "1"}, {"website", "http://spam.example"}}, "", "a"));
  EXPECT_EQ(trapped.status, 200);
  EXPECT_EQ(trapped.body, post(pagePost({{"a", "1"}}, "", "a")).body);
  const auto stored = mails();
  ASSERT_EQ(stored.size(), 1U) << "only the post with the empty trap";
  EXPECT_EQ(post(pagePost({{"a", "1"}, {"website", ""}}, "", "a")).status, 200);
  EXPECT_EQ(parseMail(mails().at(1)).body, "a: 1\n") << "the empty trap is no answer";
}

TEST_F(HandlerTest, OnlyPostIsAccepted) {
  const auto delivery = makeDelivery(config);
  MemoryRateLimiter unlimited(0);
  const FormMailHandler handler(config, *delivery, unlimited, recent);
  for (const char* method : {"GET", "HEAD", "PUT", "DELETE"}) {
    const Answer answer =
        handler.handle({method, "", formBody(pagePost({{"a", "1"}}, "", "a")), "192.0.2.1", ""});
    EXPECT_EQ(answer.status, 405);
    EXPECT_EQ(answer.headers, (decltype(answer.headers){{"Allow", "POST"}}));
  }
  EXPECT_TRUE(mails().empty());
}

TEST_F(HandlerTest, OtherBodyFormatsAreRefused) {
  const auto body = formBody(pagePost({{"a", "1"}}, "", "a"));
  EXPECT_EQ(post(body, "192.0.2.1", "multipart/form-data; boundary=x").status, 415);
  EXPECT_EQ(post(body, "192.0.2.1", "application/json").status, 415);
  EXPECT_TRUE(mails().empty());
  EXPECT_EQ(
      post(body, "192.0.2.1", "Application/X-WWW-Form-Urlencoded; charset=windows-1252").status,
      200);
}

TEST_F(HandlerTest, APostThatClaimsUtf8IsReadAsUtf8OnlyWhenItIs) {
  const auto body = formBody(pagePost({{"Name", "B\xC3\xA4r"}}, "", "Name"));
  EXPECT_EQ(post(body, "192.0.2.1", "application/x-www-form-urlencoded; charset=UTF-8").status,
            200);
  const auto broken = formBody(pagePost({{"Name", "B\xE4r"}}, "", "Name"));
  EXPECT_EQ(post(broken, "192.0.2.1", "application/x-www-form-urlencoded; charset=utf-8").status,
            200);
  const auto stored = mails();
  ASSERT_EQ(stored.size(), 2U);
  EXPECT_EQ(parseMail(stored[0]).body, "Name: B\xC3\xA4r\n");
  EXPECT_EQ(parseMail(stored[1]).body, "Name: B\xC3\xA4r\n")
      << "not UTF-8 after all: read as Windows-1252";
}

TEST_F(HandlerTest, SuccessCanRedirect) {
  config.successRedirect = "https://example.org/danke.html";
  const Answer answer = post(pagePost({{"a", "1"}}, "", "a"));
  EXPECT_EQ(answer.status, 303);
  EXPECT_EQ(answer.headers,
            (decltype(answer.headers){{"Location", "https://example.org/danke.html"}}));
  EXPECT_EQ(mails().size(), 1U);
}

TEST_F(HandlerTest, AMailThatCannotBeStoredIsNeverAnsweredAsSuccess) {
  writeFile(dir.file("plainfile"), "x");
  config.maildir = dir.file("plainfile") + "/Maildir";
  const Answer answer = post(pagePost({{"a", "1"}}, "", "a"));
  EXPECT_EQ(answer.status, 503);
  EXPECT_EQ(answer.body.find("Vielen Dank"), std::string::npos);
  EXPECT_NE(answer.logNote, "");
}

TEST(FileRateLimiter, CountsAcrossProcessesThroughItsStateFile) {
  TempFolder dir;
  const std::string state = dir.file("rate");
  int admitted = 0;
  // A new limiter per post, as each CGI process makes one.
  for (int i = 0; i < 8; ++i) admitted += FileRateLimiter(state, 5).admit("203.0.113.9");
  EXPECT_EQ(admitted, 5);
  EXPECT_TRUE(FileRateLimiter(state, 5).admit("203.0.113.10"));
  writeFile(state, "garbage\n\n 1 2\n203.0.113.11 x\n");
  EXPECT_TRUE(FileRateLimiter(state, 5).admit("203.0.113.11"))
      << "a broken state file does not stop the form";
}

TEST(FileRateLimiter, NeverWritesThroughAPlantedLink) {
  TempFolder dir;
  const std::string victim = dir.file("victim");
  writeFile(victim, "precious");
  const std::string state = dir.file("rate");
  std::filesystem::create_symlink(victim, state);
  EXPECT_TRUE(FileRateLimiter(state, 5).admit("203.0.113.9"));
  EXPECT_EQ(readFile(victim), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(state)) << "the link itself was replaced";

  const std::string lockedState = dir.file("rate2");
  std::filesystem::create_symlink(victim, lockedState + ".lock");
  EXPECT_TRUE(FileRateLimiter(lockedState, 5).admit("203.0.113.9"));
  EXPECT_EQ(readFile(victim), "precious");
}

TEST(FileRateLimiter, KeepsItsCountsOnlyInAPrivateFolder) {
  TempFolder dir;
  namespace fs = std::filesystem;
  // A missing folder is made, for this user only.
  const std::string fresh = dir.file("state/deeper/rate");
  EXPECT_EQ(FileRateLimiter(fresh, 5).decide("203.0.113.9").decision, RateDecision::Admitted);
  EXPECT_EQ(fs::status(dir.file("state/deeper")).permissions(), fs::perms::owner_all);

  // A folder shared with a group of this user and with nobody else is used, and the counts
  // are written for the group as well.
  const auto makeFolder = [&](const char* name, fs::perms perms) {
    fs::create_directory(dir.file(name));
    fs::permissions(dir.file(name), perms);
  };
  const fs::perms group = fs::perms::owner_all | fs::perms::group_all | fs::perms::set_gid;
  makeFolder("group", group);
  EXPECT_EQ(FileRateLimiter(dir.file("group/rate"), 5).decide("203.0.113.9").decision,
            RateDecision::Admitted);
  EXPECT_EQ(fs::status(dir.file("group/rate")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::group_write);

  // A folder others may write to or read, or a link in place of the folder, is no place for
  // them: the post is not admitted uncounted, and the reason says where.
  makeFolder("shared", fs::perms::all | fs::perms::sticky_bit);
  makeFolder("group-and-others", group | fs::perms::others_read | fs::perms::others_exec);
  fs::create_directory_symlink(dir.file("state"), dir.file("link"));
  for (const std::string& state :
       {dir.file("shared/rate"), dir.file("group-and-others/rate"), dir.file("link/rate")}) {
    const RateVerdict verdict = FileRateLimiter(state, 5).decide("203.0.113.9");
    EXPECT_EQ(verdict.decision, RateDecision::Unavailable) << state;
    EXPECT_NE(verdict.why.find(state.substr(0, state.rfind('/'))), std::string::npos)
        << verdict.why;
  }
  EXPECT_FALSE(fs::exists(dir.file("shared/rate")));
  EXPECT_EQ(FileRateLimiter("", 5).decide("x").decision, RateDecision::Unavailable);
  EXPECT_EQ(FileRateLimiter("", 0).decide("x").decision, RateDecision::Admitted)
      << "no limit, no state";
}

TEST(FormMailHandler, AnUnusableRateStateIsRefusedWith503NotAdmitted) {
  TempFolder dir;
  std::filesystem::create_directory(dir.file("shared"));
  std::filesystem::permissions(dir.file("shared"), std::filesystem::perms::all);
  Config config;
  config.allow = {"info@example.org"};
  config.sender = "formmail@example.org";
  config.maildir = dir.file("Maildir");
  const auto delivery = makeDelivery(config);
  FileRateLimiter limiter(dir.file("shared/rate"), 5);
  MemoryRecentPosts recent;
  const Answer answer = FormMailHandler(config, *delivery, limiter, recent)
                            .handle({"POST", "application/x-www-form-urlencoded",
                                     "submit_to=info%40example.org&a=1", "192.0.2.1", ""});
  EXPECT_EQ(answer.status, 503);
  EXPECT_NE(answer.logNote.find("not private"), std::string::npos) << answer.logNote;
  EXPECT_TRUE(mailsIn(config.maildir).empty());
}

// Each way the new counts can fail to reach the state file: its name taken by a folder, and a
// write that breaks off at the first byte, at the sync or at the rename.
struct CountNotKept {
  const char* name;
  std::optional<vantrel::AtomicFile::Fault> fault;
};

class RateCountNotKept : public ::testing::TestWithParam<CountNotKept> {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.file("state"));
    std::filesystem::permissions(dir.file("state"), std::filesystem::perms::owner_all);
    if (!GetParam().fault) std::filesystem::create_directory(dir.file("state/rate"));
    vantrel::AtomicFile::injectFaultForTests(GetParam().fault);
  }
  void TearDown() override { vantrel::AtomicFile::injectFaultForTests(std::nullopt); }

  TempFolder dir;
};

// A post whose count was not kept would not be counted against the next ones: it is refused
// with 503 like a post whose counts cannot be read, and nothing is mailed.
TEST_P(RateCountNotKept, ThePostIsRefusedWith503NotAdmitted) {
  Config config;
  config.allow = {"info@example.org"};
  config.sender = "formmail@example.org";
  config.maildir = dir.file("Maildir");
  const auto delivery = makeDelivery(config);
  FileRateLimiter limiter(dir.file("state/rate"), 5);
  const RateVerdict verdict = limiter.decide("203.0.113.9");
  EXPECT_EQ(verdict.decision, RateDecision::Unavailable);
  EXPECT_NE(verdict.why.find("rate state not written"), std::string::npos) << verdict.why;

  MemoryRecentPosts recent;
  const Answer answer = FormMailHandler(config, *delivery, limiter, recent)
                            .handle({"POST", "application/x-www-form-urlencoded",
                                     "submit_to=info%40example.org&a=1", "192.0.2.1", ""});
  EXPECT_EQ(answer.status, 503);
  EXPECT_NE(answer.logNote.find("rate state not written"), std::string::npos) << answer.logNote;
  EXPECT_TRUE(mailsIn(config.maildir).empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, RateCountNotKept,
    ::testing::Values(CountNotKept{"NameTakenByAFolder", std::nullopt},
                      CountNotKept{"WriteFails", vantrel::AtomicFile::Fault{0, false, false}},
                      CountNotKept{"SyncFails",
                                   vantrel::AtomicFile::Fault{
                                       std::numeric_limits<std::uint64_t>::max(), true, false}},
                      CountNotKept{"RenameFails",
                                   vantrel::AtomicFile::Fault{
                                       std::numeric_limits<std::uint64_t>::max(), false, true}}),
    [](const ::testing::TestParamInfo<CountNotKept>& param) { return param.param.name; });

TEST(SlidingWindow, LetsAClientInAgainAfterAMinute) {
  SlidingWindow window;
  EXPECT_TRUE(window.admit("a", 0, 2));
  EXPECT_TRUE(window.admit("a", 30'000, 2));
  EXPECT_FALSE(window.admit("a", 59'999, 2));
  EXPECT_TRUE(window.admit("a", 60'000, 2));
  EXPECT_FALSE(window.admit("a", 60'001, 2));
  SlidingWindow copy;
  copy.deserialize(window.serialize());
  EXPECT_FALSE(copy.admit("a", 80'000, 2));
  EXPECT_TRUE(copy.admit("a", 90'000, 2));
  EXPECT_TRUE(copy.admit("b", 0, 2));
  static_cast<void>(copy.admit("c", 200'000, 2));  // a new client, only for the sweep it sets off
  EXPECT_EQ(copy.clientCount(), 1U) << "clients silent for a minute are forgotten";
}

// The same post again stores nothing and is answered like the first; anything that makes it
// another post (client, survey, a byte of an answer) is stored.
TEST_F(HandlerTest, APostSentAgainIsStoredOnce) {
  const struct {
    const char* what;
    const char* client;
    const char* survey;
    const char* answer;
    int status;
    std::size_t mailsAfter;
  } steps[] = {
      {"first post", "192.0.2.1", "", "Ja", 200, 1},
      {"sent again", "192.0.2.1", "", "Ja", 200, 1},
      {"reloaded once more", "192.0.2.1", "", "Ja", 200, 1},
      {"another client", "192.0.2.2", "", "Ja", 200, 2},
      {"another survey", "192.0.2.1", "Kurs-2026", "Ja", 200, 3},
      {"that survey again", "192.0.2.1", "Kurs-2026", "Ja", 200, 3},
      {"one byte changed", "192.0.2.1", "", "Ja ", 200, 4},
      {"an invalid survey key", "192.0.2.1", "Kurs 2026", "Ja", 400, 4},
  };
  for (const auto& step : steps) {
    survey = step.survey;
    const Answer answer = post(formBody(pagePost({{"a", step.answer}}, "", "a")), step.client);
    EXPECT_EQ(answer.status, step.status) << step.what;
    EXPECT_EQ(mails().size(), step.mailsAfter) << step.what;
    if (step.status == 200) {
      EXPECT_NE(answer.body.find("Vielen Dank"), std::string::npos) << step.what;
    }
  }
}

TEST_F(HandlerTest, ARepeatIsNotedInTheLogAndNotCounted) {
  config.ratePerMinute = 1;
  const auto body = formBody(pagePost({{"a", "1"}}, "", "a"));
  EXPECT_EQ(post(body).logNote, "");
  const Answer again = post(body);
  EXPECT_EQ(again.status, 200);
  EXPECT_NE(again.logNote.find("not stored"), std::string::npos) << again.logNote;
  EXPECT_EQ(post(formBody(pagePost({{"a", "2"}}, "", "a"))).status, 429);
}

// Only a stored post is remembered: sent again after a failure, it is stored then.
TEST_F(HandlerTest, APostThatWasNotStoredIsStoredWhenSentAgain) {
  const std::string maildir = config.maildir.string();
  writeFile(dir.file("plainfile"), "x");
  config.maildir = dir.file("plainfile") + "/Maildir";
  const auto body = formBody(pagePost({{"a", "1"}}, "", "a"));
  EXPECT_EQ(post(body).status, 503);
  config.maildir = maildir;
  EXPECT_EQ(post(body).status, 200);
  EXPECT_EQ(mails().size(), 1U);
}

TEST_F(HandlerTest, TheSurveyKeyGoesIntoTheSubjectAndTheAnswerPart) {
  const struct {
    const char* survey;
    const char* subject;
    const char* member;
  } cases[] = {
      {"", "Formular: Formular", R"("survey":"")"},
      {"Kundenumfrage-2026", "Formular: Formular [Kundenumfrage-2026]",
       R"("survey":"Kundenumfrage-2026")"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    survey = cases[i].survey;
    ASSERT_EQ(post(pagePost({{"a", "1"}}, "", "a")).status, 200);
    const ParsedMail mail = parseMail(mails().at(i));
    EXPECT_EQ(mail.headers.at("Subject"), cases[i].subject);
    EXPECT_NE(mail.answerJson.find(cases[i].member), std::string::npos) << mail.answerJson;
  }
}

TEST(SurveyKey, OnlyLettersDigitsAndDashesUpToFortyReachTheMail) {
  const struct {
    const char* query;
    const char* survey;  // what the CGI program reads
    bool valid;
  } cases[] = {
      {"umfrage=Kurs-2026", "Kurs-2026", true},
      {"x=1&umfrage=abc", "abc", true},
      {"", "", false},
      {"umfrage=a&umfrage=b", "a,b", false},
      {"umfrage=Kurs%202026", "Kurs 2026", false},
      {"umfrage=Gr%FCn", "Gr\xFCn", false},
      {"umfrage=a%0D%0ABcc:x", "a\r\nBcc:x", false},
      {"umfrage=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
       "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", true},
      {"umfrage=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
       "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(surveyOfQuery(c.query), c.survey) << c.query;
    EXPECT_EQ(vantrel::isValidSurveyKey(c.survey), c.valid) << c.query;
  }
}

TEST(RecentPostWindow, RemembersAPostForTenMinutesWithinItsBound) {
  using Millis = RecentPostWindow::Millis;
  constexpr Millis kTen = RecentPostWindow::kWindow;
  RecentPostWindow window;
  window.remember("c1 aa", 1'000);
  EXPECT_TRUE(window.seen("c1 aa", 1'000 + kTen - 1));
  EXPECT_FALSE(window.seen("c1 bb", 1'000));
  EXPECT_FALSE(window.seen("c1 aa", 1'000 + kTen)) << "ten minutes later it is a new post";

  for (std::size_t i = 0; i <= RecentPostWindow::kMaxPosts; ++i)
    window.remember("c " + std::to_string(i), 5'000);
  EXPECT_EQ(window.size(), RecentPostWindow::kMaxPosts);
  EXPECT_FALSE(window.seen("c 0", 5'000)) << "the oldest is forgotten first";
  EXPECT_TRUE(window.seen("c 1", 5'000));

  RecentPostWindow read;
  read.deserialize("300 late b\nbroken\n100 early a\nx 1\n200 middle c\n");
  EXPECT_EQ(read.serialize(), "100 early a\n200 middle c\n300 late b\n");
  EXPECT_TRUE(read.seen("late b", 200 + kTen));
  EXPECT_FALSE(read.seen("middle c", 200 + kTen));
  EXPECT_EQ(read.size(), 1U) << "the posts ten minutes old are gone";
}
