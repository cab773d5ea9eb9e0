#include "formmail/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "formmail/RequestScreen.h"
#include "project/FormMailAddress.h"

namespace vantrel::formmail {
namespace {

using Clock = std::chrono::steady_clock;

// A connection handed to the library, from its screening to the library's "closed"; the
// library gives it back as the connection's socket context.
struct Handed {
  int fd = -1;
  std::string client;
  std::size_t soundRequests = 0;  // screened; the last of them is answered with a close
  std::size_t started = 0;        // requests begun, counted on the library's thread
  // Since when the request now arriving has been awaited, and whether it is whole: the gate
  // closes one that takes too long, and picks the oldest unfinished one to make room.
  std::atomic<Clock::rep> since{0};
  std::atomic<bool> complete{false};
  bool shut = false;  // the gate has cut it off; under the gate's mutex
};

// What one request has gathered so far; lives from the first call of the access handler to
// the library's "request completed".
struct Exchange {
  PostRequest post;
  std::size_t bodyBytes = 0;  // read so far, kept or not
  std::size_t charged = 0;    // of the memory budget for bodies
  bool refused = false;       // the answer is known; the body is read only to keep the
                              // connection usable for the next request
  bool delivering = false;
  Answer answer;
};

// The page of a post that did not arrive whole: to the browser's user that is what it is.
Answer ambiguousFramingAnswer(const std::string& client) {
  Answer answer = incompletePostAnswer();
  answer.logNote = "ambiguous Content-Length / Transfer-Encoding refused for " + client;
  return answer;
}

bool sameName(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

// The framing the library is given must be unambiguous: one Content-Length, or a
// Transfer-Encoding that is exactly "chunked" and no length beside it. A request that two
// parsers (a proxy in front and this server) could read differently is refused.
struct Framing {
  int contentLengths = 0;
  int transferEncodings = 0;
  bool plainChunked = true;
  bool lengthsDiffer = false;
  std::string firstLength;
};

MHD_Result countFraming(void* closure, MHD_ValueKind, const char* name, const char* value) {
  auto& framing = *static_cast<Framing*>(closure);
  const std::string text = value == nullptr ? "" : value;
  if (sameName(name, "Content-Length")) {
    if (framing.contentLengths++ == 0) framing.firstLength = text;
    framing.lengthsDiffer = framing.lengthsDiffer || text != framing.firstLength;
  } else if (sameName(name, "Transfer-Encoding")) {
    ++framing.transferEncodings;
    framing.plainChunked = framing.plainChunked && sameName(text.c_str(), "chunked");
  }
  return MHD_YES;
}

// Header lines that two parsers are known to read apart: a name with a blank in it (a blank
// before the colon, which one parser drops and another keeps) and a second Host.
struct HeaderShape {
  int hosts = 0;
  bool malformed = false;
};

MHD_Result checkHeaderShape(void* closure, MHD_ValueKind, const char* name, std::size_t nameSize,
                            const char* /*value*/, std::size_t /*valueSize*/) {
  auto& shape = *static_cast<HeaderShape*>(closure);
  const std::string_view key(name, nameSize);
  if (key.find_first_of(" \t") != std::string_view::npos) shape.malformed = true;
  if (sameName(name, "Host") && ++shape.hosts > 1) shape.malformed = true;
  return MHD_YES;
}

bool malformedHeaders(MHD_Connection* connection) {
  HeaderShape shape;
  MHD_get_connection_values_n(connection, MHD_HEADER_KIND, checkHeaderShape, &shape);
  return shape.malformed;
}

bool ambiguousFraming(MHD_Connection* connection) {
  if (malformedHeaders(connection)) return true;
  Framing framing;
  MHD_get_connection_values(connection, MHD_HEADER_KIND, countFraming, &framing);
  if (framing.transferEncodings > 0)
    return framing.transferEncodings > 1 || !framing.plainChunked || framing.contentLengths > 0;
  return framing.contentLengths > 1;
}

// A Content-Length over the limit is refused before a byte of the body is read.
bool announcedTooLarge(MHD_Connection* connection, std::size_t maxBody) {
  const char* length =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if (length == nullptr) return false;
  const std::string digits = length;
  return digits.size() > 18 || std::stoull("0" + digits) > maxBody;
}

std::string addressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
  }
  return text;
}

std::string clientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return {};
  return addressText(info->client_addr);
}

Handed* handedOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info == nullptr ? nullptr : static_cast<Handed*>(info->socket_context);
}

// Only requests whose header lines were screened are served: the answer to the last of them
// closes the connection, and the client sends any further request on a new one.
MHD_Result queueAnswer(MHD_Connection* connection, const Answer& answer) {
  MHD_Response* response = MHD_create_response_from_buffer(
      answer.body.size(), const_cast<char*>(answer.body.data()), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  for (const auto& [name, value] : answer.headers)
    MHD_add_response_header(response, name.c_str(), value.c_str());
  const Handed* handed = handedOf(connection);
  if (handed == nullptr || handed->started >= handed->soundRequests)
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str());
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  const MHD_Result queued =
      MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
  MHD_destroy_response(response);
  return queued;
}

// This version of the library queues an answer only before the body or after all of it. A
// body that outgrows the limit midway (chunked ones announce no length) is answered here,
// straight on the socket, and the connection is then closed by refusing the rest: the body
// is never read to its end, however long the client keeps sending.
void sendClosingAnswer(int fd, const Answer& answer) {
  std::string bytes = "HTTP/1.1 " + std::to_string(answer.status) + " " +
                      reasonPhrase(answer.status) + "\r\nContent-Type: " + answer.contentType +
                      "\r\nCache-Control: no-store\r\nConnection: close\r\n";
  for (const auto& [name, value] : answer.headers) bytes += name + ": " + value + "\r\n";
  bytes += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n" + answer.body;
  // A client that does not read gets no answer; the close follows all the same.
  (void)send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void answerAndClose(MHD_Connection* connection, const Answer& answer) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  if (info != nullptr) sendClosingAnswer(info->connect_fd, answer);
}

void logNote(const Answer& answer) {
  // One write per line, so that lines of parallel requests do not interleave.
  if (!answer.logNote.empty())
    std::cerr << ("vantrel-formmail: " + answer.logNote + "\n") << std::flush;
}

// The memory for the bodies of all connections together: a post is given its share (its
// announced length, or max_body) before a byte of its body is read, and a post that finds
// none left is refused.
class BodyBudget {
 public:
  explicit BodyBudget(std::size_t bytes) : left_(bytes) {}
  [[nodiscard]] bool take(std::size_t bytes) {
    std::size_t left = left_.load();
    do {
      if (left < bytes) return false;
    } while (!left_.compare_exchange_weak(left, left - bytes));
    return true;
  }
  void giveBack(std::size_t bytes) { left_ += bytes; }

 private:
  std::atomic<std::size_t> left_;
};

// A connection accepted by the gate whose header lines have not all arrived.
struct Waiting {
  sockaddr_storage address{};
  socklen_t length = sizeof(sockaddr_storage);
  std::string client;
  Clock::time_point since;
};

Clock::time_point timeOf(Clock::rep ticks) { return Clock::time_point(Clock::duration(ticks)); }

// Descriptors kept for the workers (a Maildir file, an SMTP connection each) and the server's
// own; the connections get the rest of the process's limit.
unsigned connectionsTheDescriptorsAllow(unsigned wanted, unsigned workers) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
  const rlim_t kept = 4 * rlim_t{workers} + 32;
  if (limit.rlim_cur <= kept + 1) return 1;
  return static_cast<unsigned>(std::min<rlim_t>(wanted, limit.rlim_cur - kept));
}

}  // namespace

struct HttpServer::State {
  const FormMailHandler& handler;
  std::size_t maxBody;
  ServerLimits limits;
  BodyBudget bodies;
  MHD_Daemon* daemon = nullptr;
  std::atomic<unsigned long long> successes{0};

  // Posts fully read and waiting for a worker; the connection is suspended meanwhile.
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::pair<MHD_Connection*, Exchange*>> queue;
  bool stopping = false;
  std::vector<std::thread> workers;

  // The gate: one thread that accepts the connections, screens their header lines and hands
  // the sound ones to the library. It alone touches `waiting`.
  int listening = -1;
  int events = -1;  // epoll
  int wakeUp = -1;  // eventfd that ends the gate's wait when the server stops
  std::thread gate;
  std::atomic<bool> closingGate{false};
  unsigned connectionLimit = 0;
  std::map<int, Waiting> waiting;
  std::vector<char> peeked = std::vector<char>(std::size_t{64} * 1024);
  // Shared with the library's thread.
  std::mutex gateMutex;
  std::map<int, Handed*> handing;  // handed to the library, not yet started by it
  std::set<Handed*> served;        // started by the library
  std::map<std::string, unsigned> perClient;
  std::size_t handedOpen = 0;  // handed and not cut off

  State(const FormMailHandler& postHandler, std::size_t bodyLimit, ServerLimits serverLimits)
      : handler(postHandler),
        maxBody(bodyLimit),
        limits(serverLimits),
        bodies(std::max(serverLimits.bodyMemory, bodyLimit)) {}

  MHD_Result onRequest(MHD_Connection* connection, const char* url, const char* method,
                       const char* data, std::size_t* size, void** closure);
  MHD_Result firstLook(MHD_Connection* connection, const char* url, const char* method,
                       Exchange& exchange);
  MHD_Result refuseNow(MHD_Connection* connection, Exchange& exchange, const Answer& answer);
  MHD_Result refuseAfterBody(Exchange& exchange, const Answer& answer);
  MHD_Result takeBody(MHD_Connection* connection, Exchange& exchange, const char* data,
                      std::size_t* size);
  // True when a worker will answer; false when the post was delivered right away.
  [[nodiscard]] bool deliverLater(MHD_Connection* connection, Exchange& exchange);
  void deliver(Exchange& exchange);
  void work();
  void finishRequest(MHD_Connection* connection, Exchange* exchange);
  void onConnection(MHD_Connection* connection, void** context,
                    MHD_ConnectionNotificationCode code);

  void runGate();
  void acceptClients();
  [[nodiscard]] bool admit(const std::string& client);
  [[nodiscard]] bool closeLongestWaiting();
  void screen(int fd);
  void handOver(int fd, std::size_t soundRequests);
  void refuseWaiting(int fd, const Answer& answer);
  void dropWaiting(int fd);
  void closeOverdue(Clock::time_point now);
  void cutOff(Handed& connection);         // under gateMutex
  void forget(const std::string& client);  // under gateMutex
};

MHD_Result HttpServer::State::refuseNow(MHD_Connection* connection, Exchange& exchange,
                                        const Answer& answer) {
  exchange.refused = true;
  exchange.delivering = true;  // nothing left to deliver
  exchange.answer = answer;
  logNote(answer);
  // The library closes the connection behind this answer: the request is as good as whole.
  if (Handed* handed = handedOf(connection)) handed->complete = true;
  return queueAnswer(connection, answer);
}

// The answer waits until the body is read, so that a pipelined request behind it is served.
MHD_Result HttpServer::State::refuseAfterBody(Exchange& exchange, const Answer& answer) {
  exchange.refused = true;
  exchange.delivering = true;
  exchange.answer = answer;
  logNote(answer);
  return MHD_YES;
}

namespace {

// The kept body grows as it arrives, by doubling but never beyond the post's share of the
// budget, so that a client that announces much and sends little costs little memory.
void keepGrowing(std::string& body, std::size_t more, std::size_t share) {
  const std::size_t needed = body.size() + more;
  if (needed > body.capacity())
    body.reserve(std::min(std::max(needed, 2 * body.capacity()), std::max(needed, share)));
}

}  // namespace

// Called once the headers are in, before any of the body: everything that can be refused
// without the body is refused here.
MHD_Result HttpServer::State::firstLook(MHD_Connection* connection, const char* url,
                                        const char* method, Exchange& exchange) {
  if (ambiguousFraming(connection))
    return refuseNow(connection, exchange, ambiguousFramingAnswer(clientAddress(connection)));
  const char* length =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if (announcedTooLarge(connection, maxBody)) {
    return refuseNow(connection, exchange,
                     tooLargeAnswer("max_body (Content-Length " + std::string(length) + ")"));
  }
  if (std::string_view(url) != kFormMailPath) return refuseAfterBody(exchange, notFoundAnswer());
  if (std::string_view(method) != MHD_HTTP_METHOD_POST)
    return refuseAfterBody(exchange, methodNotAllowedAnswer());
  // A chunked body announces no length and may take up to max_body.
  const std::size_t share = length == nullptr ? maxBody : std::stoull("0" + std::string(length));
  if (!bodies.take(share))
    return refuseNow(connection, exchange, busyAnswer("body_memory (all bodies together)"));
  exchange.charged = share;
  exchange.post.method = method;
  const char* type =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE);
  exchange.post.contentType = type == nullptr ? "" : type;
  exchange.post.clientAddress = clientAddress(connection);
  const char* survey = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "umfrage");
  exchange.post.survey = survey == nullptr ? "" : survey;
  return MHD_YES;
}

// The limit holds whatever the framing: chunked bodies announce no length.
MHD_Result HttpServer::State::takeBody(MHD_Connection* connection, Exchange& exchange,
                                       const char* data, std::size_t* size) {
  exchange.bodyBytes += *size;
  if (exchange.bodyBytes > maxBody) {
    const Answer answer = tooLargeAnswer(bodyOverLimit(exchange.bodyBytes, maxBody));
    logNote(answer);
    answerAndClose(connection, answer);
    return MHD_NO;
  }
  if (!exchange.refused) {
    keepGrowing(exchange.post.body, *size, exchange.charged);
    exchange.post.body.append(data, *size);
  }
  *size = 0;
  return MHD_YES;
}

MHD_Result HttpServer::State::onRequest(MHD_Connection* connection, const char* url,
                                        const char* method, const char* data, std::size_t* size,
                                        void** closure) {
  Handed* handed = handedOf(connection);
  if (*closure == nullptr) {
    auto* exchange = new Exchange;
    *closure = exchange;
    if (handed != nullptr) ++handed->started;
    return firstLook(connection, url, method, *exchange);
  }
  auto& exchange = *static_cast<Exchange*>(*closure);
  if (*size > 0) return takeBody(connection, exchange, data, size);
  if (handed != nullptr) handed->complete = true;
  if (!exchange.delivering && deliverLater(connection, exchange)) return MHD_YES;
  return queueAnswer(connection, exchange.answer);
}

bool HttpServer::State::deliverLater(MHD_Connection* connection, Exchange& exchange) {
  exchange.delivering = true;
  {
    const std::lock_guard lock(mutex);
    // Once the workers are told to stop, a post that still comes in on an open connection is
    // delivered here: no connection may stay suspended when the library shuts down.
    if (!stopping) {
      MHD_suspend_connection(connection);
      queue.emplace_back(connection, &exchange);
      wake.notify_one();
      return true;
    }
  }
  deliver(exchange);
  return false;
}

void HttpServer::State::deliver(Exchange& exchange) {
  exchange.answer = handler.handle(exchange.post);
  if (exchange.answer.status == 200 || exchange.answer.status == 303) ++successes;
  logNote(exchange.answer);
}

void HttpServer::State::work() {
  for (;;) {
    std::unique_lock lock(mutex);
    wake.wait(lock, [this] { return stopping || !queue.empty(); });
    if (queue.empty()) return;  // stopping, and nothing left to deliver
    const auto [connection, exchange] = queue.front();
    queue.pop_front();
    lock.unlock();
    deliver(*exchange);
    MHD_resume_connection(connection);
  }
}

// The body's memory goes back to the budget; a pipelined request behind is awaited from now.
void HttpServer::State::finishRequest(MHD_Connection* connection, Exchange* exchange) {
  if (exchange == nullptr) return;
  bodies.giveBack(exchange->charged);
  delete exchange;
  Handed* handed = handedOf(connection);
  if (handed != nullptr && handed->started < handed->soundRequests) {
    handed->since = Clock::now().time_since_epoch().count();
    handed->complete = false;
  }
}

void HttpServer::State::onConnection(MHD_Connection* connection, void** context,
                                     MHD_ConnectionNotificationCode code) {
  const std::lock_guard lock(gateMutex);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const auto found = info == nullptr ? handing.end() : handing.find(info->connect_fd);
    if (found == handing.end()) return;
    *context = found->second;
    served.insert(found->second);
    handing.erase(found);
    return;
  }
  auto* closed = static_cast<Handed*>(*context);
  if (closed == nullptr) return;
  served.erase(closed);
  if (!closed->shut) --handedOpen;
  forget(closed->client);
  delete closed;
  *context = nullptr;
}

// ---- the gate ------------------------------------------------------------------------------

void HttpServer::State::runGate() {
  std::array<epoll_event, 64> ready{};
  while (!closingGate) {
    const int count = epoll_wait(events, ready.data(), static_cast<int>(ready.size()), 250);
    for (int i = 0; i < count; ++i) {
      const int fd = ready[static_cast<std::size_t>(i)].data.fd;
      if (fd == listening) {
        acceptClients();
      } else if (fd != wakeUp) {
        screen(fd);
      }
    }
    closeOverdue(Clock::now());
  }
  while (!waiting.empty()) dropWaiting(waiting.begin()->first);
}

void HttpServer::State::acceptClients() {
  // A bounded round, so that a flood of connections does not starve the screening.
  for (int round = 0; round < 256; ++round) {
    Waiting client;
    const int fd = accept4(listening, reinterpret_cast<sockaddr*>(&client.address), &client.length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      const bool outOfDescriptors = errno == EMFILE || errno == ENFILE;
      if (outOfDescriptors && closeLongestWaiting()) continue;
      // Nothing to close: the listening socket stays ready, so wait a little before trying.
      if (outOfDescriptors) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return;
    }
    client.client = addressText(reinterpret_cast<const sockaddr*>(&client.address));
    client.since = Clock::now();
    epoll_event interest{};
    interest.events = EPOLLIN | EPOLLET | EPOLLRDHUP;
    interest.data.fd = fd;
    if (!admit(client.client)) {
      close(fd);
    } else if (epoll_ctl(events, EPOLL_CTL_ADD, fd, &interest) != 0) {
      const std::lock_guard lock(gateMutex);
      forget(client.client);
      close(fd);
    } else {
      waiting.emplace(fd, std::move(client));
    }
  }
}

// Counts the client in, within the limit per address and, by making room, the limit over all.
bool HttpServer::State::admit(const std::string& client) {
  std::size_t open = 0;
  {
    const std::lock_guard lock(gateMutex);
    const auto found = perClient.find(client);
    if (found != perClient.end() && found->second >= limits.connectionsPerIp) return false;
    open = waiting.size() + handedOpen;
  }
  if (open >= connectionLimit && !closeLongestWaiting()) return false;
  const std::lock_guard lock(gateMutex);
  ++perClient[client];
  return true;
}

void HttpServer::State::forget(const std::string& client) {
  const auto found = perClient.find(client);
  if (found != perClient.end() && --found->second == 0) perClient.erase(found);
}

// The connection that has waited longest without sending a whole request, whether its header
// lines are still arriving or its body is, makes room for a newcomer.
bool HttpServer::State::closeLongestWaiting() {
  const auto oldestWaiting = std::min_element(
      waiting.begin(), waiting.end(),
      [](const auto& a, const auto& b) { return a.second.since < b.second.since; });
  {
    const std::lock_guard lock(gateMutex);
    Handed* oldestHanded = nullptr;
    for (Handed* candidate : served) {
      if (candidate->shut || candidate->complete) continue;
      if (oldestHanded == nullptr || candidate->since < oldestHanded->since)
        oldestHanded = candidate;
    }
    if (oldestHanded != nullptr && (oldestWaiting == waiting.end() ||
                                    timeOf(oldestHanded->since) < oldestWaiting->second.since)) {
      cutOff(*oldestHanded);
      return true;
    }
  }
  if (oldestWaiting == waiting.end()) return false;
  dropWaiting(oldestWaiting->first);
  return true;
}

// The library sees the end of the connection and closes it itself.
void HttpServer::State::cutOff(Handed& connection) {
  (void)shutdown(connection.fd, SHUT_RDWR);  // a connection already gone needs nothing more
  connection.shut = true;
  --handedOpen;
}

void HttpServer::State::dropWaiting(int fd) {
  const auto found = waiting.find(fd);
  if (found == waiting.end()) return;
  {
    const std::lock_guard lock(gateMutex);
    forget(found->second.client);
  }
  waiting.erase(found);
  close(fd);  // also leaves the epoll set
}

void HttpServer::State::closeOverdue(Clock::time_point now) {
  const auto headerTime = std::chrono::seconds(limits.headerTimeoutSeconds);
  std::vector<int> overdue;
  for (const auto& [fd, client] : waiting)
    if (now - client.since > headerTime) overdue.push_back(fd);
  for (const int fd : overdue) dropWaiting(fd);

  const auto requestTime = std::chrono::seconds(limits.requestTimeoutSeconds);
  const std::lock_guard lock(gateMutex);
  for (Handed* connection : served)
    if (!connection->shut && !connection->complete && now - timeOf(connection->since) > requestTime)
      cutOff(*connection);
}

// Looks at what has arrived without taking it from the socket: the library reads it all again.
void HttpServer::State::screen(int fd) {
  const auto found = waiting.find(fd);
  if (found == waiting.end()) return;
  const ssize_t got = recv(fd, peeked.data(), peeked.size(), MSG_PEEK);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (got <= 0) {
    dropWaiting(fd);
    return;
  }
  const std::size_t maxHeaderBlock = limits.connectionMemory / 2;
  const Screening screening = screenRequests(
      std::string_view(peeked.data(), static_cast<std::size_t>(got)), maxHeaderBlock);
  switch (screening.verdict) {
    case ScreenVerdict::Incomplete:
      return;
    case ScreenVerdict::Sound:
      handOver(fd, screening.soundRequests);
      return;
    case ScreenVerdict::Refused: {
      Answer answer = incompletePostAnswer();
      answer.logNote =
          "header line of a refused shape (folded, NUL, CR or LF alone, blank in a "
          "name) from " +
          found->second.client;
      refuseWaiting(fd, answer);
      return;
    }
    case ScreenVerdict::TooLarge:
      refuseWaiting(fd, tooLargeAnswer("the header lines (over " + std::to_string(maxHeaderBlock) +
                                       " bytes) from " + found->second.client));
      return;
  }
}

// What the client sent so far is read out first, so that the close after the answer does not
// reset the connection before the client has read it.
void HttpServer::State::refuseWaiting(int fd, const Answer& answer) {
  logNote(answer);
  for (std::size_t taken = 0; taken < 4 * peeked.size();) {
    const ssize_t got = recv(fd, peeked.data(), peeked.size(), MSG_DONTWAIT);
    if (got <= 0) break;
    taken += static_cast<std::size_t>(got);
  }
  sendClosingAnswer(fd, answer);
  (void)shutdown(fd, SHUT_WR);  // the close below ends it either way
  dropWaiting(fd);
}

void HttpServer::State::handOver(int fd, std::size_t soundRequests) {
  auto node = waiting.extract(fd);
  (void)epoll_ctl(events, EPOLL_CTL_DEL, fd, nullptr);  // the library watches it from now on
  const Waiting& client = node.mapped();
  auto connection = std::make_unique<Handed>();
  connection->fd = fd;
  connection->client = client.client;
  connection->soundRequests = soundRequests;
  connection->since = client.since.time_since_epoch().count();
  Handed* given = connection.get();
  {
    const std::lock_guard lock(gateMutex);
    handing.emplace(fd, connection.release());  // freed when the library closes it
    ++handedOpen;
  }
  if (MHD_add_connection(daemon, fd, reinterpret_cast<const sockaddr*>(&client.address),
                         client.length) == MHD_YES)
    return;
  // The library has closed the socket; unless it started the connection (and so will report
  // it closed), it is forgotten here.
  const std::lock_guard lock(gateMutex);
  const auto found = handing.find(fd);
  if (found == handing.end() || found->second != given) return;
  handing.erase(found);
  --handedOpen;
  forget(given->client);
  delete given;
}

namespace {

MHD_Result accessHandler(void* server, MHD_Connection* connection, const char* url,
                         const char* method, const char*, const char* data, std::size_t* size,
                         void** closure) {
  return static_cast<HttpServer::State*>(server)->onRequest(connection, url, method, data, size,
                                                            closure);
}

void requestCompleted(void* server, MHD_Connection* connection, void** closure,
                      MHD_RequestTerminationCode) {
  static_cast<HttpServer::State*>(server)->finishRequest(connection,
                                                         static_cast<Exchange*>(*closure));
  *closure = nullptr;
}

void connectionNotice(void* server, MHD_Connection* connection, void** context,
                      MHD_ConnectionNotificationCode code) {
  static_cast<HttpServer::State*>(server)->onConnection(connection, context, code);
}

bool watch(int events, int fd) {
  epoll_event interest{};
  interest.events = EPOLLIN;
  interest.data.fd = fd;
  return epoll_ctl(events, EPOLL_CTL_ADD, fd, &interest) == 0;
}

}  // namespace

ServerLimits serverLimits(const Config& config) {
  ServerLimits limits;
  limits.headerTimeoutSeconds = config.headerTimeoutSeconds;
  limits.requestTimeoutSeconds = config.requestTimeoutSeconds;
  limits.bodyMemory = config.bodyMemory;
  return limits;
}

HttpServer::HttpServer(const FormMailHandler& handler, std::size_t maxBody, ServerLimits limits)
    : state_(std::make_unique<State>(handler, maxBody, limits)) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::start(int listeningSocket, bool ipv6) {
  State& state = *state_;
  const ServerLimits& limits = state.limits;
  state.listening = listeningSocket;
  state.connectionLimit = connectionsTheDescriptorsAllow(limits.connections, limits.workers);
  for (unsigned i = 0; i < limits.workers; ++i)
    state.workers.emplace_back([&state] { state.work(); });
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG |
                   MHD_USE_NO_LISTEN_SOCKET | MHD_USE_ITC;
  if (ipv6) flags |= MHD_USE_IPv6;
  // The gate keeps the limits on connections; the library's own limit only leaves room for
  // the ones cut off and not yet closed.
  const unsigned libraryLimit = 2 * state.connectionLimit + 16;
  state.daemon =
      MHD_start_daemon(flags, 0, nullptr, nullptr, accessHandler, &state,            //
                       MHD_OPTION_CONNECTION_LIMIT, libraryLimit,                    //
                       MHD_OPTION_CONNECTION_TIMEOUT, limits.idleTimeoutSeconds,     //
                       MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits.connectionMemory,  //
                       MHD_OPTION_STRICT_FOR_CLIENT, 1,                              //
                       MHD_OPTION_NOTIFY_COMPLETED, requestCompleted, &state,        //
                       MHD_OPTION_NOTIFY_CONNECTION, connectionNotice, &state, MHD_OPTION_END);
  state.events = epoll_create1(EPOLL_CLOEXEC);
  state.wakeUp = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const bool watching =
      state.daemon != nullptr && state.events >= 0 && state.wakeUp >= 0 &&
      fcntl(listeningSocket, F_SETFL, fcntl(listeningSocket, F_GETFL) | O_NONBLOCK) == 0 &&
      watch(state.events, listeningSocket) && watch(state.events, state.wakeUp);
  if (!watching) {
    if (state.daemon != nullptr) std::cerr << "vantrel-formmail: cannot watch the connections\n";
    stop();
    return false;
  }
  state.gate = std::thread([&state] { state.runGate(); });
  return true;
}

void HttpServer::stop() {
  State& state = *state_;
  if (state.gate.joinable()) {
    state.closingGate = true;
    const std::uint64_t one = 1;
    (void)write(state.wakeUp, &one, sizeof one);  // the gate also looks every 250 ms
    state.gate.join();
  }
  for (int* fd : {&state.listening, &state.events, &state.wakeUp}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  {
    const std::lock_guard lock(state.mutex);
    state.stopping = true;
  }
  state.wake.notify_all();
  for (std::thread& worker : state.workers) worker.join();
  state.workers.clear();
  if (state.daemon != nullptr) MHD_stop_daemon(state.daemon);
  state.daemon = nullptr;
  // Connections the library never started, or never reported closed, are forgotten with it.
  const std::lock_guard lock(state.gateMutex);
  for (const auto& [fd, connection] : state.handing) delete connection;
  for (Handed* connection : state.served) delete connection;
  state.handing.clear();
  state.served.clear();
}

unsigned long long HttpServer::successAnswers() const { return state_->successes; }

}  // namespace vantrel::formmail
