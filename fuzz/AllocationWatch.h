#pragma once
// The largest single allocation made while a reader runs: a reader must never allocate more
// than the bytes it was given could hold. Uses the sanitizer's allocation hooks, so it sees
// only what a sanitized build allocates (the libFuzzer build and the ASan replay of the
// seeds); in a build without a sanitizer there are no hooks and stop() always reports 0.

#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_FUZZ_HOOKS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VANTREL_FUZZ_HOOKS 1
#endif

#ifdef VANTREL_FUZZ_HOOKS
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// GCC's runtime has the hooks but ships no header declaring them.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));
#endif
#endif

namespace vantrel::fuzz {

class AllocationWatch {
 public:
  // Call once, from LLVMFuzzerInitialize.
  static void install() {
#ifdef VANTREL_FUZZ_HOOKS
    __sanitizer_install_malloc_and_free_hooks(noteAllocation, ignoreFree);
#endif
  }

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
  [[maybe_unused]] static void noteAllocation(const volatile void*, std::size_t size) {
    if (watching() && size > largest()) largest() = size;
  }
  [[maybe_unused]] static void ignoreFree(const volatile void*) {}
};

}  // namespace vantrel::fuzz
