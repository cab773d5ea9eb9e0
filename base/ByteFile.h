#pragma once
// Byte files: sequential readers and writers of raw bytes, little-endian integers, and the
// safe replacement of a user's file. Used by the project file, the string helpers of
// `brixtel` and the EXE builder.
//
// Errors:
//   InOutError        a read or write failed; what() is the English text that the general
//                     error handler shows ("Read beyond end of file." for a file that ends early).
//   CannotOpenFile    a file could not be opened for reading (missing, no permission, a folder).
//   CannotCreateFile  a file could not be created for writing (folder missing or not writable,
//                     target write-protected or not a plain file).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "base/Error.h"

namespace vantrel {

class InOutError : public Error {
 public:
  using Error::Error;
};

inline constexpr const char* kReadBeyondEndOfFile = "Read beyond end of file.";

// Carries the path so that callers can phrase their own message.
class FileError : public Error {
 public:
  FileError(Failure failure, std::filesystem::path path)
      : Error(std::move(failure)), path_(std::move(path)) {}
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class CannotOpenFile : public FileError {
 public:
  using FileError::FileError;
};

class CannotCreateFile : public FileError {
 public:
  using FileError::FileError;
};

// ---------------------------------------------------------------------------------------------
// Reading

class ByteReader {
 public:
  virtual ~ByteReader() = default;
  // Bytes between the current position and the end of the file.
  [[nodiscard]] virtual std::uint64_t remaining() const = 0;
  // Reads exactly `size` bytes; throws InOutError when fewer are there.
  virtual void read(char* destination, std::size_t size) = 0;

  [[nodiscard]] bool atEnd() const { return remaining() == 0; }
};

// Reads a block only after checking that the file really holds it, so a damaged size never
// allocates more than the file's own length.
std::string readBytes(ByteReader& reader, std::uint64_t size);
std::uint8_t readByte(ByteReader& reader);
std::int32_t readInt32LE(ByteReader& reader);

class MemoryReader final : public ByteReader {
 public:
  explicit MemoryReader(std::string_view bytes) : bytes_(bytes) {}
  [[nodiscard]] std::uint64_t remaining() const override { return bytes_.size() - position_; }
  void read(char* destination, std::size_t size) override;

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

// A plain file opened for reading; its length is taken when it is opened.
class FileReader final : public ByteReader {
 public:
  // Throws CannotOpenFile, also for folders and other things that are not plain files.
  explicit FileReader(const std::filesystem::path& path);
  ~FileReader() override;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  [[nodiscard]] std::uint64_t remaining() const override { return size_ - consumed_; }
  void read(char* destination, std::size_t size) override;

 private:
  void refill();

  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::uint64_t consumed_ = 0;
  std::string buffer_;
  std::size_t bufferPosition_ = 0;
};

// Reads a whole plain file; throws CannotOpenFile or InOutError.
std::string readWholeFile(const std::filesystem::path& path);

// ---------------------------------------------------------------------------------------------
// Writing

class ByteWriter {
 public:
  virtual ~ByteWriter() = default;
  // Writes all bytes or throws InOutError.
  virtual void write(std::string_view bytes) = 0;
  // Hands buffered bytes on; throws InOutError.
  virtual void flush() {}
};

void writeByte(ByteWriter& writer, std::uint8_t value);
void writeInt32LE(ByteWriter& writer, std::int32_t value);

class StringWriter final : public ByteWriter {
 public:
  explicit StringWriter(std::string& target) : target_(target) {}
  void write(std::string_view bytes) override { target_.append(bytes); }

 private:
  std::string& target_;
};

// Over any std::ostream (std::ofstream, std::cout, ...); a stream that goes bad is an InOutError.
class OstreamWriter final : public ByteWriter {
 public:
  explicit OstreamWriter(std::ostream& stream) : stream_(stream) {}
  void write(std::string_view bytes) override;
  void flush() override;

 private:
  std::ostream& stream_;
};

// Buffered writer over a POSIX file descriptor that it owns.
class FileWriter final : public ByteWriter {
 public:
  // Creates the file or truncates an existing one; throws CannotCreateFile.
  static std::unique_ptr<FileWriter> create(const std::filesystem::path& path);
  explicit FileWriter(int fd) : fd_(fd) {}
  ~FileWriter() override;
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  void write(std::string_view bytes) override;
  void flush() override;
  // Flushes and waits until the bytes are on the disk.
  void sync();
  // Flushes and closes; throws InOutError when the system reports a failure on closing.
  void close();

 private:
  void writeToFd(std::string_view bytes);

  int fd_ = -1;
  std::string buffer_;
};

// Lets a caller put a writer in front of the real file, for example one that fails after a
// number of bytes in a test of the error path.
using WriterFilter = std::function<std::unique_ptr<ByteWriter>(ByteWriter& file)>;

// Replaces (or creates) `path` through AtomicFile (base/AtomicFile.h), so no damaged file is
// ever left behind and an existing file at `path` stays as it was on any failure.
// Throws CannotCreateFile when the new file cannot be made or `path` must not be replaced
// (a folder, a write-protected file), InOutError when writing, syncing or renaming fails, and
// lets any exception of `produce` through after cleaning up.
void replaceFile(const std::filesystem::path& path, const std::function<void(ByteWriter&)>& produce,
                 const WriterFilter& filter = {});

// The part of a path after the last "/" (what messages show of a file).
std::string fileNamePart(const std::filesystem::path& path);

}  // namespace vantrel
