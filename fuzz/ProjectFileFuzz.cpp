// Fuzzes the project file reader over arbitrary bytes. Beyond "no crash, no leak":
//  - no single allocation while reading may exceed what the bytes can justify (a damaged
//    length or count must never reserve memory the file does not hold);
//  - whatever was read saves and reads back to the same project, also through JSON.

#include <sanitizer/allocator_interface.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "project/ProjectFile.h"
#include "project/ProjectJson.h"

namespace {

bool watching = false;
std::size_t largestAllocation = 0;

void noteAllocation(const volatile void*, std::size_t size) {
  if (watching && size > largestAllocation) largestAllocation = size;
}

void ignoreFree(const volatile void*) {}

// Every text is at most the bytes left in the file; the row table holds at most one
// FormField per 36 bytes and grows by doubling; exceptions and small strings need a little.
std::size_t allowedAllocation(std::size_t inputSize) {
  return 16 * inputSize + 4096;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(noteAllocation, ignoreFree);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vantrel::Project project;
  largestAllocation = 0;
  watching = true;
  try {
    project = vantrel::readProjectBytes(bytes);
  } catch (const vantrel::NotAProjectFile&) {
  } catch (const vantrel::InOutError&) {
  }
  watching = false;
  if (largestAllocation > allowedAllocation(size)) __builtin_trap();

  // A project that could be read saves to bytes that read back as the same project (a file
  // without settings comes back with the start-up values that are written for it).
  if (!project.settings) project.settings = vantrel::startupSettings();
  if (vantrel::readProjectBytes(vantrel::projectBytes(project)) != project) __builtin_trap();
  if (vantrel::projectFromJson(vantrel::projectToJson(project)) != project) __builtin_trap();
  return 0;
}
