#pragma once
// Thin POSIX file layer: whole-buffer reads and writes that tell a short read
// apart from an error, positioned reads that never look past a given end, and files created
// exclusively under a unique name. Every result that tells of a failure is [[nodiscard]]: a
// dropped one is a lost error. Where dropping one is right (closing a file that was only read),
// the caller says so with a cast to void and a comment.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vantrel {

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Open an existing regular file for reading; false when it cannot be opened or is anything
  // else (a folder, a FIFO, a device). Never blocks, whatever stands under the name.
  [[nodiscard]] bool openForReading(const std::filesystem::path& path);
  // Open an existing file for reading and writing; false when it cannot be opened.
  [[nodiscard]] bool openForUpdate(const std::filesystem::path& path);
  // Create a new file with a unique name "<folder>/<prefix>XXXXXX", opened for reading and
  // writing and shared with nobody else; false when it cannot be created.
  [[nodiscard]] bool createUnique(const std::filesystem::path& folder, const std::string& prefix);
  // Create a new file under exactly this name, readable and writable by everyone the umask
  // allows; false (errno set) when it exists already or cannot be created.
  [[nodiscard]] bool createExclusive(const std::filesystem::path& path);

  [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] int descriptor() const { return fd_; }

  // Size of the open file, or -1.
  [[nodiscard]] std::int64_t size() const;
  // Reads up to `count` bytes at the current position; returns the bytes read (0 at the end),
  // or -1 on an error.
  [[nodiscard]] std::int64_t read(void* buffer, std::size_t count);
  // Reads up to `count` bytes at `offset` without moving the position; -1 on an error.
  [[nodiscard]] std::int64_t readAt(std::uint64_t offset, void* buffer, std::size_t count);
  // Fills the buffer completely from `offset`; false on an error or when the file ends first.
  [[nodiscard]] bool readExactlyAt(std::uint64_t offset, void* buffer, std::size_t count);
  // The rest: false (errno set) when the system call fails.
  [[nodiscard]] bool writeAll(const void* buffer, std::size_t count);
  [[nodiscard]] bool seekTo(std::uint64_t offset);
  [[nodiscard]] bool truncateTo(std::uint64_t length);
  [[nodiscard]] bool flushToDisk();
  [[nodiscard]] bool close();  // keeps path() for a later removal

 private:
  // Closes without a result, where nobody could be told: the destructor, a move over an open
  // file, and opening another file in its place. A caller that wrote through the file and
  // wants to know whether the bytes arrived calls close() itself first.
  void release();

  int fd_ = -1;
  std::filesystem::path path_;
};

bool fileExists(const std::filesystem::path& path);  // anything at that name, folder included
bool isFolder(const std::filesystem::path& path);    // follows a symbolic link
void removeFile(const std::filesystem::path& path);  // failures are ignored

// The system's folder for temporary files: $TMPDIR when set, otherwise /tmp; no trailing "/".
std::filesystem::path systemTempFolder();
// The folder part of a path ("." for a bare name), without a trailing "/".
std::filesystem::path folderOf(const std::filesystem::path& path);

}  // namespace vantrel
