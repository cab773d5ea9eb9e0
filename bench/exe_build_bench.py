#!/usr/bin/env python3
"""Speed of building a program from a large prototype, next to its peers.

  exe_build_bench.py CLI [MEGABYTES]

Makes a prototype of MEGABYTES (default 64) MiB with its marker record near the end and its
icon pixels in the middle (with the "iconcomp.dat" that finds them), and builds a program from
it with `vantrel-cli build`. In the same run, in turn with the build, two peers handle the
same bytes: `zip` of the page and `cat` of prototype and zip into one file (what the build
does, without decoding, icon and sync), and a plain `cat` of the prototype. Prints the median
of RUNS runs of each and the median of the ratios run by run. Figures only: nothing passes or
fails on time.
"""

import json
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time

RUNS = 9


def seconds(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def make_prototype(folder, size):
    decoded = bytearray(os.urandom(size))
    record_at = size - 4096
    decoded[record_at:record_at + 20] = b"BRXTEXEHVFRM" + struct.pack("<I", 1) + b"PROT"
    icon_at = size // 2
    with open(os.path.join(folder, "iconcomp.dat"), "wb") as f:
        f.write(bytes(168) + bytes(decoded[icon_at:icon_at + 512]) + bytes(100))
    proto = os.path.join(folder, "ProtoExe.dat")
    with open(proto, "wb") as f:
        f.write(bytes(decoded).translate(bytes((i + 1) & 0xFF for i in range(256))))
    return proto


def main():
    cli = os.path.abspath(sys.argv[1])
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 64
    with tempfile.TemporaryDirectory(prefix="exe-bench-") as work:
        proto = make_prototype(work, megabytes * 1024 * 1024)
        project = os.path.join(work, "p.json")
        with open(project, "w") as f:
            json.dump({"fields": [], "email": "a@example.org"}, f)
        page = os.path.join(work, "formular.htm")
        subprocess.run([cli, "page", project, "-o", page], check=True)
        out = os.path.join(work, "ziel.exe")
        build = [cli, "build", project, "-o", out, "--proto", proto, "--force"]
        zip_cat = ["sh", "-c", 'cd "$0" && rm -f page.zip && zip -q page.zip formular.htm && '
                   'cat ProtoExe.dat page.zip > peer.exe', work]
        cat = ["sh", "-c", 'cat "$0" > "$1"', proto, os.path.join(work, "copy.dat")]

        for command in (build, zip_cat, cat):  # warm-up: the prototype in the cache
            seconds(command)
        times = {"build": [], "zip_cat": [], "cat": []}
        for _ in range(RUNS):
            times["build"].append(seconds(build))
            times["zip_cat"].append(seconds(zip_cat))
            times["cat"].append(seconds(cat))
        median = {name: statistics.median(values) for name, values in times.items()}
        ratio = {peer: statistics.median(b / p for b, p in zip(times["build"], times[peer]))
                 for peer in ("zip_cat", "cat")}
        print("prototype              %d MiB, median of %d runs" % (megabytes, RUNS))
        print("vantrel-cli build      %.3f s  (%.0f MiB/s)" % (median["build"], megabytes / median["build"]))
        print("zip + cat              %.3f s" % median["zip_cat"])
        print("cat into one file      %.3f s" % median["cat"])
        print("ratio build / zip+cat  %.2f" % ratio["zip_cat"])
        print("ratio build / cat      %.2f" % ratio["cat"])


if __name__ == "__main__":
    main()
