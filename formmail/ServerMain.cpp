// vantrel-formmail --listen ADDR:PORT --config FILE: the receiver as a small HTTP server, for
// one machine and for tests. Port 0 picks a free port; the chosen address is printed.
// vantrel-formmail export ...: the answers of the mails as a table (formmail/ExportCommand.h).

#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <span>
#include <string>

#include "base/BuildConfig.h"
#include "formmail/AnswerPages.h"
#include "formmail/ExportCommand.h"
#include "formmail/FormMailHandler.h"
#include "formmail/HttpServer.h"
#include "formmail/ReceiverFailure.h"
#include "formmail/SmtpSender.h"
#include "formmail/SpoolFlush.h"

using namespace vantrel::formmail;

namespace {

struct Options {
  bool flushSpool = false;
  std::string host;
  int port = -1;
  std::filesystem::path configPath;
};

void printUsage(std::ostream& out) {
  out << "Aufruf: vantrel-formmail --listen ADRESSE:PORT --config DATEI\n"
         "       vantrel-formmail --flush-spool --config DATEI\n"
         "       vantrel-formmail export QUELLE [--csv|--jsonl] [--comma] [--form ID] [-o DATEI]\n"
         "       vantrel-formmail --help | --version\n"
         "  ADRESSE:PORT   z. B. 127.0.0.1:8080 oder [::1]:8080; Port 0 wählt einen freien\n"
         "  --config       die Konfiguration (jeder Schlüssel ist in der Beispieldatei "
         "beschrieben)\n"
         "  --flush-spool  verschickt die eMails, die im Spool-Maildir warten, über smtp "
         "und endet\n"
         "  export         die Antworten eines Maildirs, einer mbox-Datei oder eines Ordners\n"
         "                 mit .eml-Dateien als CSV oder JSON-Zeilen (vantrel-formmail export "
         "--help)\n";
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

// The socket is bound here rather than by the library, so that any address the system can
// resolve works, v4 or v6, and port 0 can be told back.
struct Listener {
  int socket = -1;
  int port = -1;
  bool ipv6 = false;
  std::string why;  // German, when there is no socket
};

// Why an address cannot be listened on, in the words an operator acts on.
std::string whyNotListening(int error) {
  switch (error) {
    case EADDRINUSE:
      return "die Adresse ist schon belegt (läuft der Server schon, oder ein anderer "
             "Dienst auf diesem Port?)";
    case EACCES:
    case EPERM:
      return "keine Berechtigung (Ports unter 1024 nur mit CAP_NET_BIND_SERVICE; davor "
             "gehört ein Webserver wie nginx)";
    case EADDRNOTAVAIL:
      return "die Adresse gehört zu keiner Netzwerkschnittstelle dieses Rechners";
    default:
      return std::strerror(error);
  }
}

Listener listenOn(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int error =
          getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
      error != 0) {
    return {.why = std::string("die Adresse ist unbekannt (") + gai_strerror(error) + ")"};
  }
  Listener listener;
  int lastError = 0;
  for (const addrinfo* candidate = found; candidate != nullptr && listener.socket < 0;
       candidate = candidate->ai_next) {
    const int fd = socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    const int yes = 1;
    (void)setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);  // a failure only delays
    if (bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0) {
      lastError = errno;
      close(fd);
      continue;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
      close(fd);
      continue;
    }
    listener.ipv6 = bound.ss_family == AF_INET6;
    listener.port = ntohs(listener.ipv6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                        : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    listener.socket = fd;
  }
  freeaddrinfo(found);
  if (listener.socket < 0) listener.why = whyNotListening(lastError);
  return listener;
}

// SIGINT and SIGTERM are blocked before any thread starts, so that every thread inherits the
// mask and the main thread alone takes them with sigwait().
sigset_t blockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

// Every connection costs a descriptor, and a Maildir write one more: a service manager's
// default soft limit of 1024 would let open connections starve the delivery. The hard limit
// is what the administrator allows.
void raiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  (void)setrlimit(RLIMIT_NOFILE, &limit);  // the connection limit follows what is left
}

int flushSpoolAndReport(const Config& config) {
  const FlushReport report = flushSpool(config);
  for (const auto& problem : report.problems) std::cerr << "vantrel-formmail: " << problem << "\n";
  for (const auto& refused : report.refused) std::cerr << "vantrel-formmail: " << refused << "\n";
  std::cout << "vantrel-formmail: " << report.sent << " eMail(s) aus dem Spool verschickt, "
            << report.problems.size() << " übrig";
  if (!report.refused.empty()) std::cout << ", " << report.refused.size() << " endgültig abgelehnt";
  std::cout << "\n";
  return report.problems.empty() && report.refused.empty() ? 0 : 1;
}

}  // namespace

static int serve(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "export")
    return runExport(std::span<char* const>(argv + 2, static_cast<std::size_t>(argc - 2)),
                     std::cout, std::cerr);
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
    std::cerr << "vantrel-formmail: Konfiguration " << options.configPath.string() << ": "
              << germanReceiverMessage(loaded.failure()) << "\n";
    return 1;
  }
  const Config& config = loaded.value();
  initSmtp();
  if (options.flushSpool) return flushSpoolAndReport(config);
  const std::unique_ptr<Delivery> delivery = makeDelivery(config);
  MemoryRateLimiter limiter(config.ratePerMinute);
  MemoryRecentPosts recent;
  const FormMailHandler handler(config, *delivery, limiter, recent);

  const sigset_t stopSignals = blockStopSignals();
  // Whoever started the server may stop reading its output; that must not end it.
  (void)signal(SIGPIPE, SIG_IGN);  // the previous disposition is of no interest
  raiseDescriptorLimit();
  const Listener listener = listenOn(options.host, options.port);
  HttpServer server(handler, config.maxBody, serverLimits(config));
  if (listener.socket < 0 || !server.start(listener.socket, listener.ipv6)) {
    std::cerr << "vantrel-formmail: kann nicht auf " << options.host << ":" << options.port
              << " lauschen: "
              << (listener.socket < 0 ? listener.why : "der HTTP-Server startet nicht") << "\n";
    return 1;
  }
  std::cout << "vantrel-formmail: lauscht auf " << options.host << ":" << listener.port
            << std::endl;
  int received = 0;
  sigwait(&stopSignals, &received);
  server.stop();
  std::cout << "vantrel-formmail: beendet nach " << server.successAnswers()
            << " erfolgreichen Antworten" << std::endl;
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
