#include "archive/ArchiveFormat.h"

#include <algorithm>
#include <cstring>

namespace vantrel::zlb {
namespace {

constexpr std::size_t kNameAt = 0;
constexpr std::size_t kPathAt = 256;
constexpr std::size_t kFileSizeAt = 512;
constexpr std::size_t kStoredSizeAt = 516;
constexpr std::size_t kDataOffsetAt = 520;
constexpr std::size_t kFileCrcAt = 524;
constexpr std::size_t kStoredRawAt = 528;
constexpr std::size_t kLevelUsedAt = 529;

// A length-prefixed string field of 256 bytes: the length byte can never point past the field.
std::string readShortString(const unsigned char* field) {
  return std::string(reinterpret_cast<const char*>(field + 1), field[0]);
}

void writeShortString(unsigned char* field, std::string_view text) {
  std::memset(field, 0, 256);
  const std::size_t length = std::min(text.size(), kMaxStringLength);
  if (length == 0) return;
  field[0] = static_cast<unsigned char>(length);
  std::memcpy(field + 1, text.data(), length);
}

}  // namespace

int zlibLevelOf(TFileCompressionLevel level) {
  switch (level) {
    case TFileCompressionLevel::fcNone:
      return 0;
    case TFileCompressionLevel::fcFastest:
      return 1;
    case TFileCompressionLevel::fcDefault:
      return -1;
    case TFileCompressionLevel::fcMaximum:
      return 9;
  }
  return -1;
}

const char* levelName(TFileCompressionLevel level) {
  switch (level) {
    case TFileCompressionLevel::fcNone:
      return "none";
    case TFileCompressionLevel::fcFastest:
      return "fastest";
    case TFileCompressionLevel::fcDefault:
      return "default";
    case TFileCompressionLevel::fcMaximum:
      return "maximum";
  }
  return "?";
}

std::uint32_t readLE32(const unsigned char* at) {
  return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
         std::uint32_t(at[3]) << 24;
}

void writeLE32(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::string RegistryEntry::EntryName() const { return readShortString(Bytes.data() + kNameAt); }
std::string RegistryEntry::EntryPath() const { return readShortString(Bytes.data() + kPathAt); }
std::string RegistryEntry::StoredName() const { return EntryPath() + EntryName(); }
std::uint32_t RegistryEntry::FileSize() const { return readLE32(Bytes.data() + kFileSizeAt); }
std::uint32_t RegistryEntry::StoredSize() const { return readLE32(Bytes.data() + kStoredSizeAt); }
std::uint32_t RegistryEntry::DataOffset() const { return readLE32(Bytes.data() + kDataOffsetAt); }
std::uint32_t RegistryEntry::FileCRC() const { return readLE32(Bytes.data() + kFileCrcAt); }
bool RegistryEntry::StoredRaw() const { return Bytes[kStoredRawAt] == 1; }
std::uint8_t RegistryEntry::LevelUsed() const { return Bytes[kLevelUsedAt]; }

void RegistryEntry::SetEntryName(std::string_view name) {
  writeShortString(Bytes.data() + kNameAt, name);
}
void RegistryEntry::SetEntryPath(std::string_view path) {
  writeShortString(Bytes.data() + kPathAt, path);
}
void RegistryEntry::SetFileSize(std::uint32_t value) {
  writeLE32(Bytes.data() + kFileSizeAt, value);
}
void RegistryEntry::SetStoredSize(std::uint32_t value) {
  writeLE32(Bytes.data() + kStoredSizeAt, value);
}
void RegistryEntry::SetDataOffset(std::uint32_t value) {
  writeLE32(Bytes.data() + kDataOffsetAt, value);
}
void RegistryEntry::SetFileCRC(std::uint32_t value) { writeLE32(Bytes.data() + kFileCrcAt, value); }
void RegistryEntry::SetStoredRaw(bool raw) { Bytes[kStoredRawAt] = raw ? 1 : 0; }
void RegistryEntry::SetLevelUsed(std::uint8_t level) { Bytes[kLevelUsedAt] = level; }

std::array<unsigned char, kTrailerSize> ArchiveTrailer::toBytes() const {
  std::array<unsigned char, kTrailerSize> bytes{};
  writeLE32(bytes.data() + 0, ArchiveCRC);
  writeLE32(bytes.data() + 4, static_cast<std::uint32_t>(EntryCount));
  writeLE32(bytes.data() + 8, AlwaysOne);
  writeLE32(bytes.data() + 12, RegistrySize);
  writeLE32(bytes.data() + 16, RegistryOffset);
  bytes[20] = RegistryCompressed;
  return bytes;
}

ArchiveTrailer ArchiveTrailer::fromBytes(const unsigned char* bytes) {
  ArchiveTrailer trailer;
  trailer.ArchiveCRC = readLE32(bytes + 0);
  trailer.EntryCount = static_cast<std::int32_t>(readLE32(bytes + 4));
  trailer.AlwaysOne = readLE32(bytes + 8);
  trailer.RegistrySize = readLE32(bytes + 12);
  trailer.RegistryOffset = readLE32(bytes + 16);
  trailer.RegistryCompressed = bytes[20];
  return trailer;
}

std::uint64_t ArchiveTrailer::registryLength() const {
  if (RegistryCompressed == 1) return RegistrySize;
  return EntryCount > 0 ? std::uint64_t(EntryCount) * kEntrySize : 0;
}

bool ArchiveTrailer::isZero() const {
  return ArchiveCRC == 0 && EntryCount == 0 && AlwaysOne == 0 && RegistrySize == 0 &&
         RegistryOffset == 0 && RegistryCompressed == 0;
}

std::string foldAsciiCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace vantrel::zlb
