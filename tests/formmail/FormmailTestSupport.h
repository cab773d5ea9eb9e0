#pragma once
// Helpers of the form-mail tests: Maildir reading, mail decoding, a small SMTP sink on
// 127.0.0.1 and a way to run a program with given environment and input. Temporary folders
// come from tests/support.

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempFolder.h"

namespace formmail_test {

using vantrel::test::TempFolder;

void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

// The mails under new/, oldest first by name.
std::vector<std::string> mailsIn(const std::filesystem::path& maildir);
std::size_t fileCount(const std::filesystem::path& folder);

// A mail of the receiver: its headers, and its readable text. For a multipart mail the text is
// that of the text/plain part, whose Content-Type and Content-Transfer-Encoding then stand in
// `headers` in place of the mail's own; the part "antwort.json" is given decoded beside it.
struct ParsedMail {
  std::map<std::string, std::string> headers;  // as they stand, folded lines joined with ""
  std::string headerBlock;                     // the mail's own headers
  std::string body;                            // quoted-printable decoded
  std::string mailContentType;                 // the mail's own Content-Type
  std::string answerJson;                      // the part "antwort.json", base64 decoded
};
ParsedMail parseMail(const std::string& mail);
std::string decodeQuotedPrintable(const std::string& text);
// Decodes "=?UTF-8?B?...?=" words; plain text stays as it is.
std::string decodeSubject(const std::string& header);

// The mails as one mbox file (mboxrd): each behind a "From " line and followed by an empty
// line, every body line that begins with "From ", ">From ", ">>From " ... given one more ">".
std::string mboxrdOf(const std::vector<std::string>& mails);

// Form body in application/x-www-form-urlencoded, every byte outside [A-Za-z0-9] escaped.
std::string urlEncode(const std::string& bytes);
std::string formBody(const std::vector<std::pair<std::string, std::string>>& fields);

class SmtpSink {
 public:
  // Refuse: a permanent 5xx reply; Defer: a temporary 4xx one.
  enum class Mode { Accept, RefuseRecipient, RefuseData, DeferRecipient, DeferData };
  explicit SmtpSink(Mode mode = Mode::Accept);
  ~SmtpSink();
  int port() const { return port_; }

  struct Received {
    std::string mailFrom;
    std::vector<std::string> recipients;
    std::string data;  // without the final ".", dot-stuffing undone
  };
  std::vector<Received> received();

 private:
  void serve();
  void talk(int fd);
  Mode mode_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Received> received_;
  std::thread thread_;
};

// The standalone server as a child process on 127.0.0.1 with a port of the system's choice,
// stopped with SIGTERM at the end; with a soft limit of open files when one is given, as a
// service manager sets it.
class ServerProcess {
 public:
  ServerProcess(const std::string& program, const std::string& configPath,
                unsigned softFileLimit = 0);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }  // 0 when the server did not come up
  int pid() const { return pid_; }
  // Stops the server and gives its exit code; -1 when it did not stop within 10 seconds.
  int exitCode();

 private:
  int pid_ = -1;
  int port_ = 0;
  bool stopped_ = false;
  int code_ = -1;
};

// Peak resident memory of a running process in KiB (VmHWM), 0 when it cannot be read.
long peakMemoryKib(int pid);

// A plain HTTP/1.1 client on one connection, for the standalone server: it writes the bytes
// it is given as they are, so that tests can send what no well-behaved client would.
struct HttpAnswer {
  int status = -1;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

class HttpConnection {
 public:
  // Connects to 127.0.0.1:port, from the given loopback address (any of 127.0.0.0/8).
  explicit HttpConnection(int port, const std::string& from = "127.0.0.1");
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  bool connected() const { return fd_ >= 0; }
  // False once the server has closed the connection or the bytes did not go out in time.
  bool send(const std::string& bytes, int timeoutMs = 5000);
  // The next whole answer (bodies by Content-Length or chunked); status -1 when none came
  // within the time or the connection closed first.
  HttpAnswer receive(int timeoutMs = 10000);
  // Waits until the server closes the connection; false when it is still open after the time.
  bool closedWithin(int timeoutMs);

 private:
  bool fill(int timeoutMs);
  int fd_ = -1;
  std::string buffer_;
};

// One request as bytes; Content-Length follows the body unless the headers give their own
// framing (a header line "Content-Length:" or "Transfer-Encoding:").
std::string httpRequest(const std::string& method, const std::string& path, const std::string& body,
                        const std::string& extraHeaders = "");
std::string formPost(const std::string& path, const std::string& body);
// A body in chunked framing, cut into pieces of `piece` bytes.
std::string chunked(const std::string& body, std::size_t piece);

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};
// Runs a program with exactly this environment and input; gives up after 30 seconds.
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         const std::string& input);

}  // namespace formmail_test
