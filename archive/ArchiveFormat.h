#pragma once
// The ZLB archive file, byte for byte.
//
//   [member data][registry: N x 532-byte RegistryEntry, zlib stream or raw][36-byte trailer]
//
// All integers are little-endian; offsets count from the archive's first byte, which is not
// the file's first byte when the archive has been appended to a program.
//
// Everything here needs only the standard library and zlib, and nothing throws: the Windows
// viewer compiles this file as it is, to read the archive behind its own code.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::zlb {

inline constexpr std::size_t kTrailerSize = 36;
inline constexpr std::size_t kEntrySize = 532;
inline constexpr std::size_t kMaxStringLength = 255;

// Members larger than this (20 MiB) are compressed into a work file instead of memory.
inline constexpr std::uint64_t kMemoryMemberLimit = 20971520;

// Largest factor by which deflate can shrink data (a stream of one repeated byte); a zlib
// stream of C bytes can therefore never inflate to more than C * 1032 + a small header slack.
inline constexpr std::uint64_t kMaxInflateRatio = 1032;

// zlib is fed and drained in buffers of this size.
inline constexpr std::size_t kStreamBufferSize = 65536;

enum class TFileCompressionLevel : std::uint8_t {
  fcNone = 0,
  fcFastest = 1,
  fcDefault = 2,
  fcMaximum = 3
};

// zlib's level for each of the four settings.
int zlibLevelOf(TFileCompressionLevel level);
// "none", "fastest", "default", "maximum".
const char* levelName(TFileCompressionLevel level);

std::uint32_t readLE32(const unsigned char* at);
void writeLE32(unsigned char* at, std::uint32_t value);

// One record of the registry. It keeps all 532 bytes as read, so that an entry taken from an
// archive (reserved bytes and string tails included) is written back unchanged.
struct RegistryEntry {
  std::array<unsigned char, kEntrySize> Bytes{};

  [[nodiscard]] std::string EntryName() const;   // at most 255 Windows-1252 bytes, no folder
  [[nodiscard]] std::string EntryPath() const;   // recorded folder with trailing "\", or empty
  [[nodiscard]] std::string StoredName() const;  // EntryPath + EntryName: the lookup key
  [[nodiscard]] std::uint32_t FileSize() const;
  [[nodiscard]] std::uint32_t StoredSize() const;
  [[nodiscard]] std::uint32_t DataOffset() const;
  [[nodiscard]] std::uint32_t FileCRC() const;
  [[nodiscard]] bool StoredRaw() const;
  [[nodiscard]] std::uint8_t LevelUsed() const;

  // Setters cut a text to its first 255 bytes; with an empty path all 256 bytes stay zero.
  void SetEntryName(std::string_view name);
  void SetEntryPath(std::string_view path);
  void SetFileSize(std::uint32_t value);
  void SetStoredSize(std::uint32_t value);
  void SetDataOffset(std::uint32_t value);
  void SetFileCRC(std::uint32_t value);
  void SetStoredRaw(bool raw);
  void SetLevelUsed(std::uint8_t level);
};

struct ArchiveTrailer {
  std::uint32_t ArchiveCRC = 0;
  std::int32_t EntryCount = 0;
  std::uint32_t AlwaysOne = 0;  // written as 1, never read back
  std::uint32_t RegistrySize = 0;
  std::uint32_t RegistryOffset = 0;
  std::uint8_t RegistryCompressed = 0;

  [[nodiscard]] std::array<unsigned char, kTrailerSize> toBytes() const;
  static ArchiveTrailer fromBytes(const unsigned char* bytes);
  // Bytes the registry occupies in the file: RegistrySize when compressed, N x 532 when raw.
  [[nodiscard]] std::uint64_t registryLength() const;
  [[nodiscard]] bool isZero() const;
};

// Lower-cases ASCII A..Z only, the way names are compared in the archive.
std::string foldAsciiCase(std::string_view text);

// zlib counts in its own unsigned type: how much of `size` it takes in one call.
unsigned zlibPiece(std::size_t size);
// zlib's CRC-32 of `size` bytes, continuing from `crc`.
std::uint32_t crc32Of(const void* data, std::size_t size, std::uint32_t crc = 0);

// The checks every reader makes before it trusts a registry of `entries` records stored in
// `storedBytes` bytes. The registry is held in memory whole, so its size is bounded
// absolutely (35 MB of records) and by the archive's own bytes: deflate stores a record that
// differs from the one before only in a name of its own in no less than about 3.5 bytes,
// while records repeated to make a registry bomb take 1.7. Hence at most one entry per 2.5
// bytes of stored registry.
[[nodiscard]] bool registryTooLarge(std::uint64_t entries, std::uint64_t storedBytes);
// The records of a registry read whole: `count` records of kEntrySize bytes at `records`.
std::vector<RegistryEntry> registryEntries(const unsigned char* records, std::size_t count);
// True when two members share stored bytes: otherwise a small archive could name the same
// large stream many times over and fill a disk on extraction. (A member reaching into the
// registry or beyond is refused when it is read, as unreadable.)
[[nodiscard]] bool membersOverlap(const std::vector<RegistryEntry>& entries,
                                  std::uint64_t registryOffset);

// Inflates one zlib stream (window bits 15) read from `source`, which fills a buffer and
// returns the number of bytes it gave (0 when there is no more). It never asks for more input
// than it needs to continue, and it stops at the end of the source instead of waiting for
// more. Failures are results, not exceptions.
class ZlibInflater {
 public:
  using Source = std::function<std::size_t(unsigned char* buffer, std::size_t capacity)>;

  explicit ZlibInflater(Source source);
  ~ZlibInflater();
  ZlibInflater(const ZlibInflater&) = delete;
  ZlibInflater& operator=(const ZlibInflater&) = delete;

  // False when zlib could not set up the stream.
  [[nodiscard]] bool ready() const;
  // Produces up to `size` bytes; fewer only when the zlib stream has ended. Nothing when the
  // stream is damaged or the source runs dry before the stream ends.
  [[nodiscard]] std::optional<std::size_t> read(void* buffer, std::size_t size);
  [[nodiscard]] bool ended() const;
  // Bytes produced so far.
  [[nodiscard]] std::uint64_t produced() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vantrel::zlb
