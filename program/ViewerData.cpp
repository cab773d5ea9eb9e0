#include "program/ViewerData.h"

#include "archive/ArchiveFormat.h"
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

std::optional<std::uint64_t> archiveEndInFile(const std::filesystem::path& nativeProgramPath) {
  File program;
  if (!program.openForReading(nativeProgramPath)) return std::nullopt;
  const std::int64_t size = program.size();
  if (size < 0) return std::nullopt;
  const auto fileSize = static_cast<std::uint64_t>(size);
  const ReadAt readAt = [&program](std::uint64_t offset, char* buffer, std::size_t count) {
    return program.readExactlyAt(offset, buffer, count);
  };
  // Asked from the file's start, the reader names the certificate table's place, or the end of
  // an unsigned file.
  const std::optional<std::uint64_t> table = archiveEnd(readAt, fileSize, 0);
  if (!table || *table == fileSize) return fileSize;
  // The signer's zero padding hides where the archive ends. Each trailer in front of the table
  // names where its archive would start; the archive's own check sum and page tell the true one
  // from a trailer made of padding bytes.
  for (std::uint64_t pad = 0; pad < 8 && pad + zlb::kTrailerSize <= *table; ++pad) {
    const std::uint64_t end = *table - pad;
    char padding = 0;
    if (pad > 0 && (!readAt(end, &padding, 1) || padding != 0)) break;
    unsigned char bytes[zlb::kTrailerSize];
    if (!readAt(end - zlb::kTrailerSize, reinterpret_cast<char*>(bytes), sizeof bytes)) break;
    const zlb::ArchiveTrailer trailer = zlb::ArchiveTrailer::fromBytes(bytes);
    const std::uint64_t body = trailer.RegistryOffset + trailer.registryLength();
    if (body > end - zlb::kTrailerSize) continue;
    if (readPageMember(readAt, end, end - zlb::kTrailerSize - body)) return end;
  }
  return *table;
}

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
