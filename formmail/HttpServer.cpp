#include "formmail/HttpServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "project/FormMailAddress.h"

namespace vantrel::formmail {
namespace {

// What one request has gathered so far; lives from the first call of the access handler to
// the library's "request completed".
struct Exchange {
  PostRequest post;
  std::size_t bodyBytes = 0;  // read so far, kept or not
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

std::string clientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return {};
  char text[INET6_ADDRSTRLEN] = {};
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
  }
  return text;
}

MHD_Result queueAnswer(MHD_Connection* connection, const Answer& answer) {
  MHD_Response* response = MHD_create_response_from_buffer(
      answer.body.size(), const_cast<char*>(answer.body.data()), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  for (const auto& [name, value] : answer.headers)
    MHD_add_response_header(response, name.c_str(), value.c_str());
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
void answerAndClose(MHD_Connection* connection, const Answer& answer) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  if (info == nullptr) return;
  std::string bytes = "HTTP/1.1 " + std::to_string(answer.status) + " " +
                      reasonPhrase(answer.status) + "\r\nContent-Type: " + answer.contentType +
                      "\r\nCache-Control: no-store\r\nConnection: close\r\nContent-Length: " +
                      std::to_string(answer.body.size()) + "\r\n\r\n" + answer.body;
  // A client that does not read gets no answer; the close follows all the same.
  (void)send(info->connect_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void logNote(const Answer& answer) {
  // One write per line, so that lines of parallel requests do not interleave.
  if (!answer.logNote.empty())
    std::cerr << ("vantrel-formmail: " + answer.logNote + "\n") << std::flush;
}

}  // namespace

struct HttpServer::State {
  const FormMailHandler& handler;
  std::size_t maxBody;
  ServerLimits limits;
  MHD_Daemon* daemon = nullptr;
  std::atomic<unsigned long long> successes{0};

  // Posts fully read and waiting for a worker; the connection is suspended meanwhile.
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::pair<MHD_Connection*, Exchange*>> queue;
  bool stopping = false;
  std::vector<std::thread> workers;

  State(const FormMailHandler& postHandler, std::size_t bodyLimit, ServerLimits serverLimits)
      : handler(postHandler), maxBody(bodyLimit), limits(serverLimits) {}

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
};

MHD_Result HttpServer::State::refuseNow(MHD_Connection* connection, Exchange& exchange,
                                        const Answer& answer) {
  exchange.refused = true;
  exchange.delivering = true;  // nothing left to deliver
  exchange.answer = answer;
  logNote(answer);
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

// Called once the headers are in, before any of the body: everything that can be refused
// without the body is refused here.
MHD_Result HttpServer::State::firstLook(MHD_Connection* connection, const char* url,
                                        const char* method, Exchange& exchange) {
  if (ambiguousFraming(connection))
    return refuseNow(connection, exchange, ambiguousFramingAnswer(clientAddress(connection)));
  if (announcedTooLarge(connection, maxBody)) {
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    return refuseNow(connection, exchange,
                     tooLargeAnswer("max_body (Content-Length " + std::string(length) + ")"));
  }
  if (std::string_view(url) != kFormMailPath) return refuseAfterBody(exchange, notFoundAnswer());
  if (std::string_view(method) != MHD_HTTP_METHOD_POST)
    return refuseAfterBody(exchange, methodNotAllowedAnswer());
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
  if (!exchange.refused) exchange.post.body.append(data, *size);
  *size = 0;
  return MHD_YES;
}

MHD_Result HttpServer::State::onRequest(MHD_Connection* connection, const char* url,
                                        const char* method, const char* data, std::size_t* size,
                                        void** closure) {
  if (*closure == nullptr) {
    auto* exchange = new Exchange;
    *closure = exchange;
    return firstLook(connection, url, method, *exchange);
  }
  auto& exchange = *static_cast<Exchange*>(*closure);
  if (*size > 0) return takeBody(connection, exchange, data, size);
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

namespace {

MHD_Result accessHandler(void* server, MHD_Connection* connection, const char* url,
                         const char* method, const char*, const char* data, std::size_t* size,
                         void** closure) {
  return static_cast<HttpServer::State*>(server)->onRequest(connection, url, method, data, size,
                                                            closure);
}

void requestCompleted(void*, MHD_Connection*, void** closure, MHD_RequestTerminationCode) {
  delete static_cast<Exchange*>(*closure);
  *closure = nullptr;
}

}  // namespace

HttpServer::HttpServer(const FormMailHandler& handler, std::size_t maxBody, ServerLimits limits)
    : state_(std::make_unique<State>(handler, maxBody, limits)) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::start(int listeningSocket, bool ipv6) {
  for (unsigned i = 0; i < state_->limits.workers; ++i)
    state_->workers.emplace_back([this] { state_->work(); });
  const ServerLimits& limits = state_->limits;
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
  if (ipv6) flags |= MHD_USE_IPv6;
  state_->daemon =
      MHD_start_daemon(flags, 0, nullptr, nullptr, accessHandler, state_.get(),  //
                       MHD_OPTION_LISTEN_SOCKET, listeningSocket,                //
                       MHD_OPTION_CONNECTION_LIMIT, limits.connections,          //
                       MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.connectionsPerIp,
                       MHD_OPTION_CONNECTION_TIMEOUT, limits.idleTimeoutSeconds,  //
                       MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits.connectionMemory,
                       MHD_OPTION_STRICT_FOR_CLIENT, 1,  //
                       MHD_OPTION_NOTIFY_COMPLETED, requestCompleted, nullptr, MHD_OPTION_END);
  if (state_->daemon != nullptr) return true;
  stop();
  return false;
}

void HttpServer::stop() {
  if (state_->daemon != nullptr) {
    const MHD_socket listening = MHD_quiesce_daemon(state_->daemon);
    if (listening != MHD_INVALID_SOCKET) close(listening);
  }
  {
    const std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  for (std::thread& worker : state_->workers) worker.join();
  state_->workers.clear();
  if (state_->daemon != nullptr) MHD_stop_daemon(state_->daemon);
  state_->daemon = nullptr;
}

unsigned long long HttpServer::successAnswers() const { return state_->successes; }

}  // namespace vantrel::formmail
