#!/usr/bin/env bash
# Builds the Debian packages vantrel-formulare and vantrel-formmail (Release, prefix /usr),
# checks them with lintian and, with --install, installs them with dpkg -i and tries them:
# the version, a build through vantrel-cli, the receiver's units and its CGI road behind
# nginx and Apache as the README sets it up (tests/formmail/deployments/package_test.py).
# Apart from scripts/test.sh: a whole Release build takes longer than CI should wait.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

BUILD=${VANTREL_PACKAGE_BUILD_DIR:-build-packages}
# Debian's hardening, as dpkg-buildflags gives it for a package (all of it: bind-now and PIE
# too). CMake reads no CPPFLAGS: the fortify definitions go in with the compiler flags. The
# flags are cached at the first configure, so they are handed over on every one.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS)
CFLAGS="$(dpkg-buildflags --get CFLAGS) $CPPFLAGS"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $CPPFLAGS"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF \
  -DCMAKE_C_FLAGS="$CFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_MODULE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$BUILD" -j "${VANTREL_JOBS:-$(nproc)}"
rm -f "$BUILD"/*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
packages=("$BUILD"/vantrel-formulare_*.deb "$BUILD"/vantrel-formmail_*.deb)
ls -l "${packages[@]}"

# No errors from lintian (warnings and notes are printed for the reader), and none of its
# hardening tags: every program is built with fortify, relro, bind-now and as PIE.
lintian_report=$(lintian --fail-on error --tag-display-limit 0 "${packages[@]}") || {
  echo "$lintian_report"
  exit 1
}
echo "$lintian_report"
if grep -E 'hardening-no-|shared-library-lacks-|-lacks-pie' <<<"$lintian_report"; then
  echo "the programs lack Debian's hardening (see the lines above)" >&2
  exit 1
fi

if [ "${1:-}" = "--install" ]; then
  SUDO=()
  if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
  # The receiver's package as a new user walks it (installed, used, purged again), before
  # both packages are installed to stay.
  "${SUDO[@]}" env VANTREL_BUILD_DIR="$PWD/$BUILD" \
    VANTREL_FORMMAIL_README="$PWD/formmail/README.md" \
    python3 tests/formmail/deployments/package_test.py
  "${SUDO[@]}" apt-get install -y -qq "${packages[@]/#/./}" >/dev/null
  vantrel-formulare --version
  vantrel-cli --version
  vantrel-formmail --version
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  vantrel-cli build tests/data/vtq/rows-umlauts.vtq -o "$scratch/umfrage.exe"
  test -s "$scratch/umfrage.exe"
  echo "vantrel-cli build: $(stat -c %s "$scratch/umfrage.exe") bytes"
  systemd-analyze verify /usr/lib/systemd/system/vantrel-formmail.service \
    /usr/lib/systemd/system/vantrel-formmail-flush.service \
    /usr/lib/systemd/system/vantrel-formmail-flush.timer
  getent passwd vantrel-formmail
  stat -c '%U:%G %a %n' /var/lib/vantrel-formmail /etc/vantrel-formmail.conf
fi
