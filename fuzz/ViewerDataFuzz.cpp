// Fuzzes a built program reading itself: the input is the program file, prefixed by the four
// bytes of S that the marker record in memory would hold. Beyond "no crash, no leak":
//  - every outcome is a result with a German message, never an exception;
//  - at most one file, the page, is written, and only into the destination folder;
//  - a page reported as extracted exists;
//  - the reader the Windows viewer compiles (ViewerRecord.h) gives a German message for every
//    failure too, and where both readers find the page, they find the same bytes.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "program/ViewerData.h"
#include "program/ViewerRecord.h"

namespace fs = std::filesystem;
using namespace vantrel::exe;

namespace {

std::string scratch;

void prepareScratch() {
  if (!scratch.empty()) return;
  std::string pattern = (fs::temp_directory_path() / "viewer-fuzz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  scratch = pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  prepareScratch();
  const std::string program = scratch + "/program";
  const std::string destination = scratch + "/out";
  fs::remove_all(destination);
  fs::create_directory(destination);
  {
    std::FILE* file = std::fopen(program.c_str(), "wb");
    if (!file) std::abort();
    if (size > 4 && std::fwrite(data + 4, 1, size - 4, file) != size - 4) std::abort();
    std::fclose(file);
  }

  std::array<unsigned char, kMarkerRecordSize> record{};
  for (int i = 0; i < 4; ++i) record[static_cast<std::size_t>(i)] = data[i];
  const char tail[] = {'E', 'X', 'E', 'H', 'V', 'F', 'R', 'M', 1, 0, 0, 0};
  for (std::size_t i = 0; i < sizeof tail; ++i) record[4 + i] = static_cast<unsigned char>(tail[i]);

  const ViewerPage page = loadViewerPage(program, record, destination);
  if (!page && viewerErrorMessage(page.error).empty()) std::abort();

  const std::string_view file(reinterpret_cast<const char*>(data) + 4, size - 4);
  const ReadAt readAt = [file](std::uint64_t offset, char* buffer, std::size_t count) {
    if (offset > file.size() || count > file.size() - offset) return false;
    std::copy_n(file.data() + offset, count, buffer);
    return true;
  };
  const std::optional<ViewerSettings> settings =
      parseViewerSettings(readAt, file.size(), readMarkerRecord(record).programLength);
  if (settings) {
    const PageBytes shared = readPageMember(readAt, file.size(), settings->end);
    if (!shared && viewerErrorMessage(shared.error).empty()) std::abort();
    if (shared && page) {
      std::FILE* extracted = std::fopen(page.pageFile.c_str(), "rb");
      if (!extracted) std::abort();
      std::string bytes(shared.bytes.size() + 1, '\0');
      const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), extracted);
      std::fclose(extracted);
      if (got != shared.bytes.size() || bytes.compare(0, got, shared.bytes) != 0) std::abort();
    }
  }

  std::size_t written = 0;
  for (const auto& entry : fs::recursive_directory_iterator(scratch)) {
    const fs::path path = entry.path();
    if (path == program || path == destination) continue;
    if (path.parent_path() != destination) std::abort();  // something escaped the folder
    ++written;
  }
  if (written > 1) std::abort();
  if (page && (written != 1 || !fs::exists(page.pageFile))) std::abort();
  return 0;
}
