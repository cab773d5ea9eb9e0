#include "archive/ArchiveFormat.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace vantrel::zlb {
namespace {

constexpr int kWindowBits = 15;
constexpr std::uint64_t kMaxEntries = 65'536;

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

unsigned zlibPiece(std::size_t size) {
  return static_cast<unsigned>(std::min<std::size_t>(size, std::numeric_limits<uInt>::max()));
}

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

std::uint32_t crc32Of(const void* data, std::size_t size, std::uint32_t crc) {
  auto* bytes = static_cast<const Bytef*>(data);
  uLong value = crc;
  while (size > 0) {
    const uInt piece = zlibPiece(size);
    value = ::crc32(value, bytes, piece);
    bytes += piece;
    size -= piece;
  }
  return static_cast<std::uint32_t>(value);
}

bool registryTooLarge(std::uint64_t entries, std::uint64_t storedBytes) {
  return entries > kMaxEntries || entries * 5 > storedBytes * 2;
}

std::vector<RegistryEntry> registryEntries(const unsigned char* records, std::size_t count) {
  std::vector<RegistryEntry> entries(count);
  for (std::size_t i = 0; i < count; ++i)
    std::copy_n(records + i * kEntrySize, kEntrySize, entries[i].Bytes.data());
  return entries;
}

bool membersOverlap(const std::vector<RegistryEntry>& entries, std::uint64_t registryOffset) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
  ranges.reserve(entries.size());
  for (const RegistryEntry& entry : entries) {
    const std::uint64_t begin = entry.DataOffset();
    const std::uint64_t end = begin + entry.StoredSize();
    if (end > begin && end <= registryOffset) ranges.emplace_back(begin, end);
  }
  std::sort(ranges.begin(), ranges.end());
  for (std::size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].first < ranges[i - 1].second) return true;
  }
  return false;
}

struct ZlibInflater::State {
  z_stream stream{};
  std::vector<unsigned char> buffer = std::vector<unsigned char>(kStreamBufferSize);
  Source source;
  bool ready = false;
  bool ended = false;
};

ZlibInflater::ZlibInflater(Source source) : state_(std::make_unique<State>()) {
  state_->source = std::move(source);
  state_->ready = inflateInit2(&state_->stream, kWindowBits) == Z_OK;
}

ZlibInflater::~ZlibInflater() {
  if (state_->ready) inflateEnd(&state_->stream);
}

bool ZlibInflater::ready() const { return state_->ready; }
bool ZlibInflater::ended() const { return state_->ended; }
std::uint64_t ZlibInflater::produced() const { return state_->stream.total_out; }

std::optional<std::size_t> ZlibInflater::read(void* buffer, std::size_t size) {
  if (!state_->ready) return std::nullopt;
  z_stream& stream = state_->stream;
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t produced = 0;
  while (produced < size && !state_->ended) {
    if (stream.avail_in == 0) {
      stream.next_in = state_->buffer.data();
      stream.avail_in =
          static_cast<uInt>(state_->source(state_->buffer.data(), state_->buffer.size()));
      // No input left while the stream is still open: the stored bytes end too early.
      if (stream.avail_in == 0) return std::nullopt;
    }
    const uInt room = zlibPiece(size - produced);
    stream.next_out = out + produced;
    stream.avail_out = room;
    const int result = inflate(&stream, Z_NO_FLUSH);
    // A preset dictionary cannot occur in a member; treat the request like damage.
    if (result < 0 || result == Z_NEED_DICT) return std::nullopt;
    produced += room - stream.avail_out;
    if (result == Z_STREAM_END) state_->ended = true;
  }
  return produced;
}

}  // namespace vantrel::zlb
