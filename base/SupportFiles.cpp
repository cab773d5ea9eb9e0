#include "base/SupportFiles.h"

#include <system_error>

#include "base/BuildConfig.h"

namespace vantrel {

namespace fs = std::filesystem;

fs::path installedSupportFolder(const fs::path& programFolder) {
  return (programFolder / kSupportFolderFromPrograms).lexically_normal();
}

fs::path supportFilePath(const fs::path& programFolder, std::string_view name) {
  const fs::path beside = programFolder / name;
  std::error_code error;
  if (fs::is_regular_file(beside, error)) return beside;
  return installedSupportFolder(programFolder) / name;
}

fs::path runningProgramFolder() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : program.parent_path();
}

}  // namespace vantrel
