#pragma once
// Random changes almost never keep a ZLB archive's CRC-32 right, so a fuzz target would hardly
// reach the registry and the members behind it. When the last (reserved) trailer byte is odd,
// the archive's CRC is set to fit the bytes the trailer describes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/ArchiveFormat.h"

namespace vantrel::fuzz {

inline std::string withFittingCrc(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::zlb;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size < kTrailerSize || (data[size - 1] & 1) == 0) return bytes;
  auto* trailerBytes = reinterpret_cast<unsigned char*>(bytes.data() + size - kTrailerSize);
  const ArchiveTrailer trailer = ArchiveTrailer::fromBytes(trailerBytes);
  const std::uint64_t body = trailer.registryLength() + trailer.RegistryOffset;
  if (body > size - kTrailerSize) return bytes;
  const std::size_t start = size - kTrailerSize - static_cast<std::size_t>(body);
  writeLE32(trailerBytes, crc32Of(bytes.data() + start, static_cast<std::size_t>(body)));
  return bytes;
}

}  // namespace vantrel::fuzz
