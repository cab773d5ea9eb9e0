#include "archive/ArchiveInternal.h"

#include <algorithm>

#include "archive/ArchiveMessages.h"
#include "archive/PathSafety.h"
#include "archive/ZLIBArchive.h"
#include "base/FileIo.h"
#include "base/Win1252.h"

namespace vantrel::zlb::detail {

void fail(ArchiveFailure kind) { throw EArchiveError(failure(kind)); }

void fail(ArchiveFailure kind, std::string_view value) {
  throw EArchiveError(failure(kind, value));
}

void fail(ArchiveFailure kind, std::string_view value, std::string_view reason) {
  throw EArchiveError(Failure{kindOf(kind),
                              formatMessage(englishText(kind), value) + ": " + std::string(reason),
                              {std::string(value), std::string(reason)},
                              {}});
}

std::string shown(const std::filesystem::path& path) {
  return utf8To1252(path.native()).value_or(path.native());
}

std::string recorded(const std::string& native) { return utf8To1252Recorded(native); }

void splitPath(const std::string& path, std::string& folder, std::string& name) {
  std::size_t cut = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (isPathSeparator(path[i])) cut = i + 1;
  }
  folder = path.substr(0, cut);
  name = path.substr(cut);
}

std::string withBackslashes(std::string folder) {
  std::replace(folder.begin(), folder.end(), '/', '\\');
  return folder;
}

std::string cut255(const std::string& text) { return text.substr(0, kMaxStringLength); }

TDecompressionStream::Source sourceBetween(File& file, std::uint64_t begin, std::uint64_t end) {
  return [&file, next = begin, end](unsigned char* buffer,
                                    std::size_t capacity) mutable -> std::size_t {
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(capacity, end - next));
    if (take == 0) return 0;
    const std::int64_t got = file.readAt(next, buffer, take);
    if (got <= 0) throw EDecompressionError(failure(ArchiveFailure::StreamError));
    next += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
  };
}

}  // namespace vantrel::zlb::detail
