#pragma once
// zlib streams of the archive, zlib called directly: one complete zlib stream (RFC 1950) per
// member or registry, window bits 15, memory level 8, default strategy, 65,536-byte buffers.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "base/Error.h"

namespace vantrel::zlb {

class ECompressionError : public Error {
 public:
  using Error::Error;
};

class EDecompressionError : public Error {
 public:
  using Error::Error;
};

inline constexpr std::size_t kStreamBufferSize = 65536;

// Deflates everything written to it into `sink`. The sink gets the compressed bytes in
// 65,536-byte buffers; after each full buffer the progress notification is sent, so that
// progress follows the compressed output, not the input blocks.
class TCompressionStream {
 public:
  using Sink = std::function<void(const unsigned char* data, std::size_t size)>;
  using Notification = std::function<void(const TCompressionStream& sender)>;

  TCompressionStream(TFileCompressionLevel level, Sink sink);
  ~TCompressionStream();
  TCompressionStream(const TCompressionStream&) = delete;
  TCompressionStream& operator=(const TCompressionStream&) = delete;

  void Write(const void* data, std::size_t size);
  // Ends the stream: the final flush, every remaining byte to the sink. Needed once.
  void Finish();
  // Input bytes consumed so far.
  [[nodiscard]] std::uint64_t Position() const { return stream_.total_in; }
  [[nodiscard]] std::uint64_t CompressedSize() const { return stream_.total_out; }
  // A compression stream only goes forward: both fail with kInvalidStreamOperation
  // (archive/ArchiveMessages.h holds the texts).
  [[noreturn]] void Read(void* buffer, std::size_t size);
  [[noreturn]] void Seek(std::int64_t offset);

  Notification OnProgress;

 private:
  void drainFullBuffer();
  z_stream stream_{};
  std::vector<unsigned char> buffer_;
  Sink sink_;
  bool finished_ = false;
};

// Inflates one zlib stream read from `source`, which fills a buffer and returns the number of
// bytes it gave (0 when there is no more). It never asks for more input than it needs to
// continue, and it stops at the end of the source instead of waiting for more.
class TDecompressionStream {
 public:
  using Source = std::function<std::size_t(unsigned char* buffer, std::size_t capacity)>;

  explicit TDecompressionStream(Source source);
  ~TDecompressionStream();
  TDecompressionStream(const TDecompressionStream&) = delete;
  TDecompressionStream& operator=(const TDecompressionStream&) = delete;

  // Produces up to `size` bytes; fewer only when the zlib stream has ended. A damaged stream,
  // or a source that runs dry before the stream ends, fails with kStreamError.
  std::size_t Read(void* buffer, std::size_t size);
  // Bytes produced so far.
  [[nodiscard]] std::uint64_t Position() const { return stream_.total_out; }

 private:
  z_stream stream_{};
  std::vector<unsigned char> buffer_;
  Source source_;
  bool ended_ = false;
};

// One-shot helpers over memory.
std::uint32_t crc32Of(const void* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace vantrel::zlb
