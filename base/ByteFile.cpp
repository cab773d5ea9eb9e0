#include "base/ByteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include "base/AtomicFile.h"
#include "base/FailureKinds.h"

namespace vantrel {
namespace {

constexpr std::size_t kBufferSize = std::size_t{64} * 1024;

std::string systemText(int error) { return std::strerror(error); }

[[noreturn]] void throwReadError(int error) {
  throw InOutError(failure(FileFailure::ReadFailed, systemText(error)));
}

[[noreturn]] void throwWriteError(int error) {
  throw InOutError(failure(FileFailure::WriteFailed, systemText(error)));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reading

std::string readBytes(ByteReader& reader, std::uint64_t size) {
  if (size > reader.remaining()) throw InOutError(failure(FileFailure::ReadBeyondEnd));
  std::string bytes(static_cast<std::size_t>(size), '\0');
  reader.read(bytes.data(), bytes.size());
  return bytes;
}

std::uint8_t readByte(ByteReader& reader) {
  char byte = 0;
  reader.read(&byte, 1);
  return static_cast<std::uint8_t>(byte);
}

std::int32_t readInt32LE(ByteReader& reader) {
  unsigned char bytes[4] = {};
  reader.read(reinterpret_cast<char*>(bytes), sizeof bytes);
  const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                              std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
  return static_cast<std::int32_t>(value);
}

void MemoryReader::read(char* destination, std::size_t size) {
  if (size > remaining()) throw InOutError(failure(FileFailure::ReadBeyondEnd));
  if (size > 0) std::memcpy(destination, bytes_.data() + position_, size);
  position_ += size;
}

FileReader::FileReader(const std::filesystem::path& path) {
  // Non-blocking, so that a named pipe is refused below instead of waiting for a writer.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0)
    throw CannotOpenFile(failure(FileFailure::CannotOpen, path, systemText(errno)), path);
  struct stat info {};
  if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw CannotOpenFile(failure(FileFailure::NotAPlainFile, path), path);
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
}

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

void FileReader::refill() {
  buffer_.resize(kBufferSize);
  bufferPosition_ = 0;
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got > 0) {
      buffer_.resize(static_cast<std::size_t>(got));
      return;
    }
    if (got == 0) {
      buffer_.clear();
      throw InOutError(failure(FileFailure::ReadBeyondEnd));  // the file shrank while we read it
    }
    if (errno != EINTR) {
      buffer_.clear();
      throwReadError(errno);
    }
  }
}

void FileReader::read(char* destination, std::size_t size) {
  if (size > remaining()) throw InOutError(failure(FileFailure::ReadBeyondEnd));
  while (size > 0) {
    if (bufferPosition_ == buffer_.size()) refill();
    const std::size_t part = std::min(size, buffer_.size() - bufferPosition_);
    std::memcpy(destination, buffer_.data() + bufferPosition_, part);
    bufferPosition_ += part;
    consumed_ += part;
    destination += part;
    size -= part;
  }
}

std::string readWholeFile(const std::filesystem::path& path) {
  FileReader reader(path);
  return readBytes(reader, reader.remaining());
}

// ---------------------------------------------------------------------------------------------
// Writing

void writeByte(ByteWriter& writer, std::uint8_t value) {
  const char byte = static_cast<char>(value);
  writer.write(std::string_view(&byte, 1));
}

void writeInt32LE(ByteWriter& writer, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const char bytes[4] = {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
                         static_cast<char>((bits >> 16) & 0xFF),
                         static_cast<char>((bits >> 24) & 0xFF)};
  writer.write(std::string_view(bytes, sizeof bytes));
}

void OstreamWriter::write(std::string_view bytes) {
  stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!stream_) throw InOutError(failure(FileFailure::WriteFailedPlain));
}

void OstreamWriter::flush() {
  stream_.flush();
  if (!stream_) throw InOutError(failure(FileFailure::WriteFailedPlain));
}

std::unique_ptr<FileWriter> FileWriter::create(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0)
    throw CannotCreateFile(failure(FileFailure::CannotCreate, path, systemText(errno)), path);
  return std::make_unique<FileWriter>(fd);
}

FileWriter::~FileWriter() {
  if (fd_ < 0) return;
  try {
    flush();  // like a stream: bytes given are not dropped silently
  } catch (const InOutError&) {
  }
  ::close(fd_);
}

void FileWriter::writeToFd(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd_, bytes.data(), bytes.size());
    if (done < 0) {
      if (errno == EINTR) continue;
      throwWriteError(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
}

void FileWriter::write(std::string_view bytes) {
  if (fd_ < 0) throw InOutError(failure(FileFailure::FileClosed));
  if (buffer_.size() + bytes.size() > kBufferSize) {
    flush();
    if (bytes.size() >= kBufferSize) {
      writeToFd(bytes);
      return;
    }
  }
  buffer_.append(bytes);
}

void FileWriter::flush() {
  if (buffer_.empty()) return;
  std::string pending;
  pending.swap(buffer_);  // a failed write is not tried again
  writeToFd(pending);
}

void FileWriter::sync() {
  flush();
  if (::fsync(fd_) != 0) throwWriteError(errno);
}

void FileWriter::close() {
  if (fd_ < 0) return;
  flush();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throwWriteError(errno);
}

// ---------------------------------------------------------------------------------------------
// Replacing a file

namespace {

// Buffers in front of the new file and turns its failures into InOutError.
class AtomicFileWriter final : public ByteWriter {
 public:
  explicit AtomicFileWriter(AtomicFile& file) : file_(file) {}
  void write(std::string_view bytes) override {
    if (buffer_.size() + bytes.size() > kBufferSize) flush();
    if (bytes.size() >= kBufferSize) {
      check(file_.write(bytes));
    } else {
      buffer_.append(bytes);
    }
  }
  void flush() override {
    std::string pending;
    pending.swap(buffer_);  // a failed write is not tried again
    if (!pending.empty()) check(file_.write(pending));
  }

 private:
  static void check(const Status& status) {
    if (!status) throw InOutError(status.failure());
  }
  AtomicFile& file_;
  std::string buffer_;
};

}  // namespace

void replaceFile(const std::filesystem::path& path, const std::function<void(ByteWriter&)>& produce,
                 const WriterFilter& filter) {
  auto begun = AtomicFile::begin(path);
  if (!begun) throw CannotCreateFile(begun.failure(), path);
  AtomicFile& file = begun.value();
  AtomicFileWriter writer(file);
  if (filter) {
    const auto front = filter(writer);
    produce(*front);
    front->flush();
  } else {
    produce(writer);
  }
  writer.flush();
  if (const Status committed = file.commit(); !committed) throw InOutError(committed.failure());
}

std::string fileNamePart(const std::filesystem::path& path) {
  const std::string& text = path.native();
  const auto slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace vantrel
