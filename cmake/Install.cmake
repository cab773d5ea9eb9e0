# What `cmake --install` puts where, laid out as a Debian system expects it (GNUInstallDirs).
# Two components, one for each package: "formulare" (the tool, the CLI, the viewers, the
# desktop files) and "formmail" (the receiver, its configuration and systemd units).

# The support files the tool and the CLI read, all from ${VANTREL_BIN_DIR}; a new one joins
# with one line.
set(VANTREL_SUPPORT_FILES
  ProtoExe.dat
  ProtoLinux.dat
  iconcomp.dat
)

set(VANTREL_CGI_INSTALL_DIR lib/cgi-bin CACHE STRING "Where the CGI program is installed, below the prefix")
set(VANTREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc)
set(VANTREL_INSTALL_SOURCE ${PROJECT_SOURCE_DIR}/install)
set(VANTREL_INSTALL_BUILD ${CMAKE_BINARY_DIR}/install)
file(MAKE_DIRECTORY ${VANTREL_INSTALL_BUILD})

# Text files that name installed places are written with the configured ones.
set(VERSION ${PROJECT_VERSION})
set(SUPPORT_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/vantrel-formulare)
if(IS_ABSOLUTE ${VANTREL_CGI_INSTALL_DIR})
  set(CGI_DIR ${VANTREL_CGI_INSTALL_DIR})
else()
  set(CGI_DIR ${CMAKE_INSTALL_PREFIX}/${VANTREL_CGI_INSTALL_DIR})
endif()
set(SYSCONF_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR})
# For the prefix /usr the configuration belongs in /etc (GNUInstallDirs says so only in the full
# path); under any other prefix it stays inside the prefix, so a test install never touches /etc.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(VANTREL_SYSCONF_INSTALL_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR})
else()
  set(VANTREL_SYSCONF_INSTALL_DIR ${CMAKE_INSTALL_SYSCONFDIR})
endif()

# Manual pages are installed compressed, as Debian wants them (gzip -n: no time stamp, so the
# same sources give the same bytes).
find_program(VANTREL_GZIP gzip REQUIRED)
function(vantrel_install_man page component)
  set(source ${VANTREL_INSTALL_SOURCE}/man/${page})
  set(configured ${VANTREL_INSTALL_BUILD}/man/${page})
  configure_file(${source} ${configured} @ONLY)
  add_custom_command(OUTPUT ${configured}.gz
    COMMAND ${VANTREL_GZIP} -9 -n -c ${configured} > ${configured}.gz
    DEPENDS ${configured}
    VERBATIM)
  add_custom_target(vantrel_man_${page} ALL DEPENDS ${configured}.gz)
  install(FILES ${configured}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# The Debian changelog of a package, compressed like the manual pages.
function(vantrel_install_package_docs package component)
  set(changelog ${VANTREL_INSTALL_BUILD}/${package}/changelog)
  set(PACKAGE ${package})
  configure_file(${VANTREL_INSTALL_SOURCE}/changelog.in ${changelog} @ONLY)
  add_custom_command(OUTPUT ${changelog}.gz
    COMMAND ${VANTREL_GZIP} -9 -n -c ${changelog} > ${changelog}.gz
    DEPENDS ${changelog}
    VERBATIM)
  add_custom_target(vantrel_changelog_${component} ALL DEPENDS ${changelog}.gz)
  install(FILES ${changelog}.gz ${VANTREL_INSTALL_SOURCE}/copyright ${PROJECT_SOURCE_DIR}/LICENSE
                ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.md
          DESTINATION ${VANTREL_DOC_DIR}/${package} COMPONENT ${component})
endfunction()

# ---- vantrel-formulare: the tool, the CLI and what they read ----
install(TARGETS vantrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT formulare)
vantrel_install_man(vantrel-cli.1 formulare)
vantrel_install_package_docs(vantrel-formulare formulare)

if(VANTREL_GUI)
  install(TARGETS vantrel-formulare RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT formulare)
  list(TRANSFORM VANTREL_SUPPORT_FILES PREPEND ${VANTREL_BIN_DIR}/ OUTPUT_VARIABLE _support_paths)
  install(FILES ${_support_paths} DESTINATION ${VANTREL_SUPPORT_INSTALL_DIR} COMPONENT formulare)
  # The converter of enhanced metafiles is a support program: the picture loaders start it from
  # there, nobody else does.
  install(TARGETS vantrel-emf2svg RUNTIME DESTINATION ${VANTREL_SUPPORT_INSTALL_DIR}
          COMPONENT formulare)
  # The browser engine's plugin, which the tool loads when its preview is first shown.
  install(TARGETS vantrel_form_page_view LIBRARY DESTINATION ${VANTREL_SUPPORT_INSTALL_DIR}
          COMPONENT formulare)
  # "Auswertung" and its libraries, loaded when the window is first asked for.
  install(TARGETS vantrel_answers_window_plugin LIBRARY DESTINATION ${VANTREL_SUPPORT_INSTALL_DIR}
          COMPONENT formulare)
  vantrel_install_man(vantrel-formulare.1 formulare)

  install(FILES ${VANTREL_INSTALL_SOURCE}/vantrel-formulare.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT formulare)
  install(FILES ${VANTREL_INSTALL_SOURCE}/vantrel-formulare.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT formulare)
  set(_metainfo example.brixtel.vantrel_formulare.metainfo.xml)
  configure_file(${VANTREL_INSTALL_SOURCE}/${_metainfo} ${VANTREL_INSTALL_BUILD}/${_metainfo} @ONLY)
  install(FILES ${VANTREL_INSTALL_BUILD}/${_metainfo}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT formulare)

  # The icon: the drawing itself, and pictures of it in the sizes desktops look for first.
  set(_icon_svg ${PROJECT_SOURCE_DIR}/widgets/pictures/vantrel-formulare.svg)
  set(_hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${_icon_svg} DESTINATION ${_hicolor}/scalable/apps COMPONENT formulare)
  find_program(VANTREL_RSVG_CONVERT rsvg-convert REQUIRED)
  set(_icon_pngs "")
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${VANTREL_INSTALL_BUILD}/icons/${size}/vantrel-formulare.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTREL_INSTALL_BUILD}/icons/${size}
      COMMAND ${VANTREL_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${_icon_svg}
      DEPENDS ${_icon_svg}
      VERBATIM)
    list(APPEND _icon_pngs ${png})
    install(FILES ${png} DESTINATION ${_hicolor}/${size}x${size}/apps COMPONENT formulare)
  endforeach()
  add_custom_target(vantrel_icons ALL DEPENDS ${_icon_pngs})
endif()

# ---- vantrel-formmail: the receiver, its configuration and its service ----
if(VANTREL_FORMMAIL)
  install(TARGETS sendmailform.cgi RUNTIME DESTINATION ${VANTREL_CGI_INSTALL_DIR} COMPONENT formmail)
  if(TARGET vantrel-formmail)
    install(TARGETS vantrel-formmail RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT formmail)
  endif()
  vantrel_install_man(vantrel-formmail.1 formmail)
  vantrel_install_package_docs(vantrel-formmail formmail)

  # The example configuration, set up for the packaged service and the CGI program alike: their
  # state in the folders of /var/lib/vantrel-formmail that the package's postinst makes for the
  # group vantrel-formmail (which the web server's user joins).
  file(READ ${PROJECT_SOURCE_DIR}/formmail/formmail.conf.example _conf)
  foreach(_setting
      "maildir = /var/mail/forms/Maildir|maildir = /var/lib/vantrel-formmail/Maildir"
      "#spool = /var/spool/vantrel-formmail|#spool = /var/lib/vantrel-formmail/spool"
      "#rate_state = /var/lib/vantrel-formmail/rate/counts|rate_state = /var/lib/vantrel-formmail/rate/counts")
    string(REPLACE "|" ";" _pair "${_setting}")
    list(GET _pair 0 _from)
    list(GET _pair 1 _to)
    string(FIND "${_conf}" "${_from}" _found)
    if(_found EQUAL -1)
      message(FATAL_ERROR "formmail.conf.example no longer holds '${_from}'")
    endif()
    string(REPLACE "${_from}" "${_to}" _conf "${_conf}")
  endforeach()
  file(CONFIGURE OUTPUT ${VANTREL_INSTALL_BUILD}/vantrel-formmail.conf CONTENT "${_conf}" @ONLY)
  install(FILES ${VANTREL_INSTALL_BUILD}/vantrel-formmail.conf
          DESTINATION ${VANTREL_SYSCONF_INSTALL_DIR} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ
          COMPONENT formmail)

  set(_units ${PROJECT_SOURCE_DIR}/formmail/install)
  # Both services are confined alike: the lines of confinement.conf go into each.
  file(READ ${_units}/confinement.conf VANTREL_UNIT_CONFINEMENT)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_units}/confinement.conf)
  configure_file(${_units}/vantrel-formmail.service.in
                 ${VANTREL_INSTALL_BUILD}/vantrel-formmail.service @ONLY)
  configure_file(${_units}/vantrel-formmail-flush.service.in
                 ${VANTREL_INSTALL_BUILD}/vantrel-formmail-flush.service @ONLY)
  install(FILES ${VANTREL_INSTALL_BUILD}/vantrel-formmail.service
                ${VANTREL_INSTALL_BUILD}/vantrel-formmail-flush.service
                ${_units}/vantrel-formmail-flush.timer
          DESTINATION lib/systemd/system COMPONENT formmail)
endif()
