#pragma once
// Every text the archive component raises, logs or reports as progress, each with the moment
// it is used. Callers compare what() with these texts, so they are kept exactly; "%s" stands
// for one value, filled in by formatMessage. The texts are Windows-1252, like the model, and so
// is every value put into them (a path is shown in Windows-1252 where it can be).

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Failure.h"
#include "base/Win1252.h"

namespace vantrel::zlb {

// Puts `value` in place of the first "%s" of `pattern`; a "%s" inside the value stays as it is.
inline std::string formatMessage(std::string_view pattern, std::string_view value) {
  return filledIn(pattern, {std::string(value)});
}

// ---------------------------------------------------------------------------------------------
// Raised by TZLBArchive as EArchiveError.

// AddFiles, FindEntry and every extraction call while no archive is open.
inline constexpr std::string_view kNoArchiveOpen = "No archive is currently open";
// CreateArchive with the name of something that exists already.
inline constexpr std::string_view kFileAlreadyExists = "File already exists";
// OpenArchive with a name under which nothing exists.
inline constexpr std::string_view kArchiveNotFound = "Archive file not found";
// %s: a path. Raised when the archive file cannot be read: by OpenArchive, and by extraction
// when the open archive cannot be opened again (AddFiles, copying the members of the open
// archive, is stopped by it like by a failed write: see the reasons at the end).
// Logged by AddFiles for a source that is left out (its path): it cannot be opened or read,
// Windows-1252 cannot hold its name, it changed while it was read, or it would not fit below
// the format's 32-bit offsets; and by AddFolder for a folder it cannot list, or an entry whose
// name Windows-1252 cannot hold (shown with "?" for each byte it cannot show).
inline constexpr std::string_view kUnableToOpenFile = "Unable to open file (%s)";
// OpenArchive: the file is shorter than a trailer, the CRC-32 of the archive does not match
// its trailer, or a trailer whose registry would start before the file.
inline constexpr std::string_view kArchiveCorrupted = "The archive file appears to be corrupted";
// OpenArchive: the registry is damaged (a count it cannot hold, more than 65,536 entries or
// than one per 2.5 bytes of stored registry, a broken zlib stream, an unknown storage mark, two
// members whose stored bytes overlap), or OnArchiveOpened threw; the component is then Closed.
inline constexpr std::string_view kUnreadableFileList = "Unable to read archive file list";
// GetEntry and the extraction calls by index, with an index outside 0 .. Count() - 1.
inline constexpr std::string_view kIndexOutOfBounds = "Index out of bounds";
// %s: the temporary archive's name pattern beside the archive (".../ZLBXXXXXX"). AddFiles:
// the temporary archive cannot be created. German, as the file layer words it.
inline constexpr auto kCannotCreateTemporaryArchiveText =
    cp1252("Datei %s kann nicht geöffnet werden");
inline constexpr std::string_view kCannotCreateTemporaryArchive = kCannotCreateTemporaryArchiveText;
// %s: the archive's path. AddFiles: the finished file could not be renamed over the archive,
// or something that must not be replaced stands under its name; the old archive is unchanged.
inline constexpr std::string_view kUnableToReplaceArchive =
    "Unable to replace the archive file (%s)";
// AddFiles on an archive that OpenArchive found inside a larger file (a built program).
inline constexpr std::string_view kArchiveInsideLargerFile =
    "The archive is part of a larger file and cannot be changed";
// AddFiles also raises OpenArchive's texts when the archive it has just written does not read
// back; the component is then Closed.

// ---------------------------------------------------------------------------------------------
// Raised by extraction as EArchiveError; %s is the member's stored name unless noted.

// ExtractFileByName and ExtractToStreamByName; %s is the name asked for.
inline constexpr std::string_view kNotInArchive = "%s not found in the archive";
// The stored bytes lie outside the member data area, a raw member's stored size differs from
// its FileSize, the zlib stream is damaged, or the content is shorter than FileSize.
inline constexpr std::string_view kUnableToReadMember = "Unable to read %s from the archive";
// CheckCRC set (or TestEntry) and the content's CRC-32 differs from the recorded one.
inline constexpr std::string_view kCrcError = "CRC error in %s";
// A stored name or recorded folder that would leave the destination: "..", a drive ("C:"),
// a name with a separator, an empty name or ".", or a NUL byte (see archive/PathSafety.h).
inline constexpr std::string_view kUnsafePath = "Unsafe path in the archive (%s)";
// %s: a path. ExtractFile: the destination file or its folders cannot be created (followed by
// ": " and the reason). MakeTempFileName: no new file can be made in the system's temporary
// folder (".../ZLB"; followed by ": " and the system's text).
inline constexpr std::string_view kUnableToCreateFile = "Unable to create file (%s)";
// %s: a path. ExtractFile: the new file could not be written, synced or put in place,
// followed by ": " and the reason ("Write error: No space left on device.").
inline constexpr std::string_view kUnableToWriteFile = "Unable to write file (%s)";
// ExtractToStream: the target stream failed.
inline constexpr std::string_view kUnableToWriteToStream = "Unable to write %s to the stream";

// ---------------------------------------------------------------------------------------------
// Given to OnErrorLogged while adding; the file is added all the same. %s: the source path.
// (A source that is left out is logged with kUnableToOpenFile.)

inline constexpr std::string_view kAlreadyInArchive = "%s already exists in the archive";

// ---------------------------------------------------------------------------------------------
// Given to OnProgress.

// OpenArchive while a compressed registry is inflated.
inline constexpr std::string_view kProgressExtractingRegistry = "Extracting archive registry";
// AddFiles while the registry is compressed.
inline constexpr std::string_view kProgressWritingRegistry = "Writing archive registry";
// AddFiles while a member is compressed; %s: the source path.
inline constexpr std::string_view kProgressUpdating = "Updating %s";
// Extraction, per 65,536 bytes of content; %s: the stored name.
inline constexpr std::string_view kProgressExtracting = "Extracting %s";

// ---------------------------------------------------------------------------------------------
// Raised by the zlib streams (ECompressionError, EDecompressionError).

// zlib refused to start or reported damage, or the source ran dry before the stream ended.
inline constexpr std::string_view kStreamError = "error";
// Read or Seek on a compression stream, or Write after Finish: it only goes forward.
inline constexpr std::string_view kInvalidStreamOperation = "Invalid stream operation";

// ---------------------------------------------------------------------------------------------
// Reasons that never reach a caller. Each stops one step, which then reports with a text above
// (named after the arrow) or, where none is named, ends AddFiles without a message, leaving
// the archive on disk as it was and the component reloaded from it.

// The registry cannot be read -> kUnreadableFileList.
inline constexpr std::string_view kReasonRegistry = "registry";
// The temporary archive cannot be written or cut back.
inline constexpr std::string_view kReasonWrite = "write";
inline constexpr std::string_view kReasonTruncate = "truncate";
// A member or the registry would end beyond a 32-bit offset (a member -> kUnableToOpenFile).
inline constexpr std::string_view kReasonTooLarge = "too large";
// A source while its member is appended -> kUnableToOpenFile: Windows-1252 cannot hold its
// name, its stored bytes cannot be read again, or it changed between the two reads.
inline constexpr std::string_view kReasonName = "name";
inline constexpr std::string_view kReasonRead = "read";
inline constexpr std::string_view kReasonChanged = "changed";
// Compressing a source (MemberPacker) -> kUnableToOpenFile.
inline constexpr std::string_view kReasonSourceCannotBeOpened = "source cannot be opened";
inline constexpr std::string_view kReasonSourceSizeUnknown = "source size unknown";
inline constexpr std::string_view kReasonSourceCannotBeRead = "source cannot be read";
inline constexpr std::string_view kReasonSourceTooLarge = "source too large for the format";
inline constexpr std::string_view kReasonWorkFileCannotBeOpened = "work file cannot be opened";
inline constexpr std::string_view kReasonWorkFileCannotBeWritten = "work file cannot be written";

// ---------------------------------------------------------------------------------------------
// The kinds of the failures raised above, one for each text; the Reason... kinds never leave the
// component. A failure's detail is its text with the value filled in, and for
// UnableToCreateFile and UnableToWriteFile ": " and the reason behind.

enum class ArchiveFailure : std::uint16_t {
  NoArchiveOpen,
  FileAlreadyExists,
  ArchiveNotFound,
  UnableToOpenFile,
  ArchiveCorrupted,
  UnreadableFileList,
  IndexOutOfBounds,
  CannotCreateTemporaryArchive,
  UnableToReplaceArchive,
  ArchiveInsideLargerFile,
  NotInArchive,
  UnableToReadMember,
  CrcError,
  UnsafePath,
  UnableToCreateFile,
  UnableToWriteFile,
  UnableToWriteToStream,
  StreamError,
  InvalidStreamOperation,
  ReasonRegistry,
  ReasonWrite,
  ReasonTruncate,
  ReasonTooLarge,
  ReasonName,
  ReasonRead,
  ReasonChanged,
  ReasonSourceCannotBeOpened,
  ReasonSourceSizeUnknown,
  ReasonSourceCannotBeRead,
  ReasonSourceTooLarge,
  ReasonWorkFileCannotBeOpened,
  ReasonWorkFileCannotBeWritten,
};

constexpr FailureArea failureArea(ArchiveFailure /*unused*/) { return FailureArea::Archive; }

constexpr std::string_view englishText(ArchiveFailure kind) {
  switch (kind) {
    case ArchiveFailure::NoArchiveOpen:
      return kNoArchiveOpen;
    case ArchiveFailure::FileAlreadyExists:
      return kFileAlreadyExists;
    case ArchiveFailure::ArchiveNotFound:
      return kArchiveNotFound;
    case ArchiveFailure::UnableToOpenFile:
      return kUnableToOpenFile;
    case ArchiveFailure::ArchiveCorrupted:
      return kArchiveCorrupted;
    case ArchiveFailure::UnreadableFileList:
      return kUnreadableFileList;
    case ArchiveFailure::IndexOutOfBounds:
      return kIndexOutOfBounds;
    case ArchiveFailure::CannotCreateTemporaryArchive:
      return kCannotCreateTemporaryArchive;
    case ArchiveFailure::UnableToReplaceArchive:
      return kUnableToReplaceArchive;
    case ArchiveFailure::ArchiveInsideLargerFile:
      return kArchiveInsideLargerFile;
    case ArchiveFailure::NotInArchive:
      return kNotInArchive;
    case ArchiveFailure::UnableToReadMember:
      return kUnableToReadMember;
    case ArchiveFailure::CrcError:
      return kCrcError;
    case ArchiveFailure::UnsafePath:
      return kUnsafePath;
    case ArchiveFailure::UnableToCreateFile:
      return kUnableToCreateFile;
    case ArchiveFailure::UnableToWriteFile:
      return kUnableToWriteFile;
    case ArchiveFailure::UnableToWriteToStream:
      return kUnableToWriteToStream;
    case ArchiveFailure::StreamError:
      return kStreamError;
    case ArchiveFailure::InvalidStreamOperation:
      return kInvalidStreamOperation;
    case ArchiveFailure::ReasonRegistry:
      return kReasonRegistry;
    case ArchiveFailure::ReasonWrite:
      return kReasonWrite;
    case ArchiveFailure::ReasonTruncate:
      return kReasonTruncate;
    case ArchiveFailure::ReasonTooLarge:
      return kReasonTooLarge;
    case ArchiveFailure::ReasonName:
      return kReasonName;
    case ArchiveFailure::ReasonRead:
      return kReasonRead;
    case ArchiveFailure::ReasonChanged:
      return kReasonChanged;
    case ArchiveFailure::ReasonSourceCannotBeOpened:
      return kReasonSourceCannotBeOpened;
    case ArchiveFailure::ReasonSourceSizeUnknown:
      return kReasonSourceSizeUnknown;
    case ArchiveFailure::ReasonSourceCannotBeRead:
      return kReasonSourceCannotBeRead;
    case ArchiveFailure::ReasonSourceTooLarge:
      return kReasonSourceTooLarge;
    case ArchiveFailure::ReasonWorkFileCannotBeOpened:
      return kReasonWorkFileCannotBeOpened;
    case ArchiveFailure::ReasonWorkFileCannotBeWritten:
      return kReasonWorkFileCannotBeWritten;
  }
  return {};
}

}  // namespace vantrel::zlb
