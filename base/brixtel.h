#pragma once
// The string helpers of the project file and of the settings written into a built program:
// a LengthPrefixedString is a signed 32-bit little-endian byte count followed by exactly that
// many bytes (Windows-1252 text), no terminator.
//
// Both raise InOutError (base/ByteFile.h) on failure. A length that is negative or larger
// than what is left of the file gives "Read beyond end of file." before anything is allocated,
// so a damaged file can neither exhaust memory nor yield a half-read text.

#include <string>
#include <string_view>

#include "base/ByteFile.h"

namespace vantrel {

void WriteLengthPrefixedString(ByteWriter& file, std::string_view text);
std::string ReadLengthPrefixedString(ByteReader& file);

}  // namespace vantrel
