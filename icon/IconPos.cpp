#include "icon/IconPos.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "base/ByteFile.h"
#include "base/FailureKinds.h"

namespace vantrel {

namespace {

// A plain file opened with O_NONBLOCK, so that a named pipe in its place cannot make us wait.
class PlainFile {
 public:
  PlainFile(const std::string& path, int flags) {
    fd_ = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    // Not a plain file: closed again before a byte was read or written.
    if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)))
      static_cast<void>(close());
    if (fd_ >= 0) size_ = static_cast<std::uint64_t>(info.st_size);
  }
  // A writer closes explicitly to learn whether the bytes arrived; here nobody could be told.
  ~PlainFile() { static_cast<void>(close()); }
  PlainFile(const PlainFile&) = delete;
  PlainFile& operator=(const PlainFile&) = delete;

  [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
  [[nodiscard]] std::uint64_t size() const { return size_; }

  // Bytes read into `buffer` (fewer only at the end of the file); -1 on an error.
  [[nodiscard]] std::int64_t read(char* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = ::read(fd_, buffer + done, count - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return -1;
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
  }

  [[nodiscard]] bool readExactlyAt(std::uint64_t offset, char* buffer, std::size_t count) {
    if (offset > size_ || count > size_ - offset) return false;
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    return read(buffer, count) == static_cast<std::int64_t>(count);
  }

  [[nodiscard]] bool writeAllAt(std::uint64_t offset, const void* bytes, std::size_t count) {
    const auto* data = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t put =
          ::pwrite(fd_, data + done, count - done, static_cast<off_t>(offset + done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += static_cast<std::size_t>(put);
    }
    return true;
  }

  [[nodiscard]] bool close() {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// The smallest p > 0 with needle[i] == needle[i + p] for every i (the needle's period).
std::size_t smallestPeriod(std::string_view needle) {
  std::vector<std::size_t> border(needle.size() + 1, 0);  // longest proper border of each prefix
  std::size_t length = 0;
  for (std::size_t i = 1; i < needle.size(); ++i) {
    while (length > 0 && needle[i] != needle[length]) length = border[length];
    if (needle[i] == needle[length]) ++length;
    border[i + 1] = length;
  }
  return needle.size() - border[needle.size()];
}

// How many bytes from `start` on each equal the byte `period` before them.
std::size_t periodicRun(std::string_view text, std::size_t start, std::size_t period) {
  constexpr std::size_t kStep = 4096;
  std::size_t at = start;
  while (text.size() - at >= kStep &&
         std::memcmp(text.data() + at, text.data() + at - period, kStep) == 0)
    at += kStep;
  while (at < text.size() && text[at] == text[at - period]) ++at;
  return at - start;
}

std::string encoded(std::string_view decoded) {
  std::string bytes(decoded);
  for (char& byte : bytes) byte = static_cast<char>(static_cast<std::uint8_t>(byte) + 1);
  return bytes;
}

}  // namespace

std::optional<std::size_t> lastOccurrence(std::string_view haystack, std::string_view needle) {
  const std::size_t m = needle.size();
  if (m == 0 || m > haystack.size()) return std::nullopt;
  const std::size_t period = smallestPeriod(needle);
  std::optional<std::size_t> last;
  std::size_t from = 0;
  while (from + m <= haystack.size()) {
    // glibc's memmem uses the Two-Way algorithm for long needles: linear at worst and skipping
    // ahead on ordinary data.
    const void* hit = ::memmem(haystack.data() + from, haystack.size() - from, needle.data(), m);
    if (hit == nullptr) break;
    std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data());
    // Overlapping occurrences of a repetitive needle follow one another every `period` bytes
    // for as long as each following byte equals the one `period` before it; that run is
    // measured once instead of comparing the whole needle again at each step.
    const std::size_t run = periodicRun(haystack, at + m, period);
    at += run / period * period;
    last = at;
    from = at + 1;
  }
  return last;
}

std::optional<std::uint64_t> findLastDecodedOccurrence(const std::filesystem::path& encodedPath,
                                                       std::string_view pattern,
                                                       std::size_t blockSize) {
  PlainFile file(encodedPath, O_RDONLY);
  if (!file.isOpen())
    throw CannotOpenFile(failure(FileFailure::CannotOpenPlain, encodedPath), encodedPath);
  if (pattern.empty()) return std::nullopt;
  // Comparing the stored bytes with the pattern increased by one finds the same places as
  // comparing decoded bytes with the pattern, without decoding the file.
  const std::string needle = encoded(pattern);
  const std::size_t keep = needle.size() - 1;  // an occurrence may straddle two blocks
  std::vector<char> buffer(keep + std::max(blockSize, std::size_t{1}));
  std::size_t filled = 0;
  std::uint64_t bufferStart = 0;  // file offset of buffer[0]
  std::optional<std::uint64_t> last;
  for (;;) {
    const std::int64_t got = file.read(buffer.data() + filled, buffer.size() - filled);
    if (got < 0)
      throw InOutError(failure(FileFailure::CannotRead, encodedPath, std::strerror(errno)));
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
    if (const auto at = lastOccurrence(std::string_view(buffer.data(), filled), needle))
      last = bufferStart + *at;
    if (filled > keep) {
      std::memmove(buffer.data(), buffer.data() + filled - keep, keep);
      bufferStart += filled - keep;
      filled = keep;
    }
  }
  return last;
}

std::uint32_t RenderIconPos(const std::filesystem::path& prototypePath,
                            const std::filesystem::path& patternPath) {
  std::string pattern(kIconPixelBlockSize, '\0');
  {
    PlainFile patternFile(patternPath, O_RDONLY);
    if (!patternFile.isOpen() ||
        !patternFile.readExactlyAt(kIconPatternOffset, pattern.data(), pattern.size())) {
      return 0;
    }
  }
  try {
    const auto at = findLastDecodedOccurrence(prototypePath, pattern);
    if (!at || *at > std::numeric_limits<std::uint32_t>::max()) return 0;
    return static_cast<std::uint32_t>(*at);
  } catch (const std::exception&) {
    return 0;  // a missing or unreadable prototype leaves the program with its own icon
  }
}

std::uint32_t RenderIconPos(const std::filesystem::path& programFolder) {
  return RenderIconPos(programFolder / kPrototypeFileName, programFolder / kIconPatternFileName);
}

IconPixelBlock iconPixelBlock(const IconBitmap& bitmap) {
  const bool asHeld =
      bitmap.isStandardShape() && bitmap.pixels.size() == std::size_t{kIconSize} * kIconSize;
  const auto indexAt = [&](int x, int y) -> std::uint8_t {
    if (asHeld) return bitmap.pixel(x, y) & 0x0F;
    if (x >= bitmap.width || y >= bitmap.height) return nearestIconPaletteIndex({255, 255, 255});
    return nearestIconPaletteIndex(bitmap.colourAt(x, y));
  };
  IconPixelBlock block{};
  constexpr int kRowBytes = kIconSize / 2;
  for (int j = 0; j < kIconSize; ++j) {
    const int row = kIconSize - 1 - j;
    for (int k = 0; k < kRowBytes; ++k) {
      block[static_cast<std::size_t>(j) * kRowBytes + static_cast<std::size_t>(k)] =
          static_cast<std::uint8_t>(indexAt(2 * k, row) << 4 | indexAt(2 * k + 1, row));
    }
  }
  return block;
}

WriteIconResult WriteIcon(const std::filesystem::path& outputPath, std::uint32_t iconPos,
                          const IconBitmap& bitmap) {
  if (iconPos == 0) return WriteIconResult::NoIconPos;
  const IconPixelBlock block = iconPixelBlock(bitmap);
  PlainFile file(outputPath, O_WRONLY);  // no O_CREAT, no O_TRUNC: the file keeps its length
  if (!file.isOpen()) return WriteIconResult::CannotOpen;
  if (file.size() < std::uint64_t{iconPos} + block.size()) return WriteIconResult::TooShort;
  const bool written = file.writeAllAt(iconPos, block.data(), block.size());
  const bool closed = file.close();
  return written && closed ? WriteIconResult::Written : WriteIconResult::WriteFailed;
}

}  // namespace vantrel
