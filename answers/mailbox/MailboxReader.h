#pragma once
// Reading the answers straight from a folder of a mailbox on an IMAP server. Only the mails
// whose subject names a form are looked at; of each new one its structure is fetched, then
// only its part "antwort.json" (BODY.PEEK: nothing is marked read or changed on the server),
// a batch of mails at a time. What was read is kept in the answer cache, so that the next read
// fetches only the mails that came since.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "answers/AnswerReader.h"
#include "answers/mailbox/ImapConnection.h"
#include "answers/mailbox/MailboxAddress.h"

namespace vantrel::answers {

struct MailboxReadOptions {
  ImapConnectOptions connect;
  std::filesystem::path cacheFolder;  // empty: defaultAnswerCacheFolder()
  std::size_t batchSize = 250;        // mails per FETCH and per cache transaction
};

struct MailboxSummary {
  ReadSummary read;             // as for a folder on disk; problems name the mail's UID
  std::uint64_t fetched = 0;    // mails fetched from the server this time
  std::uint64_t fromCache = 0;  // mails known from an earlier read
  std::uint64_t bytesReceived = 0;
  // Answers kept in the cache whose mail the server no longer has; they are delivered too.
  std::vector<std::string> goneMessageIds;
  bool cacheRebuilt = false;  // the cache could not be read and was made anew
};

// Progress counts mails fetched against the mails new on the server; cancelling stops after
// the batch under way, whose answers stay in the cache, and delivers nothing. Failures name the
// server: CannotConnect, CertificateRefused, NoTls, LoginRefused, UnknownFolder,
// ConnectionLost, ServerRefused, AnswerUnreadable; CacheCannotBeOpened names the cache file.
[[nodiscard]] Result<MailboxSummary> readMailbox(const MailboxAddress& address,
                                                 std::string_view password,
                                                 const MailboxReadOptions& options,
                                                 const ReadCallbacks& callbacks);

// The folders of the mailbox that can be opened, in UTF-8 and in the server's order: for a
// window to offer. Failures as for readMailbox(), but for UnknownFolder.
[[nodiscard]] Result<std::vector<std::string>> listMailboxFolders(
    const MailboxAddress& address, std::string_view password, const ImapConnectOptions& options);

// The section of the part "antwort.json" in a BODYSTRUCTURE ("2", "1.2"), empty when the mail
// has none.
[[nodiscard]] std::string answerSectionOf(const ImapValue& bodyStructure);

}  // namespace vantrel::answers
