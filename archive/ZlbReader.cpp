// TZLBArchive, reading: opening an archive (also one appended to a larger file), finding its
// start from the trailer, and loading its registry.

#include <algorithm>
#include <optional>

#include "archive/ArchiveInternal.h"
#include "archive/ArchiveMessages.h"
#include "archive/ZLIBArchive.h"
#include "base/FileIo.h"

namespace vantrel::zlb {

using namespace detail;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCrcChunk = std::size_t{1024} * 1024;
constexpr std::size_t kRegistryChunk = 4096;

}  // namespace

bool TZLBArchive::OpenArchive(const fs::path& FileName) { return openUpTo(FileName, std::nullopt); }

bool TZLBArchive::OpenArchiveEndingAt(const fs::path& FileName, std::uint64_t ArchiveEnd) {
  return openUpTo(FileName, ArchiveEnd);
}

bool TZLBArchive::openUpTo(const fs::path& FileName, std::optional<std::uint64_t> ArchiveEnd) {
  CloseArchive();
  ArchiveFileName = FileName;
  if (FileName.empty()) return false;
  const fs::path& native = FileName;
  if (!fileExists(native)) {
    forgetArchive();
    fail(ArchiveFailure::ArchiveNotFound);
  }
  File file;
  if (!file.openForReading(native)) {
    forgetArchive();
    fail(ArchiveFailure::UnableToOpenFile, shown(FileName));
  }
  const std::int64_t size = file.size();
  const std::uint64_t fileSize = size < 0 ? 0 : static_cast<std::uint64_t>(size);
  const std::uint64_t end = ArchiveEnd.value_or(fileSize);
  unsigned char trailerBytes[kTrailerSize];
  if (end > fileSize || end < kTrailerSize ||
      !file.readExactlyAt(end - kTrailerSize, trailerBytes, kTrailerSize)) {
    forgetArchive();
    fail(ArchiveFailure::ArchiveCorrupted);
  }
  // The trailer alone tells where the archive starts: behind a program it does not start at 0.
  // A writer that left RegistrySize out still gets its archive read as a file of its own.
  const ArchiveTrailer trailer = ArchiveTrailer::fromBytes(trailerBytes);
  const std::uint64_t beforeTrailer = end - kTrailerSize;
  // The check sums leave out the trailer and whatever follows the archive.
  const std::uint64_t notSummed = fileSize - beforeTrailer;
  const std::uint64_t archiveBody = trailer.registryLength() + trailer.RegistryOffset;
  std::optional<std::uint64_t> start;
  if (archiveBody <= beforeTrailer &&
      StreamCRC(file, beforeTrailer - archiveBody, notSummed) == trailer.ArchiveCRC) {
    start = beforeTrailer - archiveBody;
  } else if (archiveBody != beforeTrailer && trailer.RegistryOffset <= beforeTrailer &&
             StreamCRC(file, 0, notSummed) == trailer.ArchiveCRC) {
    start = 0;
  }
  if (!start) {
    forgetArchive();
    fail(ArchiveFailure::ArchiveCorrupted);
  }
  Trailer = trailer;
  ArchiveStart = *start;
  try {
    loadRegistry(file, end);
    if (OnArchiveOpened) OnArchiveOpened(*this);
  } catch (...) {
    CloseArchive();
    fail(ArchiveFailure::UnreadableFileList);
  }
  static_cast<void>(file.close());  // only read, and everything read is checked
  ProgressMode = 5;
  DoProgress();
  return true;
}

void TZLBArchive::loadRegistry(File& file, std::uint64_t archiveEnd) {
  if (Trailer.EntryCount <= 0) return;
  const std::uint64_t wanted = std::uint64_t(Trailer.EntryCount) * kEntrySize;
  const std::uint64_t registryStart = ArchiveStart + Trailer.RegistryOffset;
  const std::uint64_t registryEnd = archiveEnd - kTrailerSize;
  const std::uint64_t available = registryEnd - registryStart;
  if (registryTooLarge(static_cast<std::uint64_t>(Trailer.EntryCount), available))
    fail(ArchiveFailure::ReasonRegistry);
  std::vector<unsigned char> records;

  if (Trailer.RegistryCompressed == 0) {
    if (wanted > available) fail(ArchiveFailure::ReasonRegistry);
    records.resize(wanted);
    if (!file.readExactlyAt(registryStart, records.data(), records.size()))
      fail(ArchiveFailure::ReasonRegistry);
  } else if (Trailer.RegistryCompressed == 1) {
    // What the stream could at most inflate to; a count beyond it cannot be real.
    if (wanted > available * kMaxInflateRatio + 64) fail(ArchiveFailure::ReasonRegistry);
    TDecompressionStream stream(sourceBetween(file, registryStart, registryEnd));
    ProgressMode = 0;
    ProgressTotal = static_cast<std::int64_t>(wanted);
    ProgressDone = 0;
    ProgressMessage = kProgressExtractingRegistry;
    // Grown as the bytes really arrive, so a false count cannot make us allocate in advance.
    records.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, 1u << 20)));
    unsigned char chunk[kRegistryChunk];
    while (records.size() < wanted) {
      const std::size_t ask = static_cast<std::size_t>(
          std::min<std::uint64_t>(kRegistryChunk, wanted - records.size()));
      const std::size_t got = stream.Read(chunk, ask);
      records.insert(records.end(), chunk, chunk + got);
      ProgressDone += static_cast<std::int64_t>(got);
      DoProgress();
      if (got < ask) fail(ArchiveFailure::ReasonRegistry);
    }
  } else {
    fail(ArchiveFailure::ReasonRegistry);
  }
  std::vector<RegistryEntry> loaded =
      registryEntries(records.data(), static_cast<std::size_t>(Trailer.EntryCount));
  if (membersOverlap(loaded, Trailer.RegistryOffset)) fail(ArchiveFailure::ReasonRegistry);
  Entries = std::move(loaded);
}

std::uint32_t TZLBArchive::StreamCRC(File& file, std::uint64_t from, std::uint64_t ExcludeTail) {
  const std::int64_t size = file.size();
  if (size < 0 || static_cast<std::uint64_t>(size) < from + ExcludeTail) return 0;
  std::uint64_t remaining = static_cast<std::uint64_t>(size) - ExcludeTail - from;
  std::uint64_t at = from;
  std::vector<unsigned char> chunk(kCrcChunk);
  std::uint32_t crc = 0;
  while (remaining > 0) {
    const std::size_t ask =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, chunk.size()));
    const std::int64_t got = file.readAt(at, chunk.data(), ask);
    if (got <= 0) break;  // a file that shrank: the CRC cannot match
    crc = crc32Of(chunk.data(), static_cast<std::size_t>(got), crc);
    at += static_cast<std::uint64_t>(got);
    remaining -= static_cast<std::uint64_t>(got);
  }
  if (remaining > 0) crc = ~crc;
  return crc;
}

}  // namespace vantrel::zlb
