// Fuzzes TZLBArchive over arbitrary bytes: OpenArchive, then every member extracted to a
// stream and to a folder, with and without recorded paths. Beyond "no crash, no leak":
//  - failures are the component's own exceptions, nothing else;
//  - no single allocation exceeds what the bytes can justify (a damaged count or size must
//    never reserve memory the file does not hold);
//  - nothing is ever written outside the destination folder.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>

#include "archive/ZLIBArchive.h"
#include "fuzz/AllocationWatch.h"
#include "fuzz/FittingCrc.h"

namespace fs = std::filesystem;
using namespace vantrel::zlb;

namespace {

// The fixed buffers (1 MiB read chunks, zlib's window and state) plus what the bytes can
// inflate to: deflate cannot shrink anything by more than 1032:1.
std::size_t allowedAllocation(std::size_t inputSize) {
  return 2 * 1024 * 1024 + kMaxInflateRatio * inputSize;
}

std::string scratch;

// A stream that takes everything and keeps nothing: the harness itself must not allocate.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

void extractAll(TZLBArchive& zlb, bool withPath) {
  zlb.ExtractWithPath = withPath;
  for (int i = 0; i < zlb.Count(); ++i) {
    try {
      NullBuffer discard;
      std::ostream sink(&discard);
      zlb.ExtractToStream(i, sink);
    } catch (const EArchiveError&) {
    }
    try {
      static_cast<void>(
          zlb.ExtractFile(i, scratch + "/dest/inner"));  // what was written is checked after
    } catch (const EArchiveError&) {
    }
  }
}

// Only dest/inner (and what lies below it) may exist in the scratch folder.
void checkNothingEscaped() {
  for (const auto& item : fs::directory_iterator(scratch)) {
    if (item.path().filename() != "dest") std::abort();
  }
  if (fs::exists(scratch + "/dest")) {
    for (const auto& item : fs::directory_iterator(scratch + "/dest")) {
      if (item.path().filename() != "inner") std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vantrel::fuzz::AllocationWatch::install();
  std::string pattern = fs::temp_directory_path().string() + "/zlbfuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) std::abort();
  scratch = pattern;
  std::atexit([] { fs::remove_all(scratch); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = vantrel::fuzz::withFittingCrc(data, size);
  // The archive reads a named file; a memory file keeps the fuzzer off the disk.
  const int fd = memfd_create("zlb", 0);
  if (fd < 0) std::abort();
  if (size > 0 && write(fd, bytes.data(), size) != static_cast<ssize_t>(size)) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  vantrel::fuzz::AllocationWatch::start();
  {
    TZLBArchive zlb;
    zlb.CheckCRC = (size & 1) != 0;
    bool opened = false;
    try {
      opened = zlb.OpenArchive(path);
    } catch (const EArchiveError&) {
    }
    if (opened) {
      extractAll(zlb, false);
      extractAll(zlb, true);
    }
  }
  const std::size_t largestAllocation = vantrel::fuzz::AllocationWatch::stop();
  close(fd);
  if (largestAllocation > allowedAllocation(size)) {
    std::fprintf(stderr, "allocation of %zu bytes for %zu input bytes\n", largestAllocation, size);
    std::abort();
  }
  checkNothingEscaped();
  fs::remove_all(scratch + "/dest");
  return 0;
}
