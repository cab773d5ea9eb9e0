#pragma once
// The project files of tests/data/vtq and what opening them gives, from cases.txt.

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vantrel::test {

inline const std::string kVtqDataDir = VANTREL_TEST_DATA_DIR "/vtq/";

struct FileCase {
  std::string file;
  std::string outcome;  // "ok", "not-a-project" or "io:" and the error text
  std::string savedAs;  // for "ok": the file holding what a save gives, or "same"

  std::string path() const { return kVtqDataDir + file; }
  std::string savedPath() const { return kVtqDataDir + (savedAs == "same" ? file : savedAs); }
  std::string jsonPath() const { return kVtqDataDir + file.substr(0, file.size() - 4) + ".json"; }
};

inline std::vector<FileCase> loadFileCases() {
  std::ifstream list(kVtqDataDir + "cases.txt");
  std::vector<FileCase> cases;
  std::string line;
  while (std::getline(list, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    FileCase entry;
    words >> entry.file >> entry.outcome >> entry.savedAs;
    std::replace(entry.outcome.begin(), entry.outcome.end(), '_', ' ');
    cases.push_back(entry);
  }
  return cases;
}

inline std::vector<FileCase> loadOpenableFileCases() {
  auto cases = loadFileCases();
  std::erase_if(cases, [](const FileCase& entry) { return entry.outcome != "ok"; });
  return cases;
}

inline std::string caseName(const FileCase& entry) {
  std::string name = entry.file.substr(0, entry.file.size() - 4);
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

}  // namespace vantrel::test
