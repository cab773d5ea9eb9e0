// AddressSanitizer's defaults for every program that embeds the browser engine, linked in only
// by the sanitizer build (see widgets/browser/CMakeLists.txt).
//
// Chromium inside libQt6WebEngineCore deletes some of its own objects with the size of another
// type, which ASan reports as new-delete-type-mismatch and ends the program for, in the middle
// of the engine's own work. Unlike leaks, that report cannot be suppressed by library, so the one
// check is off in exactly the programs that load the engine; every other check stays on, and
// ASAN_OPTIONS is still read after these defaults.

extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
