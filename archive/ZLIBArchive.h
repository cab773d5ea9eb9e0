#pragma once
// TZLBArchive: packs files into a ZLB archive (see ArchiveFormat.h), opens archives (also one
// appended to a larger file, such as a built program) and extracts their members.
//
// Text. File paths are std::filesystem::path, the file system's own names. Stored names and
// messages are Windows-1252, like the rest of the model: a file whose name Windows-1252 cannot
// hold cannot be recorded and is logged like any unreadable file; a recorded folder keeps "_"
// for each character Windows-1252 cannot hold (extraction never depends on it leaving the
// destination); a path in a message is shown in Windows-1252 where it can be.
//
// Paths. "/" and "\" both separate folders. The recorded folder (`EntryPath`, with `SavePaths`)
// uses "\" as separator; a colon is an ordinary character, so nothing is stripped as a drive.
//
// Failures are exceptions (EArchiveError, ECompressionError, EDecompressionError) whose what()
// is one of the texts of archive/ArchiveMessages.h, exactly; that table also says when each is
// raised. Per-file problems while adding go to OnErrorLogged instead; their texts and the
// progress texts are in the same table. The checks that refuse a stored name or recorded folder
// leaving the destination are archive/PathSafety.h.
//
// Extraction choices. A member is written to a new file in its destination folder which then
// replaces the target by a rename, so a failed extraction never leaves a half-written or
// unverified file behind. An existing target is replaced unless OnReplaceFile sets Replace to
// false (Replace is true when the handler is called; without a handler files are replaced); a
// member not replaced is skipped and not reported as extracted. With ExtractWithPath the
// recorded folder, "\" turned into "/", is joined below the destination folder (its leading
// "\" does not make it absolute); missing folders are created. Below the destination nothing
// is followed: a symbolic link as one of the member's folders or as its target is refused
// like an unsafe name (the destination itself may be a link). Only regular files are opened,
// as archive and as source; a FIFO is refused without waiting. A registry with two members
// sharing stored bytes, or larger than its archive could honestly hold, is refused on opening.
// Temporary files (the new archive beside the target, work files in the temporary folder)
// are registered with base/TemporaryFiles.h, so a program that asks for it removes them when
// stopped by a signal. OnFileExtracted gets the full
// path of the written file, OnStreamExtracted the member's stored name. Progress:
// kProgressExtracting (stored name) per 65,536 bytes of content, mode 3 for inflated members
// (bytes produced / FileSize), mode 1 for raw ones.
//
// Threads. All events are raised on the caller's thread, in the same order and with the same
// values whatever CompressionThreads is. With more than one thread, AddFiles compresses the
// next members on worker threads while the caller's thread appends them in order; a worker's
// progress events are delivered when its member is appended. MakeTempFileName may then be
// called from a worker thread (never two calls at once).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ZlibStreams.h"
#include "base/Error.h"

namespace vantrel {
class File;
class SyncBatch;
}  // namespace vantrel

namespace vantrel::zlb {

class EArchiveError : public Error {
 public:
  using Error::Error;
};

class ArchiveWriter;
struct PackedMember;

class TZLBArchive {
 public:
  using TNotifyEvent = std::function<void(TZLBArchive& Sender)>;
  using TErrorLogEvent = std::function<void(const std::string& Msg)>;
  using TProgressEvent = std::function<void(const std::string& Msg, int Percentage)>;
  using TReplaceFileEvent =
      std::function<void(const std::filesystem::path& Filename, bool& Replace)>;
  using TFileExtractedEvent = std::function<void(const std::filesystem::path& filename)>;
  using TStreamExtractedEvent = std::function<void(const std::string& storedName)>;

  TZLBArchive();
  virtual ~TZLBArchive();
  TZLBArchive(const TZLBArchive&) = delete;
  TZLBArchive& operator=(const TZLBArchive&) = delete;

  // Published properties.
  TFileCompressionLevel CompressionLevel = TFileCompressionLevel::fcDefault;
  bool ExtractWithPath = false;
  bool CheckCRC = false;
  bool SavePaths = false;
  bool RecursePaths = false;
  // Events; each is optional.
  TReplaceFileEvent OnReplaceFile;
  TFileExtractedEvent OnFileExtracted;
  TNotifyEvent OnArchiveOpened;
  TStreamExtractedEvent OnStreamExtracted;
  TErrorLogEvent OnErrorLogged;
  TProgressEvent OnProgress;
  // Where the files the archive writes (extracted members, the archive itself) are synced:
  // null, each before it replaces its target; otherwise each replaces its target at once and
  // the caller's SyncLater->flush() syncs them all, which must succeed before the files are
  // reported as written.
  SyncBatch* SyncLater = nullptr;
  // Threads that compress members in AddFiles, the caller's included; 0 = one per core.
  // The archive's bytes do not depend on it.
  int CompressionThreads = 0;

  // Starts a new, empty archive under a name that must not exist yet; nothing is written
  // before AddFiles. An empty name leaves the component Closed.
  void CreateArchive(const std::filesystem::path& FileName);
  // Opens an archive file (or a file that ends with one) and loads its registry. False only
  // for an empty name.
  [[nodiscard]] bool OpenArchive(const std::filesystem::path& FileName);
  // The same for an archive that ends at `ArchiveEnd`, before bytes of the file that are not its
  // own (a signed Windows program's certificate table).
  [[nodiscard]] bool OpenArchiveEndingAt(const std::filesystem::path& FileName,
                                         std::uint64_t ArchiveEnd);
  void CloseArchive();
  // Adds every file (folders expanded, see RecursePaths) by writing the archive anew; the
  // list is consumed. Per-file problems go to OnErrorLogged.
  void AddFiles(std::vector<std::filesystem::path>& Files);
  // Index of the first entry whose stored name matches Name (ASCII case folded), or -1.
  [[nodiscard]] int FindEntry(const std::string& Name) const;
  [[nodiscard]] RegistryEntry GetEntry(int Index) const;
  [[nodiscard]] int Count() const { return static_cast<int>(Entries.size()); }

  // Extraction. The file variants return false when OnReplaceFile declined to replace.
  [[nodiscard]] bool ExtractFile(int Index, const std::filesystem::path& DestFolder);
  [[nodiscard]] bool ExtractFileByName(const std::string& Name,
                                       const std::filesystem::path& DestFolder);
  void ExtractToStream(int Index, std::ostream& Stream);
  void ExtractToStreamByName(const std::string& Name, std::ostream& Stream);
  // Inflates a member and checks its CRC-32 (whatever CheckCRC says) without writing it.
  void TestEntry(int Index);

  // Current state.
  [[nodiscard]] const std::filesystem::path& GetArchiveFileName() const { return ArchiveFileName; }
  [[nodiscard]] bool IsNewArchive() const { return NewArchive; }
  [[nodiscard]] const ArchiveTrailer& GetTrailer() const { return Trailer; }
  // Offset of the archive's first byte in its file: 0 for a plain archive file.
  [[nodiscard]] std::uint64_t GetArchiveStart() const { return ArchiveStart; }

  // Full path of a new, empty, uniquely named "ZLB..." file in the system's temporary folder.
  virtual std::filesystem::path MakeTempFileName();
  // Appends the files found in Folder (and in its sub-folders with RecursePaths) to Files.
  // A sub-folder's own path is never listed; sub-folders reached through a symbolic link are
  // not entered (a link loop would never end).
  virtual void AddFolder(const std::filesystem::path& Folder,
                         std::vector<std::filesystem::path>& Files);

 protected:
  // CRC-32 of a file's bytes from `from` up to `size - ExcludeTail`.
  static std::uint32_t StreamCRC(File& file, std::uint64_t from, std::uint64_t ExcludeTail);
  void DoProgress(std::uint64_t senderPosition = 0);
  void WriteRegistry(ArchiveWriter& out);

  std::uint8_t ProgressMode = 5;
  std::string ProgressMessage;
  std::int64_t ProgressTotal = 0;
  std::int64_t ProgressDone = 0;

 private:
  void forgetArchive();
  bool openUpTo(const std::filesystem::path& FileName, std::optional<std::uint64_t> ArchiveEnd);
  void loadRegistry(File& file, std::uint64_t archiveEnd);
  void expandFolders(std::vector<std::filesystem::path>& Files);
  void writeNewArchive(std::vector<std::filesystem::path>& Files, ArchiveWriter& out);
  void copyMemberArea(ArchiveWriter& out);
  void appendMember(const std::filesystem::path& SourcePath, PackedMember& packed,
                    ArchiveWriter& out);
  void reloadAfterFailure();
  void logError(const std::string& Msg);

  // Extraction helpers.
  [[nodiscard]] const RegistryEntry& entryAt(int Index) const;
  void readMember(const RegistryEntry& entry, bool verifyCrc,
                  const std::function<void(const unsigned char*, std::size_t)>& sink);
  [[nodiscard]] std::filesystem::path destinationOf(const RegistryEntry& entry,
                                                    const std::filesystem::path& DestFolder) const;

  bool NewArchive = false;
  std::filesystem::path ArchiveFileName;
  ArchiveTrailer Trailer;
  std::vector<RegistryEntry> Entries;
  std::uint64_t ArchiveStart = 0;
  bool Destroying = false;
};

}  // namespace vantrel::zlb
