#include "archive/ZlibStreams.h"

#include <algorithm>
#include <limits>
#include <string>

#include "archive/ArchiveMessages.h"

namespace vantrel::zlb {
namespace {

constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;

// zlib counts in uInt; feed it pieces it can hold.
uInt chunkFor(std::size_t size) {
  return static_cast<uInt>(std::min<std::size_t>(size, std::numeric_limits<uInt>::max()));
}

}  // namespace

TCompressionStream::TCompressionStream(TFileCompressionLevel level, Sink sink)
    : buffer_(kStreamBufferSize), sink_(std::move(sink)) {
  if (deflateInit2(&stream_, zlibLevelOf(level), Z_DEFLATED, kWindowBits, kMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    throw ECompressionError(archiveFailure(ArchiveFailure::StreamError));
  }
  stream_.next_out = buffer_.data();
  stream_.avail_out = static_cast<uInt>(buffer_.size());
}

TCompressionStream::~TCompressionStream() { deflateEnd(&stream_); }

void TCompressionStream::drainFullBuffer() {
  sink_(buffer_.data(), buffer_.size());
  stream_.next_out = buffer_.data();
  stream_.avail_out = static_cast<uInt>(buffer_.size());
  if (OnProgress) OnProgress(*this);
}

void TCompressionStream::Write(const void* data, std::size_t size) {
  if (finished_) throw ECompressionError(archiveFailure(ArchiveFailure::InvalidStreamOperation));
  auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const uInt piece = chunkFor(size);
    stream_.next_in = const_cast<Bytef*>(bytes);
    stream_.avail_in = piece;
    while (stream_.avail_in > 0) {
      if (deflate(&stream_, Z_NO_FLUSH) < 0)
        throw ECompressionError(archiveFailure(ArchiveFailure::StreamError));
      if (stream_.avail_out == 0) drainFullBuffer();
    }
    bytes += piece;
    size -= piece;
  }
}

void TCompressionStream::Finish() {
  if (finished_) return;
  for (;;) {
    const int result = deflate(&stream_, Z_FINISH);
    if (result < 0 && result != Z_BUF_ERROR)
      throw ECompressionError(archiveFailure(ArchiveFailure::StreamError));
    if (result == Z_STREAM_END) break;
    if (stream_.avail_out == 0)
      drainFullBuffer();
    else if (result == Z_BUF_ERROR)
      throw ECompressionError(archiveFailure(ArchiveFailure::StreamError));
  }
  const std::size_t filled = buffer_.size() - stream_.avail_out;
  if (filled == buffer_.size()) {
    drainFullBuffer();
  } else if (filled > 0) {
    sink_(buffer_.data(), filled);
  }
  finished_ = true;
}

void TCompressionStream::Read(void*, std::size_t) {
  throw ECompressionError(archiveFailure(ArchiveFailure::InvalidStreamOperation));
}
void TCompressionStream::Seek(std::int64_t) {
  throw ECompressionError(archiveFailure(ArchiveFailure::InvalidStreamOperation));
}

TDecompressionStream::TDecompressionStream(Source source)
    : buffer_(kStreamBufferSize), source_(std::move(source)) {
  if (inflateInit2(&stream_, kWindowBits) != Z_OK)
    throw EDecompressionError(archiveFailure(ArchiveFailure::StreamError));
}

TDecompressionStream::~TDecompressionStream() { inflateEnd(&stream_); }

std::size_t TDecompressionStream::Read(void* buffer, std::size_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t produced = 0;
  while (produced < size && !ended_) {
    if (stream_.avail_in == 0) {
      stream_.next_in = buffer_.data();
      stream_.avail_in = static_cast<uInt>(source_(buffer_.data(), buffer_.size()));
      // No input left while the stream is still open: the stored bytes end too early.
      if (stream_.avail_in == 0)
        throw EDecompressionError(archiveFailure(ArchiveFailure::StreamError));
    }
    const uInt room = chunkFor(size - produced);
    stream_.next_out = out + produced;
    stream_.avail_out = room;
    const int result = inflate(&stream_, Z_NO_FLUSH);
    // A preset dictionary cannot occur in a member; treat the request like damage.
    if (result < 0 || result == Z_NEED_DICT)
      throw EDecompressionError(archiveFailure(ArchiveFailure::StreamError));
    produced += room - stream_.avail_out;
    if (result == Z_STREAM_END) ended_ = true;
  }
  return produced;
}

std::uint32_t crc32Of(const void* data, std::size_t size, std::uint32_t crc) {
  auto* bytes = static_cast<const Bytef*>(data);
  uLong value = crc;
  while (size > 0) {
    const uInt piece = chunkFor(size);
    value = ::crc32(value, bytes, piece);
    bytes += piece;
    size -= piece;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace vantrel::zlb
