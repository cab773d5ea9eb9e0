#!/usr/bin/env python3
"""Speed of building a program from a large prototype, next to plain copying.

  exe_build_bench.py CLI [MEGABYTES]

Makes a prototype of MEGABYTES (default 64) MiB with its marker record near the end, builds a
program from it with `vantrel-cli build` and copies the same prototype with `cat` into one
file; prints the best of five runs of each and their ratio. Figures only: nothing passes or
fails on time.
"""

import json
import os
import struct
import subprocess
import sys
import tempfile
import time

RUNS = 5


def best_of(command):
    best = None
    for _ in range(RUNS):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def main():
    cli = sys.argv[1]
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 64
    size = megabytes * 1024 * 1024
    with tempfile.TemporaryDirectory(prefix="exe-bench-") as work:
        proto = os.path.join(work, "ProtoExe.dat")
        decoded = bytearray(os.urandom(size))
        record_at = size - 4096
        decoded[record_at:record_at + 20] = b"BRXTEXEHVFRM" + struct.pack("<I", 1) + b"PROT"
        with open(proto, "wb") as f:
            f.write(bytes(decoded).translate(bytes((i + 1) & 0xFF for i in range(256))))
        del decoded
        project = os.path.join(work, "p.json")
        with open(project, "w") as f:
            json.dump({"fields": [], "email": "a@example.org"}, f)
        out = os.path.join(work, "ziel.exe")
        copy = os.path.join(work, "copy.dat")

        build = best_of([cli, "build", project, "-o", out, "--proto", proto, "--force"])
        cat = best_of(["sh", "-c", 'cat "$0" > "$1"', proto, copy])
        print("prototype            %d MiB" % megabytes)
        print("vantrel-cli build    %.3f s  (%.0f MiB/s)" % (build, megabytes / build))
        print("cat into one file    %.3f s  (%.0f MiB/s)" % (cat, megabytes / cat))
        print("ratio build / cat    %.2f" % (build / cat))


if __name__ == "__main__":
    main()
