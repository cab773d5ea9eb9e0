#pragma once
// Compresses the members of one AddFiles call on worker threads, a few members ahead of the
// caller, which appends them in order: every core compresses and the archive is still written
// in order. A member run by a worker records where its progress notifications fell; the caller
// replays them when it appends that member, so the events are the same as without workers.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "base/FileIo.h"

namespace vantrel::zlb {

// One source, read once: its CRC-32 and its compressed form (in memory or in a work file).
struct PackedMember {
  PackedMember() = default;
  PackedMember(PackedMember&&) = default;
  PackedMember& operator=(PackedMember&&) = default;
  ~PackedMember();

  File source;                   // kept open for a raw copy
  std::uint64_t sizeAtOpen = 0;  // the progress total
  std::uint64_t bytesRead = 0;   // the member's FileSize
  std::uint32_t crc = 0;
  std::vector<unsigned char> memory;  // compressed bytes, when the source fits in memory
  File workFile;                      // compressed bytes otherwise; removed with the member
  std::uint64_t compressedSize = 0;
  std::vector<std::uint64_t> progressPositions;  // input consumed at each full output buffer
};

using WorkFileMaker = std::function<std::filesystem::path()>;  // a new empty file
using PackProgress = std::function<void(std::uint64_t position, std::uint64_t total)>;

// Compresses one source. With `live` set, progress goes straight to it; otherwise it is
// recorded. Throws on any failure.
PackedMember packMember(const std::filesystem::path& path, TFileCompressionLevel level,
                        const WorkFileMaker& makeWorkFile, const PackProgress& live);

class PackPipeline {
 public:
  PackPipeline(std::vector<std::filesystem::path> paths, TFileCompressionLevel level,
               WorkFileMaker makeWorkFile, int threads);
  ~PackPipeline();
  PackPipeline(const PackPipeline&) = delete;
  PackPipeline& operator=(const PackPipeline&) = delete;

  // Member i, taken in order i = 0, 1, 2, ... Without workers (one member, or one thread) the
  // caller compresses it now with `live` progress; otherwise it waits for the worker's
  // result, whose progress was recorded. Rethrows the member's failure.
  PackedMember take(std::size_t i, const PackProgress& live);

 private:
  enum class State { Pending, Running, Done };
  struct Slot {
    State state = State::Pending;
    PackedMember result;
    std::exception_ptr failure;
  };
  void workerLoop();

  std::vector<std::filesystem::path> paths_;
  TFileCompressionLevel level_;
  WorkFileMaker makeWorkFile_;
  std::vector<Slot> slots_;
  std::size_t consumed_ = 0;   // the next member the caller will take
  std::size_t lookahead_ = 0;  // how far workers may run ahead of the caller
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> workers_;
};

}  // namespace vantrel::zlb
