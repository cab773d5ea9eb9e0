// Time to the first window being mapped and resident memory, for a program and its yardstick
// started in turn on the same X server. Prints medians and ratios; never passes or fails on
// time.
//
//   window_start_bench [--runs N] [--settle-ms MS] --program 'CMD ...' --peer 'CMD ...'
//
// DISPLAY names the X server (start_bench.sh starts Xvfb for it). A run starts the command,
// waits for the first top-level window it maps (with a window manager: the frame around it),
// reads the process's resident memory at that moment and again after the settle time (work
// deferred until the window is up counts as well), then stops the process.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int runs = 7;
  int settleMs = 1500;
  std::string program;
  std::string peer;
};

struct Run {
  double mappedMs = 0;
  double residentAtMapMb = 0;
  double residentSettledMb = 0;
};

struct XConnection {
  xcb_connection_t* connection = nullptr;
  xcb_window_t root = 0;
  ~XConnection() {
    if (connection != nullptr) xcb_disconnect(connection);
  }
};

std::vector<std::string> wordsOf(const std::string& command) {
  std::istringstream stream(command);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

// VmRSS of a running process in MB, 0 when it cannot be read.
double residentMb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  return 0;
}

pid_t start(const std::vector<std::string>& words) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const int devNull = ::open("/dev/null", O_WRONLY);
  if (devNull >= 0) {
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
  }
  ::execvp(argv[0], argv.data());
  std::_Exit(127);
}

void stop(pid_t pid) {
  ::kill(pid, SIGTERM);
  for (int tries = 0; tries < 50; ++tries) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// Waits for a MapNotify of a child of the root window that is not an override-redirect
// popup; false after `limit` without one.
bool waitForMappedTopLevel(XConnection& x, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  pollfd descriptor{xcb_get_file_descriptor(x.connection), POLLIN, 0};
  while (Clock::now() < deadline) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x.connection)) {
      const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event, &std::free);
      if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY) continue;
      const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
      if (map->event == x.root && map->override_redirect == 0) return true;
    }
    if (xcb_connection_has_error(x.connection) != 0) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    ::poll(&descriptor, 1, static_cast<int>(std::max<long long>(1, left.count())));
  }
  return false;
}

std::optional<Run> measureOnce(XConnection& x, const std::vector<std::string>& words,
                               int settleMs) {
  // Events from an earlier run's windows are not this run's.
  while (xcb_generic_event_t* event = xcb_poll_for_event(x.connection)) std::free(event);
  const auto started = Clock::now();
  const pid_t pid = start(words);
  if (pid < 0) return std::nullopt;
  Run run;
  if (!waitForMappedTopLevel(x, std::chrono::seconds(30))) {
    stop(pid);
    return std::nullopt;
  }
  run.mappedMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  run.residentAtMapMb = residentMb(pid);
  std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  run.residentSettledMb = residentMb(pid);
  stop(pid);
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

struct Figures {
  double mappedMs = 0;
  double residentAtMapMb = 0;
  double residentSettledMb = 0;
};

Figures mediansOf(const std::vector<Run>& runs) {
  std::vector<double> mapped;
  std::vector<double> atMap;
  std::vector<double> settled;
  for (const Run& run : runs) {
    mapped.push_back(run.mappedMs);
    atMap.push_back(run.residentAtMapMb);
    settled.push_back(run.residentSettledMb);
  }
  return {median(mapped), median(atMap), median(settled)};
}

std::optional<Options> parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--runs") {
      options.runs = std::max(1, std::atoi(value.c_str()));
    } else if (name == "--settle-ms") {
      options.settleMs = std::max(0, std::atoi(value.c_str()));
    } else if (name == "--program") {
      options.program = value;
    } else if (name == "--peer") {
      options.peer = value;
    } else {
      return std::nullopt;
    }
  }
  if (argc % 2 == 0 || options.program.empty() || options.peer.empty()) return std::nullopt;
  return options;
}

void print(const char* name, const Figures& figures) {
  std::printf("%-8s mapped %8.1f ms   resident at map %7.1f MB   after settling %7.1f MB\n", name,
              figures.mappedMs, figures.residentAtMapMb, figures.residentSettledMb);
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = parse(argc, argv);
  if (!options) {
    std::fprintf(stderr,
                 "usage: window_start_bench [--runs N] [--settle-ms MS] --program 'CMD' "
                 "--peer 'CMD'\n");
    return 2;
  }
  XConnection x;
  x.connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x.connection) != 0) {
    std::fprintf(stderr, "window_start_bench: no X server on DISPLAY\n");
    return 1;
  }
  x.root = xcb_setup_roots_iterator(xcb_get_setup(x.connection)).data->root;
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x.connection, x.root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x.connection);

  const std::vector<std::string> program = wordsOf(options->program);
  const std::vector<std::string> peer = wordsOf(options->peer);
  std::vector<Run> programRuns;
  std::vector<Run> peerRuns;
  // In turn, so that a machine that slows down or speeds up weighs on both alike; the first
  // pair warms the file cache and is not counted.
  for (int run = -1; run < options->runs; ++run) {
    const std::optional<Run> a = measureOnce(x, program, options->settleMs);
    const std::optional<Run> b = measureOnce(x, peer, options->settleMs);
    if (!a || !b) {
      std::fprintf(stderr, "window_start_bench: %s mapped no window within 30 s\n",
                   !a ? options->program.c_str() : options->peer.c_str());
      return 1;
    }
    if (run < 0) continue;
    programRuns.push_back(*a);
    peerRuns.push_back(*b);
  }
  const Figures a = mediansOf(programRuns);
  const Figures b = mediansOf(peerRuns);
  std::printf("medians of %d runs each, started in turn\n", options->runs);
  print("program", a);
  print("peer", b);
  std::printf("ratio    mapped %8.2f x     resident at map %7.2f x      after settling %7.2f x\n",
              a.mappedMs / b.mappedMs, a.residentAtMapMb / b.residentAtMapMb,
              a.residentSettledMb / b.residentSettledMb);
  return 0;
}
