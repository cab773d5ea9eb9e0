// Fuzzes the project file reader over arbitrary bytes. Beyond "no crash, no leak":
//  - no single allocation while reading may exceed what the bytes can justify (a damaged
//    length or count must never reserve memory the file does not hold);
//  - whatever was read saves and reads back to the same project, also through JSON.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/AllocationWatch.h"
#include "project/ProjectFile.h"
#include "project/ProjectJson.h"

namespace {

// Every text is at most the bytes left in the file; the row table holds at most one
// FormField per 36 bytes and grows by doubling; exceptions and small strings need a little.
std::size_t allowedAllocation(std::size_t inputSize) { return 16 * inputSize + 4096; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vantrel::fuzz::AllocationWatch::install();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vantrel::Project project;
  vantrel::fuzz::AllocationWatch::start();
  try {
    project = vantrel::readProjectBytes(bytes);
  } catch (const vantrel::NotAProjectFile&) {
  } catch (const vantrel::InOutError&) {
  }
  const std::size_t largestAllocation = vantrel::fuzz::AllocationWatch::stop();
  if (largestAllocation > allowedAllocation(size)) __builtin_trap();

  // A project that could be read saves to bytes that read back as the same project (a file
  // without settings comes back with the start-up values that are written for it).
  if (!project.settings) project.settings = vantrel::startupSettings();
  if (vantrel::readProjectBytes(vantrel::projectBytes(project)) != project) __builtin_trap();
  if (vantrel::projectFromJson(vantrel::projectToJson(project)) != project) __builtin_trap();
  return 0;
}
