// The checks that keep extraction inside its destination, case by case: a stored name and a
// recorded folder come from the archive, so every refusal is tried on its own here.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/PathSafety.h"

using namespace vantrel::zlb;
using namespace std::string_literals;

TEST(ZlbPathSafety, EntryNamesNameOneFileInsideTheFolder) {
  const std::vector<std::pair<std::string, bool>> names{
      // stored EntryName, safe
      {"evil.txt", true},
      {"...", true},
      {"..txt", true},
      {"C:evil.txt", true},
      {" ..", true},
      {"\xE4nderung.htm", true},
      {"", false},
      {".", false},
      {"..", false},
      {"a/b.txt", false},
      {"a\\b.txt", false},
      {"../evil.txt", false},
      {"..\\evil.txt", false},
      {"/", false},
      {"\\", false},
      {"a\0b"s, false},
      {"\0"s, false},
      {"evil.txt\0"s, false},
  };
  for (const auto& [name, safe] : names) {
    EXPECT_EQ(isSafeEntryName(name), safe)
        << '"' << name << '"' << " (" << name.size() << " bytes)";
  }
}

TEST(ZlbPathSafety, RecordedFoldersStayBelowTheDestination) {
  using Steps = std::vector<std::string>;
  const std::vector<std::pair<std::string, std::optional<Steps>>> folders{
      // recorded EntryPath, folders to create below the destination (nothing: refused)
      {"", Steps{}},
      {"\\", Steps{}},
      {"a\\", Steps{"a"}},
      {"\\home\\user\\", Steps{"home", "user"}},
      {"a/b\\c", Steps{"a", "b", "c"}},
      {".\\a\\.\\b\\\\", Steps{"a", "b"}},
      {"\\\\server\\share\\", Steps{"server", "share"}},
      {"...\\..a\\a..\\", Steps{"...", "..a", "a.."}},
      {"1:\\", Steps{"1:"}},
      {"ab:\\", Steps{"ab:"}},
      {"a\\C:\\", Steps{"a", "C:"}},
      {"..\\", std::nullopt},
      {"..", std::nullopt},
      {"a\\..\\", std::nullopt},
      {"a\\..", std::nullopt},
      {"\\a\\..\\..\\", std::nullopt},
      {"a/../", std::nullopt},
      {"C:\\Windows\\", std::nullopt},
      {"c:\\", std::nullopt},
      {"Z:", std::nullopt},
      {"C:relative\\", std::nullopt},
      {"a\0b\\"s, std::nullopt},
      {"a\\\0"s, std::nullopt},
  };
  for (const auto& [folder, expected] : folders) {
    const auto steps = safeFolderSteps(folder);
    EXPECT_EQ(steps, expected) << '"' << folder << '"' << " (" << folder.size() << " bytes)";
  }
}
