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

// Inflates one zlib stream read from `source` (see ZlibInflater in ArchiveFormat.h, which does
// the work) and raises its failures as exceptions.
class TDecompressionStream {
 public:
  using Source = ZlibInflater::Source;

  explicit TDecompressionStream(Source source);
  TDecompressionStream(const TDecompressionStream&) = delete;
  TDecompressionStream& operator=(const TDecompressionStream&) = delete;

  // Produces up to `size` bytes; fewer only when the zlib stream has ended. A damaged stream,
  // or a source that runs dry before the stream ends, fails with kStreamError.
  std::size_t Read(void* buffer, std::size_t size);
  // Bytes produced so far.
  [[nodiscard]] std::uint64_t Position() const { return inflater_.produced(); }

 private:
  ZlibInflater inflater_;
};

}  // namespace vantrel::zlb
