# One place for compiler flags: every target links vantrel_common.
add_library(vantrel_common INTERFACE)
target_compile_options(vantrel_common INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor)
# Qt strings are built from explicit encodings only: a char* never becomes a QString by accident.
target_compile_definitions(vantrel_common INTERFACE QT_NO_CAST_FROM_ASCII)
if(VANTREL_WERROR)
  target_compile_options(vantrel_common INTERFACE -Werror)
endif()
if(VANTREL_SANITIZE)
  # The sanitizers' instrumentation leaves gcc's uninitialised-use analysis guessing: it warns
  # inside libstdc++ (std::regex, std::function) where nothing is uninitialised. The plain build
  # keeps the warning.
  target_compile_options(vantrel_common INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
    -Wno-maybe-uninitialized)
  target_link_options(vantrel_common INTERFACE -fsanitize=address,undefined)
endif()
if(VANTREL_FUZZ)
  # Every library the fuzz targets link is instrumented, so coverage guides the fuzzer there too.
  target_compile_options(vantrel_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined -g1)
  target_link_options(vantrel_common INTERFACE -fsanitize=address,undefined)
endif()
target_compile_definitions(vantrel_common INTERFACE
  VANTREL_FORMMAIL_HOST="${VANTREL_FORMMAIL_HOST}")

# Test executables stay out of bin/, which holds only what the tool ships with.
set(VANTREL_TEST_DIR ${CMAKE_BINARY_DIR}/tests)
function(vantrel_add_gtest name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE vantrel_common GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VANTREL_TEST_DIR})
  target_compile_definitions(${name} PRIVATE
    VANTREL_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    VANTREL_BIN_DIR="${VANTREL_BIN_DIR}")
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# The command that copies a viewer program to the file that is stored as a .dat file: stripped
# of its symbols and debug information unless VANTREL_VIEWER_DEBUG_INFO asks to keep them.
function(vantrel_viewer_to_store out_var program stored)
  if(VANTREL_VIEWER_DEBUG_INFO OR NOT CMAKE_STRIP)
    set(${out_var} ${CMAKE_COMMAND} -E copy ${program} ${stored} PARENT_SCOPE)
  else()
    set(${out_var} ${CMAKE_STRIP} --strip-all -o ${stored} ${program} PARENT_SCOPE)
  endif()
endfunction()
