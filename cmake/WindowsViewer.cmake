# The Windows viewer (winviewer/), built by the cross compiler as a project of its own within
# the one configure of the main build, then stored as bin/ProtoExe.dat beside the tool, with
# bin/iconcomp.dat, by vantrel-make-proto. Its icon is the Linux viewer's icon image, written
# as an .ico file by the same tool, so one iconcomp.dat serves both viewers.
include(ExternalProject)

find_program(VANTREL_MINGW_CXX x86_64-w64-mingw32-g++)
find_program(VANTREL_MINGW_WINDRES x86_64-w64-mingw32-windres)
if(NOT VANTREL_MINGW_CXX OR NOT VANTREL_MINGW_WINDRES)
  message(FATAL_ERROR "The Windows viewer needs g++-mingw-w64-x86-64 (scripts/setup.sh installs it)")
endif()

set(VANTREL_WINVIEWER_DIR ${CMAKE_BINARY_DIR}/winviewer)
set(VANTREL_VIEWER_ICO ${VANTREL_WINVIEWER_DIR}/viewer.ico)
set(VANTREL_WINDOWS_VIEWER_EXE ${VANTREL_WINVIEWER_DIR}/build/vantrel-viewer-win.exe)

add_custom_command(
  OUTPUT ${VANTREL_VIEWER_ICO}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTREL_WINVIEWER_DIR}
  COMMAND vantrel-make-proto --icon ${VANTREL_VIEWER_ICO}
  DEPENDS vantrel-make-proto
  COMMENT "Writing the viewers' icon as an .ico file"
  VERBATIM)
add_custom_target(vantrel_viewer_icon DEPENDS ${VANTREL_VIEWER_ICO})

ExternalProject_Add(vantrel_windows_viewer
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/winviewer
  BINARY_DIR ${VANTREL_WINVIEWER_DIR}/build
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=MinSizeRel
    -DVANTREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DVANTREL_VIEWER_ICON=${VANTREL_VIEWER_ICO}
    -DVANTREL_VERSION=${PROJECT_VERSION}
    -DVANTREL_WERROR=${VANTREL_WERROR}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${VANTREL_WINDOWS_VIEWER_EXE}
  DEPENDS vantrel_viewer_icon
  USES_TERMINAL_BUILD OFF)

add_custom_command(
  OUTPUT ${VANTREL_BIN_DIR}/ProtoExe.dat ${VANTREL_BIN_DIR}/iconcomp.dat
  COMMAND vantrel-make-proto ${VANTREL_WINDOWS_VIEWER_EXE}
          ${VANTREL_BIN_DIR}/ProtoExe.dat ${VANTREL_BIN_DIR}/iconcomp.dat
  DEPENDS vantrel_windows_viewer ${VANTREL_WINDOWS_VIEWER_EXE} vantrel-make-proto
  COMMENT "Storing the Windows viewer as ProtoExe.dat and writing iconcomp.dat"
  VERBATIM)
add_custom_target(vantrel_windows_prototype ALL
  DEPENDS ${VANTREL_BIN_DIR}/ProtoExe.dat ${VANTREL_BIN_DIR}/iconcomp.dat)
