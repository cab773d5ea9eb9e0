// Replays inputs through a fuzz target without libFuzzer, so that builds with any compiler can
// run a target over its seeds: each argument is a file, or a folder whose files (and those of
// its subfolders) are all taken, in name order. Every input is handed over in a buffer of its
// exact size, as libFuzzer does, so a sanitizer sees a read past its end.
//
// Exits 0 when every input went through; a target reports a fault by aborting, as it does
// under libFuzzer. Finding no input at all is a failure too: a seed list gone wrong must not
// pass as an empty success.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Only some targets define it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<fs::path> inputsOf(const fs::path& argument) {
  std::vector<fs::path> inputs;
  if (fs::is_directory(argument)) {
    for (const auto& entry : fs::recursive_directory_iterator(argument)) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
  } else {
    inputs.push_back(argument);
  }
  return inputs;
}

bool replay(const fs::path& input) {
  std::ifstream file(input, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "cannot read %s\n", input.c_str());
    return false;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>()};
  // new[] of zero elements still gives a pointer of its own, as libFuzzer hands over.
  const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(exact.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::size_t replayed = 0;
  for (int k = 1; k < argc; ++k) {
    for (const fs::path& input : inputsOf(argv[k])) {
      if (!replay(input)) return 1;
      ++replayed;
    }
  }
  std::fprintf(stderr, "%zu inputs replayed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
