#include "base/brixtel.h"

#include <cstdint>
#include <limits>

namespace vantrel {

void WriteLengthPrefixedString(ByteWriter& file, std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw InOutError("Write error: text too long for a length prefix.");
  }
  writeInt32LE(file, static_cast<std::int32_t>(text.size()));
  file.write(text);
}

std::string ReadLengthPrefixedString(ByteReader& file) {
  const std::int32_t length = readInt32LE(file);
  // A negative count can never be satisfied, whatever follows in the file.
  if (length < 0) throw InOutError(kReadBeyondEndOfFile);
  return readBytes(file, static_cast<std::uint64_t>(length));
}

}  // namespace vantrel
