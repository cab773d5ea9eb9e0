#pragma once
// The standalone receiver's HTTP side on GNU libmicrohttpd: one event loop (epoll) reads and
// writes every connection, so a slow client costs a socket, never a thread; the posts, once
// fully read, go to a few worker threads, since a delivery may wait for a disk or an SMTP
// server.

#include <cstddef>
#include <memory>
#include <string>

#include "formmail/Config.h"
#include "formmail/FormMailHandler.h"

namespace vantrel::formmail {

struct ServerLimits {
  // Open at once, over all clients; lowered to what the descriptor limit leaves. When it is
  // reached, the connection that has waited longest without sending a whole request is closed
  // for the newcomer.
  unsigned connections = 1024;
  unsigned connectionsPerIp = 32;    // open at once from one address
  unsigned idleTimeoutSeconds = 10;  // a connection that sends nothing for this long is closed
  unsigned headerTimeoutSeconds = kHeaderTimeout.byDefault;    // from connecting to the headers
  unsigned requestTimeoutSeconds = kRequestTimeout.byDefault;  // for the headers and the body
  std::size_t connectionMemory = std::size_t{32} * 1024;       // request line, headers, read buffer
  std::size_t bodyMemory = kBodyMemory.byDefault;  // the bodies of all connections together
  unsigned workers = 16;                           // posts delivered at the same time
};

// The limits a configuration sets, the others as they are by default.
[[nodiscard]] ServerLimits serverLimits(const Config& config);

class HttpServer {
 public:
  HttpServer(const FormMailHandler& handler, std::size_t maxBody, ServerLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Serves on a socket already bound and listening; the server takes it over. Every
  // connection is accepted here and its header lines screened (formmail/RequestScreen.h)
  // before the library gets it. False when the library refuses to start (the reason went to
  // standard error).
  [[nodiscard]] bool start(int listeningSocket, bool ipv6);
  // Stops taking connections, finishes the posts being delivered, then closes everything.
  void stop();

  [[nodiscard]] unsigned long long successAnswers() const;

  struct State;  // known to the library's callbacks only

 private:
  std::unique_ptr<State> state_;
};

}  // namespace vantrel::formmail
