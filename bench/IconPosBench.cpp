// The search for the prototype's icon pixels on a 64 MB prototype, against reading the file
// with `cat` and against the plain scan that compares a 512-byte window at every position.
// Prints times and ratios; never passes or fails on time.
//
//   icon_pos_bench [--megabytes N] [--runs N] [--skip-window-scan]

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "icon/IconPos.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double bestOf(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int run = 0; run < runs; ++run) best = std::min(best, secondsOf(work));
  return best;
}

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The plain scan: one byte at a time, decoded, shifted into a 512-byte window that is compared
// with the pattern at every position.
std::optional<std::uint64_t> windowScan(const std::string& path, const std::string& pattern) {
  constexpr std::size_t kWindow = vantrel::kIconPixelBlockSize;
  if (pattern.size() != kWindow) return std::nullopt;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::array<char, kWindow> window{};
  std::uint64_t count = 0;
  std::optional<std::uint64_t> last;
  for (int byte = std::getc(file); byte != EOF; byte = std::getc(file)) {
    std::memmove(window.data(), window.data() + 1, kWindow - 1);
    window.back() = static_cast<char>(static_cast<std::uint8_t>(byte) - 1);
    ++count;
    if (count >= kWindow && std::equal(window.begin(), window.end(), pattern.begin())) {
      last = count - kWindow;
    }
  }
  std::fclose(file);
  return last;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t megabytes = 64;
  int runs = 5;
  bool windowScanToo = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--megabytes" && i + 1 < argc)
      megabytes = std::strtoul(argv[++i], nullptr, 10);
    else if (arg == "--runs" && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else if (arg == "--skip-window-scan")
      windowScanToo = false;
    else {
      std::fprintf(stderr,
                   "usage: icon_pos_bench [--megabytes N] [--runs N] [--skip-window-scan]\n");
      return 2;
    }
  }

  std::string folderPattern =
      (std::filesystem::temp_directory_path() / "vantrel-iconpos-XXXXXX").string();
  if (::mkdtemp(folderPattern.data()) == nullptr) return 1;
  const std::string folder = folderPattern + "/";
  const std::string prototype = folder + vantrel::kPrototypeFileName;

  // A prototype of random bytes holding the icon pixels twice; the search must find the later.
  std::mt19937_64 random(42);
  std::string decoded(megabytes << 20, '\0');
  for (std::size_t at = 0; at + 8 <= decoded.size(); at += 8) {
    const std::uint64_t value = random();
    std::memcpy(decoded.data() + at, &value, 8);
  }
  std::string pattern(vantrel::kIconPixelBlockSize, '\0');
  for (std::size_t k = 0; k < pattern.size(); ++k) pattern[k] = static_cast<char>(random());
  const std::uint64_t first = decoded.size() / 3;
  const std::uint64_t expected = decoded.size() - decoded.size() / 10;
  decoded.replace(first, pattern.size(), pattern);
  decoded.replace(expected, pattern.size(), pattern);
  std::string stored = decoded;
  for (char& byte : stored) byte = static_cast<char>(static_cast<std::uint8_t>(byte) + 1);
  std::ofstream(prototype, std::ios::binary) << stored;
  std::ofstream(folder + vantrel::kIconPatternFileName, std::ios::binary)
      << std::string(vantrel::kIconPatternOffset, '\0') << pattern;
  decoded.clear();
  stored.clear();

  const std::string cat = "cat " + shellQuoted(prototype) + " > /dev/null";
  (void)std::system(cat.c_str());  // into the page cache first
  const double catSeconds = bestOf(runs, [&] { (void)std::system(cat.c_str()); });
  std::uint32_t found = 0;
  const double searchSeconds = bestOf(runs, [&] { found = vantrel::RenderIconPos(folder); });

  std::printf("prototype: %zu MB, pattern at %llu and %llu\n", megabytes,
              static_cast<unsigned long long>(first), static_cast<unsigned long long>(expected));
  std::printf("cat FILE > /dev/null      %9.1f ms\n", catSeconds * 1e3);
  std::printf("RenderIconPos             %9.1f ms   %.2f x cat   (IconPos %u, %s)\n",
              searchSeconds * 1e3, searchSeconds / catSeconds, found,
              found == expected ? "right" : "WRONG");
  if (windowScanToo) {
    std::optional<std::uint64_t> scanned;
    const double scanSeconds = secondsOf([&] { scanned = windowScan(prototype, pattern); });
    std::printf(
        "window scan, byte by byte %9.1f ms   %.2f x cat, RenderIconPos %.0f x faster   (%s)\n",
        scanSeconds * 1e3, scanSeconds / catSeconds, scanSeconds / searchSeconds,
        scanned && *scanned == found ? "same offset" : "DIFFERENT offset");
  }

  // The worst case for a search that restarts after each hit: every position matches.
  std::ofstream(prototype, std::ios::binary | std::ios::trunc)
      << std::string(megabytes << 20, '\x42');
  std::ofstream(folder + vantrel::kIconPatternFileName, std::ios::binary | std::ios::trunc)
      << std::string(vantrel::kIconPatternOffset, '\0') << std::string(pattern.size(), '\x41');
  (void)std::system(cat.c_str());
  const double repetitiveCat = bestOf(runs, [&] { (void)std::system(cat.c_str()); });
  std::uint32_t repetitiveFound = 0;
  const double repetitiveSeconds =
      bestOf(runs, [&] { repetitiveFound = vantrel::RenderIconPos(folder); });
  const std::uint64_t repetitiveExpected = (megabytes << 20) - pattern.size();
  std::printf("one byte repeated: RenderIconPos %6.1f ms   %.2f x cat   (IconPos %u, %s)\n",
              repetitiveSeconds * 1e3, repetitiveSeconds / repetitiveCat, repetitiveFound,
              repetitiveFound == repetitiveExpected ? "right" : "WRONG");

  std::filesystem::remove_all(folderPattern);
  return found == expected && repetitiveFound == repetitiveExpected ? 0 : 1;
}
