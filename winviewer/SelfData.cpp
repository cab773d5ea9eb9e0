#include "winviewer/SelfData.h"

#include <windows.h>

#include <optional>
#include <vector>

namespace vantrel::winviewer {
namespace {

// Positioned reads that go on until every asked byte is there, so a short read is a failure
// and never a silent gap.
bool readAt(HANDLE file, std::uint64_t offset, char* buffer, std::size_t size) {
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(file, buffer, ask, &got, &at) || got == 0) return false;
    buffer += got;
    offset += got;
    size -= got;
  }
  return true;
}

class OpenFile {
 public:
  explicit OpenFile(const std::wstring& path)
      : handle_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~OpenFile() {
    if (valid()) CloseHandle(handle_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  [[nodiscard]] HANDLE handle() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::wstring ownProgramPath() {
  // Long paths: the buffer grows until the whole name fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

exe::OwnData readOwnData(const std::wstring& programPath,
                         const std::array<unsigned char, exe::kMarkerRecordSize>& record) {
  std::optional<OpenFile> file;
  const exe::OpenProgram open = [&]() -> std::optional<std::uint64_t> {
    if (programPath.empty()) return std::nullopt;
    file.emplace(programPath);
    LARGE_INTEGER size{};
    if (!file->valid() || !GetFileSizeEx(file->handle(), &size) || size.QuadPart < 0)
      return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
  };
  const exe::ReadAt reader = [&file](std::uint64_t offset, char* buffer, std::size_t count) {
    return readAt(file->handle(), offset, buffer, count);
  };
  return exe::readOwnData(record, open, reader);
}

}  // namespace vantrel::winviewer
