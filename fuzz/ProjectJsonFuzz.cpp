// Fuzzes the JSON form of a project over arbitrary bytes, in memory and through the files of
// the command line (AnyProjectFile). Beyond "no crash, no leak":
//  - failures are the component's own exceptions, nothing else, and a file gives exactly the
//    outcome (project or message) that the same bytes give in memory;
//  - no single allocation exceeds what the bytes can justify;
//  - whatever was read writes JSON that reads back to the same project and writes the same
//    text again, and saves as .vtq and as .json (any letter case) to files that load back the
//    same.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/AllocationWatch.h"
#include "project/AnyProjectFile.h"
#include "project/ProjectJson.h"

namespace fs = std::filesystem;

namespace {

std::string scratch;

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

// The parser keeps a few pointers and flags for every open bracket, the DOM a 16-byte value
// for every element, a row nine texts for its nine keys; each grows by doubling.
std::size_t allowedAllocation(std::size_t inputSize) { return 32 * inputSize + 4096; }

struct Outcome {
  std::optional<vantrel::Project> project;
  std::string message;
};

Outcome readInMemory(std::string_view bytes) {
  Outcome outcome;
  try {
    outcome.project = vantrel::projectFromJson(bytes);
  } catch (const vantrel::ProjectJsonError& error) {
    outcome.message = error.what();
  }
  return outcome;
}

Outcome readThroughFile(std::string_view bytes) {
  const std::string path = scratch + "/input.json";
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    require(file.good(), "scratch file written");
  }
  Outcome outcome;
  try {
    outcome.project = vantrel::loadProjectFromPath(path);
  } catch (const vantrel::ProjectJsonError& error) {
    outcome.message = error.what();
  }
  return outcome;
}

void checkSavedForms(const vantrel::Project& project) {
  // The .vtq form always holds settings: a project without them comes back with the
  // start-up values that are written for it.
  vantrel::Project withSettings = project;
  if (!withSettings.settings) withSettings.settings = vantrel::startupSettings();
  const std::string vtq = scratch + "/saved.vtq";
  const std::string json = scratch + "/saved.JSON";
  vantrel::saveProjectToPath(vtq, project);
  vantrel::saveProjectToPath(json, project);
  require(vantrel::loadProjectFromPath(vtq) == withSettings, ".vtq file loads back the same");
  require(vantrel::loadProjectFromPath(json) == project, ".JSON file loads back the same");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vantrel::fuzz::AllocationWatch::install();
  std::string pattern = (fs::temp_directory_path() / "jsonfuzz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  scratch = pattern;
  std::atexit([] { fs::remove_all(scratch); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vantrel::fuzz::AllocationWatch::start();
  const Outcome inMemory = readInMemory(bytes);
  const std::size_t largestAllocation = vantrel::fuzz::AllocationWatch::stop();
  if (largestAllocation > allowedAllocation(size)) {
    std::fprintf(stderr, "allocation of %zu bytes for %zu input bytes\n", largestAllocation, size);
    std::abort();
  }

  const Outcome fromFile = readThroughFile(bytes);
  require(fromFile.project == inMemory.project && fromFile.message == inMemory.message,
          "a file reads as its bytes do in memory");
  if (!inMemory.project) {
    require(!inMemory.message.empty(), "a refusal says why");
    return 0;
  }

  const vantrel::Project& project = *inMemory.project;
  const std::string text = vantrel::projectToJson(project);
  const vantrel::Project again = vantrel::projectFromJson(text);
  require(again == project, "written JSON reads back the same");
  require(vantrel::projectToJson(again) == text, "written JSON is written the same again");
  checkSavedForms(project);
  return 0;
}
