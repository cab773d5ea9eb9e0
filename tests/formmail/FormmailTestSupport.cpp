#include "FormmailTestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace formmail_test {

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> mailsIn(const fs::path& maildir) {
  std::vector<std::string> names;
  if (!fs::is_directory(maildir / "new")) return {};
  for (const auto& entry : fs::directory_iterator(maildir / "new"))
    names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  std::vector<std::string> mails;
  for (const auto& name : names) mails.push_back(readFile(name));
  return mails;
}

std::size_t fileCount(const fs::path& folder) {
  if (!fs::is_directory(folder)) return 0;
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator{}));
}

std::string decodeQuotedPrintable(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    if (text[i] != '=') {
      out += text[i];
    } else if (i + 1 < text.size() && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
      i += text[i + 1] == '\r' ? 2 : 1;  // soft line break
    } else if (i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  return out;
}

namespace {

std::string base64Decode(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    const auto index = alphabet.find(c);
    if (index == std::string::npos) continue;
    buffer = (buffer << 6) | static_cast<unsigned>(index);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return out;
}

}  // namespace

std::string decodeSubject(const std::string& header) {
  std::string out;
  std::size_t pos = 0;
  while (pos < header.size()) {
    const std::size_t start = header.find("=?UTF-8?B?", pos);
    if (start == std::string::npos) {
      out += header.substr(pos);
      break;
    }
    const std::size_t end = header.find("?=", start + 10);
    if (end == std::string::npos) throw std::runtime_error("unterminated encoded word");
    std::string between = header.substr(pos, start - pos);
    if (between.find_first_not_of(" \t\r\n") != std::string::npos) out += between;
    out += base64Decode(header.substr(start + 10, end - start - 10));
    pos = end + 2;
  }
  return out;
}

namespace {

// Header block and body of a mail or a part, line ends already LF.
void splitHeaders(const std::string& unix, std::string& headerBlock, std::string& body,
                  std::map<std::string, std::string>& headers) {
  const std::size_t split = unix.find("\n\n");
  headerBlock = unix.substr(0, split);
  body = split == std::string::npos ? "" : unix.substr(split + 2);
  std::istringstream lines(headerBlock);
  std::string line;
  std::string current;
  while (std::getline(lines, line)) {
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t') && !current.empty()) {
      headers[current] += line;
      continue;
    }
    const std::size_t colon = line.find(':');
    current = line.substr(0, colon);
    headers[current] =
        colon == std::string::npos ? "" : line.substr(std::min(line.size(), colon + 2));
  }
}

// The parts between the delimiter lines of a multipart body.
std::vector<std::string> multipartParts(const std::string& body, const std::string& boundary) {
  std::vector<std::string> parts;
  const std::string delimiter = "--" + boundary;
  std::size_t at = body.find(delimiter);
  while (at != std::string::npos) {
    const std::size_t start = body.find('\n', at);
    if (start == std::string::npos || body.compare(at + delimiter.size(), 2, "--") == 0) break;
    const std::size_t next = body.find("\n" + delimiter, start);
    if (next == std::string::npos) break;
    parts.push_back(body.substr(start + 1, next - start - 1));
    at = next + 1;
  }
  return parts;
}

}  // namespace

ParsedMail parseMail(const std::string& mail) {
  ParsedMail parsed;
  std::string unix;
  for (char c : mail) {
    if (c != '\r') unix += c;
  }
  std::string body;
  splitHeaders(unix, parsed.headerBlock, body, parsed.headers);
  parsed.mailContentType = parsed.headers["Content-Type"];
  const std::size_t boundaryAt = parsed.mailContentType.find("boundary=\"");
  if (parsed.mailContentType.rfind("multipart/", 0) != 0 || boundaryAt == std::string::npos) {
    parsed.body = decodeQuotedPrintable(body);
    return parsed;
  }
  const std::size_t boundaryStart = boundaryAt + 10;
  const std::string boundary = parsed.mailContentType.substr(
      boundaryStart, parsed.mailContentType.find('"', boundaryStart) - boundaryStart);
  for (const std::string& part : multipartParts(body, boundary)) {
    std::string partHeaderBlock;
    std::string partBody;
    std::map<std::string, std::string> partHeaders;
    splitHeaders(part, partHeaderBlock, partBody, partHeaders);
    if (partHeaders["Content-Type"].rfind("text/plain", 0) == 0) {
      for (const auto& [name, value] : partHeaders) parsed.headers[name] = value;
      parsed.body = decodeQuotedPrintable(partBody);
    } else if (partHeaders["Content-Disposition"].find("filename=\"antwort.json\"") !=
               std::string::npos) {
      parsed.answerJson = base64Decode(partBody);
    }
  }
  return parsed;
}

std::string mboxrdOf(const std::vector<std::string>& mails) {
  std::string mbox;
  for (const std::string& mail : mails) {
    mbox += "From formmail@example.org Mon Dec  7 17:20:05 2026\n";
    std::istringstream lines(mail);
    std::string line;
    while (std::getline(lines, line)) {
      const std::size_t quotes = line.find_first_not_of('>');
      if (quotes != std::string::npos && line.compare(quotes, 5, "From ") == 0) line.insert(0, ">");
      mbox += line + "\n";
    }
    mbox += "\n";
  }
  return mbox;
}

std::string urlEncode(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
      out += c;
    } else {
      out += '%';
      out += hex[u >> 4];
      out += hex[u & 15];
    }
  }
  return out;
}

std::string formBody(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += urlEncode(name) + "=" + urlEncode(value);
  }
  return body;
}

// ---- SMTP sink -------------------------------------------------------------------------

SmtpSink::SmtpSink(Mode mode) : mode_(mode) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (listenFd_ < 0 ||
      ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 8) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("SMTP sink cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

SmtpSink::~SmtpSink() {
  stop_ = true;
  thread_.join();
  ::close(listenFd_);
}

std::vector<SmtpSink::Received> SmtpSink::received() {
  const std::lock_guard lock(mutex_);
  return received_;
}

void SmtpSink::serve() {
  while (!stop_) {
    pollfd waiting{listenFd_, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    talk(fd);
    ::close(fd);
  }
}

namespace {

// One line from the client, or nothing after 5 seconds of silence or a closed connection.
bool readLine(int fd, std::string& pending, std::string& line) {
  for (int rounds = 0; rounds < 100; ++rounds) {
    const std::size_t end = pending.find("\r\n");
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 2);
      return true;
    }
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(n));
  }
  return false;
}

void reply(int fd, const std::string& text) {
  const std::string line = text + "\r\n";
  (void)::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
}

bool startsWithCaseless(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return std::toupper(a) == std::toupper(b); });
}

}  // namespace

void SmtpSink::talk(int fd) {
  std::string pending;
  std::string line;
  Received mail;
  reply(fd, "220 sink.test ESMTP");
  while (readLine(fd, pending, line)) {
    if (startsWithCaseless(line, "EHLO") || startsWithCaseless(line, "HELO")) {
      reply(fd, "250 sink.test");
    } else if (startsWithCaseless(line, "MAIL FROM:")) {
      mail = Received{};
      mail.mailFrom = line.substr(10);
      reply(fd, "250 OK");
    } else if (startsWithCaseless(line, "RCPT TO:")) {
      if (mode_ == Mode::RefuseRecipient) {
        reply(fd, "550 no such user");
      } else if (mode_ == Mode::DeferRecipient) {
        reply(fd, "450 mailbox busy");
      } else {
        mail.recipients.push_back(line.substr(8));
        reply(fd, "250 OK");
      }
    } else if (startsWithCaseless(line, "DATA")) {
      reply(fd, "354 go on");
      while (readLine(fd, pending, line) && line != ".") {
        mail.data += (line.rfind("..", 0) == 0 ? line.substr(1) : line) + "\r\n";
      }
      if (mode_ == Mode::RefuseData) {
        reply(fd, "554 refused");
      } else if (mode_ == Mode::DeferData) {
        reply(fd, "451 try again later");
      } else {
        const std::lock_guard lock(mutex_);
        received_.push_back(mail);
        reply(fd, "250 queued");
      }
    } else if (startsWithCaseless(line, "QUIT")) {
      reply(fd, "221 bye");
      return;
    } else {
      reply(fd, "250 OK");  // RSET, NOOP
    }
  }
}

// ---- child processes -------------------------------------------------------------------

ServerProcess::ServerProcess(const std::string& program, const std::string& configPath,
                             unsigned softFileLimit) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ == 0) {
    // Should the test die before it stops the server, the server goes too instead of
    // lingering with the test's output pipes.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::dup2(out[1], 1);
    rlimit files{};
    if (softFileLimit > 0 && ::getrlimit(RLIMIT_NOFILE, &files) == 0) {
      files.rlim_cur = std::min<rlim_t>(softFileLimit, files.rlim_max);
      ::setrlimit(RLIMIT_NOFILE, &files);
    }
    ::execl(program.c_str(), program.c_str(), "--listen", "127.0.0.1:0", "--config",
            configPath.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(out[1]);
  // The server prints the address it listens on once it does.
  std::string line;
  for (int waited = 0; waited < 400 && line.find('\n') == std::string::npos; ++waited) {
    pollfd ready{out[0], POLLIN, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    char c = 0;
    if (::read(out[0], &c, 1) != 1) break;
    line += c;
  }
  ::close(out[0]);
  const std::string prefix = "vantrel-formmail: lauscht auf 127.0.0.1:";
  if (line.rfind(prefix, 0) == 0) port_ = std::stoi(line.substr(prefix.size()));
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && exitCode() < 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

int ServerProcess::exitCode() {
  if (stopped_ || pid_ <= 0) return code_;
  ::kill(pid_, SIGTERM);
  for (int waited = 0; waited < 200; ++waited) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      stopped_ = true;
      code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return code_;
    }
    ::usleep(50'000);
  }
  return -1;
}

long peakMemoryKib(int pid) {
  std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

HttpConnection::HttpConnection(int port, const std::string& from) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  sockaddr_in source{};
  source.sin_family = AF_INET;
  ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
      ::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

HttpConnection::~HttpConnection() {
  if (fd_ >= 0) ::close(fd_);
}

bool HttpConnection::send(const std::string& bytes, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd wait{fd_, POLLOUT, 0};
    ::poll(&wait, 1, static_cast<int>(left.count()));
  }
  return fd_ >= 0;
}

// Reads what is there, waiting up to the time for at least one byte; false on close or time.
bool HttpConnection::fill(int timeoutMs) {
  if (fd_ < 0) return false;
  pollfd wait{fd_, POLLIN, 0};
  if (::poll(&wait, 1, timeoutMs) <= 0) return false;
  char chunk[16384];
  const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
  if (n <= 0) return false;
  buffer_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

bool HttpConnection::closedWithin(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (fd_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd wait{fd_, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) return false;
    char chunk[16384];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN)) return true;
    if (n > 0) buffer_.append(chunk, static_cast<std::size_t>(n));
  }
  return true;
}

namespace {

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The body of a chunked answer when all of it is in `text` from `start`; npos otherwise.
std::size_t dechunk(const std::string& text, std::size_t start, std::string& body) {
  std::size_t at = start;
  for (;;) {
    const std::size_t lineEnd = text.find("\r\n", at);
    if (lineEnd == std::string::npos) return std::string::npos;
    const std::size_t size = std::stoul(text.substr(at, lineEnd - at), nullptr, 16);
    at = lineEnd + 2;
    if (size == 0) {
      const std::size_t end = text.find("\r\n", at);
      return end == std::string::npos ? std::string::npos : end + 2;
    }
    if (text.size() < at + size + 2) return std::string::npos;
    body += text.substr(at, size);
    at += size + 2;
  }
}

}  // namespace

HttpAnswer HttpConnection::receive(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const std::size_t headEnd = buffer_.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
      HttpAnswer answer;
      std::istringstream head(buffer_.substr(0, headEnd));
      std::string line;
      std::getline(head, line);
      if (line.size() >= 12) answer.status = std::atoi(line.c_str() + 9);
      while (std::getline(head, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        answer.headers[lowerCase(line.substr(0, colon))] = value;
      }
      const std::size_t bodyStart = headEnd + 4;
      std::size_t end = std::string::npos;
      if (lowerCase(answer.headers["transfer-encoding"]) == "chunked") {
        end = dechunk(buffer_, bodyStart, answer.body);
      } else {
        const std::size_t length = std::stoul("0" + answer.headers["content-length"]);
        if (buffer_.size() >= bodyStart + length) {
          answer.body = buffer_.substr(bodyStart, length);
          end = bodyStart + length;
        }
      }
      if (end != std::string::npos) {
        buffer_.erase(0, end);
        return answer;
      }
      answer.body.clear();
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !fill(static_cast<int>(left.count()))) return {};
  }
}

std::string httpRequest(const std::string& method, const std::string& path, const std::string& body,
                        const std::string& extraHeaders) {
  const std::string lower = lowerCase(extraHeaders);
  const bool framed = lower.find("content-length:") != std::string::npos ||
                      lower.find("transfer-encoding:") != std::string::npos;
  std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders;
  if (!framed && (method == "POST" || !body.empty()))
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return request + "\r\n" + body;
}

std::string formPost(const std::string& path, const std::string& body) {
  return httpRequest("POST", path, body, "Content-Type: application/x-www-form-urlencoded\r\n");
}

std::string chunked(const std::string& body, std::size_t piece) {
  std::string framed;
  char size[32];
  for (std::size_t at = 0; at < body.size(); at += piece) {
    const std::string part = body.substr(at, piece);
    std::snprintf(size, sizeof size, "%zx\r\n", part.size());
    framed += size + part + "\r\n";
  }
  return framed + "0\r\n\r\n";
}

ProcessResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         const std::string& input) {
  // A child that exits before reading all its input must not take the test down with it.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> envStrings;
  for (const auto& [name, value] : environment) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& entry : envStrings) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& entry : argStrings) argv.push_back(entry.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);

  ProcessResult result;
  std::size_t written = 0;
  bool inputOpen = true;
  if (input.empty()) {
    ::close(in[1]);
    inputOpen = false;
  }
  bool outOpen = true, errOpen = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
    std::vector<pollfd> fds;
    if (outOpen) fds.push_back({out[0], POLLIN, 0});
    if (errOpen) fds.push_back({err[0], POLLIN, 0});
    if (inputOpen) fds.push_back({in[1], POLLOUT, 0});
    if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
    for (const auto& fd : fds) {
      if (fd.revents == 0) continue;
      if (fd.fd == in[1]) {
        const ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<std::size_t>(n);
        if (n < 0 || written == input.size()) {
          ::close(in[1]);
          inputOpen = false;
        }
        continue;
      }
      char buffer[4096];
      const ssize_t n = ::read(fd.fd, buffer, sizeof buffer);
      std::string& target = fd.fd == out[0] ? result.out : result.err;
      if (n > 0) {
        target.append(buffer, static_cast<std::size_t>(n));
      } else {
        (fd.fd == out[0] ? outOpen : errOpen) = false;
      }
    }
  }
  if (inputOpen) ::close(in[1]);
  ::close(out[0]);
  ::close(err[0]);
  if (outOpen || errOpen) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace formmail_test
