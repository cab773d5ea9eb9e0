// Answers read over IMAP from a private Dovecot on 127.0.0.1 against the Maildir reader over the
// Maildir that the same server serves (10,000 receiver mails by default), in the same run; then
// the bytes a second read receives after 100 new answers, against the first read's. Prints
// times, ratios and bytes; never passes or fails.
//
//   mailbox_bench [--answers N]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "answers/AnswerReader.h"
#include "answers/mailbox/MailboxReader.h"
#include "formmail/MailMessage.h"
#include "formmail/Maildir.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/ReceiverMail.h"
#include "tests/support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace vantrel;

std::string receiverMail(int number) {
  return test::receiverMail(number, {{"Name", "M\xFCller " + std::to_string(number)},
                                     {"Farbe", number % 2 == 0 ? "gr\xFCn" : "blau"},
                                     {"Bemerkung", std::string(200, 'x')}});
}

bool deliver(const std::filesystem::path& maildir, int from, int to) {
  for (int number = from; number < to; ++number) {
    if (!formmail::storeInMaildir(maildir, receiverMail(number)).ok()) return false;
  }
  return true;
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct ImapRead {
  double seconds = 0;
  answers::MailboxSummary summary;
};

ImapRead readOverImap(const answers::MailboxAddress& address,
                      const answers::MailboxReadOptions& options) {
  std::uint64_t count = 0;
  answers::ReadCallbacks callbacks;
  callbacks.onAnswer = [&](answers::Answer&&) { ++count; };
  const auto start = Clock::now();
  Result<answers::MailboxSummary> summary =
      answers::readMailbox(address, test::DovecotServer::password(), options, callbacks);
  ImapRead read;
  read.seconds = secondsSince(start);
  if (!summary) {
    std::fprintf(stderr, "IMAP read failed: %s\n", summary.reason().c_str());
    std::exit(1);
  }
  read.summary = std::move(summary).value();
  return read;
}

}  // namespace

int main(int argc, char** argv) {
  int answers = 10'000;
  if (argc == 3 && std::strcmp(argv[1], "--answers") == 0) answers = std::atoi(argv[2]);
  if (!test::DovecotServer::available()) {
    std::fprintf(stderr, "dovecot-imapd is not installed\n");
    return 1;
  }
  test::TempFolder folder;
  test::DovecotServer server(folder.path() / "server");
  if (!deliver(server.maildir(), 0, answers)) return 1;
  server.handOver();
  const answers::MailboxAddress address =
      answers::parseMailboxAddress(server.imapsAddress()).value();
  answers::MailboxReadOptions options;
  options.connect.caFile = server.certificate();
  // The server indexes a new folder on its first visit; a mailbox in use has its indexes.
  options.cacheFolder = folder.path() / "warm-up";
  (void)readOverImap(address, options);

  std::uint64_t maildirAnswers = 0;
  answers::ReadCallbacks callbacks;
  callbacks.onAnswer = [&](answers::Answer&&) { ++maildirAnswers; };
  const auto maildirStart = Clock::now();
  const Result<answers::ReadSummary> maildir = answers::readAnswers(server.maildir(), callbacks);
  const double maildirSeconds = secondsSince(maildirStart);
  if (!maildir) return 1;

  options.cacheFolder = folder.path() / "cache";
  const ImapRead first = readOverImap(address, options);
  std::printf("answers: %d\n", answers);
  std::printf("Maildir read:       %8.3f s  (%llu answers)\n", maildirSeconds,
              static_cast<unsigned long long>(maildirAnswers));
  std::printf("IMAP first read:    %8.3f s  (%llu answers, %llu bytes received)\n", first.seconds,
              static_cast<unsigned long long>(first.summary.read.answers),
              static_cast<unsigned long long>(first.summary.bytesReceived));
  std::printf("ratio IMAP/Maildir: %8.2f\n", first.seconds / maildirSeconds);

  if (!deliver(server.maildir(), answers, answers + 100)) return 1;
  server.handOver();
  const ImapRead second = readOverImap(address, options);
  std::printf(
      "IMAP second read after 100 new answers: %8.3f s, %llu mails fetched, %llu bytes "
      "received (%.1f%% of the first read's)\n",
      second.seconds, static_cast<unsigned long long>(second.summary.fetched),
      static_cast<unsigned long long>(second.summary.bytesReceived),
      100.0 * static_cast<double>(second.summary.bytesReceived) /
          static_cast<double>(first.summary.bytesReceived));
  return 0;
}
