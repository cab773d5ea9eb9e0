# The version and the install layout, written into base/BuildConfig.h for the programs.
#
# The support files (viewers, icon pattern) are installed into one private folder under the
# library folder; the programs find it relative to their own folder, so the same build works
# from the package (/usr) and from any other prefix.
set(VANTREL_SUPPORT_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/vantrel-formulare)
set(_vantrel_full_support_dir ${CMAKE_INSTALL_FULL_LIBDIR}/vantrel-formulare)
file(RELATIVE_PATH VANTREL_SUPPORT_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR} ${_vantrel_full_support_dir})
set(VANTREL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/base/BuildConfig.h.in
               ${VANTREL_GENERATED_DIR}/base/BuildConfig.h @ONLY)
