#pragma once
// Building the standalone program from the prototype viewer: the output-name rule, the
// temporary archive that carries the page, and the assembly of decoded prototype, patched
// marker record, WindowSettings and archive into the output file.
//
// Paths are std::filesystem::path. Message texts are Windows-1252; flags keep their Windows values,
// so the GUI can hand a BuildMessage straight to its message box and the command line prints it.
// The assembly shows nothing itself: it says which step failed, and assemblyMessages and
// buildMessages name the messages the window or the command line shows for that.
//
// Safety of the user's files. The program is written into a new file in the output's folder
// and renamed over the output only when it is complete and every step succeeded, with the
// executable bit set. After any failure no partial file remains and an existing output is
// exactly as it was. A prototype without a recognisable marker record is a failure as well:
// a program that cannot find its data is no success.
//
// The whole build with its questions, as the tool and the command line run it, is
// buildProgram (builder/BuildProgram.h).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Failure.h"
#include "base/Win1252.h"
#include "builder/CodeSigning.h"
#include "icon/IconPos.h"
#include "program/ExeLayout.h"

namespace vantrel::exe {

// The marker text at the start of the record. Kept out of ExeLayout.h, which the viewer
// includes: the viewer's file must hold these eight bytes only in its record.
extern const std::array<unsigned char, kMarkerTextSize> kMarkerText;

// ---------------------------------------------------------------------------------------------
// Messages

// Windows message-box flags and answers.
inline constexpr unsigned kMbYesNoCancel = 3;
inline constexpr unsigned kMbIconError = 16;
inline constexpr unsigned kMbIconQuestion = 32;
inline constexpr unsigned kMbIconInformation = 64;
inline constexpr unsigned kMbTaskModal = 8192;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct BuildMessage {
  std::string_view text;                  // Windows-1252
  std::optional<std::string_view> title;  // nothing: the system's default title
  unsigned flags = 0;
  bool operator==(const BuildMessage&) const = default;
};

// The texts with umlauts, converted to Windows-1252 while compiling.
namespace texts {
inline constexpr auto kEmailMissing = cp1252(
    "Sie haben noch keine eMail Adresse eingetragen. Sie müssen die eMail Adresse eintragen, "
    "an die das Formular gesendet werden soll!");
inline constexpr auto kOutputNameMissing =
    cp1252("Sie müssen einen Namen für die Exe-Datei festlegen!");
inline constexpr auto kOverwriteQuestion =
    cp1252("Die EXE-Datei existiert bereits! Wollen Sie die Datei überschreiben?");
inline constexpr auto kOverwriteTitle = cp1252("Datei überschreiben?");
inline constexpr auto kPrototypeUnreadable = cp1252("Konnte Datei ProtoExe.dat nicht öffnen!");
inline constexpr auto kArchiveUnreadable = cp1252("Konnte ZLB-Datei nicht öffnen!");
}  // namespace texts

inline constexpr BuildMessage kEmailMissing{texts::kEmailMissing, "Fehler", kMbIconError};
inline constexpr BuildMessage kOutputNameMissing{texts::kOutputNameMissing, std::nullopt,
                                                 kMbIconError};
inline constexpr BuildMessage kOverwriteQuestion{
    texts::kOverwriteQuestion, texts::kOverwriteTitle.view(), kMbYesNoCancel | kMbIconQuestion};
inline constexpr BuildMessage kPrototypeUnreadable{texts::kPrototypeUnreadable, std::nullopt,
                                                   kMbTaskModal | kMbIconInformation};
inline constexpr BuildMessage kPrototypeDamaged{"Datei ProtoEXE.dat ist fehlerhaft!", std::nullopt,
                                                kMbTaskModal | kMbIconInformation};
inline constexpr BuildMessage kArchiveUnreadable{texts::kArchiveUnreadable, std::nullopt,
                                                 kMbTaskModal | kMbIconInformation};
inline constexpr BuildMessage kBuildFailed{"Datei konnte nicht erstellt werden!", std::nullopt,
                                           kMbTaskModal | kMbIconError};
inline constexpr BuildMessage kBuildSucceeded{"EXE-Datei wurde erfolgreich erstellt!",
                                              "EXE-Datei erstellt",
                                              kMbTaskModal | kMbIconInformation};

// Shows one message and returns the answer (kIdOk for a plain message box): the window's
// message box, the command line's standard error.
using ShowMessage = std::function<int(const BuildMessage&)>;

// ---------------------------------------------------------------------------------------------
// Output name

// The output file named by the text of the output edit. A text naming an existing file is used
// as it is; a name in double quotes is used without them; any other text is used whole,
// blanks included. Cutting the text at its first blank, as a command line would be, wrote the
// program somewhere the user never asked for.
std::filesystem::path outputNameFrom(std::string_view editText);
// Whether anything exists under that name.
bool outputExists(const std::filesystem::path& path);

// ---------------------------------------------------------------------------------------------
// Pieces of the assembly

// Applies the marker rule to one decoded block of at most kBlockSize bytes: every occurrence
// of the marker text that lies wholly in the block gets `programLength` in its first four bytes
// and zero in bytes 16..19, as far as these lie inside the block (nothing is written beyond
// it). Returns whether the block held the marker.
[[nodiscard]] bool patchMarkerInBlock(unsigned char* block, std::size_t size,
                                      std::uint32_t programLength);

// Undoes the storage rule of the prototype file: every byte minus one, modulo 256.
void decodePrototypeBytes(unsigned char* bytes, std::size_t size);
// The storage rule itself (every byte plus one), for the build of the prototype and for tests.
void encodePrototypeBytes(unsigned char* bytes, std::size_t size);

// ---------------------------------------------------------------------------------------------
// The assembly

struct AssembleOptions {
  // Bytes read per call; a multiple of kBlockSize. The output does not depend on it.
  std::size_t chunkSize = 1u << 20;
  // The finished program is signed before it replaces the output; nothing: left unsigned.
  std::optional<SigningJob> signing = std::nullopt;
};

// The icon the program shows: written over the prototype's own pixels before the program is
// renamed into place, so that it is synced with the rest of it.
struct ProgramIcon {
  std::uint32_t position = 0;  // IconPos (icon/IconPos.h); 0: the prototype's icon stays
  IconBitmap bitmap;
};

// The steps of the assembly, in the order of the output's bytes. Each returns a status; the
// first that fails ends the assembly.
enum class AssemblyStep {
  none,  // no step failed (or, for a build that stopped before it, none ran)
  createOutput,
  openPrototype,
  measurePrototype,  // S must fit 32 bits
  copyPrototype,
  findMarker,
  writeSettings,
  openArchive,
  copyArchive,
  sign,  // the icon written, then the signature when one was asked for
  commit,
};

// A struct rather than a Result: what was measured (marker, lengths, blocks) is wanted after a
// failure as well.
struct [[nodiscard]] AssembleResult {
  bool built = false;  // the output is complete and in place
  AssemblyStep stoppedAt = AssemblyStep::none;
  bool markerFound = false;
  std::uint64_t programLength = 0;    // S
  std::uint64_t prototypeBlocks = 0;  // 2048-byte blocks of the prototype copied
  std::uint64_t outputLength = 0;
  // Whether the icon went in; any result but Written leaves the prototype's icon, and never
  // fails the assembly.
  WriteIconResult icon = WriteIconResult::NoIconPos;
  Failure failure;  // what went wrong; no kind and empty when built
};

// Writes the output program: the decoded prototype with its marker record patched, the
// WindowSettings and the archive, into a new file that gets the icon and then replaces
// `outputPath` only when all of it succeeded. The output alone is synced: it is what stays.
[[nodiscard]] AssembleResult AssembleExe(const std::filesystem::path& prototypePath,
                                         const std::filesystem::path& archivePath,
                                         const std::filesystem::path& outputPath,
                                         const WindowSettings& settings,
                                         const AssembleOptions& options = {},
                                         const ProgramIcon& icon = {});

// What the user is told about an assembly, in order: the failed step's own message, if it has
// one (kPrototypeUnreadable, kPrototypeDamaged, kArchiveUnreadable), then exactly one closing
// message, kBuildSucceeded or kBuildFailed.
std::vector<BuildMessage> assemblyMessages(const AssembleResult& result);

// ---------------------------------------------------------------------------------------------
// The whole build after the questions

// The first free "tf" + N + ".zlb" (N = 0, 1, 2, ...) in `folder`.
std::filesystem::path temporaryArchiveName(const std::filesystem::path& folder);

struct BuildRequest {
  std::filesystem::path prototypePath;  // the support folder's "ProtoExe.dat"
  std::filesystem::path pagePath;       // "formular.htm", already written
  bool pageWritten = true;              // false when writing the page failed: the build then fails
  std::filesystem::path outputPath;     // after outputNameFrom
  ProjectSettings settings;             // from the controls; width and height as typed
  std::filesystem::path tempFolder;     // empty: the system's temporary folder
  AssembleOptions options;
  ProgramIcon icon;
};

// A struct for the same reason: the archive used and the assembly's figures outlive a failure.
struct [[nodiscard]] BuildResult {
  bool built = false;
  std::filesystem::path archivePath;  // the temporary archive used (already removed again)
  AssembleResult assembly;
  Failure failure;
};

// Packs the page into the temporary archive (TZLBArchive with CheckCRC, SavePaths and
// RecursePaths on; not synced, as it does not stay), assembles the program with its icon and
// removes the archive again. A page that was not
// written or did not reach the archive fails the build and leaves the output alone.
[[nodiscard]] BuildResult buildExe(const BuildRequest& request);

// What the user is told about a build: the assembly's messages; kBuildFailed alone when the
// build stopped before the assembly.
std::vector<BuildMessage> buildMessages(const BuildResult& result);

}  // namespace vantrel::exe
