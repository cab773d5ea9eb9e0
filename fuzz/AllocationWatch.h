#pragma once
// The largest single allocation made while a reader runs: a reader must never allocate more
// than the bytes it was given could hold. Uses the sanitizer's allocation hooks.

#include <sanitizer/allocator_interface.h>

#include <cstddef>

namespace vantrel::fuzz {

class AllocationWatch {
 public:
  // Call once, from LLVMFuzzerInitialize.
  static void install() { __sanitizer_install_malloc_and_free_hooks(noteAllocation, ignoreFree); }

  static void start() {
    largest() = 0;
    watching() = true;
  }
  // Stops watching and returns the largest allocation seen since start().
  static std::size_t stop() {
    watching() = false;
    return largest();
  }

 private:
  static bool& watching() {
    static bool value = false;
    return value;
  }
  static std::size_t& largest() {
    static std::size_t value = 0;
    return value;
  }
  static void noteAllocation(const volatile void*, std::size_t size) {
    if (watching() && size > largest()) largest() = size;
  }
  static void ignoreFree(const volatile void*) {}
};

}  // namespace vantrel::fuzz
