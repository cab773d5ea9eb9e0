// TZLBArchive, extraction: members to files (written beside the target, then renamed over it),
// to streams, or only inflated and checked. Every name from the archive passes the checks of
// archive/PathSafety.h before it becomes part of a path.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <vector>

#include "archive/ArchiveInternal.h"
#include "archive/ArchiveMessages.h"
#include "archive/PathSafety.h"
#include "archive/ZLIBArchive.h"
#include "base/AtomicFile.h"
#include "base/FileIo.h"
#include "base/Win1252.h"

namespace vantrel::zlb {

using namespace detail;
namespace fs = std::filesystem;

namespace {

enum class Below { ok, link, unwritable };

// Walks from the destination down to the target's folder, creating what is missing, and
// refuses a symbolic link (or anything but a folder) on the way and a link as the target:
// a link planted inside the destination must not carry a member elsewhere. The destination
// itself is the caller's choice and may be a link.
Below prepareFoldersBelow(const fs::path& destination, const fs::path& target) {
  std::string folder = destination.native();
  while (folder.size() > 1 && isPathSeparator(folder.back())) folder.pop_back();
  const fs::path relative =
      target.lexically_normal().lexically_relative(fs::path(folder).lexically_normal());
  if (relative.empty() || *relative.begin() == "..") return Below::link;
  std::error_code made;
  fs::create_directories(folder, made);
  if (made) {
    errno = made.value();  // for the message
    return Below::unwritable;
  }
  fs::path at = folder;
  for (auto step = relative.begin(); step != relative.end(); ++step) {
    at /= *step;
    const bool last = std::next(step) == relative.end();
    std::error_code error;
    const fs::file_status status = fs::symlink_status(at, error);
    if (fs::is_symlink(status)) return Below::link;
    if (last) break;
    if (fs::exists(status)) {
      if (!fs::is_directory(status)) return Below::link;
      continue;
    }
    if (!fs::create_directory(at, error) && error) {
      errno = error.value();  // for the message
      return Below::unwritable;
    }
  }
  return Below::ok;
}

}  // namespace

void TZLBArchive::readMember(const RegistryEntry& entry, bool verifyCrc,
                             const std::function<void(const unsigned char*, std::size_t)>& sink) {
  const std::string storedName = entry.StoredName();
  const auto unreadable = [&storedName] { fail(ArchiveFailure::UnableToReadMember, storedName); };
  const std::uint64_t offset = entry.DataOffset();
  const std::uint64_t stored = entry.StoredSize();
  const std::uint64_t size = entry.FileSize();
  // Member bytes lie in the member data area, before the registry.
  if (offset + stored > Trailer.RegistryOffset) unreadable();
  if (entry.StoredRaw() && stored != size) unreadable();

  File file;
  if (!file.openForReading(ArchiveFileName))
    fail(ArchiveFailure::UnableToOpenFile, shown(ArchiveFileName));
  const std::uint64_t begin = ArchiveStart + offset;
  const std::uint64_t end = begin + stored;

  ProgressMessage = formatMessage(kProgressExtracting, storedName);
  ProgressTotal = static_cast<std::int64_t>(size);
  ProgressDone = 0;
  std::vector<unsigned char> chunk(kStreamBufferSize);
  std::uint32_t crc = 0;
  std::uint64_t produced = 0;
  if (entry.StoredRaw()) {
    ProgressMode = 1;
    while (produced < size) {
      const std::size_t ask =
          static_cast<std::size_t>(std::min<std::uint64_t>(size - produced, chunk.size()));
      if (!file.readExactlyAt(begin + produced, chunk.data(), ask)) unreadable();
      crc = crc32Of(chunk.data(), ask, crc);
      sink(chunk.data(), ask);
      produced += ask;
      ProgressDone = static_cast<std::int64_t>(produced);
      if (ask == chunk.size()) DoProgress();
    }
  } else {
    ProgressMode = 3;
    TDecompressionStream stream(sourceBetween(file, begin, end));
    while (produced < size) {
      const std::size_t ask =
          static_cast<std::size_t>(std::min<std::uint64_t>(size - produced, chunk.size()));
      std::size_t got = 0;
      try {
        got = stream.Read(chunk.data(), ask);
      } catch (const EDecompressionError&) {
        unreadable();
      }
      if (got < ask) unreadable();
      crc = crc32Of(chunk.data(), got, crc);
      sink(chunk.data(), got);
      produced += got;
      if (got == chunk.size()) DoProgress(stream.Position());
    }
  }
  if (verifyCrc && crc != entry.FileCRC()) fail(ArchiveFailure::CrcError, storedName);
}

fs::path TZLBArchive::destinationOf(const RegistryEntry& entry, const fs::path& DestFolder) const {
  const std::string storedName = entry.StoredName();
  const std::string name = entry.EntryName();
  if (!isSafeEntryName(name)) fail(ArchiveFailure::UnsafePath, storedName);
  std::string target = DestFolder.empty() ? std::string(".") : DestFolder.native();
  if (!isPathSeparator(target.back())) target += '/';
  // Names inside the archive are Windows-1252; the file system's names are UTF-8.
  if (ExtractWithPath) {
    const auto steps = safeFolderSteps(entry.EntryPath());
    if (!steps) fail(ArchiveFailure::UnsafePath, storedName);
    for (const auto& step : *steps) target += utf8From1252(step) + '/';
  }
  return target + utf8From1252(name);
}

bool TZLBArchive::ExtractFile(int Index, const fs::path& DestFolder) {
  if (ArchiveFileName.empty()) fail(ArchiveFailure::NoArchiveOpen);
  const RegistryEntry entry = entryAt(Index);
  const fs::path target = destinationOf(entry, DestFolder);
  const Below below = prepareFoldersBelow(DestFolder.empty() ? fs::path(".") : DestFolder, target);
  if (below == Below::link) fail(ArchiveFailure::UnsafePath, entry.StoredName());
  if (below == Below::unwritable)
    fail(ArchiveFailure::UnableToCreateFile, shown(target), std::strerror(errno));
  const fs::path& nativeTarget = target;
  const bool exists = fileExists(nativeTarget);
  if (exists) {
    bool Replace = true;
    if (OnReplaceFile) OnReplaceFile(target, Replace);
    if (!Replace) return false;
  }
  auto begun = AtomicFile::begin(target);
  if (!begun) fail(ArchiveFailure::UnableToCreateFile, shown(target), begun.reason());
  AtomicFile& temp = begun.value();
  // What failed, on which file, and the system's word on why (a full disk says so).
  const auto writeFailed = [&](const Status& status) {
    fail(ArchiveFailure::UnableToWriteFile, shown(target), status.reason());
  };
  readMember(entry, CheckCRC, [&](const unsigned char* data, std::size_t size) {
    if (const Status written = temp.write(data, size); !written) writeFailed(written);
  });
  const Status committed = temp.commit(SyncLater);
  if (!committed) writeFailed(committed);
  if (OnFileExtracted) OnFileExtracted(target);
  return true;
}

bool TZLBArchive::ExtractFileByName(const std::string& Name, const fs::path& DestFolder) {
  const int index = FindEntry(Name);
  if (index < 0) fail(ArchiveFailure::NotInArchive, Name);
  return ExtractFile(index, DestFolder);
}

void TZLBArchive::ExtractToStream(int Index, std::ostream& Stream) {
  if (ArchiveFileName.empty()) fail(ArchiveFailure::NoArchiveOpen);
  const RegistryEntry entry = entryAt(Index);
  const std::string storedName = entry.StoredName();
  readMember(entry, CheckCRC, [&](const unsigned char* data, std::size_t size) {
    Stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!Stream) fail(ArchiveFailure::UnableToWriteToStream, storedName);
  });
  if (OnStreamExtracted) OnStreamExtracted(storedName);
}

void TZLBArchive::ExtractToStreamByName(const std::string& Name, std::ostream& Stream) {
  const int index = FindEntry(Name);
  if (index < 0) fail(ArchiveFailure::NotInArchive, Name);
  ExtractToStream(index, Stream);
}

void TZLBArchive::TestEntry(int Index) {
  if (ArchiveFileName.empty()) fail(ArchiveFailure::NoArchiveOpen);
  readMember(entryAt(Index), true, [](const unsigned char*, std::size_t) {});
}

}  // namespace vantrel::zlb
