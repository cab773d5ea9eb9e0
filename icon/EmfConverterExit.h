#pragma once
// How the program vantrel-emf2svg ends, shared by the program and the loader that runs it. The
// converter's stderr is not read (a crashing library or a sanitizer may write anything there),
// so the reason it refuses a metafile is carried by its exit status alone.

#include <optional>
#include <string_view>

namespace vantrel {

// The name of the converter among the support files (base/SupportFiles.h).
inline constexpr std::string_view kEmfConverterName = "vantrel-emf2svg";

enum class EmfConverterExit : int {
  Drawn = 0,
  NotDrawn = 1,  // the library gave no SVG, or one too large
  Usage = 2,     // wrong arguments or unreadable input: a fault of the caller
  RecordCutShort = 10,
  UnknownRecordType = 11,
  RecordPastEnd = 12,
  DescriptionOutsideHeader = 13,
  DescriptionUnended = 14,
  RecordContentsWrong = 15,
};

// What a refusal says about the metafile ("a record is cut short"); nullopt for an exit status
// that is no refusal of the file's records.
inline std::optional<std::string_view> emfRefusalReason(int exitStatus) {
  switch (static_cast<EmfConverterExit>(exitStatus)) {
    case EmfConverterExit::RecordCutShort:
      return "a record is cut short";
    case EmfConverterExit::UnknownRecordType:
      return "a record has an unknown type";
    case EmfConverterExit::RecordPastEnd:
      return "a record runs past the end of the file";
    case EmfConverterExit::DescriptionOutsideHeader:
      return "its description lies outside its header";
    case EmfConverterExit::DescriptionUnended:
      return "its description does not end inside its header";
    case EmfConverterExit::RecordContentsWrong:
      return "a record does not hold what its size says";
    default:
      return std::nullopt;
  }
}

}  // namespace vantrel
