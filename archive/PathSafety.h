#pragma once
// The checks that keep extraction inside its destination folder. Stored names come from the
// archive, that is from anyone: a name or recorded folder is only ever joined below the
// destination after these checks have passed it. A colon is an ordinary character of a name;
// only a recorded folder that starts like a drive ("C:") is refused, since it was meant to
// leave the destination.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::zlb {

// "/" and "\" both separate folders, in stored names and in paths given to the component.
constexpr bool isPathSeparator(char c) { return c == '/' || c == '\\'; }

// True when a stored EntryName names one file directly inside a folder: not empty, not "."
// or "..", without a separator and without a NUL byte.
[[nodiscard]] bool isSafeEntryName(std::string_view name);

// The folders of a recorded folder (EntryPath) to create below the destination, outermost
// first. Empty and "." steps are dropped, so a leading separator stays below the destination.
// Nothing when the folder could leave the destination: a ".." step, a drive ("C:", "c:") at
// its start, or a NUL byte.
[[nodiscard]] std::optional<std::vector<std::string>> safeFolderSteps(std::string_view entryPath);

}  // namespace vantrel::zlb
