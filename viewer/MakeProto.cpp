// vantrel-make-proto VIEWER PROTOTYPE ICONCOMP
// vantrel-make-proto --icon FILE.ico
//
// Turns the built viewer into the two support files beside the tool, after checking what the
// builder relies on: the marker record occurs exactly once and lies within one 2048-byte
// block, and the icon's 512 pixel bytes occur exactly once, inside the complete icon image.
// A viewer that fails a check fails the build instead of producing programs that cannot find
// their data or icons written to the wrong place. The second form writes the viewers' icon as
// an icon file, for the resource compiler of the Windows viewer.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/ByteFile.h"
#include "builder/ExeAssembly.h"
#include "viewer/ViewerIcon.h"

namespace {

using namespace vantrel;

std::vector<std::size_t> occurrences(const std::string& haystack, const unsigned char* needle,
                                     std::size_t size) {
  std::vector<std::size_t> found;
  const char* first = reinterpret_cast<const char*>(needle);
  auto at = haystack.begin();
  for (;;) {
    at = std::search(at, haystack.end(), first, first + size);
    if (at == haystack.end()) return found;
    found.push_back(static_cast<std::size_t>(at - haystack.begin()));
    ++at;
  }
}

bool fail(const std::string& message) {
  std::fprintf(stderr, "vantrel-make-proto: %s\n", message.c_str());
  return false;
}

bool checkMarkerRecord(const std::string& viewer, std::size_t& at) {
  const auto found = occurrences(viewer, exe::kMarkerText.data(), exe::kMarkerText.size());
  if (found.size() != 1)
    return fail("the marker text occurs " + std::to_string(found.size()) + " times");
  at = found.front();
  if (at + exe::kMarkerRecordSize > viewer.size() ||
      at / exe::kBlockSize != (at + exe::kMarkerRecordSize - 1) / exe::kBlockSize) {
    return fail("the marker record at " + std::to_string(at) + " crosses a 2048-byte block");
  }
  const unsigned char* record = reinterpret_cast<const unsigned char*>(viewer.data() + at);
  const bool tagged =
      std::equal(exe::kRecordTag.begin(), exe::kRecordTag.end(), record + 8) &&
      record[12] == exe::kRecordVersion && record[13] == 0 && record[14] == 0 && record[15] == 0 &&
      std::equal(exe::kPrototypeTail.begin(), exe::kPrototypeTail.end(), record + 16);
  if (!tagged) return fail("the marker record does not carry the viewer's tag");
  return true;
}

bool checkIcon(const std::string& viewer, const viewer::IconImage& icon, std::size_t& at) {
  const auto found =
      occurrences(viewer, icon.bytes + viewer::kIconPixelOffset, viewer::kIconPixelSize);
  if (found.size() != 1)
    return fail("the icon pixels occur " + std::to_string(found.size()) + " times");
  at = found.front();
  if (at < viewer::kIconPixelOffset ||
      at - viewer::kIconPixelOffset + viewer::kIconImageSize > viewer.size() ||
      !std::equal(
          icon.bytes, icon.bytes + viewer::kIconImageSize,
          reinterpret_cast<const unsigned char*>(viewer.data() + at - viewer::kIconPixelOffset))) {
    return fail("the icon pixels are not part of the complete icon image");
  }
  return true;
}

void put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// One entry of a compiled resource file: its 32-byte header with a numeric type and name,
// then the data, padded to a multiple of four.
void appendResource(std::string& out, unsigned type, unsigned name, unsigned memoryFlags,
                    unsigned language, const std::string& data) {
  put32(out, static_cast<std::uint32_t>(data.size()));
  put32(out, 32);
  put16(out, 0xFFFF);
  put16(out, type);
  put16(out, 0xFFFF);
  put16(out, name);
  put32(out, 0);  // data version
  put16(out, memoryFlags);
  put16(out, language);
  put32(out, 0);  // version
  put32(out, 0);  // characteristics
  out += data;
  while (out.size() % 4 != 0) out += '\0';
}

// The empty entry that opens every compiled resource file, the icon image as the first real
// entry (so its pixels start at 32 + 32 + 40 + 64 = 168) and the icon group that names it.
std::string compiledIconResource(const viewer::IconImage& icon) {
  constexpr unsigned kIconType = 3, kGroupIconType = 14, kGerman = 0x0407;
  std::string out;
  appendResource(out, 0, 0, 0, 0, "");
  appendResource(out, kIconType, 1, 0x1010, kGerman,
                 std::string(reinterpret_cast<const char*>(icon.bytes), viewer::kIconImageSize));
  std::string group;
  put16(group, 0);                 // reserved
  put16(group, 1);                 // icons
  put16(group, 1);                 // count
  group += static_cast<char>(32);  // width
  group += static_cast<char>(32);  // height
  group += static_cast<char>(16);  // colours
  group += '\0';
  put16(group, 1);  // planes
  put16(group, 4);  // bits per pixel
  put32(group, static_cast<std::uint32_t>(viewer::kIconImageSize));
  put16(group, 1);  // the icon entry's name
  appendResource(out, kGroupIconType, 1, 0x1030, kGerman, group);
  return out;
}

// An icon file holding the one image: its directory of one entry, then the image unchanged.
std::string iconFile(const viewer::IconImage& icon) {
  constexpr unsigned kDirectorySize = 6 + 16;
  std::string out;
  put16(out, 0);  // reserved
  put16(out, 1);  // icons
  put16(out, 1);  // count
  out += static_cast<char>(32);
  out += static_cast<char>(32);
  out += static_cast<char>(16);
  out += '\0';
  put16(out, 1);  // planes
  put16(out, 4);  // bits per pixel
  put32(out, static_cast<std::uint32_t>(viewer::kIconImageSize));
  put32(out, kDirectorySize);
  out.append(reinterpret_cast<const char*>(icon.bytes), viewer::kIconImageSize);
  return out;
}

void writeFile(const std::string& path, const std::string& bytes) {
  replaceFile(path, [&bytes](ByteWriter& out) { out.write(bytes); });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--icon") {
    try {
      writeFile(argv[2], iconFile(viewer::makeViewerIcon()));
      return 0;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "vantrel-make-proto: %s\n", error.what());
      return 1;
    }
  }
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: vantrel-make-proto VIEWER PROTOTYPE ICONCOMP\n"
                 "       vantrel-make-proto --icon FILE.ico\n");
    return 2;
  }
  try {
    const std::string viewerBytes = readWholeFile(argv[1]);
    const viewer::IconImage icon = viewer::makeViewerIcon();
    std::size_t recordAt = 0;
    std::size_t pixelsAt = 0;
    if (!checkMarkerRecord(viewerBytes, recordAt) || !checkIcon(viewerBytes, icon, pixelsAt))
      return 1;

    std::string stored = viewerBytes;
    exe::encodePrototypeBytes(reinterpret_cast<unsigned char*>(stored.data()), stored.size());
    const std::string resource = compiledIconResource(icon);
    if (resource.compare(168, viewer::kIconPixelSize,
                         reinterpret_cast<const char*>(icon.bytes + viewer::kIconPixelOffset),
                         viewer::kIconPixelSize) != 0) {
      fail("the icon pixels do not stand at offset 168 of iconcomp.dat");
      return 1;
    }
    writeFile(argv[2], stored);
    writeFile(argv[3], resource);
    std::printf("%s: %zu bytes, marker record at %zu, icon pixels at %zu\n",
                std::filesystem::path(argv[2]).filename().string().c_str(), stored.size(), recordAt,
                pixelsAt);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantrel-make-proto: %s\n", error.what());
    return 1;
  }
}
