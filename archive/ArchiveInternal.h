#pragma once
// Helpers that the source files of TZLBArchive share (reading, writing, extraction and the
// facade). Not part of the component's interface: only archive/*.cpp include this header.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "archive/ArchiveMessages.h"
#include "archive/ZlibStreams.h"

namespace vantrel {
class File;
}

namespace vantrel::zlb::detail {

// Raises EArchiveError of `kind`, with its text of archive/ArchiveMessages.h, `value` in the
// place of its "%s" and, when there is one, ": " and the `reason` behind.
[[noreturn]] void fail(ArchiveFailure kind);
[[noreturn]] void fail(ArchiveFailure kind, std::string_view value);
[[noreturn]] void fail(ArchiveFailure kind, std::string_view value, std::string_view reason);

// A path as a message shows it: in Windows-1252 where it can be.
std::string shown(const std::filesystem::path& path);
// A native path as the archive records it: Windows-1252, "_" for what it cannot hold.
std::string recorded(const std::string& native);

// Splits a path into its folder part (up to and including the last separator) and its name.
void splitPath(const std::string& path, std::string& folder, std::string& name);
std::string withBackslashes(std::string folder);
// A text cut as the registry cuts its strings.
std::string cut255(const std::string& text);

// Feeds a decompression stream from the bytes [begin, end) of a file and nothing beyond, so a
// damaged stream can never read into the next member, the registry or the trailer.
TDecompressionStream::Source sourceBetween(File& file, std::uint64_t begin, std::uint64_t end);

}  // namespace vantrel::zlb::detail
