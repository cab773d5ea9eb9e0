#pragma once
// The standalone receiver's HTTP side on GNU libmicrohttpd: one event loop (epoll) reads and
// writes every connection, so a slow client costs a socket, never a thread; the posts, once
// fully read, go to a few worker threads, since a delivery may wait for a disk or an SMTP
// server.

#include <cstddef>
#include <memory>
#include <string>

#include "formmail/FormMailHandler.h"

namespace vantrel::formmail {

struct ServerLimits {
  unsigned connections = 1024;       // open at once, over all clients
  unsigned connectionsPerIp = 32;    // open at once from one address
  unsigned idleTimeoutSeconds = 10;  // a connection that sends nothing for this long is closed
  std::size_t connectionMemory = std::size_t{32} * 1024;  // request line, headers, read buffer
  unsigned workers = 16;                                  // posts delivered at the same time
};

class HttpServer {
 public:
  HttpServer(const FormMailHandler& handler, std::size_t maxBody, ServerLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Serves on a socket already bound and listening; the server takes it over. False when the
  // library refuses to start (the reason went to standard error).
  [[nodiscard]] bool start(int listeningSocket, bool ipv6);
  // Stops taking connections, finishes the posts being delivered, then closes everything.
  void stop();

  [[nodiscard]] unsigned long long successAnswers() const;

  struct State;  // known to the library's callbacks only

 private:
  std::unique_ptr<State> state_;
};

}  // namespace vantrel::formmail
