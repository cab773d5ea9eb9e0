#include "base/ConverterProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

extern char** environ;

namespace vantrel {

namespace {

using Clock = std::chrono::steady_clock;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }
  [[nodiscard]] int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Closes `fd`, keeping errno as the failure that came before.
std::nullopt_t closedWithError(int fd) {
  const int error = errno;
  ::close(fd);
  errno = error;
  return std::nullopt;
}

// The input lies in an anonymous file rather than a pipe: the child reads it at its own pace
// while this side only reads the output, so neither can wait for the other.
std::optional<int> inputFile(std::string_view input) {
  const int fd = ::memfd_create("converter-input", MFD_CLOEXEC);
  if (fd < 0) return std::nullopt;
  for (std::size_t at = 0; at < input.size();) {
    const ssize_t written = ::write(fd, input.data() + at, input.size() - at);
    if (written < 0 && errno == EINTR) continue;
    if (written == 0) errno = EIO;
    if (written <= 0) return closedWithError(fd);
    at += static_cast<std::size_t>(written);
  }
  if (::lseek(fd, 0, SEEK_SET) != 0) return closedWithError(fd);
  return fd;
}

class SpawnSetup {
 public:
  SpawnSetup() {
    ::posix_spawn_file_actions_init(&actions_);
    ::posix_spawnattr_init(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attributes_);
  }

  // stdin from `input`, stdout into `output`, stderr to /dev/null (a crashing library or a
  // sanitizer may say anything there, none of it for the user), nothing else inherited.
  // Signals start with their default actions and unblocked: this process may hold some back
  // (base/TemporaryFiles.h) or ignore others.
  [[nodiscard]] int prepare(int input, int output) {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    int error = ::posix_spawn_file_actions_adddup2(&actions_, input, STDIN_FILENO);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO);
    if (error == 0)
      error =
          ::posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (error == 0)
      error = ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
    if (error == 0) error = ::posix_spawnattr_setsigmask(&attributes_, &none);
    if (error == 0) error = ::posix_spawnattr_setsigdefault(&attributes_, &all);
    if (error == 0)
      error =
          ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    return error;
  }

  [[nodiscard]] int spawn(pid_t& child, const std::filesystem::path& program,
                          const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    std::string name = program.string();
    argv.push_back(name.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return ::posix_spawn(&child, name.c_str(), &actions_, &attributes_, argv.data(), environ);
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

std::chrono::milliseconds timeLeft(Clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
}

// Reads the child's output until it closes its end; the way it went wrong otherwise.
std::optional<ConverterEnd> collectOutput(int from, Clock::time_point deadline,
                                          const ConverterLimits& limits, std::string& output) {
  char buffer[65536];
  for (;;) {
    const auto left = timeLeft(deadline);
    if (left.count() <= 0) return ConverterEnd::TimedOut;
    pollfd ready{from, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) return ConverterEnd::TimedOut;
    if (polled < 0) return ConverterEnd::OutputLost;
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ConverterEnd::OutputLost;
    if (got == 0) return std::nullopt;
    if (output.size() + static_cast<std::size_t>(got) > limits.outputBytes)
      return ConverterEnd::TooMuchOutput;
    output.append(buffer, static_cast<std::size_t>(got));
  }
}

// Waits for the child, which has closed its output, to end; nullopt at the deadline. Polled,
// since waitpid has no time limit of its own.
std::optional<int> statusBy(pid_t child, Clock::time_point deadline) {
  constexpr auto kPollInterval = std::chrono::milliseconds(5);
  for (;;) {
    int status = 0;
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) return status;
    if (ended < 0 && errno != EINTR) return std::nullopt;
    if (timeLeft(deadline).count() <= 0) return std::nullopt;
    ::usleep(static_cast<useconds_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(kPollInterval).count()));
  }
}

void killAndReap(pid_t child) {
  ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

ConverterRun endOf(int status) {
  ConverterRun run;
  if (WIFEXITED(status)) {
    run.end = ConverterEnd::Exited;
    run.exitStatus = WEXITSTATUS(status);
  } else {
    run.end = ConverterEnd::Crashed;
  }
  return run;
}

ConverterRun notStarted(int error) {
  ConverterRun run;
  run.startError = error;
  return run;
}

}  // namespace

ConverterRun runConverter(const std::filesystem::path& program,
                          const std::vector<std::string>& arguments, std::string_view input,
                          const ConverterLimits& limits) {
  const auto deadline = Clock::now() + limits.time;
  const std::optional<int> inputFd = inputFile(input);
  if (!inputFd) return notStarted(errno);
  const FileDescriptor in(*inputFd);
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return notStarted(errno);
  const FileDescriptor out(pipeEnds[0]);
  FileDescriptor childsEnd(pipeEnds[1]);
  SpawnSetup setup;
  pid_t child = -1;
  int error = setup.prepare(in.get(), childsEnd.get());
  if (error == 0) error = setup.spawn(child, program, arguments);
  if (error != 0) return notStarted(error);
  childsEnd.reset();  // the child's output ends when the child closes it

  std::string output;
  if (const auto failed = collectOutput(out.get(), deadline, limits, output)) {
    killAndReap(child);
    ConverterRun run;
    run.end = *failed;
    return run;
  }
  const std::optional<int> status = statusBy(child, deadline);
  if (!status) {
    killAndReap(child);
    ConverterRun run;
    run.end = ConverterEnd::TimedOut;
    return run;
  }
  ConverterRun run = endOf(*status);
  run.output = std::move(output);
  return run;
}

}  // namespace vantrel
