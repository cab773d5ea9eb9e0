#include "archive/MemberPacker.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "archive/ArchiveInternal.h"
#include "archive/ArchiveMessages.h"
#include "archive/ZlibStreams.h"
#include "base/TemporaryFiles.h"

namespace vantrel::zlb {
namespace {

using detail::fail;

constexpr std::size_t kReadChunk = std::size_t{256} * 1024;

}  // namespace

PackedMember::~PackedMember() {
  if (workFile.isOpen()) {
    const std::string path = workFile.path();
    static_cast<void>(workFile.close());  // the work file is removed anyway
    removeFile(path);
    unregisterTemporary(path);
  }
}

PackedMember packMember(const std::filesystem::path& nativePath, TFileCompressionLevel level,
                        const WorkFileMaker& makeWorkFile, const PackProgress& live) {
  PackedMember member;
  if (!member.source.openForReading(nativePath)) fail(ArchiveFailure::ReasonSourceCannotBeOpened);
  const std::int64_t size = member.source.size();
  if (size < 0) fail(ArchiveFailure::ReasonSourceSizeUnknown);
  member.sizeAtOpen = static_cast<std::uint64_t>(size);

  const bool toWorkFile = member.sizeAtOpen > kMemoryMemberLimit;
  if (toWorkFile) {
    const std::string workPath = makeWorkFile();
    if (!member.workFile.openForUpdate(workPath)) {
      removeFile(workPath);
      unregisterTemporary(workPath);
      fail(ArchiveFailure::ReasonWorkFileCannotBeOpened);
    }
  } else {
    member.memory.reserve(compressBound(static_cast<uLong>(member.sizeAtOpen)));
  }

  TCompressionStream::Sink sink;
  if (toWorkFile) {
    sink = [&member](const unsigned char* data, std::size_t count) {
      if (!member.workFile.writeAll(data, count))
        fail(ArchiveFailure::ReasonWorkFileCannotBeWritten);
    };
  } else {
    sink = [&member](const unsigned char* data, std::size_t count) {
      member.memory.insert(member.memory.end(), data, data + count);
    };
  }
  TCompressionStream stream(level, std::move(sink));
  stream.OnProgress = [&member, &live](const TCompressionStream& sender) {
    if (live)
      live(sender.Position(), member.sizeAtOpen);
    else
      member.progressPositions.push_back(sender.Position());
  };

  // One read buffer per thread: many small members must not pay for a fresh one each.
  thread_local std::vector<unsigned char> chunk(kReadChunk);
  for (;;) {
    const std::int64_t got = member.source.read(chunk.data(), chunk.size());
    if (got < 0) fail(ArchiveFailure::ReasonSourceCannotBeRead);
    if (got == 0) break;
    member.bytesRead += static_cast<std::uint64_t>(got);
    // FileSize and every offset of the format are 32-bit.
    if (member.bytesRead > 0xFFFFFFFFu) fail(ArchiveFailure::ReasonSourceTooLarge);
    member.crc = crc32Of(chunk.data(), static_cast<std::size_t>(got), member.crc);
    stream.Write(chunk.data(), static_cast<std::size_t>(got));
  }
  stream.Finish();
  member.compressedSize = stream.CompressedSize();
  return member;
}

PackPipeline::PackPipeline(std::vector<std::filesystem::path> nativePaths,
                           TFileCompressionLevel level, WorkFileMaker makeWorkFile, int threads)
    : paths_(std::move(nativePaths)),
      level_(level),
      makeWorkFile_(std::move(makeWorkFile)),
      slots_(paths_.size()) {
  // A single member is compressed by the caller, so its progress arrives while it happens.
  const std::size_t workers =
      paths_.size() > 1 && threads > 1 ? std::min<std::size_t>(threads, paths_.size()) : 0;
  // A finished member waiting to be appended may hold up to 20 MiB in memory; workers run at
  // most `workers` members ahead of the caller, which keeps that bounded.
  lookahead_ = workers;
  for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { workerLoop(); });
}

PackPipeline::~PackPipeline() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& worker : workers_) worker.join();
}

void PackPipeline::workerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    std::size_t next = slots_.size();
    changed_.wait(lock, [&] {
      if (stopping_) return true;
      const std::size_t limit = std::min(slots_.size(), consumed_ + lookahead_);
      for (std::size_t i = consumed_; i < limit; ++i) {
        if (slots_[i].state == State::Pending) {
          next = i;
          return true;
        }
      }
      return consumed_ >= slots_.size();
    });
    if (stopping_ || next == slots_.size()) return;
    slots_[next].state = State::Running;
    lock.unlock();
    PackedMember result;
    std::exception_ptr failure;
    try {
      result = packMember(paths_[next], level_, makeWorkFile_, nullptr);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    slots_[next].result = std::move(result);
    slots_[next].failure = failure;
    slots_[next].state = State::Done;
    changed_.notify_all();
  }
}

PackedMember PackPipeline::take(std::size_t i, const PackProgress& live) {
  if (workers_.empty()) return packMember(paths_[i], level_, makeWorkFile_, live);
  std::unique_lock lock(mutex_);
  consumed_ = i;
  changed_.notify_all();
  Slot& slot = slots_[i];
  changed_.wait(lock, [&] { return slot.state == State::Done; });
  consumed_ = i + 1;
  changed_.notify_all();
  if (slot.failure) std::rethrow_exception(slot.failure);
  return std::move(slot.result);
}

}  // namespace vantrel::zlb
