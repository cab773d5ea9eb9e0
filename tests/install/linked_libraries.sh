#!/bin/sh
# usage: linked_libraries.sh READELF CONVERTER PROGRAM...
# libemf2svg and libUEMF are GPL-2.0-only and the tool links GPL-3.0-only libraries, so only the
# converter program may need them. The converter itself is read first: it must name both, or
# this check would not be reading what it thinks it reads.
set -eu
readelf=$1
converter=$2
shift 2

needed() {
  "$readelf" -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\].*/\1/p'
}

gpl2_only='^lib\(emf2svg\|uemf\)\.so'
found=$(needed "$converter" | grep -c "$gpl2_only" || true)
if [ "$found" -ne 2 ]; then
  echo "FAIL $converter needs $found of libemf2svg and libuemf, expected both:"
  needed "$converter"
  exit 1
fi

status=0
for program in "$@"; do
  if needed "$program" | grep "$gpl2_only"; then
    echo "FAIL $program links the libraries above, which only $converter may link"
    status=1
  fi
done
exit $status
