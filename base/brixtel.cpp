#include "base/brixtel.h"

#include <cstdint>
#include <limits>

#include "base/FailureKinds.h"

namespace vantrel {

void WriteLengthPrefixedString(ByteWriter& file, std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw InOutError(failure(FileFailure::TextTooLong));
  }
  writeInt32LE(file, static_cast<std::int32_t>(text.size()));
  file.write(text);
}

std::string ReadLengthPrefixedString(ByteReader& file) {
  const std::int32_t length = readInt32LE(file);
  // A negative count can never be satisfied, whatever follows in the file.
  if (length < 0) throw InOutError(failure(FileFailure::ReadBeyondEnd));
  return readBytes(file, static_cast<std::uint64_t>(length));
}

}  // namespace vantrel
