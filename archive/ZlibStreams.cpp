#include "archive/ZlibStreams.h"

#include <string>

#include "archive/ArchiveMessages.h"

namespace vantrel::zlb {
namespace {

constexpr int kWindowBits = 15;  // as the inflater of ArchiveFormat.cpp expects
constexpr int kMemoryLevel = 8;

}  // namespace

TCompressionStream::TCompressionStream(TFileCompressionLevel level, Sink sink)
    : buffer_(kStreamBufferSize), sink_(std::move(sink)) {
  if (deflateInit2(&stream_, zlibLevelOf(level), Z_DEFLATED, kWindowBits, kMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    throw ECompressionError(failure(ArchiveFailure::StreamError));
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
  if (finished_) throw ECompressionError(failure(ArchiveFailure::InvalidStreamOperation));
  auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const uInt piece = zlibPiece(size);
    stream_.next_in = const_cast<Bytef*>(bytes);
    stream_.avail_in = piece;
    while (stream_.avail_in > 0) {
      if (deflate(&stream_, Z_NO_FLUSH) < 0)
        throw ECompressionError(failure(ArchiveFailure::StreamError));
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
      throw ECompressionError(failure(ArchiveFailure::StreamError));
    if (result == Z_STREAM_END) break;
    if (stream_.avail_out == 0)
      drainFullBuffer();
    else if (result == Z_BUF_ERROR)
      throw ECompressionError(failure(ArchiveFailure::StreamError));
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
  throw ECompressionError(failure(ArchiveFailure::InvalidStreamOperation));
}
void TCompressionStream::Seek(std::int64_t) {
  throw ECompressionError(failure(ArchiveFailure::InvalidStreamOperation));
}

TDecompressionStream::TDecompressionStream(Source source) : inflater_(std::move(source)) {
  if (!inflater_.ready()) throw EDecompressionError(failure(ArchiveFailure::StreamError));
}

std::size_t TDecompressionStream::Read(void* buffer, std::size_t size) {
  const std::optional<std::size_t> produced = inflater_.read(buffer, size);
  if (!produced) throw EDecompressionError(failure(ArchiveFailure::StreamError));
  return *produced;
}

}  // namespace vantrel::zlb
