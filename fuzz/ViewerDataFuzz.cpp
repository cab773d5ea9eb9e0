// Fuzzes a built program reading itself: the input is the program file, prefixed by the four
// bytes of S that the marker record in memory would hold (the archive's check sum made to fit
// when the last byte is odd, see FittingCrc.h). Beyond "no crash, no leak":
//  - every outcome is a result with a German message, never an exception;
//  - at most one file, the page, is written, and only into the destination folder;
//  - a page reported as extracted exists and holds the bytes the reader found;
//  - the one reader of both viewers (ViewerRecord.h) and the archive component (TZLBArchive,
//    opened on the same file, its archive required to start right behind the settings) accept
//    and refuse the same archives: both find the page with the same bytes, both find an archive
//    without a page, or both refuse. Of a signed program the component reads the file as it was
//    before signing, up to where the one reader finds the archive's end.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz/ArchiveComponentPage.h"
#include "fuzz/FittingCrc.h"
#include "program/ViewerData.h"
#include "program/ViewerRecord.h"
#include "program/ViewerTexts.h"

namespace fs = std::filesystem;
using namespace vantrel;
using namespace vantrel::exe;

namespace {

std::string scratch;

void prepareScratch() {
  if (!scratch.empty()) return;
  std::string pattern = (fs::temp_directory_path() / "viewer-fuzz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  scratch = pattern;
}

std::string fileBytes(const fs::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) std::abort();
  std::string bytes;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
}

void writeFile(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
    std::abort();
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  prepareScratch();
  const std::string program = scratch + "/program";
  const std::string destination = scratch + "/out";
  fs::remove_all(destination);
  fs::create_directory(destination);
  const std::string bytes = vantrel::fuzz::withFittingCrc(data + 4, size - 4);
  writeFile(program, bytes);

  std::array<unsigned char, kMarkerRecordSize> record{};
  for (int i = 0; i < 4; ++i) record[static_cast<std::size_t>(i)] = data[i];
  const char tail[] = {'E', 'X', 'E', 'H', 'V', 'F', 'R', 'M', 1, 0, 0, 0};
  for (std::size_t i = 0; i < sizeof tail; ++i) record[4 + i] = static_cast<unsigned char>(tail[i]);

  const ViewerPage page = loadViewerPage(program, record, destination);
  if (!page && viewertext::viewerErrorMessage(page.error).empty()) std::abort();

  const std::string_view file(bytes);
  const ReadAt readAt = [file](std::uint64_t offset, char* buffer, std::size_t count) {
    if (offset > file.size() || count > file.size() - offset) return false;
    std::copy_n(file.data() + offset, count, buffer);
    return true;
  };
  const std::optional<SettingsInProgram> settings =
      readWindowSettings(readAt, file.size(), readMarkerRecord(record).programLength);
  const std::optional<std::uint64_t> end =
      settings ? archiveEnd(readAt, file.size(), settings->end) : std::nullopt;
  if (settings && !end && page) std::abort();  // bytes after a signature are never accepted
  if (end) {
    const PageBytes shared = readPageMember(readAt, *end, settings->end);
    // The archive component knows no signatures: it reads the file as it was before signing.
    const std::string unsignedProgram = scratch + "/unsigned";
    writeFile(unsignedProgram, file.substr(0, static_cast<std::size_t>(*end)));
    std::string reference;
    const PageVerdict verdict = archiveComponentPage(unsignedProgram, settings->end, reference);
    fs::remove(unsignedProgram);
    if (verdictOf(shared.error) != verdict) std::abort();
    if (verdict == PageVerdict::Page && shared.bytes != reference) std::abort();
    if (bool(page) != bool(shared)) std::abort();
  }

  std::size_t written = 0;
  for (const auto& entry : fs::recursive_directory_iterator(scratch)) {
    const fs::path path = entry.path();
    if (path == program || path == destination) continue;
    if (path.parent_path() != destination) std::abort();  // something escaped the folder
    ++written;
  }
  if (written > 1) std::abort();
  if (page && (written != 1 || fileBytes(page.pageFile) != page.page)) std::abort();
  return 0;
}
