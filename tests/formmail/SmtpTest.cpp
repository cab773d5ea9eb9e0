// Delivery over SMTP to a sink on 127.0.0.1, and what happens when the server says no.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FormmailTestSupport.h"
#include "answers/Answer.h"
#include "formmail/FormMailHandler.h"
#include "formmail/SmtpSender.h"
#include "formmail/SpoolFlush.h"

using namespace vantrel::formmail;
using namespace formmail_test;

namespace {

// A port on 127.0.0.1 where nothing listens: bound once, then let go.
int closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class SmtpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initSmtp(); }

  SmtpTest() {
    config.allow = {"info@example.org"};
    config.sender = "formmail@example.org";
    config.starttls = false;
    config.ratePerMinute = 0;
  }

  Answer post(int port) {
    config.smtp = "smtp://127.0.0.1:" + std::to_string(port);
    const auto delivery = makeDelivery(config);
    MemoryRateLimiter limiter(0);
    MemoryRecentPosts recent;
    const FormMailHandler handler(config, *delivery, limiter, recent);
    const std::string body = formBody({{"Name", "J\xFCrgen"},
                                       {"Notiz", ".\r\n.\r\nnach dem Punkt"},
                                       {"B1", "Abschicken"},
                                       {"required", "Name"},
                                       {"data_order", "Name,Notiz"},
                                       {"submit_to", "info@example.org"},
                                       {"form_id",
                                        "Anmeldung \xC4"
                                        "rzte"}});
    return handler.handle({"POST", "application/x-www-form-urlencoded", body, "192.0.2.1", ""});
  }

  TempFolder dir;
  Config config;
};

}  // namespace

TEST_F(SmtpTest, DeliversTheMailToTheServer) {
  SmtpSink sink;
  const Answer answer = post(sink.port());
  EXPECT_EQ(answer.status, 200) << answer.logNote;
  const auto received = sink.received();
  ASSERT_EQ(received.size(), 1U);
  EXPECT_EQ(received[0].mailFrom, "<formmail@example.org>");
  EXPECT_EQ(received[0].recipients, std::vector<std::string>{"<info@example.org>"});
  const ParsedMail mail = parseMail(received[0].data);
  EXPECT_EQ(decodeSubject(mail.headers.at("Subject")), "Formular: Anmeldung \xC3\x84rzte");
  EXPECT_EQ(mail.body, "Name: J\xC3\xBCrgen\nNotiz: .\n.\nnach dem Punkt\n");
  // The answer part travels through SMTP as it does into a Maildir.
  const auto part = vantrel::answers::parseAnswerJson(mail.answerJson);
  ASSERT_TRUE(part.ok()) << part.reason();
  EXPECT_EQ(part.value().fields,
            (std::vector<std::pair<std::string, std::string>>{
                {"Name", "J\xC3\xBCrgen"}, {"Notiz", ".\r\n.\r\nnach dem Punkt"}}));
}

TEST_F(SmtpTest, ARefusedMailIsKeptInTheSpoolAndTheAnswerSaysSo) {
  config.spool = dir.file("spool");
  for (const auto mode : {SmtpSink::Mode::DeferRecipient, SmtpSink::Mode::DeferData}) {
    SmtpSink sink(mode);
    const Answer answer = post(sink.port());
    EXPECT_EQ(answer.status, 503);
    EXPECT_NE(answer.body.find("gespeichert"), std::string::npos);
    EXPECT_NE(answer.logNote.find("SMTP failed"), std::string::npos);
    EXPECT_TRUE(sink.received().empty());
  }
  const auto spooled = mailsIn(config.spool);
  ASSERT_EQ(spooled.size(), 2U);
  EXPECT_EQ(parseMail(spooled[0]).headers.at("To"), "info@example.org");
  EXPECT_EQ(parseMail(spooled[1]).body, "Name: J\xC3\xBCrgen\nNotiz: .\n.\nnach dem Punkt\n");
  EXPECT_TRUE(vantrel::answers::parseAnswerJson(parseMail(spooled[1]).answerJson).ok());
}

TEST_F(SmtpTest, WithoutSpoolAFailedServerIsNoSuccess) {
  const Answer answer = post(closedPort());
  EXPECT_EQ(answer.status, 503);
  EXPECT_NE(answer.body.find("nicht gespeichert"), std::string::npos);
  EXPECT_NE(answer.logNote.find("no spool"), std::string::npos);
}

TEST_F(SmtpTest, StarttlsRequiredRefusesAServerWithoutIt) {
  config.starttls = true;
  config.spool = dir.file("spool");
  SmtpSink sink;
  EXPECT_EQ(post(sink.port()).status, 503);
  EXPECT_TRUE(sink.received().empty());
  EXPECT_EQ(mailsIn(config.spool).size(), 1U);
}

TEST_F(SmtpTest, SpooledMailsAreSentOnceTheServerTakesThemAgain) {
  config.spool = dir.file("spool");
  {
    SmtpSink refusing(SmtpSink::Mode::DeferData);
    ASSERT_EQ(post(refusing.port()).status, 503);
    ASSERT_EQ(post(refusing.port()).status, 503);
    // Still refusing: both stay.
    const FlushReport stillDown = flushSpool(config);
    EXPECT_EQ(stillDown.sent, 0U);
    EXPECT_EQ(stillDown.problems.size(), 2U);
    EXPECT_EQ(mailsIn(config.spool).size(), 2U);
  }
  // A mail whose recipient left the allow list meanwhile stays in the spool.
  writeFile(config.spool / "new/1.foreign", "To: spam@elsewhere.de\nSubject: x\n\nx\n");

  SmtpSink sink;
  config.smtp = "smtp://127.0.0.1:" + std::to_string(sink.port());
  const FlushReport report = flushSpool(config);
  EXPECT_EQ(report.sent, 2U);
  ASSERT_EQ(report.problems.size(), 1U);
  EXPECT_NE(report.problems[0].find("not allowed"), std::string::npos);
  EXPECT_EQ(fileCount(config.spool / "new"), 1U);
  const auto received = sink.received();
  ASSERT_EQ(received.size(), 2U);
  EXPECT_EQ(received[1].recipients, std::vector<std::string>{"<info@example.org>"});
  const ParsedMail mail = parseMail(received[1].data);
  EXPECT_EQ(mail.body, "Name: J\xC3\xBCrgen\nNotiz: .\n.\nnach dem Punkt\n");
  EXPECT_NE(received[1].data.find("\r\nMIME-Version: 1.0\r\n"), std::string::npos)
      << "sent with CR LF again";
}

TEST_F(SmtpTest, APermanentRefusalIsAnErrorAnswerAndNothingIsSpooled) {
  config.spool = dir.file("spool");
  for (const auto mode : {SmtpSink::Mode::RefuseRecipient, SmtpSink::Mode::RefuseData}) {
    SmtpSink sink(mode);
    const Answer answer = post(sink.port());
    EXPECT_EQ(answer.status, 502);
    EXPECT_NE(answer.body.find("abgelehnt"), std::string::npos);
    EXPECT_EQ(answer.body.find("gespeichert"), std::string::npos) << "no promise that it follows";
    EXPECT_NE(answer.logNote.find("for good"), std::string::npos);
    EXPECT_NE(answer.logNote.find("55"), std::string::npos) << "the server's reply is logged";
  }
  EXPECT_TRUE(mailsIn(config.spool).empty());
}

TEST_F(SmtpTest, ASpooledMailRefusedForGoodIsSetAsideNotRetried) {
  config.spool = dir.file("spool");
  {
    SmtpSink deferring(SmtpSink::Mode::DeferData);
    ASSERT_EQ(post(deferring.port()).status, 503);
  }
  {
    SmtpSink refusing(SmtpSink::Mode::RefuseRecipient);
    config.smtp = "smtp://127.0.0.1:" + std::to_string(refusing.port());
    const FlushReport report = flushSpool(config);
    EXPECT_EQ(report.sent, 0U);
    EXPECT_TRUE(report.problems.empty());
    ASSERT_EQ(report.refused.size(), 1U);
    EXPECT_NE(report.refused[0].find("failed"), std::string::npos) << report.refused[0];
  }
  EXPECT_EQ(fileCount(config.spool / "new"), 0U);
  EXPECT_EQ(fileCount(config.spool / "failed"), 1U);
  EXPECT_EQ(std::filesystem::status(config.spool / "failed").permissions(),
            std::filesystem::perms::owner_all);

  SmtpSink sink;
  config.smtp = "smtp://127.0.0.1:" + std::to_string(sink.port());
  const FlushReport again = flushSpool(config);
  EXPECT_EQ(again.sent, 0U);
  EXPECT_TRUE(again.refused.empty());
  EXPECT_TRUE(sink.received().empty()) << "a mail set aside is not sent again";
}
