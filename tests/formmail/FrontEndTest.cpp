// Both front ends as programs: sendmailform.cgi run the way a web server runs it, and
// vantrel-formmail listening on 127.0.0.1.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "FormmailTestSupport.h"
#include "FrontEndPrograms.h"

using namespace formmail_test;

namespace {

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

// Posts that differ in one answer: each is a post of its own, never a repeat.
std::string numberedBody(int number) {
  return pageBody({{"Name", "B\xE4r"}, {"Kurs", "Kurs " + std::to_string(number)}});
}

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
    const CgiAnswer answer = run("POST", numberedBody(i), "rate_per_minute = 5\n");
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

TEST_F(CgiTest, KeepsItsRateCountsInAPrivateFolderOfItsOwn) {
  // Without rate_state the counts go below the user's own state folder, never into /tmp.
  const std::string config = dir.file("default.conf");
  writeFile(config,
            "[formmail]\nallow = info@example.org\nsender = formmail@example.org\n"
            "maildir = " +
                dir.file("Maildir") + "\nrate_per_minute = 2\n");
  std::vector<int> statuses;
  for (int i = 0; i < 3; ++i)
    statuses.push_back(run("POST", numberedBody(i), "",
                           {{"VANTREL_FORMMAIL_CONFIG", config}, {"HOME", dir.file("home")}})
                           .status);
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 429}));
  const std::string folder = dir.file("home/.local/state/vantrel-formmail");
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
  EXPECT_TRUE(std::filesystem::exists(folder + "/rate"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/recent-posts"));

  // A state folder that others may write to refuses the post rather than let it pass uncounted.
  std::filesystem::create_directory(dir.file("shared"));
  std::filesystem::permissions(dir.file("shared"), std::filesystem::perms::all);
  EXPECT_EQ(run("POST", kGoodBody, "rate_state = " + dir.file("shared/rate") + "\n").status, 503);
  EXPECT_EQ(mails().size(), 2U);
}

TEST(StandaloneServer, AnswersLikeTheCgiProgramAndStopsCleanly) {
  TempFolder dir;
  ServerProcess server(kServer, writeConfig(dir, "max_body = 2000\nrate_per_minute = 4\n"));
  ASSERT_GT(server.port(), 0);
  HttpConnection client(server.port());
  ASSERT_TRUE(client.connected());
  const auto post = [&client](const std::string& path, const std::string& body) {
    EXPECT_TRUE(client.send(formPost(path, body)));
    return client.receive();
  };

  HttpAnswer ok = post(kPath, kGoodBody);
  EXPECT_EQ(ok.status, 200);
  EXPECT_NE(ok.body.find("Vielen Dank"), std::string::npos);
  const auto stored = mailsIn(dir.file("Maildir"));
  ASSERT_EQ(stored.size(), 1U);
  EXPECT_EQ(parseMail(stored[0]).body,
            "Name: B\xC3\xA4r\nKurs: Stra\xC3\x9F"
            "enbau\n");

  for (const char* method : {"GET", "PUT", "DELETE", "OPTIONS", "TRACE"}) {
    HttpConnection fresh(server.port());
    ASSERT_TRUE(fresh.send(httpRequest(method, kPath, ""))) << method;
    HttpAnswer answer = fresh.receive();
    EXPECT_EQ(answer.status, 405) << method;
    EXPECT_EQ(answer.headers["allow"], "POST") << method;
  }

  HttpConnection bigClient(server.port());
  ASSERT_TRUE(bigClient.send(formPost(kPath, kGoodBody + "&pad=" + std::string(3000, 'x'))));
  const HttpAnswer big = bigClient.receive();
  EXPECT_EQ(big.status, 413);
  EXPECT_NE(big.body.find("Zu viele Daten"), std::string::npos);

  // Only header lines the server has screened are served: behind the requests that came
  // together, the connection is closed and the next request comes on a new one.
  EXPECT_EQ(ok.headers["connection"], "close");
  HttpConnection elsewhere(server.port());
  ASSERT_TRUE(elsewhere.send(formPost("/anderswo", kGoodBody)));
  EXPECT_EQ(elsewhere.receive().status, 404);

  HttpConnection refusedClient(server.port());
  ASSERT_TRUE(refusedClient.send(formPost(kPath, pageBody({{"Name", "x"}}, "spam@elsewhere.de"))));
  EXPECT_EQ(refusedClient.receive().status, 403);

  // Four posts a minute: three more are taken (neither the oversized nor the refused one was
  // counted: only posts that would be delivered are), the next is refused.
  std::vector<int> statuses;
  for (int i = 0; i < 4; ++i) {
    HttpConnection each(server.port());
    each.send(formPost(kPath, numberedBody(i)));
    statuses.push_back(each.receive().status);
  }
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 429}));
  EXPECT_EQ(mailsIn(dir.file("Maildir")).size(), 4U);
  EXPECT_EQ(server.exitCode(), 0);
}

// The server speaks German; one that cannot listen says why, and a wrong command line gets
// the usage on standard error.
TEST(StandaloneServer, SaysInGermanWhatItDoesAndWhyItCannotListen) {
  TempFolder dir;
  const std::string config = writeConfig(dir, "");
  ServerProcess holder(kServer, config);
  ASSERT_GT(holder.port(), 0);
  const std::string taken = "127.0.0.1:" + std::to_string(holder.port());
  const std::string broken = dir.file("kaputt.conf");
  writeFile(broken, "[formmail]\nfarbe = blau\n");
  const std::string usage = "Aufruf: vantrel-formmail --listen ADRESSE:PORT --config DATEI\n";
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string out;
    std::string err;
  } runs[] = {
      {{"--listen", taken, "--config", config},
       1,
       "",
       "vantrel-formmail: kann nicht auf " + taken +
           " lauschen: die Adresse ist schon belegt (läuft der Server schon, oder ein anderer "
           "Dienst auf diesem Port?)\n"},
      {{"--listen", "192.0.2.1:0", "--config", config},
       1,
       "",
       "vantrel-formmail: kann nicht auf 192.0.2.1:0 lauschen: die Adresse gehört zu keiner "
       "Netzwerkschnittstelle dieses Rechners\n"},
      {{"--listen", "127.0.0.1:0", "--config", broken},
       1,
       "",
       "vantrel-formmail: Konfiguration " + broken + ": Zeile 2: unbekannter Schlüssel 'farbe'\n"},
      {{"--help"}, 0, usage, ""},
      {{"--listen", taken}, 2, "", usage},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.arguments.front() + " " + run.arguments.back());
    const ProcessResult result = runProgram(kServer, run.arguments, {}, "");
    EXPECT_EQ(result.exitCode, run.exitCode) << result.err;
    EXPECT_EQ(result.out.substr(0, run.out.size()), run.out);
    EXPECT_EQ(result.err.substr(0, run.err.size()), run.err);
    if (run.out.empty()) {
      EXPECT_EQ(result.out, "");
    }
  }
}

namespace {

// A server with its own folder, for the tests that attack it from outside.
struct StandaloneFixture {
  TempFolder dir;
  ServerProcess server{kServer, writeConfig(dir, "rate_per_minute = 0\n")};
  std::size_t mailCount() const { return mailsIn(dir.file("Maildir")).size(); }
};

}  // namespace

TEST(StandaloneServer, RefusesAnEndlessChunkedBodyEarlyWithMemoryFlat) {
  StandaloneFixture fixture;
  ASSERT_GT(fixture.server.port(), 0);
  const long memoryBefore = peakMemoryKib(fixture.server.pid());
  HttpConnection client(fixture.server.port());
  ASSERT_TRUE(client.send(httpRequest("POST", kPath, "",
                                      "Content-Type: application/x-www-form-urlencoded\r\n"
                                      "Transfer-Encoding: chunked\r\n")));
  // 300 MB offered in 64 KB chunks; the server has to stop taking them long before the end.
  const std::string piece = chunked(std::string(64 * 1024, 'x'), 64 * 1024);
  const std::string oneChunk = piece.substr(0, piece.size() - 5);  // without the last chunk
  std::size_t offered = 0;
  while (offered < std::size_t{300} * 1024 * 1024 && client.send(oneChunk, 2000))
    offered += 64 * 1024;
  EXPECT_LT(offered, std::size_t{16} * 1024 * 1024);
  const HttpAnswer answer = client.receive(2000);
  EXPECT_EQ(answer.status, 413);
  EXPECT_NE(answer.body.find("Zu viele Daten"), std::string::npos);
  const long memoryAfter = peakMemoryKib(fixture.server.pid());
  EXPECT_LT(memoryAfter - memoryBefore, 16 * 1024) << memoryBefore << " KiB before";
  EXPECT_EQ(fixture.mailCount(), 0U);
}

TEST(StandaloneServer, SlowClientsCannotShutOutARealPost) {
  StandaloneFixture fixture;
  ASSERT_GT(fixture.server.port(), 0);
  // 66 clients, each from an address of its own, trickling their headers one byte at a time.
  std::vector<std::unique_ptr<HttpConnection>> slow;
  for (int i = 0; i < 66; ++i) {
    slow.push_back(std::make_unique<HttpConnection>(fixture.server.port(),
                                                    "127.0.0." + std::to_string(i + 2)));
    ASSERT_TRUE(slow.back()->send("POST " + std::string(kPath) + " HTTP/1.1\r\nHo"));
  }
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    for (int round = 0; round < 40 && !done; ++round) {
      for (auto& connection : slow) (void)connection->send("x", 100);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  const auto started = std::chrono::steady_clock::now();
  HttpConnection real(fixture.server.port());
  ASSERT_TRUE(real.send(formPost(kPath, kGoodBody)));
  const HttpAnswer answer = real.receive(2000);
  const auto waited = std::chrono::steady_clock::now() - started;
  done = true;
  trickle.join();
  EXPECT_EQ(answer.status, 200);
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_EQ(fixture.mailCount(), 1U);
}

TEST(StandaloneServer, TakesAFormBodyUpToTheConfiguredLimit) {
  StandaloneFixture fixture;
  ASSERT_GT(fixture.server.port(), 0);
  // Long comments with umlauts, each within the field limit: three bytes on the wire for
  // each one typed.
  const std::string comment(5'000, '\xE4');
  const std::string body = pageBody({{"Name", "B\xE4r"},
                                     {"Kurs", comment},
                                     {"Anmerkung", comment},
                                     {"Wunsch", comment},
                                     {"Frage", comment}});
  ASSERT_GT(body.size(), 60'000U);
  ASSERT_LT(body.size(), 65'536U);
  HttpConnection client(fixture.server.port());
  ASSERT_TRUE(client.send(formPost(kPath, body)));
  EXPECT_EQ(client.receive().status, 200);
  const auto stored = mailsIn(fixture.dir.file("Maildir"));
  ASSERT_EQ(stored.size(), 1U);
  EXPECT_NE(parseMail(stored[0]).body.find("Kurs: \xC3\xA4\xC3\xA4\xC3\xA4"), std::string::npos);
}

// A post written out whole, headers as given: for the forms no well-behaved client sends.
std::string rawPost(const std::string& headers, const std::string& body) {
  return "POST " + std::string(kPath) + " HTTP/1.1\r\n" + headers + "\r\n" + body;
}

TEST(StandaloneServer, RefusesRequestsWhoseFramingTwoParsersCouldReadApart) {
  StandaloneFixture fixture;
  ASSERT_GT(fixture.server.port(), 0);
  const std::string type = "Content-Type: application/x-www-form-urlencoded\r\n";
  const std::string length = "Content-Length: " + std::to_string(kGoodBody.size()) + "\r\n";
  const std::string otherLength =
      "Content-Length: " + std::to_string(kGoodBody.size() - 1) + "\r\n";
  const struct {
    const char* what;
    std::string request;
  } cases[] = {
      {"unknown coding beside a length",
       httpRequest("POST", kPath, kGoodBody, type + "Transfer-Encoding: xchunked\r\n" + length)},
      {"two different lengths", httpRequest("POST", kPath, kGoodBody, type + length + otherLength)},
      {"chunked, identity", httpRequest("POST", kPath, chunked(kGoodBody, 100),
                                        type + "Transfer-Encoding: chunked, identity\r\n")},
      {"chunked beside a length", httpRequest("POST", kPath, chunked(kGoodBody, 100),
                                              type + "Transfer-Encoding: chunked\r\n" + length)},
      {"two codings in two lines",
       httpRequest("POST", kPath, chunked(kGoodBody, 100),
                   type + "Transfer-Encoding: chunked\r\nTransfer-Encoding: identity\r\n")},
      {"a blank before the colon of the length",
       rawPost("Host: 127.0.0.1\r\n" + type +
                   "Content-Length : " + std::to_string(kGoodBody.size()) + "\r\n",
               kGoodBody)},
      {"a blank before the colon of the coding",
       rawPost("Host: 127.0.0.1\r\n" + type + "Transfer-Encoding : chunked\r\n",
               chunked(kGoodBody, 100))},
      {"two Host headers",
       rawPost("Host: 127.0.0.1\r\nHost: example.org\r\n" + type + length, kGoodBody)},
      // The library joins a folded line to the one before and cuts a value at a NUL, so
      // these are refused on the bytes as sent.
      {"a folded header line",
       rawPost("Host: 127.0.0.1\r\n" + type + "X-Note: one\r\n two\r\n" + length, kGoodBody)},
      {"a folded length", rawPost("Host: 127.0.0.1\r\n" + type + "Content-Length:\r\n " +
                                      std::to_string(kGoodBody.size()) + "\r\n",
                                  kGoodBody)},
      {"a NUL in a header value",
       rawPost("Host: 127.0.0.1\r\n" + type + std::string("X-Note: one\0two\r\n", 17) + length,
               kGoodBody)},
      {"a CR alone in a header value",
       rawPost("Host: 127.0.0.1\r\n" + type + "X-Note: one\rtwo\r\n" + length, kGoodBody)},
      {"a header line ended by LF alone",
       rawPost("Host: 127.0.0.1\r\n" + type + "X-Note: one\n" + length, kGoodBody)},
      {"a folded line in a pipelined second post",
       formPost(kPath, kGoodBody) +
           rawPost("Host: 127.0.0.1\r\n" + type + "X-Note: one\r\n two\r\n" + length, kGoodBody)},
  };
  for (const auto& attempt : cases) {
    HttpConnection client(fixture.server.port());
    ASSERT_TRUE(client.send(attempt.request)) << attempt.what;
    EXPECT_EQ(client.receive().status, 400) << attempt.what;
  }
  EXPECT_EQ(fixture.mailCount(), 0U);

  // The honest forms of the same post are taken.
  HttpConnection plain(fixture.server.port());
  ASSERT_TRUE(plain.send(httpRequest("POST", kPath, chunked(kGoodBody, 100),
                                     type + "Transfer-Encoding: chunked\r\n")));
  EXPECT_EQ(plain.receive().status, 200);
  EXPECT_EQ(fixture.mailCount(), 1U);
}

TEST(StandaloneServer, AnswersPipelinedRequestsInOrder) {
  StandaloneFixture fixture;
  ASSERT_GT(fixture.server.port(), 0);
  HttpConnection client(fixture.server.port());
  ASSERT_TRUE(client.send(formPost(kPath, numberedBody(1)) + formPost("/anderswo", kGoodBody) +
                          formPost(kPath, numberedBody(2))));
  EXPECT_EQ(client.receive().status, 200);
  EXPECT_EQ(client.receive().status, 404);
  EXPECT_EQ(client.receive().status, 200);
  EXPECT_EQ(fixture.mailCount(), 2U);
}

namespace {

struct RepeatStep {
  const char* what;
  const char* survey;  // the query's "umfrage", or nullptr for none
  int body;            // numberedBody's number
  int status;
  std::size_t mailsAfter;
  const char* subject;  // of the newest mail, when one was stored
};

// Both front ends, the same steps: a post sent again is stored once, per client, form and
// survey; the survey key reaches the subject and the answer part, an invalid key nothing.
class RepeatAndSurvey : public ::testing::TestWithParam<bool> {
 protected:
  int post(const char* survey, const std::string& body) {
    if (!GetParam()) return cgiPost(survey, body);
    const std::string path = kPath + (survey ? std::string("?umfrage=") + survey : "");
    HttpConnection client(server->port());
    EXPECT_TRUE(client.send(formPost(path, body)));
    return client.receive().status;
  }
  int cgiPost(const char* survey, const std::string& body) {
    const ProcessResult result =
        runProgram(kCgi, {},
                   {{"GATEWAY_INTERFACE", "CGI/1.1"},
                    {"REQUEST_METHOD", "POST"},
                    {"SCRIPT_NAME", kPath},
                    {"QUERY_STRING", survey ? std::string("umfrage=") + survey : ""},
                    {"REMOTE_ADDR", "192.0.2.44"},
                    {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                    {"CONTENT_LENGTH", std::to_string(body.size())},
                    {"VANTREL_FORMMAIL_CONFIG", config}},
                   body);
    return result.out.rfind("Status: ", 0) == 0 ? std::stoi(result.out.substr(8, 3)) : 0;
  }

  TempFolder dir;
  std::string config = writeConfig(dir, "rate_per_minute = 3\n");
  std::unique_ptr<ServerProcess> server =
      GetParam() ? std::make_unique<ServerProcess>(kServer, config) : nullptr;
};

}  // namespace

TEST_P(RepeatAndSurvey, StoresEachPostOnceAndKeepsSurveysApart) {
  const RepeatStep steps[] = {
      {"first post", nullptr, 1, 200, 1, "Formular: Formular"},
      {"back and send again", nullptr, 1, 200, 1, nullptr},
      {"reload of the thank-you page", nullptr, 1, 200, 1, nullptr},
      {"the same answers for a survey", "Kurs-2026", 1, 200, 2, "Formular: Formular [Kurs-2026]"},
      {"that survey again", "Kurs-2026", 1, 200, 2, nullptr},
      {"an invalid key", "Kurs%202026", 2, 400, 2, nullptr},
      {"another answer", nullptr, 2, 200, 3, "Formular: Formular"},
      {"over the rate, not a repeat", nullptr, 3, 429, 3, nullptr},
      {"a repeat costs no count", nullptr, 2, 200, 3, nullptr},
  };
  for (const RepeatStep& step : steps) {
    EXPECT_EQ(post(step.survey, numberedBody(step.body)), step.status) << step.what;
    const auto stored = mailsIn(dir.file("Maildir"));
    ASSERT_EQ(stored.size(), step.mailsAfter) << step.what;
    if (!step.subject) continue;
    const std::string member =
        std::string("\"survey\":\"") + (step.survey ? step.survey : "") + "\"";
    EXPECT_TRUE(std::any_of(stored.begin(), stored.end(), [&](const std::string& text) {
      const ParsedMail mail = parseMail(text);
      return mail.headers.at("Subject") == step.subject &&
             mail.answerJson.find(member) != std::string::npos;
    })) << step.what;
  }
}

INSTANTIATE_TEST_SUITE_P(BothFrontEnds, RepeatAndSurvey, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& frontEnd) {
                           return frontEnd.param ? "Server" : "Cgi";
                         });

namespace {

// Tests that hold more than a thousand connections need more open files than a shell's
// default soft limit.
bool allowOpenFiles(rlim_t wanted) {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) != 0) return false;
  if (files.rlim_cur >= wanted) return true;
  files.rlim_cur = std::min(wanted, files.rlim_max);
  return ::setrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur >= wanted;
}

}  // namespace

// 1,100 clients from 40 addresses, each under the limit per address, keep every connection
// the server allows busy and come back at once when cut off; the server runs with the soft
// limit of open files a service manager gives by default.
TEST(StandaloneServer, SlowClientsFromManyAddressesCannotShutOutRealPosts) {
  ASSERT_TRUE(allowOpenFiles(4096));
  const std::string head = "POST " + std::string(kPath) +
                           " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n";
  const struct {
    const char* what;
    std::string opening;
    std::string piece;  // sent every second
  } attacks[] = {
      {"a header line at a time", head, "X-Slow: y\r\n"},
      {"a byte of the body at a time", head + "Content-Length: 1000\r\n\r\n", "x"},
  };
  for (const auto& attack : attacks) {
    TempFolder dir;
    ServerProcess server(
        kServer, writeConfig(dir, "rate_per_minute = 0\nheader_timeout = 3\nrequest_timeout = 4\n"),
        1024);
    ASSERT_GT(server.port(), 0);
    const auto connect = [&](std::size_t i) {
      auto connection =
          std::make_unique<HttpConnection>(server.port(), "127.0.1." + std::to_string(i % 40 + 1));
      (void)connection->send(attack.opening, 100);  // a refused one is replaced next round
      return connection;
    };
    std::vector<std::unique_ptr<HttpConnection>> slow;
    for (std::size_t i = 0; i < 1100; ++i) slow.push_back(connect(i));
    std::atomic<bool> done{false};
    std::thread trickle([&] {
      for (int round = 0; round < 20 && !done; ++round) {
        for (std::size_t i = 0; i < slow.size() && !done; ++i)
          if (!slow[i]->send(attack.piece, 20)) slow[i] = connect(i);
        for (int tick = 0; tick < 10 && !done; ++tick)
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
    std::vector<int> statuses;
    for (int post = 0; post < 3; ++post) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      HttpConnection real(server.port());
      // Each a new answer: the same one sent again would be stored once.
      (void)real.send(formPost(kPath, numberedBody(post + 1)), 2000);  // the answer tells
      statuses.push_back(real.receive(3000).status);
    }
    done = true;
    trickle.join();
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200})) << attack.what;
    EXPECT_EQ(mailsIn(dir.file("Maildir")).size(), 3U) << attack.what;
  }
}

// Forty clients send most of a body of 768 KiB and stall: the server holds no more for all of
// them together than body_memory (4 MiB here) and refuses the posts beyond it with 503.
TEST(StandaloneServer, TricklingBodiesShareOneBudgetOfMemory) {
  const std::string part(768 * 1024, 'x');
  const std::string chunkedPart = chunked(part, 64 * 1024);
  const struct {
    const char* what;
    std::string framing;
    std::string sent;
  } bodies[] = {
      {"announced length", "Content-Length: 1048576\r\n", part},
      {"chunked", "Transfer-Encoding: chunked\r\n",
       chunkedPart.substr(0, chunkedPart.size() - 5)},  // without the last chunk
  };
  for (const auto& body : bodies) {
    TempFolder dir;
    ServerProcess server(kServer, writeConfig(dir, "rate_per_minute = 0\nbody_memory = 4194304\n"));
    ASSERT_GT(server.port(), 0);
    const long memoryBefore = peakMemoryKib(server.pid());
    std::vector<std::unique_ptr<HttpConnection>> clients;
    for (int i = 0; i < 40; ++i) {
      clients.push_back(
          std::make_unique<HttpConnection>(server.port(), "127.0.2." + std::to_string(i % 4 + 1)));
      (void)clients.back()->send(
          httpRequest("POST", kPath, "",
                      "Content-Type: application/x-www-form-urlencoded\r\n" + body.framing),
          1000);
      (void)clients.back()->send(body.sent, 300);  // a refused one is closed before the end
    }
    int busy = 0;
    for (auto& client : clients) busy += client->receive(100).status == 503;
    const long grown = peakMemoryKib(server.pid()) - memoryBefore;
    EXPECT_GE(busy, 30) << body.what;
    // Forty bodies of 768 KiB would be 30 MiB and more.
    EXPECT_LT(grown, 16 * 1024) << body.what << ": " << memoryBefore << " KiB before";

    // Once they are gone, their memory serves the next post.
    clients.clear();
    std::string large = kGoodBody;
    for (int field = 0; field < 15; ++field)
      large += "&pad" + std::to_string(field) + "=" + std::string(60 * 1024, 'p');
    int status = 0;
    for (int attempt = 0; attempt < 20 && status != 200; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      HttpConnection real(server.port());
      (void)real.send(formPost(kPath, large));
      status = real.receive(3000).status;
    }
    EXPECT_EQ(status, 200) << body.what;
  }
}
