// Both front ends as programs: sendmailform.cgi run the way a web server runs it, and
// vantrel-formmail listening on 127.0.0.1.

#include <gtest/gtest.h>

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

TEST_F(CgiTest, KeepsItsRateCountsInAPrivateFolderOfItsOwn) {
  // Without rate_state the counts go below the user's own state folder, never into /tmp.
  const std::string config = dir.file("default.conf");
  writeFile(config,
            "[formmail]\nallow = info@example.org\nsender = formmail@example.org\n"
            "maildir = " +
                dir.file("Maildir") + "\nrate_per_minute = 2\n");
  std::vector<int> statuses;
  for (int i = 0; i < 3; ++i)
    statuses.push_back(run("POST", kGoodBody, "",
                           {{"VANTREL_FORMMAIL_CONFIG", config}, {"HOME", dir.file("home")}})
                           .status);
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 429}));
  const std::string folder = dir.file("home/.local/state/vantrel-formmail");
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
  EXPECT_TRUE(std::filesystem::exists(folder + "/rate"));

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

  const HttpAnswer ok = post(kPath, kGoodBody);
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

  EXPECT_EQ(post("/anderswo", kGoodBody).status, 404);

  HttpConnection refusedClient(server.port());
  ASSERT_TRUE(refusedClient.send(formPost(kPath, pageBody({{"Name", "x"}}, "spam@elsewhere.de"))));
  EXPECT_EQ(refusedClient.receive().status, 403);

  // Four posts a minute: three more are taken (neither the oversized nor the refused one was
  // counted: only posts that would be delivered are), the next is refused.
  std::vector<int> statuses;
  for (int i = 0; i < 4; ++i) {
    HttpConnection each(server.port());
    each.send(formPost(kPath, kGoodBody));
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
  ASSERT_TRUE(client.send(formPost(kPath, kGoodBody) + formPost("/anderswo", kGoodBody) +
                          formPost(kPath, kGoodBody)));
  EXPECT_EQ(client.receive().status, 200);
  EXPECT_EQ(client.receive().status, 404);
  EXPECT_EQ(client.receive().status, 200);
  EXPECT_EQ(fixture.mailCount(), 2U);
}
