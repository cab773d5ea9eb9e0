#pragma once
// The icon pixels of the built program. The prototype viewer carries a 32 x 32, 4-bit icon
// image; "iconcomp.dat" holds a copy of its 512 pixel bytes at offsets 168..679. The build
// finds where those bytes lie in the decoded prototype (IconPos) and, once the program's bytes
// are written, overwrites the same 512 bytes of it with the IconBitmap's pixels.
//
// The build calls, in this order:
//   if (iconPos == 0) iconPos = RenderIconPos(programFolder);   // before the assembly
//   ... assemble the program into its new file ...
//   WriteIcon(newFile, iconPos, iconBitmap);  // before the new file replaces the output

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "icon/IconBitmap.h"

namespace vantrel {

inline constexpr std::size_t kIconPixelBlockSize = 512;
inline constexpr std::uint64_t kIconPatternOffset = 168;
inline constexpr const char* kIconPatternFileName = "iconcomp.dat";
// The Windows viewer (the default target) and the Linux viewer, each stored every byte + 1.
inline constexpr const char* kPrototypeFileName = "ProtoExe.dat";
inline constexpr const char* kLinuxPrototypeFileName = "ProtoLinux.dat";

using IconPixelBlock = std::array<std::uint8_t, kIconPixelBlockSize>;

// The start of the last occurrence of `needle` in `haystack`, overlapping occurrences included;
// nothing when there is none or the needle is empty. Sublinear on ordinary data; even on
// repetitive data every byte is compared only a bounded number of times.
[[nodiscard]] std::optional<std::size_t> lastOccurrence(std::string_view haystack,
                                                        std::string_view needle);

// The offset of the last occurrence of the decoded `pattern` in the file at `encodedPath`,
// whose bytes are stored increased by one (modulo 256); nothing when it does not occur.
// Reads the file once in blocks of `blockSize` bytes. Throws CannotOpenFile or InOutError.
[[nodiscard]] std::optional<std::uint64_t> findLastDecodedOccurrence(
    const std::filesystem::path& encodedPath, std::string_view pattern,
    std::size_t blockSize = std::size_t{1} << 20);

// IconPos: the offset of the last occurrence of the icon pattern (512 bytes at offset 168 of
// `patternPath`) in the decoded prototype, or 0 when the pattern file is missing or too short,
// the prototype is missing or unreadable, the pattern occurs nowhere, or its last occurrence
// lies beyond what 32 bits can hold. Never throws for a file problem.
[[nodiscard]] std::uint32_t RenderIconPos(const std::filesystem::path& prototypePath,
                                          const std::filesystem::path& patternPath);
// The same for the files beside the tool: programFolder + "ProtoExe.dat" and + "iconcomp.dat"
// (programFolder ends with "/").
[[nodiscard]] std::uint32_t RenderIconPos(const std::filesystem::path& programFolder);

// The 512 bytes written into the program: IconBitmap row 31 first, row 0 last, 16 bytes a row,
// two pixels a byte, the left one in the high four bits. A 32 x 32, 4-bit bitmap gives its own
// palette indices unchanged; a bitmap of another size or depth (loaded from a bitmap file the
// tool did not write) gives, for each of the 32 x 32 pixels from its top-left corner, the
// IconPalette index nearest to its colour, and white where it has no pixel.
IconPixelBlock iconPixelBlock(const IconBitmap& bitmap);

enum class WriteIconResult {
  Written,
  NoIconPos,   // IconPos 0: nothing to do, the file is not touched
  CannotOpen,  // missing, not a plain file, or not writable
  TooShort,    // the file ends before IconPos + 512: writing would lengthen it
  WriteFailed,
};

// Writes the pixel block into the existing file at offset `iconPos` without changing its length.
// Reports no error to the user: any result but Written leaves the program with the prototype's
// icon.
[[nodiscard]] WriteIconResult WriteIcon(const std::filesystem::path& outputPath,
                                        std::uint32_t iconPos, const IconBitmap& bitmap);

}  // namespace vantrel
