#pragma once
// The layout of a built program, shared by the builder that writes it and the viewer that
// reads itself back:
//
//   [decoded prototype, S bytes, holding the 20-byte marker record][WindowSettings][ZLB archive]
//
// The marker record in the prototype starts with the eight marker characters (see
// ExeAssembly.h; they are deliberately not spelled out here, because the viewer includes
// this header and any copy of them in its file could be mistaken for its record). The builder
// puts S into its first four bytes and zero into its last four:
//
//   offset 0   4  S, unsigned 32-bit little-endian ("BRXT" in the prototype)
//   offset 4   4  "EXEH"
//   offset 8   4  "VFRM": this viewer's layout tag
//   offset 12  4  layout version, 32-bit little-endian, 1
//   offset 16  4  zero once built; "PROT" in the prototype, so a half-patched record shows
//
// WindowSettings at S: the ten element flags, width and height (signed 32-bit, as typed),
// the defined-size and fixed-size flags, then the project name and the page path, each as a
// LengthPrefixedString. Its size is 28 + L1 + L2.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ByteFile.h"
#include "program/ViewerRecord.h"
#include "project/ProjectFile.h"

namespace vantrel::exe {

inline constexpr std::size_t kMarkerTextSize = 8;
// The marker rule works on blocks of this size, counted from the prototype's first byte.
inline constexpr std::size_t kBlockSize = 2048;
// WindowSettings without the two texts.
inline constexpr std::size_t kWindowSettingsFixedSize = 28;

// WindowSettings (ViewerRecord.h) field by field, in file order; write errors are the
// writer's InOutError.
void writeWindowSettings(ByteWriter& file, const WindowSettings& settings);
std::string windowSettingsBytes(const WindowSettings& settings);

}  // namespace vantrel::exe
