#include "icon/emfconverter/EmfRecords.h"

#include <uemf.h>
#include <uemf_safe.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace vantrel {

namespace {

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;
constexpr std::size_t kEmfRecordHeadSize = 8;  // type and size, 32 bits each

std::uint32_t uint32At(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int k = 3; k >= 0; --k)
    value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(k)]);
  return value;
}

// The header's description, which libemf2svg reads up to its terminating zero when the header
// gives no length: it must lie inside the header record and end there.
EmfConverterExit checkDescription(std::string_view header) {
  constexpr std::size_t kDescriptionLengthAt = 60;  // in UTF-16 characters
  constexpr std::size_t kDescriptionOffsetAt = 64;
  constexpr std::size_t kHeaderWithDescription = kDescriptionOffsetAt + 4;
  if (header.size() < kHeaderWithDescription) return EmfConverterExit::RecordCutShort;
  const std::uint64_t characters = uint32At(header, kDescriptionLengthAt);
  const std::uint64_t offset = uint32At(header, kDescriptionOffsetAt);
  if (offset == 0) return EmfConverterExit::Drawn;
  if (offset > header.size() || characters * 2 > header.size() - offset)
    return EmfConverterExit::DescriptionOutsideHeader;
  for (std::uint64_t at = offset; at + 1 < header.size(); at += 2) {
    if (header[at] == 0 && header[at + 1] == 0) return EmfConverterExit::Drawn;
  }
  return EmfConverterExit::DescriptionUnended;
}

// Kinds of record that libUEMF has no check for (unused numbers, escapes, colour profiles and
// the like); libemf2svg draws none of them, so only their size is held to the file.
bool uncheckableRecord(std::uint32_t type) {
  constexpr std::uint32_t kUncheckable[] = {69,  96,  97,  102, 103, 105, 106, 107, 109,
                                            110, 111, 112, 113, 117, 119, 120, 121};
  return std::find(std::begin(kUncheckable), std::end(kUncheckable), type) !=
         std::end(kUncheckable);
}

EmfConverterExit checkRecordAt(std::string_view records, std::size_t at) {
  if (records.size() - at < kEmfRecordHeadSize) return EmfConverterExit::RecordCutShort;
  const std::uint32_t type = uint32At(records, at);
  const std::uint32_t size = uint32At(records, at + 4);
  if (type < kEmrHeader || type > U_EMR_MAX) return EmfConverterExit::UnknownRecordType;
  if (size < kEmfRecordHeadSize || size % 4 != 0 || size > records.size() - at)
    return EmfConverterExit::RecordPastEnd;
  if (at == 0) {
    const EmfConverterExit description = checkDescription(records.substr(0, size));
    if (description != EmfConverterExit::Drawn) return description;
  }
  if (!uncheckableRecord(type) && !U_emf_record_safe(records.data() + at))
    return EmfConverterExit::RecordContentsWrong;
  return EmfConverterExit::Drawn;
}

}  // namespace

EmfRecordCheck checkEmfRecords(std::string_view records) {
  std::size_t at = 0;
  while (at < records.size()) {
    const EmfConverterExit verdict = checkRecordAt(records, at);
    if (verdict != EmfConverterExit::Drawn) return {verdict, at};
    const std::uint32_t type = uint32At(records, at);
    at += uint32At(records, at + 4);
    if (type == kEmrEof) break;
  }
  return {EmfConverterExit::Drawn, at};
}

}  // namespace vantrel
