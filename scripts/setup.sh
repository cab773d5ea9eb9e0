#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, run and test.
# Packages already present are left alone; apt-get runs only when something is missing.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format clang-tidy
  # core libraries (libxlsxwriter: the Excel workbooks of the answers)
  zlib1g-dev libjpeg-dev nlohmann-json3-dev libxlsxwriter-dev
  # picture loaders of the EXE icon: Windows and enhanced metafiles (libwmf starts only with
  # its standard fonts present)
  libwmf-dev libemf2svg-dev libuemf-dev fonts-urw-base35
  # Qt 6: widgets, browser engine, SVG, German translations of Qt's own texts
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools qt6-svg-dev
  qt6-translations-l10n libgl-dev
  # the charts of the window "Auswertung"
  qt6-charts-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth dbus-daemon
  # the windows under a real window manager: openbox on Xvfb, read with xprop and xwininfo
  openbox x11-utils
  # fonts close to the ones the windows are laid out for
  fonts-dejavu-core fonts-liberation2
  # Arial Narrow's metric twin (Liberation Sans Narrow) and a black-weight sans for Arial Black
  fonts-liberation fonts-lato
  # archive benchmark peers
  zip unzip
  # external checks in tests (pdftotext reads the PDF report back, openpyxl the workbooks)
  python3 python3-pil poppler-utils python3-openpyxl
  # form-mail receiver: HTTP server, SMTP client, load benchmark
  libmicrohttpd-dev libcurl4-openssl-dev wrk
  # answers read from a mailbox over IMAP: the cache's database, and the IMAP server its tests
  # start on a private configuration (the service stays off, see below)
  libsqlite3-dev dovecot-imapd
  # "Passwort merken" in "Auswertung": the desktop's keyring through the Secret Service
  qtkeychain-qt6-dev
  # the receiver's deployments run in its tests, each on a private configuration: nginx with
  # fcgiwrap, Apache with mod_cgid, Postfix as the SMTP relay (services stay off, see below)
  nginx fcgiwrap apache2 postfix
  # the Windows viewer: cross compiler with windres, static zlib for it
  g++-mingw-w64-x86-64 libz-mingw-w64-dev
  # its tests: 64-bit wine (no i386 architecture needed; installed without recommends, as
  # everything here) and a way to find windows by title
  wine64 xdotool
  # signing built Windows programs (Authenticode), and a certificate of its own in the tests
  osslsigncode openssl
  # the signing password kept in the desktop's keyring
  qtkeychain-qt6-dev
  # installation: icons rendered at build time, manual pages compressed; the checks of the
  # desktop file, AppStream metainfo, MIME type and manual pages
  librsvg2-bin gzip desktop-file-utils appstream libxml2-utils shared-mime-info man-db groff-base
  # packages (scripts/build_packages.sh): dependencies from the binaries, lintian, unit checks
  dpkg-dev lintian systemd
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# Postfix asks what kind of mail system this is; "No configuration" leaves it without a main.cf.
echo "postfix postfix/main_mailer_type select No configuration" | "${SUDO[@]}" debconf-set-selections

# The web servers, Postfix and Dovecot would start as system services on ports 80, 25 and 143; the tests start
# their own instances, so no service may start during the install (a policy-rc.d that denies
# every start, unless the machine has one already) nor at the next boot.
SERVICES=(nginx apache2 apache-htcacheclean postfix fcgiwrap fcgiwrap.socket dovecot dovecot.socket)
POLICY=/usr/sbin/policy-rc.d
own_policy=no
if [ ! -e "$POLICY" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${SUDO[@]}" tee "$POLICY" >/dev/null
  "${SUDO[@]}" chmod 755 "$POLICY"
  own_policy=yes
fi
remove_own_policy() {
  if [ "$own_policy" = yes ]; then "${SUDO[@]}" rm -f "$POLICY"; fi
}
trap remove_own_policy EXIT

"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

if [ -d /run/systemd/system ]; then
  "${SUDO[@]}" systemctl disable --now "${SERVICES[@]}" >/dev/null 2>&1 || true
else
  for service in "${SERVICES[@]}"; do
    if [ -x "/etc/init.d/$service" ]; then "${SUDO[@]}" "/etc/init.d/$service" stop >/dev/null 2>&1 || true; fi
    "${SUDO[@]}" update-rc.d "$service" disable >/dev/null 2>&1 || true
  done
fi
