#include "archive/ZLIBArchive.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <unordered_set>

#include "base/FileIo.h"
#include "archive/MemberPacker.h"
#include "base/AtomicFile.h"
#include "base/Win1252.h"

namespace vantrel::zlb {
namespace {

constexpr std::size_t kCopyChunk = 1024 * 1024;
constexpr std::size_t kCrcChunk = 1024 * 1024;
constexpr std::size_t kRegistryChunk = 4096;
constexpr std::uint64_t kFormatLimit = 0xFFFFFFFFu;  // every offset and size is 32-bit

std::string format(const char* pattern, const std::string& value) {
  std::string text = pattern;
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

[[noreturn]] void fail(const std::string& message) { throw EArchiveError(message); }

namespace fs = std::filesystem;

// A path as a message shows it: in Windows-1252 where it can be.
std::string shown(const fs::path& path) {
  return utf8To1252(path.native()).value_or(path.native());
}

std::string recorded(const std::string& native) { return utf8To1252Recorded(native); }

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Splits a path into its folder part (up to and including the last separator) and its name.
void splitPath(const std::string& path, std::string& folder, std::string& name) {
  std::size_t cut = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (isSeparator(path[i])) cut = i + 1;
  }
  folder = path.substr(0, cut);
  name = path.substr(cut);
}

std::string withBackslashes(std::string folder) {
  std::replace(folder.begin(), folder.end(), '/', '\\');
  return folder;
}

std::string cut255(const std::string& text) { return text.substr(0, kMaxStringLength); }

int defaultThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 8u));
}

// Creates the destination file's folders and refuses anything that could leave the
// destination: the recorded folder is always taken below it.
std::vector<std::string> safeFolderSteps(const std::string& entryPath, const std::string& storedName) {
  std::vector<std::string> steps;
  if (entryPath.size() >= 2 && entryPath[1] == ':' &&
      ((entryPath[0] >= 'A' && entryPath[0] <= 'Z') || (entryPath[0] >= 'a' && entryPath[0] <= 'z'))) {
    fail(format("Unsafe path in the archive (%s)", storedName));
  }
  std::string step;
  auto finish = [&] {
    if (step == "..") fail(format("Unsafe path in the archive (%s)", storedName));
    if (!step.empty() && step != ".") steps.push_back(step);
    step.clear();
  };
  for (char c : entryPath) {
    if (c == '\0') fail(format("Unsafe path in the archive (%s)", storedName));
    if (isSeparator(c)) finish();
    else step += c;
  }
  finish();
  return steps;
}

// Feeds a decompression stream from the bytes [begin, end) of a file and nothing beyond, so a
// damaged stream can never read into the next member, the registry or the trailer.
TDecompressionStream::Source sourceBetween(File& file, std::uint64_t begin, std::uint64_t end) {
  return [&file, next = begin, end](unsigned char* buffer, std::size_t capacity) mutable -> std::size_t {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, end - next));
    if (take == 0) return 0;
    const std::int64_t got = file.readAt(next, buffer, take);
    if (got <= 0) throw EDecompressionError("error");
    next += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
  };
}

void checkSafeName(const std::string& name, const std::string& storedName) {
  const bool unsafe = name.empty() || name == "." || name == ".." ||
                      std::any_of(name.begin(), name.end(),
                                  [](char c) { return c == '\0' || isSeparator(c); });
  if (unsafe) fail(format("Unsafe path in the archive (%s)", storedName));
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
      if (!file_.write(bytes, size)) fail("write");
    } else {
      buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
  }

  void flush() {
    if (buffer_.empty()) return;
    const bool written = file_.write(buffer_.data(), buffer_.size()).ok();
    buffer_.clear();
    if (!written) fail("write");
  }

  Mark mark() const { return {length_, crc_}; }

  // Forgets everything written after `mark`; what came before it stays, buffered or not.
  void rollback(const Mark& mark) {
    const std::uint64_t onDisk = length_ - buffer_.size();
    if (mark.length >= onDisk) {
      buffer_.resize(static_cast<std::size_t>(mark.length - onDisk));
    } else {
      buffer_.clear();
      if (!file_.truncateTo(mark.length)) fail("truncate");
    }
    length_ = mark.length;
    crc_ = mark.crc;
  }

  std::uint64_t length() const { return length_; }
  std::uint32_t crc() const { return crc_; }

 private:
  AtomicFile& file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t length_ = 0;
  std::uint32_t crc_ = 0;
};

TZLBArchive::TZLBArchive() = default;

TZLBArchive::~TZLBArchive() {
  Destroying = true;
  if (!ArchiveFileName.empty()) CloseArchive();
}

// ---------------------------------------------------------------------------------------------
// State

void TZLBArchive::forgetArchive() {
  Entries.clear();
  NewArchive = false;
  Trailer = ArchiveTrailer{};
  ArchiveStart = 0;
  ArchiveFileName.clear();
}

void TZLBArchive::CloseArchive() {
  forgetArchive();
  ProgressMode = 5;
  DoProgress();
}

void TZLBArchive::CreateArchive(const fs::path& FileName) {
  CloseArchive();
  ArchiveFileName = FileName;
  if (FileName.empty()) return;
  if (fileExists(FileName)) {
    forgetArchive();
    fail("File already exists");
  }
  NewArchive = true;
  if (OnArchiveOpened) OnArchiveOpened(*this);
}

bool TZLBArchive::OpenArchive(const fs::path& FileName) {
  CloseArchive();
  ArchiveFileName = FileName;
  if (FileName.empty()) return false;
  const fs::path& native = FileName;
  if (!fileExists(native)) {
    forgetArchive();
    fail("Archive file not found");
  }
  File file;
  if (!file.openForReading(native)) {
    forgetArchive();
    fail(format("Unable to open file (%s)", shown(FileName)));
  }
  const std::int64_t size = file.size();
  unsigned char trailerBytes[kTrailerSize];
  if (size < static_cast<std::int64_t>(kTrailerSize) ||
      !file.readExactlyAt(static_cast<std::uint64_t>(size) - kTrailerSize, trailerBytes, kTrailerSize)) {
    forgetArchive();
    fail("The archive file appears to be corrupted");
  }
  // The trailer alone tells where the archive starts: behind a program it does not start at 0.
  // A writer that left RegistrySize out still gets its archive read as a file of its own.
  const ArchiveTrailer trailer = ArchiveTrailer::fromBytes(trailerBytes);
  const std::uint64_t fileSize = static_cast<std::uint64_t>(size);
  const std::uint64_t beforeTrailer = fileSize - kTrailerSize;
  const std::uint64_t archiveBody = trailer.registryLength() + trailer.RegistryOffset;
  std::optional<std::uint64_t> start;
  if (archiveBody <= beforeTrailer &&
      StreamCRC(file, beforeTrailer - archiveBody, kTrailerSize) == trailer.ArchiveCRC) {
    start = beforeTrailer - archiveBody;
  } else if (archiveBody != beforeTrailer && trailer.RegistryOffset <= beforeTrailer &&
             StreamCRC(file, 0, kTrailerSize) == trailer.ArchiveCRC) {
    start = 0;
  }
  if (!start) {
    forgetArchive();
    fail("The archive file appears to be corrupted");
  }
  Trailer = trailer;
  ArchiveStart = *start;
  try {
    loadRegistry(file, fileSize);
    if (OnArchiveOpened) OnArchiveOpened(*this);
  } catch (...) {
    CloseArchive();
    fail("Unable to read archive file list");
  }
  file.close();
  ProgressMode = 5;
  DoProgress();
  return true;
}

void TZLBArchive::loadRegistry(File& file, std::uint64_t fileSize) {
  if (Trailer.EntryCount <= 0) return;
  const std::uint64_t wanted = std::uint64_t(Trailer.EntryCount) * kEntrySize;
  const std::uint64_t registryStart = ArchiveStart + Trailer.RegistryOffset;
  const std::uint64_t registryEnd = fileSize - kTrailerSize;
  const std::uint64_t available = registryEnd - registryStart;
  std::vector<unsigned char> records;

  if (Trailer.RegistryCompressed == 0) {
    if (wanted > available) fail("registry");
    records.resize(wanted);
    if (!file.readExactlyAt(registryStart, records.data(), records.size())) fail("registry");
  } else if (Trailer.RegistryCompressed == 1) {
    // What the stream could at most inflate to; a count beyond it cannot be real.
    if (wanted > available * kMaxInflateRatio + 64) fail("registry");
    TDecompressionStream stream(sourceBetween(file, registryStart, registryEnd));
    ProgressMode = 0;
    ProgressTotal = static_cast<std::int64_t>(wanted);
    ProgressDone = 0;
    ProgressMessage = "Extracting archive registry";
    // Grown as the bytes really arrive, so a false count cannot make us allocate in advance.
    records.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, 1u << 20)));
    unsigned char chunk[kRegistryChunk];
    while (records.size() < wanted) {
      const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(kRegistryChunk, wanted - records.size()));
      const std::size_t got = stream.Read(chunk, ask);
      records.insert(records.end(), chunk, chunk + got);
      ProgressDone += static_cast<std::int64_t>(got);
      DoProgress();
      if (got < ask) fail("registry");
    }
  } else {
    fail("registry");
  }
  Entries.resize(static_cast<std::size_t>(Trailer.EntryCount));
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    std::copy_n(records.data() + i * kEntrySize, kEntrySize, Entries[i].Bytes.data());
  }
}

std::uint32_t TZLBArchive::StreamCRC(File& file, std::uint64_t from, std::uint64_t ExcludeTail) {
  const std::int64_t size = file.size();
  if (size < 0 || static_cast<std::uint64_t>(size) < from + ExcludeTail) return 0;
  std::uint64_t remaining = static_cast<std::uint64_t>(size) - ExcludeTail - from;
  std::uint64_t at = from;
  std::vector<unsigned char> chunk(kCrcChunk);
  std::uint32_t crc = 0;
  while (remaining > 0) {
    const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, chunk.size()));
    const std::int64_t got = file.readAt(at, chunk.data(), ask);
    if (got <= 0) break;  // a file that shrank: the CRC cannot match
    crc = crc32Of(chunk.data(), static_cast<std::size_t>(got), crc);
    at += static_cast<std::uint64_t>(got);
    remaining -= static_cast<std::uint64_t>(got);
  }
  if (remaining > 0) crc = ~crc;
  return crc;
}

// ---------------------------------------------------------------------------------------------
// Lookup

int TZLBArchive::FindEntry(const std::string& Name) const {
  if (ArchiveFileName.empty()) fail("No archive is currently open");
  std::string folder, name;
  splitPath(Name, folder, name);
  // Formed like a stored name, cut as the registry cuts its strings.
  const std::string key = foldAsciiCase(cut255(withBackslashes(folder)) + cut255(name));
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    if (foldAsciiCase(Entries[i].StoredName()) == key) return static_cast<int>(i);
  }
  return -1;
}

RegistryEntry TZLBArchive::GetEntry(int Index) const { return entryAt(Index); }

const RegistryEntry& TZLBArchive::entryAt(int Index) const {
  if (Index < 0 || static_cast<std::size_t>(Index) >= Entries.size()) fail("Index out of bounds");
  return Entries[static_cast<std::size_t>(Index)];
}

// ---------------------------------------------------------------------------------------------
// Progress

void TZLBArchive::DoProgress(std::uint64_t senderPosition) {
  if (Destroying || !OnProgress) return;
  auto percent = [this](double done) {
    if (ProgressTotal == 0) return 0;
    // nearbyint rounds halves to even under the default rounding mode.
    const double value = std::nearbyint(done / static_cast<double>(ProgressTotal) * 100.0);
    return static_cast<int>(std::clamp(value, double(std::numeric_limits<int>::min()),
                                       double(std::numeric_limits<int>::max())));
  };
  switch (ProgressMode) {
    case 0:
    case 1:
    case 4:
      OnProgress(ProgressMessage, percent(static_cast<double>(ProgressDone)));
      break;
    case 2:
    case 3:
      OnProgress(ProgressMessage, percent(static_cast<double>(senderPosition)));
      break;
    default:
      OnProgress(shown(ArchiveFileName), 0);
      break;
  }
}

void TZLBArchive::logError(const std::string& Msg) {
  if (OnErrorLogged) OnErrorLogged(Msg);
}

// ---------------------------------------------------------------------------------------------
// Temporary files and folders

fs::path TZLBArchive::MakeTempFileName() {
  File file;
  if (!file.createUnique(systemTempFolder(), "ZLB")) {
    fail(format("Unable to create file (%s)", shown(systemTempFolder() / "ZLB")));
  }
  fs::path path = file.path();
  file.close();
  return path;
}

void TZLBArchive::AddFolder(const fs::path& Folder, std::vector<fs::path>& Files) {
  std::string folder = Folder.native();
  if (folder.size() > 1 && isSeparator(folder.back())) folder.pop_back();
  std::vector<fs::path> found;
  std::error_code error;
  fs::directory_iterator it(fs::path(folder), error);
  if (error) {
    logError(format("Unable to open file (%s)", shown(folder)));
    return;
  }
  const std::string prefix = folder == "/" ? folder : folder + "/";
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) {
      logError(format("Unable to open file (%s)", shown(folder)));
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
      logError(format("Unable to open file (%s)", recorded(prefix) + shown));
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
  if (ArchiveFileName.empty()) fail("No archive is currently open");
  if (!NewArchive && ArchiveStart > 0) fail("The archive is part of a larger file and cannot be changed");
  expandFolders(Files);

  // The new archive is written beside the old one, so that it can replace it by one rename.
  auto begun = AtomicFile::begin(ArchiveFileName);
  if (!begun && fileExists(ArchiveFileName)) {
    // Something that must not be replaced stands under the archive's name.
    const fs::path name = ArchiveFileName;
    reloadAfterFailure();
    fail(format("Unable to replace the archive file (%s)", shown(name)));
  }
  if (!begun) {
    fail(format("Datei %s kann nicht ge\xF6" "ffnet werden", shown(folderOf(ArchiveFileName) / "ZLBXXXXXX")));
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
  if (const Status committed = temp.commit(); !committed) {
    reloadAfterFailure();
    fail(format("Unable to replace the archive file (%s)", shown(name)));
  }
  // Reading the new archive back is its check: a failure here means the file that now
  // stands under the archive's name is unusable, which the caller must learn (Closed then).
  CloseArchive();
  OpenArchive(name);
}

void TZLBArchive::reloadAfterFailure() {
  const fs::path name = ArchiveFileName;
  const bool wasNew = NewArchive;
  CloseArchive();
  if (wasNew) return;
  try {
    OpenArchive(name);
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
    ~ConsumeProcessed() { files.erase(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(count)); }
  } consume{Files, processed};

  for (std::size_t i = 0; i < Files.size(); ++i) {
    const fs::path& sourcePath = Files[i];
    const std::string source = shown(sourcePath);
    std::string folder, name;
    splitPath(recorded(sourcePath.native()), folder, name);
    const std::string storedPath = SavePaths ? cut255(withBackslashes(folder)) : std::string();
    const std::string key = foldAsciiCase(storedPath + cut255(name));
    if (storedNames.count(key) > 0) {
      logError(format("%s already exists in the archive", source));
    }
    ProgressMode = 2;
    ProgressDone = 0;
    ProgressMessage = format("Updating %s", source);
    const ArchiveWriter::Mark before = out.mark();
    try {
      PackedMember packed = pipeline.take(i, [this](std::uint64_t position, std::uint64_t total) {
        ProgressTotal = static_cast<std::int64_t>(total);
        DoProgress(position);
      });
      ProgressTotal = static_cast<std::int64_t>(packed.sizeAtOpen);
      for (const std::uint64_t position : packed.progressPositions) DoProgress(position);
      if (!utf8To1252(sourcePath.filename().native())) fail("name");  // cannot be recorded
      appendMember(sourcePath, packed, out);
      storedNames.insert(key);
    } catch (...) {
      out.rollback(before);
      logError(format("Unable to open file (%s)", source));
    }
    processed = i + 1;
  }
  WriteRegistry(out);
}

void TZLBArchive::copyMemberArea(ArchiveWriter& out) {
  File archive;
  if (!archive.openForReading(ArchiveFileName)) fail(format("Unable to open file (%s)", shown(ArchiveFileName)));
  std::vector<unsigned char> chunk(kCopyChunk);
  std::uint64_t at = ArchiveStart;
  std::uint64_t remaining = Trailer.RegistryOffset;
  while (remaining > 0) {
    const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, chunk.size()));
    if (!archive.readExactlyAt(at, chunk.data(), ask)) fail(format("Unable to open file (%s)", shown(ArchiveFileName)));
    out.write(chunk.data(), ask);
    at += ask;
    remaining -= ask;
  }
}

void TZLBArchive::appendMember(const fs::path& SourcePath, PackedMember& packed, ArchiveWriter& out) {
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
  if (out.length() + stored > kFormatLimit) fail("too large");

  if (compressed && !packed.workFile.isOpen()) {
    out.write(packed.memory.data(), packed.memory.size());
  } else {
    File& from = compressed ? packed.workFile : packed.source;
    thread_local std::vector<unsigned char> chunk(kCopyChunk);
    std::uint64_t at = 0;
    std::uint32_t crc = 0;
    while (at < stored) {
      const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(stored - at, chunk.size()));
      if (!from.readExactlyAt(at, chunk.data(), ask)) fail("read");
      if (!compressed) crc = crc32Of(chunk.data(), ask, crc);
      out.write(chunk.data(), ask);
      at += ask;
    }
    // A source changed between the two reads would not match its recorded CRC.
    if (!compressed && crc != packed.crc) fail("changed");
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
    ProgressMessage = "Writing archive registry";
    TCompressionStream stream(CompressionLevel, [&out](const unsigned char* data, std::size_t size) {
      out.write(data, size);
    });
    stream.OnProgress = [this](const TCompressionStream& sender) { DoProgress(sender.Position()); };
    stream.Write(records.data(), records.size());
    stream.Finish();
    if (out.length() > kFormatLimit) fail("too large");
    trailer.RegistrySize = static_cast<std::uint32_t>(out.length() - before.length);
    trailer.RegistryCompressed = 1;
  } catch (...) {
    out.rollback(before);
    for (const auto& entry : Entries) out.write(entry.Bytes.data(), entry.Bytes.size());
    trailer.RegistrySize = 0;
    trailer.RegistryCompressed = 0;
  }
  if (out.length() > kFormatLimit) fail("too large");
  trailer.EntryCount = static_cast<std::int32_t>(Entries.size());
  trailer.AlwaysOne = 1;
  trailer.ArchiveCRC = out.crc();
  const auto bytes = trailer.toBytes();
  out.write(bytes.data(), bytes.size());
}

// ---------------------------------------------------------------------------------------------
// Extraction

void TZLBArchive::readMember(const RegistryEntry& entry, bool verifyCrc,
                             const std::function<void(const unsigned char*, std::size_t)>& sink) {
  const std::string storedName = entry.StoredName();
  const std::string unreadable = format("Unable to read %s from the archive", storedName);
  const std::uint64_t offset = entry.DataOffset();
  const std::uint64_t stored = entry.StoredSize();
  const std::uint64_t size = entry.FileSize();
  // Member bytes lie in the member data area, before the registry.
  if (offset + stored > Trailer.RegistryOffset) fail(unreadable);
  if (entry.StoredRaw() && stored != size) fail(unreadable);

  File file;
  if (!file.openForReading(ArchiveFileName)) fail(format("Unable to open file (%s)", shown(ArchiveFileName)));
  const std::uint64_t begin = ArchiveStart + offset;
  const std::uint64_t end = begin + stored;

  ProgressMessage = format("Extracting %s", storedName);
  ProgressTotal = static_cast<std::int64_t>(size);
  ProgressDone = 0;
  std::vector<unsigned char> chunk(kStreamBufferSize);
  std::uint32_t crc = 0;
  std::uint64_t produced = 0;
  if (entry.StoredRaw()) {
    ProgressMode = 1;
    while (produced < size) {
      const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(size - produced, chunk.size()));
      if (!file.readExactlyAt(begin + produced, chunk.data(), ask)) fail(unreadable);
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
      const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(size - produced, chunk.size()));
      std::size_t got = 0;
      try {
        got = stream.Read(chunk.data(), ask);
      } catch (const EDecompressionError&) {
        fail(unreadable);
      }
      if (got < ask) fail(unreadable);
      crc = crc32Of(chunk.data(), got, crc);
      sink(chunk.data(), got);
      produced += got;
      if (got == chunk.size()) DoProgress(stream.Position());
    }
  }
  if (verifyCrc && crc != entry.FileCRC()) fail(format("CRC error in %s", storedName));
}

fs::path TZLBArchive::destinationOf(const RegistryEntry& entry, const fs::path& DestFolder) const {
  const std::string storedName = entry.StoredName();
  const std::string name = entry.EntryName();
  checkSafeName(name, storedName);
  std::string target = DestFolder.empty() ? std::string(".") : DestFolder.native();
  if (!isSeparator(target.back())) target += '/';
  // Names inside the archive are Windows-1252; the file system's names are UTF-8.
  if (ExtractWithPath) {
    for (const auto& step : safeFolderSteps(entry.EntryPath(), storedName)) target += utf8From1252(step) + '/';
  }
  return target + utf8From1252(name);
}

bool TZLBArchive::ExtractFile(int Index, const fs::path& DestFolder) {
  if (ArchiveFileName.empty()) fail("No archive is currently open");
  const RegistryEntry entry = entryAt(Index);
  const fs::path target = destinationOf(entry, DestFolder);
  const fs::path& nativeTarget = target;
  const bool exists = fileExists(nativeTarget);
  if (exists) {
    bool Replace = true;
    if (OnReplaceFile) OnReplaceFile(target, Replace);
    if (!Replace) return false;
  }
  std::error_code error;
  fs::create_directories(folderOf(target), error);
  auto begun = AtomicFile::begin(target);
  if (error || !begun) fail(format("Unable to create file (%s)", shown(target)));
  AtomicFile& temp = begun.value();
  readMember(entry, CheckCRC, [&](const unsigned char* data, std::size_t size) {
    if (!temp.write(data, size)) fail(format("Unable to create file (%s)", shown(target)));
  });
  if (!temp.commit()) fail(format("Unable to create file (%s)", shown(target)));
  if (OnFileExtracted) OnFileExtracted(target);
  return true;
}

bool TZLBArchive::ExtractFileByName(const std::string& Name, const fs::path& DestFolder) {
  const int index = FindEntry(Name);
  if (index < 0) fail(format("%s not found in the archive", Name));
  return ExtractFile(index, DestFolder);
}

void TZLBArchive::ExtractToStream(int Index, std::ostream& Stream) {
  if (ArchiveFileName.empty()) fail("No archive is currently open");
  const RegistryEntry entry = entryAt(Index);
  const std::string storedName = entry.StoredName();
  readMember(entry, CheckCRC, [&](const unsigned char* data, std::size_t size) {
    Stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!Stream) fail(format("Unable to write %s to the stream", storedName));
  });
  if (OnStreamExtracted) OnStreamExtracted(storedName);
}

void TZLBArchive::ExtractToStreamByName(const std::string& Name, std::ostream& Stream) {
  const int index = FindEntry(Name);
  if (index < 0) fail(format("%s not found in the archive", Name));
  ExtractToStream(index, Stream);
}

void TZLBArchive::TestEntry(int Index) {
  if (ArchiveFileName.empty()) fail("No archive is currently open");
  readMember(entryAt(Index), true, [](const unsigned char*, std::size_t) {});
}

}  // namespace vantrel::zlb
