#pragma once
// Runs a converter program as a child process: its input from memory on stdin, its output
// collected from stdout, its stderr sent nowhere. The caller bounds the time it may take and the
// output it may write; a child that passes either is killed. Without Qt.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct ConverterLimits {
  std::chrono::milliseconds time{20'000};
  std::size_t outputBytes = std::size_t{64} << 20;
};

enum class ConverterEnd {
  Exited,         // exitStatus holds its status, output what it wrote
  NotStarted,     // startError holds the errno of the failed start
  Crashed,        // ended by a signal it did not get from here
  TimedOut,       // killed at the time limit
  TooMuchOutput,  // killed at the output limit
  OutputLost,     // its output could not be read; killed
};

// A struct rather than a Result: the callers tell each way of ending apart, and an exited
// converter carries both its status and its output.
struct ConverterRun {
  ConverterEnd end = ConverterEnd::NotStarted;
  int exitStatus = -1;
  int startError = 0;
  std::string output;
};

[[nodiscard]] ConverterRun runConverter(const std::filesystem::path& program,
                                        const std::vector<std::string>& arguments,
                                        std::string_view input, const ConverterLimits& limits);

}  // namespace vantrel
