#pragma once
// What WmfFuzz and EmfFuzz hold of every conversion of arbitrary bytes to SVG (MetafileSvg.h),
// beyond "no crash, no leak":
//  - a failure is a PictureError, nothing else (an uncaught exception aborts the run);
//  - no single allocation exceeds what the bytes can justify;
//  - a converted picture has a size the pixel bound allows and an SVG document as its text;
//  - where the converter promises it (WMF: its texts are handed over as XML text), that text
//    is UTF-8 without control characters, and every "<" and "&" in it starts markup or a
//    reference: QtSvg refuses a document that is not, and with it the whole picture.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/AllocationWatch.h"
#include "icon/loaders/MetafileSvg.h"

namespace vantrel::fuzz {

// Small enough that the fuzzer's memory limit is never the finding.
inline constexpr std::int64_t kFuzzMaxPixels = 1 << 20;

// The object table the header announces (a 16-bit count of entries of a few hundred bytes), a
// compressed embedded bitmap within the pixel bound (a few bytes a pixel), plus for every input
// byte a bounded share of the SVG text (a record of a few bytes becomes one element of some
// hundred characters; the text grows by doubling).
inline std::size_t allowedMetafileAllocation(std::size_t inputSize) {
  return 65536 * 256 + 8 * static_cast<std::size_t>(kFuzzMaxPixels) + 512 * inputSize;
}

inline void requireMetafile(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

inline void checkSvgDocument(const MetafileSvg& result) {
  requireMetafile(result.width >= 1 && result.height >= 1, "a size of at least one pixel");
  requireMetafile(static_cast<std::int64_t>(result.width) * result.height <= kFuzzMaxPixels,
                  "a size within the bound");
  const std::string_view svg = result.svg;
  requireMetafile(svg.find("<svg") != std::string_view::npos, "an <svg> element");
  requireMetafile(svg.rfind("</svg>") != std::string_view::npos, "a closed <svg> element");
}

// The length of the UTF-8 sequence at `at`, or 0 when it is malformed.
inline std::size_t utf8SequenceAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

inline bool startsReference(std::string_view rest) {
  std::size_t at = rest.size() > 1 && rest[1] == '#' ? 2 : 1;
  const std::size_t nameStart = at;
  while (at < rest.size() &&
         ((rest[at] >= 'a' && rest[at] <= 'z') || (rest[at] >= 'A' && rest[at] <= 'Z') ||
          (rest[at] >= '0' && rest[at] <= '9'))) {
    ++at;
  }
  return at > nameStart && at < rest.size() && rest[at] == ';';
}

inline bool startsMarkup(std::string_view rest) {
  if (rest.size() < 2) return false;
  const char next = rest[1];
  return next == '/' || next == '!' || next == '?' || (next >= 'a' && next <= 'z') ||
         (next >= 'A' && next <= 'Z');
}

inline void checkXmlText(std::string_view svg) {
  std::size_t at = 0;
  while (at < svg.size()) {
    const std::string_view rest = svg.substr(at);
    if (rest.starts_with("<![CDATA[")) {
      const std::size_t end = rest.find("]]>");
      requireMetafile(end != std::string_view::npos, "a closed CDATA section");
      at += end + 3;
      continue;
    }
    const char c = svg[at];
    requireMetafile(static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r',
                    "no control characters");
    if (c == '&') requireMetafile(startsReference(rest), "every & starts a reference");
    if (c == '<') requireMetafile(startsMarkup(rest), "every < starts markup");
    const std::size_t length = utf8SequenceAt(svg, at);
    requireMetafile(length > 0, "UTF-8 text");
    at += length;
  }
}

enum class XmlText { Promised, NotPromised };

template <typename Convert>
int fuzzMetafile(const std::uint8_t* data, std::size_t size, XmlText xmlText, Convert convert) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  AllocationWatch::start();
  bool converted = false;
  MetafileSvg result;
  try {
    result = convert(bytes, kFuzzMaxPixels);
    converted = true;
  } catch (const PictureError&) {
  }
  const std::size_t largestAllocation = AllocationWatch::stop();
  if (largestAllocation > allowedMetafileAllocation(size)) {
    std::fprintf(stderr, "allocation of %zu bytes for %zu input bytes\n", largestAllocation, size);
    std::abort();
  }
  if (!converted) return 0;
  checkSvgDocument(result);
  if (xmlText == XmlText::Promised) checkXmlText(result.svg);
  return 0;
}

}  // namespace vantrel::fuzz
