#include "program/ViewerData.h"

#include "base/AtomicFile.h"
#include "base/FileIo.h"

namespace vantrel::exe {
namespace {

// The page as the Linux viewer shows it: a file in the folder, written whole or not at all.
Status writePage(const std::filesystem::path& file, const std::string& page) {
  auto begun = AtomicFile::begin(file);
  if (!begun) return begun.status();
  if (const Status written = begun.value().write(page); !written) return written;
  return begun.value().commit();
}

}  // namespace

ViewerPage loadViewerPage(const std::filesystem::path& nativeProgramPath,
                          const std::array<unsigned char, kMarkerRecordSize>& record,
                          const std::filesystem::path& nativeDestFolder) {
  File program;
  const OpenProgram open = [&]() -> std::optional<std::uint64_t> {
    if (!program.openForReading(nativeProgramPath)) return std::nullopt;
    const std::int64_t size = program.size();
    if (size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(size);
  };
  const ReadAt readAt = [&program](std::uint64_t offset, char* buffer, std::size_t count) {
    return program.readExactlyAt(offset, buffer, count);
  };
  ViewerPage page;
  static_cast<OwnData&>(page) = readOwnData(record, open, readAt);
  static_cast<void>(program.close());  // only read, and everything read was checked
  if (!page) return page;
  const std::filesystem::path file = nativeDestFolder / kViewerPageName;
  if (const Status written = writePage(file, page.page); !written) {
    page.error = ViewerError::CannotExtract;
    page.detail = written.reason();
    return page;
  }
  page.pageFile = file;
  return page;
}

}  // namespace vantrel::exe
