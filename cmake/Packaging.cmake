# Debian packages with `cpack -G DEB` from a build configured with -DCMAKE_INSTALL_PREFIX=/usr
# (scripts/build_packages.sh): one package for each install component (cmake/Install.cmake).
# The packages come from the same install rules as `cmake --install`, so what the install test
# checks is what the packages hold.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel-formulare)
set(CPACK_PACKAGE_VENDOR Brixtel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Brixtel <info@brixtel.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL formulare)
if(VANTREL_FORMMAIL)
  list(APPEND CPACK_COMPONENTS_ALL formmail)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brixtel <info@brixtel.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.brixtel.example")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

set(CPACK_DEBIAN_FORMULARE_PACKAGE_NAME vantrel-formulare)
set(CPACK_DEBIAN_FORMULARE_PACKAGE_SECTION utils)
# No tool can see inside the stored viewers: a program built for Linux runs with the Qt
# WebEngine viewer and needs these wherever it runs. libwmf draws with the URW fonts.
set(CPACK_DEBIAN_FORMULARE_PACKAGE_DEPENDS
    "libqt6webenginewidgets6 (>= 6.4), libqt6printsupport6 (>= 6.4), fonts-urw-base35")
set(CPACK_COMPONENT_FORMULARE_DESCRIPTION
    "build web survey forms and standalone programs that show them
Vantrel Formulare is a German desktop tool: it puts a web survey form together
from eight kinds of fields, previews the generated page in a built-in browser
and builds a standalone program that shows the form in a window of its own.
.
This package holds the tool, its command-line companion vantrel-cli and the
viewers the built programs are made from.")

set(CPACK_DEBIAN_FORMMAIL_PACKAGE_NAME vantrel-formmail)
set(CPACK_DEBIAN_FORMMAIL_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_FORMMAIL_PACKAGE_DEPENDS "adduser")
set(CPACK_COMPONENT_FORMMAIL_DESCRIPTION
    "receiver for the forms of Vantrel Formulare
The pages that Vantrel Formulare generates post their answers to a form-mail
receiver, which mails each one to an allowed address, into a Maildir or
through SMTP.
.
This package holds the CGI program for any web server, the standalone server
with its systemd service (on 127.0.0.1:8080, as the system user
vantrel-formmail, state in /var/lib/vantrel-formmail) and a timer that sends
the spool. The group vantrel-formmail, which the web server's user www-data
joins, shares the Maildir and the counts between the CGI program and the
service, and lets its members read the answers.")
set(VANTREL_DEB_SCRIPTS ${PROJECT_SOURCE_DIR}/install/deb)
configure_file(${VANTREL_DEB_SCRIPTS}/formmail.conffiles.in
               ${CMAKE_BINARY_DIR}/install/deb/conffiles @ONLY)
configure_file(${VANTREL_DEB_SCRIPTS}/postinst.in ${CMAKE_BINARY_DIR}/install/deb/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FORMMAIL_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/install/deb/conffiles ${CMAKE_BINARY_DIR}/install/deb/postinst)
set(CPACK_DEBIAN_FORMMAIL_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
