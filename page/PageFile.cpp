#include "page/PageFile.h"

#include <exception>

#include "page/FormPage.h"
#include "base/ByteFile.h"

namespace vantrel {

// The project file's safe replacement does the work: new file beside the old one, flushed and
// synced, then renamed over it; on failure the new file goes and the old one stays.
FileWriteResult replaceFileContents(const std::filesystem::path& path, std::string_view bytes) {
  try {
    replaceFile(path.string(), [bytes](ByteWriter& out) { out.write(bytes); });
  } catch (const std::exception& error) {
    return FileWriteResult{false, error.what()};
  }
  return FileWriteResult{true, {}};
}

FileWriteResult writeFormPage(const std::filesystem::path& folder, const FieldList& fields,
                              std::string_view email) {
  return replaceFileContents(folder / kFormPageFileName,
                             generateFormPage(fields, email, formMailAction()));
}

}  // namespace vantrel
