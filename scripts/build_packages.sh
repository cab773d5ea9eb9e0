#!/usr/bin/env bash
# Builds the Debian packages vantrel-formulare and vantrel-formmail (Release, prefix /usr),
# checks them with lintian and, with --install, installs them with dpkg -i and tries them:
# the version, a build through vantrel-cli and the receiver's service file.
# Apart from scripts/test.sh: a whole Release build takes longer than CI should wait.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

BUILD=${VANTREL_PACKAGE_BUILD_DIR:-build-packages}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "${VANTREL_JOBS:-$(nproc)}"
rm -f "$BUILD"/*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
packages=("$BUILD"/vantrel-formulare_*.deb "$BUILD"/vantrel-formmail_*.deb)
ls -l "${packages[@]}"

# No errors from lintian (warnings and notes are printed for the reader).
lintian --fail-on error --tag-display-limit 0 "${packages[@]}"

if [ "${1:-}" = "--install" ]; then
  SUDO=()
  if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
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
