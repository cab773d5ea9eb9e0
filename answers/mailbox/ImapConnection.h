#pragma once
// One logged-in IMAP4rev1 session. libcurl makes the connection: TLS from the first byte
// (imaps://) or STARTTLS, which is then required (imap://), the server's certificate checked
// against the system's store or a given file, and the login. The commands after it are this
// program's own, sent and read over libcurl's connection, so that literals are read whole and
// nothing but BODY.PEEK is ever asked for.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "answers/mailbox/ImapResponse.h"
#include "answers/mailbox/MailboxAddress.h"
#include "base/Result.h"

namespace vantrel::answers {

struct ImapConnectOptions {
  std::filesystem::path caFile;  // certificates to trust in place of the system's store
  // The longest wait for the server at any one point; a read never hangs longer.
  std::chrono::milliseconds timeout{std::chrono::seconds(60)};
};

// A server's certificate as it presented it, for a person to judge one that is not trusted.
struct ServerCertificate {
  std::string subject;
  std::string issuer;
  std::string sha256;  // "AB:CD:...", the fingerprint of its DER bytes
  std::string pem;     // to keep as a certificate file that --cacert or the window takes
};

// Connects without checking the certificate and without logging in (no password goes to a
// server that is not trusted), and gives the certificate the server presents. Failures:
// CannotConnect, NoTls, ConnectionLost.
[[nodiscard]] Result<ServerCertificate> peekServerCertificate(const MailboxAddress& address,
                                                              const ImapConnectOptions& options);

class ImapConnection {
 public:
  // Connects and logs in. Failures: CannotConnect, CertificateRefused, NoTls, LoginRefused,
  // ConnectionLost, each naming the server.
  [[nodiscard]] static Result<std::unique_ptr<ImapConnection>> open(
      const MailboxAddress& address, std::string_view password, const ImapConnectOptions& options);
  ~ImapConnection();
  ImapConnection(const ImapConnection&) = delete;
  ImapConnection& operator=(const ImapConnection&) = delete;

  // Sends `command` (without tag and line end) and hands each untagged response to
  // `onUntagged` as it arrives; returns the command's tagged status response, OK, NO or BAD,
  // for the caller to judge. A failure when the connection breaks, the server says BYE or a
  // response cannot be read (ConnectionLost, AnswerUnreadable).
  [[nodiscard]] Result<ImapResponse> command(std::string_view command,
                                             const std::function<void(ImapResponse&&)>& onUntagged);

  [[nodiscard]] std::uint64_t bytesReceived() const { return bytesReceived_; }
  [[nodiscard]] const std::string& server() const { return server_; }

 private:
  ImapConnection(void* handle, std::string server, std::chrono::milliseconds timeout);
  [[nodiscard]] Status send(std::string_view bytes);
  [[nodiscard]] Result<ImapResponse> nextResponse();
  [[nodiscard]] Status receiveMore();
  [[nodiscard]] bool waitFor(short events);

  void* handle_;  // CURL*
  std::string server_;
  std::chrono::milliseconds timeout_;
  std::string buffer_;
  std::size_t consumed_ = 0;
  std::uint64_t bytesReceived_ = 0;
  unsigned nextTag_ = 1;
};

}  // namespace vantrel::answers
