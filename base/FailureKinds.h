#pragma once
// The kinds of failure that the core gives the tool and vantrel-cli, one enum per area. They are
// declared here, at the bottom, because the one table that words them in English and German
// (base/UserMessages.cpp) must see them all, and every area and both programs see base/. The
// built program's kinds are `exe::ViewerError` (program/), the receiver's its own (formmail/).
//
// The last enumerator of each, `Count`, is no kind: it lets the table's test visit them all.

#include <cstdint>
#include <string_view>

#include "base/Failure.h"

namespace vantrel {

// Files read and written through base/ (and the icon search, which reads the built program).
enum class FileFailure : std::uint16_t {
  ReadBeyondEnd,       // the file ends before what its lengths announce
  ReadFailed,          // %s: the system's words
  TextTooLong,         // a text too long for its length prefix
  WriteFailed,         // %s: the system's words
  WriteFailedPlain,    // a stream refused a write; the system said nothing
  FileClosed,          // written after it was closed
  CannotOpen,          // %s: path, %s: the system's words
  CannotOpenPlain,     // %s: path
  CannotRead,          // %s: path, %s: the system's words
  NotAPlainFile,       // %s: path
  CannotCreateBeside,  // %s: path of the target, %s: the system's words
  CannotCreate,        // %s: path, %s: the system's words
  CannotWrite,         // %s: path
  CannotReplace,       // %s: path, %s: the system's words
  CannotSync,          // %s: path of a folder, %s: the system's words
  Count
};

// The project file, in either of its formats, and the form-mail address its pages post to. The
// file's texts are defined in German by the program's own dialogs, and shown as they are.
enum class ProjectFailure : std::uint16_t {
  CannotOpen,               // %s: the file's name as the dialog shows it
  NotAProjectFile,          // the magic text is missing
  CannotCreate,             // %s: the file's name as the dialog shows it
  UnknownExtension,         // %s: the file's name
  BadJson,                  // %s: what is wrong, in German
  UnusableFormMailAddress,  // %s: the address as typed
  UnusableSurveyKey,        // %s: the key as typed
  Count
};

// Pictures loaded for the icon and the bitmaps written of it.
enum class PictureFailure : std::uint16_t {
  NoPixels,                   // %s x %s
  TooLarge,                   // %s x %s pixels, at most %s
  TooLargeToDecode,           // %s x %s pixels at %s bits, more than %s MB
  FileTooLarge,               // %s bytes
  NotConverted,               // Qt could not convert a row
  PixelsDoNotMatchSize,       // the picture handed to the renderer
  BmpPixelsOutsideFile,       // %s: the pixel data offset
  Unreadable,                 // %s: format, %s: the decoder's words
  UnknownExtension,           // %s: the extension
  BitmapNotValid,             // %s: why
  BitmapDepthNotWritable,     // %s: bits per pixel
  BitmapTableDoesNotMatch,    // colour table or pixels against depth and size
  BitmapPixelOutsideTable,    // an index beyond the colour table
  BitmapPixelsDoNotMatch,     // the pixels against the size
  BitmapTooLargeForFile,      // beyond the 32-bit sizes of a bitmap file
  JpegInvalidSize,            // libjpeg announced a size it cannot deliver
  JpegError,                  // %s: libjpeg's words
  WmfNotValid,                // %s: why
  EmfNotValid,                // %s: why
  MetafileSupportNotStarted,  // libwmf refused to start
  EmfConverterNotStarted,     // %s: program, %s: the system's words
  MetafileNotDrawn,           // the SVG renderer refused the drawing
  OutOfMemoryDrawing,         // no image of the metafile's size
  OutOfMemoryReading,         // libwmf found no memory
  Count
};

// Building a program from the prototype, the settings and the page.
enum class BuildFailure : std::uint16_t {
  CannotCreateBesideBecause,  // %s: output, %s: why
  CannotCreateBeside,         // %s: output
  CannotReadBecause,          // %s: path, %s: why
  CannotWriteBecause,         // %s: path, %s: why
  CannotOpen,                 // %s: path
  CannotCopy,                 // %s: path
  PrototypeTooLarge,
  NoMarkerRecord,
  SettingsNotWritten,
  PageNotWritten,
  PageNotInArchive,
  IconNotWritten,
  ArchiveFailed,  // %s: the archive component's words
  SignerMissing,
  SigningRefused,  // %s: the certificate
  SigningFailed,   // %s: why
  Count
};

// Answers read back from mails and exports.
enum class AnswerFailure : std::uint16_t {
  NoJsonObject,
  NotTheFormat,
  NoVersion,
  OtherVersion,  // %s: the version found, %s: the one that can be read
  FieldMissingOrWrong,
  UnknownTransferEncoding,
  NotBase64,
  EndsInHeaders,
  EndsBeforeLastPart,
  MailTooLarge,  // %s: MiB
  MailCannotBeOpened,
  MailCannotBeRead,
  RestUnreadable,
  RecordTooLarge,
  RecordFieldsDoNotMatch,
  JsonTooDeep,         // %s: the deepest nesting read
  JsonTooLarge,        // %s: the most values read
  WorkbookNotWritten,  // %s: the workbook writer's words
  Count
};

// Answers read from a mail server over IMAP, and their cache. Each names the server (or the
// cache file) first, so that a user with several mailboxes knows which one failed.
enum class MailboxFailure : std::uint16_t {
  NotAMailboxAddress,   // %s: the address as given
  CannotConnect,        // %s: server, %s: libcurl's words
  CertificateRefused,   // %s: server, %s: libcurl's words
  NoTls,                // %s: server
  LoginRefused,         // %s: server
  UnknownFolder,        // %s: server, %s: folder
  ConnectionLost,       // %s: server, %s: the reason
  ServerRefused,        // %s: server, %s: the command, %s: the server's words
  AnswerUnreadable,     // %s: server
  CacheCannotBeOpened,  // %s: path, %s: SQLite's words
  Count
};

constexpr FailureArea failureArea(FileFailure /*unused*/) { return FailureArea::File; }
constexpr FailureArea failureArea(ProjectFailure /*unused*/) { return FailureArea::Project; }
constexpr FailureArea failureArea(PictureFailure /*unused*/) { return FailureArea::Picture; }
constexpr FailureArea failureArea(BuildFailure /*unused*/) { return FailureArea::Build; }
constexpr FailureArea failureArea(AnswerFailure /*unused*/) { return FailureArea::Answers; }
constexpr FailureArea failureArea(MailboxFailure /*unused*/) { return FailureArea::Mailbox; }

// The English words of each kind, "%s" for each value.
std::string_view englishText(FileFailure kind);
std::string_view englishText(ProjectFailure kind);
std::string_view englishText(PictureFailure kind);
std::string_view englishText(BuildFailure kind);
std::string_view englishText(AnswerFailure kind);
std::string_view englishText(MailboxFailure kind);

}  // namespace vantrel
