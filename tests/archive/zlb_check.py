#!/usr/bin/env python3
"""An independent reader and writer of the ZLB archive format, written from the format's
description alone, used to check vantrel-cli from outside:

  zlb_check.py check CLI WORKDIR   archives written by the tool are verified field by field,
                                   archives written here are listed, tested and extracted by
                                   the tool, hostile ones are refused
  zlb_check.py make-data DIR       writes the golden and hostile archives kept as test data

Members and the registry are inflated with Python's zlib module; the CRC-32 is computed here
with its own table.
"""

import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import zlib

TRAILER = 36
ENTRY = 532


def _crc_table():
    table = []
    for i in range(256):
        c = i
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


CRC_TABLE = _crc_table()


def crc32(data, crc=0):
    crc ^= 0xFFFFFFFF
    table = CRC_TABLE
    for b in data:
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8)
    return crc ^ 0xFFFFFFFF


class FormatError(Exception):
    pass


# ---------------------------------------------------------------------------------------------
# Reader


def short_string(field):
    return bytes(field[1:1 + field[0]])


def parse_entry(record):
    size, stored, offset, crc = struct.unpack_from("<IIII", record, 512)
    return {
        "name": short_string(record[0:256]),
        "path": short_string(record[256:512]),
        "name_field": bytes(record[0:256]),
        "path_field": bytes(record[256:512]),
        "file_size": size,
        "stored_size": stored,
        "data_offset": offset,
        "file_crc": crc,
        "stored_raw": record[528],
        "level_used": record[529],
        "reserved": bytes(record[530:532]),
    }


def read_archive(data):
    """Returns (trailer dict, entries, archive start) of an archive that ends `data`."""
    if len(data) < TRAILER:
        raise FormatError("shorter than a trailer")
    t = data[-TRAILER:]
    crc, count, one, reg_size, reg_offset = struct.unpack_from("<IiIII", t, 0)
    trailer = {"crc": crc, "count": count, "one": one, "registry_size": reg_size,
               "registry_offset": reg_offset, "compressed": t[20], "reserved": bytes(t[21:36])}
    reg_len = reg_size if t[20] == 1 else max(count, 0) * ENTRY
    start = len(data) - TRAILER - reg_len - reg_offset
    if start < 0:
        raise FormatError("registry before the file start")
    if crc32(data[start:len(data) - TRAILER]) != crc:
        raise FormatError("archive CRC mismatch")
    registry = data[start + reg_offset:len(data) - TRAILER]
    want = max(count, 0) * ENTRY
    if t[20] == 1 and count > 0:
        d = zlib.decompressobj()
        records = d.decompress(registry, want)
    elif t[20] == 0:
        records = registry[:want]
    else:
        records = b""
    if len(records) < want:
        raise FormatError("registry too short")
    entries = [parse_entry(records[i * ENTRY:(i + 1) * ENTRY]) for i in range(max(count, 0))]
    return trailer, entries, start


def member_content(data, start, trailer, entry):
    begin = start + entry["data_offset"]
    end = begin + entry["stored_size"]
    if entry["data_offset"] + entry["stored_size"] > trailer["registry_offset"]:
        raise FormatError("member outside the data area")
    stored = data[begin:end]
    if entry["stored_raw"] == 1:
        content = stored
    else:
        d = zlib.decompressobj()
        content = d.decompress(stored, entry["file_size"])
    if len(content) != entry["file_size"]:
        raise FormatError("member size mismatch")
    if crc32(content) != entry["file_crc"]:
        raise FormatError("member CRC mismatch")
    return content


# ---------------------------------------------------------------------------------------------
# Writer


def entry_record(name, path, file_size, stored_size, offset, crc, raw, level):
    def field(text):
        text = text[:255]
        return bytes([len(text)]) + text + bytes(255 - len(text))
    return (field(name) + (field(path) if path else bytes(256)) +
            struct.pack("<IIII", file_size, stored_size, offset, crc) + bytes([raw, level, 0, 0]))


def write_archive(members, compress_registry=True, level=6, raw_members=False):
    """members: list of (stored name with "\\" folders, content). Returns the archive bytes."""
    data = b""
    records = b""
    for stored_name, content in members:
        cut = stored_name.rfind(b"\\") + 1
        path, name = stored_name[:cut], stored_name[cut:]
        packed = zlib.compress(content, level)
        raw = raw_members or len(packed) >= len(content)
        stored = content if raw else packed
        records += entry_record(name, path, len(content), len(stored), len(data), crc32(content),
                                1 if raw else 0, 0 if raw else 2)
        data += stored
    reg_offset = len(data)
    if compress_registry:
        registry = zlib.compress(records, level)
        data += registry
        reg_size, flag = len(registry), 1
    else:
        data += records
        reg_size, flag = 0, 0
    trailer = struct.pack("<IiIIIB", crc32(data), len(members), 1, reg_size, reg_offset, flag)
    return data + trailer + bytes(TRAILER - len(trailer))


def reseal(archive):
    """Recomputes the CRC of an archive whose bytes were changed on purpose."""
    body = archive[:-TRAILER]
    return body + struct.pack("<I", crc32(body)) + archive[-TRAILER + 4:]


# ---------------------------------------------------------------------------------------------
# Test data


def text(size, seed=1):
    words = [b"Formular ", b"Feld ", b"Name ", b"Adresse ", b"senden\n", b"und ", b"der "]
    out = bytearray()
    state = seed
    while len(out) < size:
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out += words[(state >> 16) % 7]
    return bytes(out[:size])


def noise(size, seed=1):
    return bytes((((i * 2654435761) ^ (seed * 40503) ^ (i >> 3) * 97) >> 7) & 0xFF for i in range(size))


GOLDEN = {
    "builder-page.zlb": lambda: write_archive([(b"\\opt\\vantrel\\formular.htm", b"<html>" + text(4000) + b"</html>")]),
    "raw-registry.zlb": lambda: write_archive([(b"a.txt", text(3000)), (b"b.bin", noise(2000))], compress_registry=False),
    "stored-only.zlb": lambda: write_archive([(b"a.txt", text(3000)), (b"empty", b"")], raw_members=True),
    "empty.zlb": lambda: write_archive([]),
    "duplicates.zlb": lambda: write_archive([(b"Dup.txt", b"first"), (b"dup.TXT", b"second")]),
    "in-program.bin": lambda: b"\x7fELF" + noise(3000, 7) + write_archive([(b"formular.htm", text(2500))]),
}


def hostile_archives():
    good = write_archive([(b"a.txt", text(3000)), (b"b.bin", noise(700))])
    _, entries, _ = read_archive(good)
    reg_offset = struct.unpack_from("<I", good, len(good) - 20)[0]
    out = {}
    out["truncated.zlb"] = good[:len(good) // 2]
    out["short.zlb"] = b"ZLB"
    out["crc-flipped.zlb"] = good[:10] + bytes([good[10] ^ 1]) + good[11:]
    huge = bytearray(good)
    struct.pack_into("<i", huge, len(huge) - 32, 0x7FFFFFFF)
    out["huge-count.zlb"] = reseal(bytes(huge))
    neg = bytearray(good)
    struct.pack_into("<I", neg, len(neg) - 20, 0xFFFFFFF0)
    out["offset-beyond.zlb"] = reseal(bytes(neg))
    flag = bytearray(good)
    flag[len(flag) - 16] = 7
    out["registry-flag.zlb"] = reseal(bytes(flag))
    # Records with lying fields, laid out raw so that they can be edited in place.
    def with_record(change):
        records = bytearray(b"".join(entry_record(e["name"], e["path"], e["file_size"], e["stored_size"],
                                                  e["data_offset"], e["file_crc"], e["stored_raw"], e["level_used"])
                                     for e in entries))
        change(records)
        body = good[:reg_offset] + bytes(records)
        trailer = struct.pack("<IiIIIB", crc32(body), len(entries), 1, 0, reg_offset, 0)
        return body + trailer + bytes(TRAILER - len(trailer))
    out["member-outside.zlb"] = with_record(lambda r: struct.pack_into("<I", r, 520, 0xFFFFFF00))
    out["member-longer.zlb"] = with_record(lambda r: struct.pack_into("<I", r, 512, 0x7FFFFFFF))
    out["member-bad-crc.zlb"] = with_record(lambda r: struct.pack_into("<I", r, ENTRY + 524, 12345))
    out["raw-size-lies.zlb"] = with_record(lambda r: struct.pack_into("<I", r, ENTRY + 512, 900))
    out["traversal.zlb"] = write_archive([(b"..\\..\\evil.txt", b"evil"), (b"C:\\x\\evil.txt", b"evil"),
                                          (b"\\ok\\..\\..\\evil.txt", b"evil")])
    out["bad-name.zlb"] = write_archive([(b"..", b"x"), (b"a/../../evil", b"x")])
    # Twenty members naming one stream: 20 times its content on extraction from one copy.
    shared = zlib.compress(text(200000), 6)
    records = b"".join(entry_record(b"copy%d" % i, b"", 200000, len(shared), 0, crc32(text(200000)), 0, 2)
                       for i in range(20))
    body = shared + zlib.compress(records, 6)
    out["overlap.zlb"] = body + struct.pack("<IiIIIB", crc32(body), 20, 1, len(body) - len(shared),
                                            len(shared), 1) + bytes(15)
    # A registry of 20,000 identical records: 10 MB from some 40 KB.
    registry = zlib.compress(entry_record(b"same", b"", 0, 0, 0, 0, 1, 0) * 20000, 6)
    out["registry-bomb.zlb"] = (registry + struct.pack("<IiIIIB", crc32(registry), 20000, 1, len(registry),
                                                        0, 1) + bytes(15))
    bomb = zlib.compress(bytes(8 << 20), 9)
    body = bomb
    records = entry_record(b"bomb", b"", 100, len(bomb), 0, crc32(bytes(100)), 0, 3)
    body += records
    out["bomb.zlb"] = body + struct.pack("<IiIIIB", crc32(body), 1, 1, 0, len(bomb), 0) + bytes(15)
    return out


def make_data(folder):
    os.makedirs(os.path.join(folder, "hostile"), exist_ok=True)
    for name, make in GOLDEN.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(make())
    for name, data in hostile_archives().items():
        with open(os.path.join(folder, "hostile", name), "wb") as f:
            f.write(data)


# ---------------------------------------------------------------------------------------------
# Checks of vantrel-cli


class Checker:
    def __init__(self, cli, work):
        self.cli = cli
        self.work = work
        self.failures = 0
        self.passed = 0

    def expect(self, condition, what):
        if condition:
            self.passed += 1
        else:
            self.failures += 1
            print("FAILED:", what)

    def run(self, *args, cwd=None):
        return subprocess.run([self.cli, "zlb", *args], capture_output=True, cwd=cwd, timeout=120)

    def verify_written(self, archive_path, sources, level, save_paths):
        """Field by field: an archive the tool wrote from `sources` (native paths, in order)."""
        data = open(archive_path, "rb").read()
        trailer, entries, start = read_archive(data)
        self.expect(start == 0, "plain archive starts at 0")
        self.expect(trailer["one"] == 1, "trailer offset 8 holds 1")
        self.expect(trailer["reserved"] == bytes(15), "trailer reserved bytes zero")
        self.expect(trailer["compressed"] == 1, "registry compressed")
        self.expect(len(data) == trailer["registry_offset"] + trailer["registry_size"] + TRAILER, "file length")
        self.expect(trailer["count"] == len(sources), "entry count %d" % trailer["count"])
        next_offset = 0
        for entry, source in zip(entries, sources):
            content = open(source, "rb").read()
            folder, name = os.path.split(source)
            self.expect(entry["name"] == name.encode("cp1252"), "EntryName %r" % entry["name"])
            want_path = (folder + "/").replace("/", "\\").encode("cp1252")[:255] if save_paths else b""
            self.expect(entry["path"] == want_path, "EntryPath %r" % entry["path"])
            if not save_paths:
                self.expect(entry["path_field"] == bytes(256), "EntryPath all zero")
            self.expect(entry["name_field"][1 + len(entry["name"]):] == bytes(255 - len(entry["name"])),
                        "name tail zero")
            self.expect(entry["file_size"] == len(content), "FileSize")
            self.expect(entry["file_crc"] == crc32(content), "FileCRC")
            self.expect(entry["data_offset"] == next_offset, "members follow each other")
            next_offset += entry["stored_size"]
            self.expect(entry["reserved"] == b"\0\0", "entry reserved bytes zero")
            try:
                self.expect(member_content(data, start, trailer, entry) == content, "content of " + source)
            except FormatError as error:
                self.expect(False, "%s: %s" % (source, error))
            if entry["stored_raw"] == 1:
                self.expect(entry["stored_size"] == len(content) and entry["level_used"] == 0, "raw member")
                if level != 0 and len(content) > 0:
                    self.expect(len(zlib.compress(content, level)) >= len(content) - 64,
                                "stored raw only when compression does not pay")
            else:
                self.expect(entry["stored_size"] < len(content), "compressed member is smaller")
                self.expect(entry["level_used"] == {1: 1, 6: 2, 9: 3}[level], "LevelUsed")
        self.expect(trailer["registry_offset"] == next_offset, "registry follows the members")

    def check_tool_archives(self):
        src = os.path.join(self.work, "src")
        os.makedirs(os.path.join(src, "sub"), exist_ok=True)
        files = {"page.htm": text(20000), "noise.bin": noise(30000), "empty.txt": b"",
                 "sub/deep.txt": text(70000, 3), "Gr\u00f6\u00dfe.txt": text(500, 4)}
        sources = []
        for name, content in files.items():
            path = os.path.join(src, name)
            with open(path, "wb") as f:
                f.write(content)
            sources.append(path)
        for level_name, level in (("none", 0), ("fastest", 1), ("default", 6), ("maximum", 9)):
            for save_paths in (False, True):
                archive = os.path.join(self.work, "tool-%s-%d.zlb" % (level_name, save_paths))
                args = ["create", archive, *sources, "--level", level_name] + (["--save-paths"] if save_paths else [])
                result = self.run(*args)
                self.expect(result.returncode == 0, "create %s: %s" % (archive, result.stderr))
                self.verify_written(archive, sources, level, save_paths)

    def check_foreign_archives(self):
        for name, make in GOLDEN.items():
            path = os.path.join(self.work, name)
            data = make()
            with open(path, "wb") as f:
                f.write(data)
            trailer, entries, start = read_archive(data)
            listing = self.run("list", path)
            self.expect(listing.returncode == 0, "list " + name)
            lines = listing.stdout.decode("utf-8").splitlines()
            want = ["%s\t%d\t%d\t%s\t%08x" % ((e["path"] + e["name"]).decode("cp1252"), e["file_size"],
                                              e["stored_size"], "raw" if e["stored_raw"] else "default",
                                              e["file_crc"]) for e in entries]
            self.expect(lines == want, "listing of %s: %r" % (name, lines))
            self.expect(self.run("test", path).returncode == 0, "test " + name)
            out = os.path.join(self.work, "out-" + name)
            shutil.rmtree(out, ignore_errors=True)
            result = self.run("extract", path, "-C", out, "--with-path")
            self.expect(result.returncode == 0, "extract %s: %s" % (name, result.stderr))
            for e in entries:
                rel = (e["path"] + e["name"]).decode("cp1252").replace("\\", "/").lstrip("/")
                target = os.path.join(out, rel)
                got = open(target, "rb").read() if os.path.exists(target) else None
                self.expect(got == member_content(data, start, trailer, e), "extracted " + rel)

    def check_hostile_archives(self):
        for name, data in hostile_archives().items():
            path = os.path.join(self.work, "hostile-" + name)
            with open(path, "wb") as f:
                f.write(data)
            out = os.path.join(self.work, "hostile-out", name)
            tested = self.run("test", path)
            extracted = self.run("extract", path, "-C", out, "--with-path")
            if name in ("traversal.zlb", "bad-name.zlb"):
                # Sound content under unsafe names: it tests fine but is never extracted.
                self.expect(tested.returncode == 0, "hostile %s content tests fine" % name)
                self.expect(extracted.returncode == 1 and b"Unsafe path" in extracted.stderr,
                            "hostile %s refused: %r" % (name, extracted.stderr))
            elif name == "bomb.zlb":
                # A stream that would inflate to 8 MiB gives exactly the FileSize it claims.
                self.expect(extracted.returncode == 0, "bomb extracted")
                self.expect(os.path.getsize(os.path.join(out, "bomb")) == 100, "bomb stops at FileSize")
            else:
                self.expect(tested.returncode == 1 and extracted.returncode == 1, "hostile %s refused" % name)
                self.expect(tested.stderr.strip() != b"", "hostile %s says why" % name)
        self.expect(not os.path.exists(os.path.join(self.work, "evil.txt")), "nothing written outside")

    def check_printed_names(self):
        # Names are printed with their control characters escaped: no terminal command, no
        # forged line.
        path = os.path.join(self.work, "names.zlb")
        with open(path, "wb") as f:
            f.write(write_archive([(b"clear\x1b[2J\x811m.txt", b"a"), (b"two\nlines\r.txt", b"b")]))
        for command in ("list", "test"):
            result = self.run(command, path)
            self.expect(result.returncode == 0, "%s of odd names works" % command)
        listed = self.run("list", path).stdout
        self.expect(b"\x1b" not in listed and b"\r" not in listed and b"\xc2\x81" not in listed,
                    "no control byte printed: %r" % listed)
        self.expect(listed.count(b"\n") == 2, "one line per entry: %r" % listed)
        self.expect(b"clear\\x1B[2J\\x811m.txt" in listed and b"two\\x0Alines\\x0D.txt" in listed,
                    "escaped as \\xNN: %r" % listed)

    def check_fifo(self):
        # A FIFO is no archive and no source: refused at once, never waited on.
        fifo = os.path.join(self.work, "fifo")
        os.mkfifo(fifo)
        page = os.path.join(self.work, "fifo-page.htm")
        with open(page, "wb") as f:
            f.write(b"page")
        for command in (["list", fifo], ["test", fifo], ["extract", fifo, "-C", self.work],
                        ["create", os.path.join(self.work, "fifo.zlb"), fifo, page]):
            try:
                result = subprocess.run([self.cli, "zlb"] + command, capture_output=True, timeout=10)
                self.expect(result.returncode == 1 and b"Unable to open file" in result.stderr,
                            "%s with a FIFO refused: %r" % (command[0], result.stderr))
            except subprocess.TimeoutExpired:
                self.expect(False, "%s blocked on a FIFO" % command[0])
                os.close(os.open(fifo, os.O_RDWR | os.O_NONBLOCK))

    def check_stopped_by_signals(self):
        # zlb create stopped while it compresses: neither the new archive beside the target
        # nor the work file in the temporary folder stays.
        source = os.path.join(self.work, "large.bin")
        with open(source, "wb") as f:
            f.write(noise(1 << 20) * 40)
        for stop in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            folder = os.path.join(self.work, "stopped-%d" % stop)
            temp = os.path.join(folder, "tmp")
            os.makedirs(temp)
            env = dict(os.environ, TMPDIR=temp)
            process = subprocess.Popen([self.cli, "zlb", "create", os.path.join(folder, "a.zlb"), source],
                                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and not (os.listdir(temp) and len(os.listdir(folder)) > 1):
                time.sleep(0.01)
            started = bool(os.listdir(temp))
            process.send_signal(stop)
            process.wait(timeout=10)
            self.expect(started, "a work file was made before signal %d" % stop)
            self.expect(process.returncode == -stop, "ended by signal %d: %d" % (stop, process.returncode))
            self.expect(os.listdir(temp) == [], "no work file after signal %d: %s" % (stop, os.listdir(temp)))
            self.expect(sorted(os.listdir(folder)) == ["tmp"],
                        "nothing beside the target after signal %d: %s" % (stop, os.listdir(folder)))

    def check_missing_archives(self):
        # An empty name opens nothing: it must not pass for an empty archive.
        for name in ("", os.path.join(self.work, "nowhere.zlb")):
            for command in (["list", name], ["test", name], ["extract", name, "-C", self.work]):
                result = self.run(*command)
                self.expect(result.returncode == 1 and b"Archive file not found" in result.stderr,
                            "%s of %r refused: %r" % (command[0], name, result.stderr))


def check(cli, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    checker = Checker(cli, work)
    checker.check_tool_archives()
    checker.check_foreign_archives()
    checker.check_hostile_archives()
    checker.check_missing_archives()
    checker.check_printed_names()
    checker.check_fifo()
    checker.check_stopped_by_signals()
    print("%d passed, %d failed" % (checker.passed, checker.failures))
    return 0 if checker.failures == 0 else 1


def main(argv):
    if len(argv) == 4 and argv[1] == "check":
        return check(argv[2], argv[3])
    if len(argv) == 3 and argv[1] == "make-data":
        make_data(argv[2])
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
