#pragma once
// A folder of its own for one test: made fresh under the system's temporary folder with a
// name no other test has, and removed with everything in it when the object goes. Whole-file
// reads and writes beside it throw when they fail, so a test never goes on with half a file.

#include <filesystem>
#include <string>
#include <vector>

namespace vantrel::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the folder, as text.
  std::string file(const std::string& name) const;
  std::string operator/(const std::string& name) const { return file(name); }
  // The names of what the folder holds, in no particular order.
  std::vector<std::string> entries() const;

 private:
  std::filesystem::path path_;
};

std::string fileBytes(const std::string& path);
void putFile(const std::string& path, const std::string& bytes);

}  // namespace vantrel::test
