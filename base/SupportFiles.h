#pragma once
// Where a program finds the support files it reads ("ProtoExe.dat", "iconcomp.dat", ...): beside
// the running executable when the file lies there (a build tree, a portable copy), otherwise in
// the installed private folder (kSupportFolderFromPrograms, base/BuildConfig.h).

#include <filesystem>
#include <string_view>

namespace vantrel {

// The installed private folder for programs that run from `programFolder`.
[[nodiscard]] std::filesystem::path installedSupportFolder(
    const std::filesystem::path& programFolder);

// The file `name` beside the executable in `programFolder` when it exists there, else the
// same name in the installed private folder (whether it exists there or not, so that a
// message about a missing file names the place where it belongs).
[[nodiscard]] std::filesystem::path supportFilePath(const std::filesystem::path& programFolder,
                                                    std::string_view name);

// The folder of the running executable (from /proc/self/exe); empty when it cannot be read.
[[nodiscard]] std::filesystem::path runningProgramFolder();

}  // namespace vantrel
