// TZLBArchive, writing: AddFiles with its folder expansion and temporary files, and the writer
// that lays the members, the registry and the trailer into a new file which then replaces the
// archive by one rename.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "archive/ArchiveInternal.h"
#include "archive/ArchiveMessages.h"
#include "archive/MemberPacker.h"
#include "archive/PathSafety.h"
#include "archive/ZLIBArchive.h"
#include "base/AtomicFile.h"
#include "base/FileIo.h"
#include "base/TemporaryFiles.h"
#include "base/Win1252.h"

namespace vantrel::zlb {

using namespace detail;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCopyChunk = std::size_t{1024} * 1024;
constexpr std::uint64_t kFormatLimit = 0xFFFFFFFFu;  // every offset and size is 32-bit

int defaultThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 8u));
}

}  // namespace

// Appends to the temporary archive through a large buffer, keeping the file length and the
// running CRC-32 of everything written, so the trailer's CRC needs no second pass.
class ArchiveWriter {
 public:
  struct Mark {
    std::uint64_t length;
    std::uint32_t crc;
  };

  explicit ArchiveWriter(AtomicFile& file) : file_(file) { buffer_.reserve(kCopyChunk); }

  void write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    crc_ = crc32Of(bytes, size, crc_);
    length_ += size;
    if (buffer_.size() + size > kCopyChunk) flush();
    if (size >= kCopyChunk) {
      if (!file_.write(bytes, size)) fail(ArchiveFailure::ReasonWrite);
    } else {
      buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
  }

  void flush() {
    if (buffer_.empty()) return;
    const bool written = file_.write(buffer_.data(), buffer_.size()).ok();
    buffer_.clear();
    if (!written) fail(ArchiveFailure::ReasonWrite);
  }

  [[nodiscard]] Mark mark() const { return {length_, crc_}; }

  // Forgets everything written after `mark`; what came before it stays, buffered or not.
  void rollback(const Mark& mark) {
    const std::uint64_t onDisk = length_ - buffer_.size();
    if (mark.length >= onDisk) {
      buffer_.resize(static_cast<std::size_t>(mark.length - onDisk));
    } else {
      buffer_.clear();
      if (!file_.truncateTo(mark.length)) fail(ArchiveFailure::ReasonTruncate);
    }
    length_ = mark.length;
    crc_ = mark.crc;
  }

  [[nodiscard]] std::uint64_t length() const { return length_; }
  [[nodiscard]] std::uint32_t crc() const { return crc_; }

 private:
  AtomicFile& file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t length_ = 0;
  std::uint32_t crc_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Temporary files and folders

fs::path TZLBArchive::MakeTempFileName() {
  const StopSignalsHeld held;
  File file;
  if (!file.createUnique(systemTempFolder(), "ZLB")) {
    fail(ArchiveFailure::UnableToCreateFile, shown(systemTempFolder() / "ZLB"),
         std::strerror(errno));
  }
  fs::path path = file.path();
  static_cast<void>(file.close());  // nothing was written: the name is all that counts
  registerTemporary(path);
  return path;
}

void TZLBArchive::AddFolder(const fs::path& Folder, std::vector<fs::path>& Files) {
  std::string folder = Folder.native();
  if (folder.size() > 1 && isPathSeparator(folder.back())) folder.pop_back();
  std::vector<fs::path> found;
  std::error_code error;
  fs::directory_iterator it(fs::path(folder), error);
  if (error) {
    logError(formatMessage(kUnableToOpenFile, shown(folder)));
    return;
  }
  const std::string prefix = folder == "/" ? folder : folder + "/";
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) {
      logError(formatMessage(kUnableToOpenFile, shown(folder)));
      break;
    }
    const std::string nativeName = it->path().filename().string();
    const auto name = utf8To1252(nativeName);
    if (!name) {
      // Windows-1252 cannot hold this name, so it cannot be recorded; the message shows
      // what it can of it.
      std::string shown = nativeName;
      for (char& c : shown) {
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
      }
      logError(formatMessage(kUnableToOpenFile, recorded(prefix) + shown));
      continue;
    }
    std::error_code kindError;
    const bool isLink = it->is_symlink(kindError);
    const bool isDirectory = it->is_directory(kindError);
    if (isDirectory) {
      if (RecursePaths && !isLink) AddFolder(prefix + nativeName, Files);
    } else {
      found.push_back(prefix + nativeName);
    }
  }
  Files.insert(Files.end(), found.begin(), found.end());
}

// ---------------------------------------------------------------------------------------------
// Adding files

void TZLBArchive::expandFolders(std::vector<fs::path>& Files) {
  std::size_t i = 0;
  while (i < Files.size()) {
    if (isFolder(Files[i])) {
      const fs::path folder = Files[i];
      if (RecursePaths) AddFolder(folder, Files);
      Files.erase(Files.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

void TZLBArchive::AddFiles(std::vector<fs::path>& Files) {
  if (ArchiveFileName.empty()) fail(ArchiveFailure::NoArchiveOpen);
  if (!NewArchive && ArchiveStart > 0) fail(ArchiveFailure::ArchiveInsideLargerFile);
  expandFolders(Files);

  // The new archive is written beside the old one, so that it can replace it by one rename.
  auto begun = AtomicFile::begin(ArchiveFileName);
  if (!begun && fileExists(ArchiveFileName)) {
    // Something that must not be replaced stands under the archive's name.
    const fs::path name = ArchiveFileName;
    reloadAfterFailure();
    fail(ArchiveFailure::UnableToReplaceArchive, shown(name));
  }
  if (!begun) {
    fail(ArchiveFailure::CannotCreateTemporaryArchive,
         shown(folderOf(ArchiveFileName) / "ZLBXXXXXX"));
  }
  AtomicFile& temp = begun.value();

  bool written = false;
  try {
    ArchiveWriter out(temp);
    writeNewArchive(Files, out);
    out.flush();
    written = true;
  } catch (...) {
  }
  const fs::path name = ArchiveFileName;
  if (!written) {
    temp.discard();
    reloadAfterFailure();
    return;
  }
  const Status committed = temp.commit(SyncLater);
  if (!committed) {
    reloadAfterFailure();
    fail(ArchiveFailure::UnableToReplaceArchive, shown(name));
  }
  // Reading the new archive back is its check: a failure here means the file that now
  // stands under the archive's name is unusable, which the caller must learn (Closed then).
  CloseArchive();
  static_cast<void>(OpenArchive(name));  // the name was checked on entry: only a throw fails here
}

void TZLBArchive::reloadAfterFailure() {
  const fs::path name = ArchiveFileName;
  const bool wasNew = NewArchive;
  CloseArchive();
  if (wasNew) return;
  try {
    static_cast<void>(OpenArchive(name));  // never empty here: the archive was open
  } catch (...) {
    // Whatever is on disk cannot be read any more: stay Closed.
  }
}

void TZLBArchive::writeNewArchive(std::vector<fs::path>& Files, ArchiveWriter& out) {
  if (!NewArchive) copyMemberArea(out);

  std::vector<fs::path> paths(Files.begin(), Files.end());
  std::mutex tempNameLock;
  WorkFileMaker makeWorkFile = [this, &tempNameLock] {
    std::lock_guard lock(tempNameLock);
    return MakeTempFileName();
  };
  const int threads = CompressionThreads > 0 ? CompressionThreads : defaultThreadCount();
  PackPipeline pipeline(std::move(paths), CompressionLevel, makeWorkFile, threads);

  // The stored names present so far, folded as FindEntry compares them: one lookup per file
  // instead of a pass over all entries, which would make adding many files quadratic.
  std::unordered_set<std::string> storedNames;
  for (const auto& entry : Entries) storedNames.insert(foldAsciiCase(entry.StoredName()));

  // Processed paths leave the list together at the end (also when a failure stops the loop):
  // erasing the front one by one would make a long list quadratic.
  std::size_t processed = 0;
  struct ConsumeProcessed {
    std::vector<fs::path>& files;
    std::size_t& count;
    ~ConsumeProcessed() {
      files.erase(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(count));
    }
  } consume{Files, processed};

  for (std::size_t i = 0; i < Files.size(); ++i) {
    const fs::path& sourcePath = Files[i];
    const std::string source = shown(sourcePath);
    std::string folder, name;
    splitPath(recorded(sourcePath.native()), folder, name);
    const std::string storedPath = SavePaths ? cut255(withBackslashes(folder)) : std::string();
    const std::string key = foldAsciiCase(storedPath + cut255(name));
    if (storedNames.count(key) > 0) {
      logError(formatMessage(kAlreadyInArchive, source));
    }
    ProgressMode = 2;
    ProgressDone = 0;
    ProgressMessage = formatMessage(kProgressUpdating, source);
    const ArchiveWriter::Mark before = out.mark();
    try {
      PackedMember packed = pipeline.take(i, [this](std::uint64_t position, std::uint64_t total) {
        ProgressTotal = static_cast<std::int64_t>(total);
        DoProgress(position);
      });
      ProgressTotal = static_cast<std::int64_t>(packed.sizeAtOpen);
      for (const std::uint64_t position : packed.progressPositions) DoProgress(position);
      if (!utf8To1252(sourcePath.filename().native()))
        fail(ArchiveFailure::ReasonName);  // cannot be recorded
      appendMember(sourcePath, packed, out);
      storedNames.insert(key);
    } catch (...) {
      out.rollback(before);
      logError(formatMessage(kUnableToOpenFile, source));
    }
    processed = i + 1;
  }
  WriteRegistry(out);
}

void TZLBArchive::copyMemberArea(ArchiveWriter& out) {
  const auto unreadable = [this] {
    fail(ArchiveFailure::UnableToOpenFile, shown(ArchiveFileName));
  };
  File archive;
  if (!archive.openForReading(ArchiveFileName)) unreadable();
  std::vector<unsigned char> chunk(kCopyChunk);
  std::uint64_t at = ArchiveStart;
  std::uint64_t remaining = Trailer.RegistryOffset;
  while (remaining > 0) {
    const std::size_t ask =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, chunk.size()));
    if (!archive.readExactlyAt(at, chunk.data(), ask)) unreadable();
    out.write(chunk.data(), ask);
    at += ask;
    remaining -= ask;
  }
}

void TZLBArchive::appendMember(const fs::path& SourcePath, PackedMember& packed,
                               ArchiveWriter& out) {
  RegistryEntry entry;
  std::string folder, name;
  splitPath(recorded(SourcePath.native()), folder, name);
  entry.SetEntryName(name);
  if (SavePaths) entry.SetEntryPath(withBackslashes(folder));
  entry.SetFileCRC(packed.crc);
  entry.SetFileSize(static_cast<std::uint32_t>(packed.bytesRead));
  entry.SetDataOffset(static_cast<std::uint32_t>(out.length()));
  const bool compressed = packed.compressedSize < packed.bytesRead;
  const std::uint64_t stored = compressed ? packed.compressedSize : packed.bytesRead;
  // The member must end where a 32-bit offset can still point.
  if (out.length() + stored > kFormatLimit) fail(ArchiveFailure::ReasonTooLarge);

  if (compressed && !packed.workFile.isOpen()) {
    out.write(packed.memory.data(), packed.memory.size());
  } else {
    File& from = compressed ? packed.workFile : packed.source;
    thread_local std::vector<unsigned char> chunk(kCopyChunk);
    std::uint64_t at = 0;
    std::uint32_t crc = 0;
    while (at < stored) {
      const std::size_t ask =
          static_cast<std::size_t>(std::min<std::uint64_t>(stored - at, chunk.size()));
      if (!from.readExactlyAt(at, chunk.data(), ask)) fail(ArchiveFailure::ReasonRead);
      if (!compressed) crc = crc32Of(chunk.data(), ask, crc);
      out.write(chunk.data(), ask);
      at += ask;
    }
    // A source changed between the two reads would not match its recorded CRC.
    if (!compressed && crc != packed.crc) fail(ArchiveFailure::ReasonChanged);
  }
  entry.SetStoredSize(static_cast<std::uint32_t>(stored));
  entry.SetStoredRaw(!compressed);
  entry.SetLevelUsed(compressed ? static_cast<std::uint8_t>(CompressionLevel) : 0);
  Entries.push_back(entry);
}

void TZLBArchive::WriteRegistry(ArchiveWriter& out) {
  ArchiveTrailer trailer;
  trailer.RegistryOffset = static_cast<std::uint32_t>(out.length());
  const ArchiveWriter::Mark before = out.mark();
  try {
    std::vector<unsigned char> records(Entries.size() * kEntrySize);
    for (std::size_t i = 0; i < Entries.size(); ++i) {
      std::copy(Entries[i].Bytes.begin(), Entries[i].Bytes.end(), records.data() + i * kEntrySize);
    }
    ProgressMode = 4;
    ProgressTotal = static_cast<std::int64_t>(records.size());
    ProgressDone = 0;
    ProgressMessage = kProgressWritingRegistry;
    TCompressionStream stream(
        CompressionLevel,
        [&out](const unsigned char* data, std::size_t size) { out.write(data, size); });
    stream.OnProgress = [this](const TCompressionStream& sender) { DoProgress(sender.Position()); };
    stream.Write(records.data(), records.size());
    stream.Finish();
    if (out.length() > kFormatLimit) fail(ArchiveFailure::ReasonTooLarge);
    trailer.RegistrySize = static_cast<std::uint32_t>(out.length() - before.length);
    trailer.RegistryCompressed = 1;
  } catch (...) {
    out.rollback(before);
    for (const auto& entry : Entries) out.write(entry.Bytes.data(), entry.Bytes.size());
    trailer.RegistrySize = 0;
    trailer.RegistryCompressed = 0;
  }
  if (out.length() > kFormatLimit) fail(ArchiveFailure::ReasonTooLarge);
  trailer.EntryCount = static_cast<std::int32_t>(Entries.size());
  trailer.AlwaysOne = 1;
  trailer.ArchiveCRC = out.crc();
  const auto bytes = trailer.toBytes();
  out.write(bytes.data(), bytes.size());
}

}  // namespace vantrel::zlb
