// vantrel-formmail --listen ADDR:PORT --config FILE: the receiver as a small HTTP server, for
// one machine and for tests. Port 0 picks a free port; the chosen address is printed.

#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <charconv>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "base/BuildConfig.h"
#include "formmail/AnswerPages.h"
#include "formmail/FormMailHandler.h"
#include "formmail/SmtpSender.h"
#include "formmail/SpoolFlush.h"

using namespace vantrel::formmail;

namespace {

constexpr const char* kPostPath = "/cgi-bin/sendmailform.cgi";
constexpr std::size_t kWorkerThreads = 64;

struct Options {
  bool flushSpool = false;
  std::string host;
  int port = -1;
  std::string configPath;
};

void printUsage(std::ostream& out) {
  out << "usage: vantrel-formmail --listen ADDR:PORT --config FILE\n"
         "       vantrel-formmail --flush-spool --config FILE\n"
         "       vantrel-formmail --help | --version\n"
         "  ADDR:PORT      e.g. 127.0.0.1:8080 or [::1]:8080; port 0 picks a free one\n"
         "  --flush-spool  send the mails kept in the spool Maildir through smtp, then exit\n";
}

[[nodiscard]] bool parseListen(const std::string& text, Options& options) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  const std::string port = text.substr(colon + 1);
  int value = -1;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (error != std::errc{} || end != port.data() + port.size() || value < 0 || value > 65535)
    return false;
  options.host = host;
  options.port = value;
  return true;
}

[[nodiscard]] bool parseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--flush-spool") {
      options.flushSpool = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    if (argument == "--listen") {
      if (!parseListen(argv[++i], options)) return false;
    } else if (argument == "--config") {
      options.configPath = argv[++i];
    } else {
      return false;
    }
  }
  if (options.flushSpool) return options.port < 0 && !options.configPath.empty();
  return options.port >= 0 && !options.configPath.empty();
}

void writeAnswer(const Answer& answer, httplib::Response& response) {
  response.status = answer.status;
  for (const auto& [name, value] : answer.headers) response.set_header(name, value);
  response.set_header("Cache-Control", "no-store");
  response.set_content(answer.body, answer.contentType.c_str());
  // One write per line, so that lines of parallel requests do not interleave.
  if (!answer.logNote.empty())
    std::cerr << ("vantrel-formmail: " + answer.logNote + "\n") << std::flush;
}

// Success answers given, reported when the server stops, so that a load test can hold them
// against the mails stored.
std::atomic<unsigned long long> successAnswers{0};

void routeRequests(httplib::Server& server, const FormMailHandler& handler) {
  server.Post(kPostPath, [&handler](const httplib::Request& request, httplib::Response& response) {
    PostRequest post;
    post.method = "POST";
    post.contentType = request.get_header_value("Content-Type");
    post.body = request.body;
    post.clientAddress = request.remote_addr;
    const Answer answer = handler.handle(post);
    if (answer.status == 200 || answer.status == 303) ++successAnswers;
    writeAnswer(answer, response);
  });
  // Every other method on that path gets 405, also those the library has no route type for
  // (TRACE, CONNECT): they are turned away before routing.
  server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    if (request.path != kPostPath || request.method == "POST")
      return httplib::Server::HandlerResponse::Unhandled;
    writeAnswer(methodNotAllowedAnswer(), response);
    return httplib::Server::HandlerResponse::Handled;
  });
  // The library answers an oversized body itself, with an empty 413; give it the German page.
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    if (response.status == 413) writeAnswer(tooLargeAnswer("max_body (payload limit)"), response);
    if (response.status == 404) writeAnswer(notFoundAnswer(), response);
  });
}

// SIGINT and SIGTERM stop the server cleanly; they are taken by a thread of their own, since
// stopping the server is not something a signal handler may do.
std::thread stopOnSignal(httplib::Server& server) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return std::thread([&server, signals] {
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
  });
}

int flushSpoolAndReport(const Config& config) {
  const FlushReport report = flushSpool(config);
  for (const auto& problem : report.problems) std::cerr << "vantrel-formmail: " << problem << "\n";
  std::cout << "vantrel-formmail: " << report.sent << " spooled mail(s) sent, "
            << report.problems.size() << " left\n";
  return report.problems.empty() ? 0 : 1;
}

}  // namespace

static int serve(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::cout << "vantrel-formmail " << vantrel::kVersion << "\n";
    return 0;
  }
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    printUsage(std::cout);
    return 0;
  }
  Options options;
  if (!parseArguments(argc, argv, options)) {
    printUsage(std::cerr);
    return 2;
  }
  const vantrel::Result<Config> loaded = loadConfig(options.configPath);
  if (!loaded) {
    std::cerr << "vantrel-formmail: " << options.configPath << ": " << loaded.reason() << "\n";
    return 1;
  }
  const Config& config = loaded.value();
  initSmtp();
  if (options.flushSpool) return flushSpoolAndReport(config);
  const std::unique_ptr<Delivery> delivery = makeDelivery(config);
  MemoryRateLimiter limiter(config.ratePerMinute);
  const FormMailHandler handler(config, *delivery, limiter);

  httplib::Server server;
  server.set_payload_max_length(config.maxBody);
  // The library writes head and body separately; with Nagle's algorithm the body would wait
  // for the client's delayed acknowledgement, some 40 ms per answer.
  server.set_tcp_nodelay(true);
  // The library serves each kept-alive connection on a thread of its pool until the client
  // lets go; with the default of a handful of threads, a few dozen browsers would queue.
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  routeRequests(server, handler);
  std::thread signalThread = stopOnSignal(server);

  const int port = options.port == 0
                       ? server.bind_to_any_port(options.host)
                       : (server.bind_to_port(options.host, options.port) ? options.port : -1);
  if (port < 0) {
    std::cerr << "vantrel-formmail: cannot listen on " << options.host << ":" << options.port
              << "\n";
    std::quick_exit(1);
  }
  std::cout << "vantrel-formmail: listening on " << options.host << ":" << port << std::endl;
  server.listen_after_bind();
  // The signal thread waits in sigwait() for SIGTERM: this wakes it, it does not terminate it.
  // NOLINTNEXTLINE(bugprone-bad-signal-to-kill-thread)
  pthread_kill(signalThread.native_handle(), SIGTERM);
  signalThread.join();
  std::cout << "vantrel-formmail: stopped after " << successAnswers << " success answers"
            << std::endl;
  return 0;
}

// Whatever escapes (memory, a stream) ends the server with a line in the log, not an abort.
int main(int argc, char** argv) {
  try {
    return serve(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "vantrel-formmail: " << error.what() << "\n";
    return 1;
  }
}
