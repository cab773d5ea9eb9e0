// Both front ends as programs: sendmailform.cgi run the way a web server runs it, and
// vantrel-formmail listening on 127.0.0.1.

#include <gtest/gtest.h>
#include <httplib.h>

#include "FormmailTestSupport.h"

using namespace formmail_test;

namespace {

const std::string kCgi = std::string(VANTREL_BIN_DIR) + "/sendmailform.cgi";
const std::string kServer = std::string(VANTREL_BIN_DIR) + "/vantrel-formmail";
constexpr const char* kPath = "/cgi-bin/sendmailform.cgi";

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string pageBody(const Fields& visible, const std::string& submitTo = "info@example.org") {
  Fields post = visible;
  post.insert(post.end(), {{"B1", "Abschicken"},
                           {"required", "Name"},
                           {"data_order", "Name,Kurs"},
                           {"submit_to", submitTo},
                           {"form_id", "Formular"}});
  return formBody(post);
}

const std::string kGoodBody = pageBody({{"Name", "B\xE4r"},
                                        {"Kurs",
                                         "Stra\xDF"
                                         "enbau"}});

std::string writeConfig(const TempFolder& dir, const std::string& extra) {
  const std::string path = dir.file("formmail.conf");
  writeFile(path,
            "[formmail]\nallow = info@example.org\nsender = formmail@example.org\nmaildir = " +
                dir.file("Maildir") + "\nrate_state = " + dir.file("rate") +
                "\nhoneypot = website\n" + extra);
  return path;
}

struct CgiAnswer {
  int status = 0;
  std::string head;
  std::string body;
};

class CgiTest : public ::testing::Test {
 protected:
  CgiAnswer run(const std::string& method, const std::string& body,
                const std::string& extraConfig = "",
                std::map<std::string, std::string> overrides = {}) {
    std::map<std::string, std::string> env = {
        {"GATEWAY_INTERFACE", "CGI/1.1"},
        {"SERVER_PROTOCOL", "HTTP/1.1"},
        {"REQUEST_METHOD", method},
        {"SCRIPT_NAME", kPath},
        {"REMOTE_ADDR", "192.0.2.44"},
        {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
        {"CONTENT_LENGTH", std::to_string(body.size())},
        {"VANTREL_FORMMAIL_CONFIG", writeConfig(dir, extraConfig)}};
    for (const auto& [name, value] : overrides) env[name] = value;
    const ProcessResult result = runProgram(kCgi, {}, env, body);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    CgiAnswer answer;
    const std::size_t split = result.out.find("\r\n\r\n");
    answer.head = result.out.substr(0, split);
    answer.body = split == std::string::npos ? "" : result.out.substr(split + 4);
    if (answer.head.rfind("Status: ", 0) == 0) answer.status = std::stoi(answer.head.substr(8, 3));
    return answer;
  }

  std::vector<std::string> mails() const { return mailsIn(dir.file("Maildir")); }

  TempFolder dir;
};

}  // namespace

TEST_F(CgiTest, StoresAPostedForm) {
  const CgiAnswer answer = run("POST", kGoodBody);
  EXPECT_EQ(answer.status, 200);
  EXPECT_NE(answer.head.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
  EXPECT_NE(answer.body.find("Vielen Dank"), std::string::npos);
  const auto stored = mails();
  ASSERT_EQ(stored.size(), 1U);
  const ParsedMail mail = parseMail(stored[0]);
  EXPECT_EQ(mail.headers.at("Subject"), "Formular: Formular");
  EXPECT_EQ(mail.body,
            "Name: B\xC3\xA4r\nKurs: Stra\xC3\x9F"
            "enbau\n");
}

TEST_F(CgiTest, RefusesWithTheRightStatusAndMailsNothing) {
  EXPECT_EQ(run("POST", pageBody({{"Name", ""}, {"Kurs", "x"}})).status, 422);
  EXPECT_EQ(run("POST", pageBody({{"Name", "x"}}, "spam@elsewhere.de")).status, 403);
  EXPECT_EQ(run("POST", pageBody({{"Name", "x"}, {"submit_to", "spam@elsewhere.de"}})).status, 403);
  const CgiAnswer get = run("GET", "");
  EXPECT_EQ(get.status, 405);
  EXPECT_NE(get.head.find("Allow: POST"), std::string::npos);
  EXPECT_EQ(run("POST", kGoodBody + "&pad=" + std::string(2000, 'x'), "max_body = 1000\n").status,
            413);
  EXPECT_EQ(run("POST", kGoodBody, "max_fields = 3\n").status, 413);
  EXPECT_EQ(run("POST", kGoodBody, "", {{"CONTENT_LENGTH", "99999999999999999999999"}}).status,
            413);
  EXPECT_EQ(run("POST", kGoodBody, "", {{"CONTENT_LENGTH", std::to_string(kGoodBody.size() + 10)}})
                .status,
            400);
  EXPECT_EQ(run("POST", kGoodBody, "", {{"CONTENT_LENGTH", "12x"}}).status, 400);
  const CgiAnswer trapped = run("POST", kGoodBody + "&website=spam");
  EXPECT_EQ(trapped.status, 200);
  EXPECT_TRUE(mails().empty());
}

TEST_F(CgiTest, BurstOverTheRateLimitIsRefusedAcrossProcesses) {
  int accepted = 0, limited = 0;
  for (int i = 0; i < 7; ++i) {
    const CgiAnswer answer = run("POST", kGoodBody, "rate_per_minute = 5\n");
    accepted += answer.status == 200;
    limited += answer.status == 429;
  }
  EXPECT_EQ(accepted, 5);
  EXPECT_EQ(limited, 2);
  EXPECT_EQ(mails().size(), 5U);
}

TEST_F(CgiTest, ABrokenConfigurationIsReportedNotIgnored) {
  const CgiAnswer answer =
      run("POST", kGoodBody, "", {{"VANTREL_FORMMAIL_CONFIG", dir.file("missing.conf")}});
  EXPECT_EQ(answer.status, 500);
  EXPECT_TRUE(mails().empty());
}

TEST_F(CgiTest, UsesOnlyTheBytesAnnounced) {
  // A web server may hand over more than CONTENT_LENGTH; what lies beyond is not the form.
  const std::string body = kGoodBody + "&submit_to=spam%40elsewhere.de";
  EXPECT_EQ(run("POST", body, "", {{"CONTENT_LENGTH", std::to_string(kGoodBody.size())}}).status,
            200);
  EXPECT_EQ(parseMail(mails().at(0)).headers.at("To"), "info@example.org");
}

TEST(StandaloneServer, AnswersLikeTheCgiProgramAndStopsCleanly) {
  TempFolder dir;
  ServerProcess server(kServer, writeConfig(dir, "max_body = 2000\nrate_per_minute = 4\n"));
  ASSERT_GT(server.port(), 0);
  httplib::Client client("127.0.0.1", server.port());
  client.set_connection_timeout(5);
  client.set_read_timeout(10);

  auto ok = client.Post(kPath, kGoodBody, "application/x-www-form-urlencoded");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 200);
  EXPECT_NE(ok->body.find("Vielen Dank"), std::string::npos);
  const auto stored = mailsIn(dir.file("Maildir"));
  ASSERT_EQ(stored.size(), 1U);
  EXPECT_EQ(parseMail(stored[0]).body,
            "Name: B\xC3\xA4r\nKurs: Stra\xC3\x9F"
            "enbau\n");

  for (const char* method : {"GET", "PUT", "DELETE", "OPTIONS", "TRACE"}) {
    httplib::Request request;
    request.method = method;
    request.path = kPath;
    auto answer = client.send(request);
    ASSERT_TRUE(answer) << method;
    EXPECT_EQ(answer->status, 405) << method;
    EXPECT_EQ(answer->get_header_value("Allow"), "POST") << method;
  }

  auto big = client.Post(kPath, kGoodBody + "&pad=" + std::string(3000, 'x'),
                         "application/x-www-form-urlencoded");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->status, 413);
  EXPECT_NE(big->body.find("Zu viele Daten"), std::string::npos);

  auto elsewhere = client.Post("/anderswo", kGoodBody, "application/x-www-form-urlencoded");
  ASSERT_TRUE(elsewhere);
  EXPECT_EQ(elsewhere->status, 404);

  auto refused = client.Post(kPath, pageBody({{"Name", "x"}}, "spam@elsewhere.de"),
                             "application/x-www-form-urlencoded");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);

  // Four posts a minute: two more are taken (the oversized one never reached the count,
  // the refused one did), the next is refused.
  std::vector<int> statuses;
  for (int i = 0; i < 3; ++i) {
    auto answer = client.Post(kPath, kGoodBody, "application/x-www-form-urlencoded");
    statuses.push_back(answer ? answer->status : -1);
  }
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 429}));
  EXPECT_EQ(mailsIn(dir.file("Maildir")).size(), 3U);
  EXPECT_EQ(server.exitCode(), 0);
}
