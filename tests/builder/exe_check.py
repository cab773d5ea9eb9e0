#!/usr/bin/env python3
"""Built programs taken apart from outside: a second reader of the program layout, written
from its description alone, checks what vantrel-cli build writes.

  exe_check.py CLI WORKDIR [PROTOEXE]

Layout: [decoded prototype, S bytes, marker record patched][WindowSettings][ZLB archive].
The prototypes are made here (every byte + 1 on disk); with PROTOEXE the shipped prototype is
checked the same way. The archive is read with Python's zlib; the page is compared with what
`vantrel-cli page` writes for the same project.
"""

import json
import os
import shutil
import struct
import subprocess
import sys
import zlib

MARKER = b"BRXTEXEH"
BLOCK = 2048
TRAILER = 36
ENTRY = 532
FLAG_NAMES = ["statusbar", "toolbar", "print", "exit", "about", "back", "forward", "home",
              "reload", "exitButton"]


class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


def encode(data):
    return bytes((b + 1) & 0xFF for b in data)


def decode(data):
    return bytes((b - 1) & 0xFF for b in data)


def prototype_with_records(size, records_at):
    data = bytearray((i * 13 + 5) & 0xFF for i in range(size))
    record = MARKER + b"VFRM" + struct.pack("<I", 1) + b"PROT"
    for at in records_at:
        for i, b in enumerate(record):
            if at + i < size:
                data[at + i] = b
    return bytes(data)


def marker_positions(decoded):
    """Where the builder patches: every occurrence inside the first block that holds one."""
    for start in range(0, len(decoded), BLOCK):
        block = decoded[start:start + BLOCK]
        found = [start + p for p in range(len(block) - 7) if block[p:p + 8] == MARKER]
        if found:
            return found
    return []


def read_settings(data, s):
    expect(len(data) >= s + 28, "settings cut short")
    flags = {name: data[s + i] for i, name in enumerate(FLAG_NAMES)}
    width, height = struct.unpack_from("<ii", data, s + 10)
    defined, fixed = data[s + 18], data[s + 19]
    (l1,) = struct.unpack_from("<i", data, s + 20)
    expect(0 <= l1 <= len(data) - s - 28, "name length out of range")
    name = data[s + 24:s + 24 + l1]
    (l2,) = struct.unpack_from("<i", data, s + 24 + l1)
    expect(0 <= l2 <= len(data) - s - 28 - l1, "path length out of range")
    path = data[s + 28 + l1:s + 28 + l1 + l2]
    return {"flags": flags, "width": width, "height": height, "defined": defined,
            "fixed": fixed, "name": name, "path": path, "end": s + 28 + l1 + l2}


def read_archive(archive):
    expect(len(archive) >= TRAILER, "archive shorter than its trailer")
    t = archive[-TRAILER:]
    crc, count, one, reg_size, reg_offset = struct.unpack_from("<IiIII", t, 0)
    compressed = t[20]
    expect(zlib.crc32(archive[:-TRAILER]) == crc, "archive CRC differs")
    expect(one == 1 and t[21:] == bytes(15), "trailer constants")
    expect(compressed == 1, "the builder's registry is compressed")
    expect(reg_offset + reg_size == len(archive) - TRAILER, "registry does not end at the trailer")
    registry = zlib.decompress(archive[reg_offset:reg_offset + reg_size])
    expect(len(registry) == count * ENTRY, "registry size")
    entries = []
    for i in range(count):
        r = registry[i * ENTRY:(i + 1) * ENTRY]
        size, stored, offset, file_crc = struct.unpack_from("<IIII", r, 512)
        entries.append({"name": r[1:1 + r[0]], "path": r[257:257 + r[256]], "size": size,
                        "stored": stored, "offset": offset, "crc": file_crc, "raw": r[528],
                        "level": r[529]})
    return entries, reg_offset


def member_content(archive, entry, reg_offset):
    expect(entry["offset"] + entry["stored"] <= reg_offset, "member outside the data area")
    stored = archive[entry["offset"]:entry["offset"] + entry["stored"]]
    content = stored if entry["raw"] else zlib.decompress(stored)
    expect(len(content) == entry["size"], "member size")
    expect(zlib.crc32(content) == entry["crc"], "member CRC")
    return content


def check_program(built, decoded_proto, project, page):
    s = len(decoded_proto)
    records = marker_positions(decoded_proto)
    expect(records, "the prototype holds a marker")
    # The decoded prototype, with S and zeros in each patched record (within its block).
    expected = bytearray(decoded_proto)
    for at in records:
        expected[at:at + 4] = struct.pack("<I", s)
        block_end = (at // BLOCK + 1) * BLOCK
        for i in range(at + 16, min(at + 20, block_end)):
            expected[i] = 0
    expect(built[:s] == bytes(expected), "the first S bytes are not the patched decoded prototype")

    settings = read_settings(built, s)
    want = project["settings"]
    for name in FLAG_NAMES:
        expect(settings["flags"][name] == int(want[name]), "flag " + name)
    expect(settings["width"] == want["width"] and settings["height"] == want["height"], "size")
    expect(settings["defined"] == int(want["definedSize"]), "defined size")
    expect(settings["fixed"] == int(want["fixedSize"]), "fixed size")
    expect(settings["name"] == want["projectName"].encode("cp1252"), "project name")
    expect(settings["path"].endswith(b"/formular.htm"), "page path")

    archive = built[settings["end"]:]
    entries, reg_offset = read_archive(archive)
    expect(len(entries) == 1, "one entry")
    entry = entries[0]
    expect(entry["name"] == b"formular.htm", "entry name")
    expect(entry["offset"] == 0 and entry["raw"] == 0 and entry["level"] == 2, "entry storage")
    # The recorded folder is the page path's folder, "/" written as "\".
    folder = settings["path"][:-len(b"formular.htm")].replace(b"/", b"\\")
    expect(entry["path"] == folder, "recorded folder %r vs %r" % (entry["path"], folder))
    expect(member_content(archive, entry, reg_offset) == page, "the page in the archive")
    expect(len(built) == s + 28 + len(settings["name"]) + len(settings["path"]) + len(archive),
           "length S + 28 + L1 + L2 + A")


def check_shipped_icon(decoded, iconcomp_path):
    """The icon pattern (bytes 168..679 of iconcomp.dat) occurs exactly once in the prototype,
    inside a 32 x 32, 4-bit icon image with the icon colour table and a mask."""
    palette = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
               (0, 128, 128), (128, 128, 128), (192, 192, 192), (255, 0, 0), (0, 255, 0),
               (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    with open(iconcomp_path, "rb") as f:
        resource = f.read()
    pattern = resource[168:680]
    try:
        expect(len(pattern) == 512, "iconcomp.dat too short")
        first = decoded.find(pattern)
        expect(first >= 0 and decoded.find(pattern, first + 1) < 0, "icon pixels not exactly once")
        header = decoded[first - 104:first - 64]
        size, width, height, planes, bits = struct.unpack_from("<IiiHH", header, 0)
        expect((size, width, height, planes, bits) == (40, 32, 64, 1, 4), "icon image header")
        table = decoded[first - 64:first]
        colours = [(table[4 * i + 2], table[4 * i + 1], table[4 * i]) for i in range(16)]
        expect(colours == palette, "icon colour table")
        expect(resource[64:168] == decoded[first - 104:first], "iconcomp.dat holds the same image")
        print("ok   shipped icon image")
        return 0
    except Failure as error:
        print("FAIL shipped icon image: %s" % error)
        return 1


def run(cmd):
    return subprocess.run(cmd, capture_output=True)


def project_json(name, **settings):
    base = {name: True for name in FLAG_NAMES}
    base.update({"width": 600, "height": 440, "definedSize": True, "fixedSize": False,
                 "projectName": name})
    base.update(settings)
    return {
        "fields": [{"name": "ort", "type": "Textfeld", "caption": "Wohnort", "content": "Köln",
                    "width": "30", "height": "1", "maxChars": "0", "optional": "Ja",
                    "preselected": "Nein"}],
        "email": "umfrage@example.org",
        "settings": base,
    }


def check_receiver_warnings(cli, work, project_path, proto_path):
    """`page` and `build` warn in German on standard error, naming the address, when the page
    posts to the respondent's own computer; they go on and exit 0."""
    with open(proto_path, "wb") as f:
        f.write(encode(prototype_with_records(5000, [2048 + 40])))
    default = run([cli, "page", project_path]).stdout.split(b'ACTION="')[1].split(b'"')[0].decode()
    cases = [(None, default, "//localhost/" in default),
             ("http://localhost/cgi-bin/sendmailform.cgi", None, True),
             ("http://127.0.0.1:8080/senden", None, True),
             ("https://umfragen.example.org/cgi-bin/sendmailform.cgi", None, False)]
    failures = 0
    for action, named, warned in cases:
        option = ["--action", action] if action else []
        named = named or action
        for command in (["page", project_path], ["build", project_path, "-o", os.path.join(work, "w.exe"),
                                                 "--proto", proto_path, "--force"]):
            result = run([cli] + command + option)
            errors = result.stderr.decode()
            ok = (result.returncode == 0 and ("Warnung: Das Formular sendet die Antworten an %s," % named in errors)
                  == warned and ("Warnung" in errors) == warned and (not warned or "--action URL" in errors))
            print(("ok   " if ok else "FAIL ") + "%s with %s: %s" % (command[0], named, "warned" if warned else "silent"))
            failures += 0 if ok else 1
    return failures


def main():
    cli, work = sys.argv[1], sys.argv[2]
    shipped_prototypes = sys.argv[3:]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    failures = 0

    projects = [
        project_json("Kundenumfrage Ä"),
        project_json("", toolbar=False, reload=False, width=5000, height=-3, definedSize=False,
                     fixedSize=True),
    ]
    prototypes = [
        ("record in block 1", prototype_with_records(9000, [2048 + 40])),
        ("two in block 0, one later", prototype_with_records(BLOCK * 3, [0, 1000, 5000])),
        ("record cut by its block end", prototype_with_records(BLOCK * 2, [2040])),
        ("whole blocks", prototype_with_records(BLOCK * 4, [BLOCK * 4 - 20])),
    ]
    # Both viewers, each checked against the one iconcomp.dat beside them.
    for shipped in shipped_prototypes:
        with open(shipped, "rb") as f:
            decoded_shipped = decode(f.read())
        prototypes.append(("shipped " + os.path.basename(shipped), decoded_shipped))
        failures += check_shipped_icon(decoded_shipped, os.path.join(os.path.dirname(shipped), "iconcomp.dat"))

    for p_index, project in enumerate(projects):
        project_path = os.path.join(work, "p%d.json" % p_index)
        with open(project_path, "w", encoding="utf-8") as f:
            json.dump(project, f, ensure_ascii=False)
        page = run([cli, "page", project_path]).stdout
        for what, decoded_proto in prototypes:
            proto_path = os.path.join(work, "ProtoExe.dat")
            with open(proto_path, "wb") as f:
                f.write(encode(decoded_proto))
            out = os.path.join(work, "ziel %d.exe" % p_index)
            result = run([cli, "build", project_path, "-o", out, "--proto", proto_path, "--force"])
            try:
                expect(result.returncode == 0, "build failed: " + result.stderr.decode())
                with open(out, "rb") as f:
                    built = f.read()
                expect(os.stat(out).st_mode & 0o111 == 0o111, "executable bit")
                check_program(built, decoded_proto, project, page)
                print("ok   %s / project %d" % (what, p_index))
            except Failure as error:
                failures += 1
                print("FAIL %s / project %d: %s" % (what, p_index, error))

    # Refusals: a marker across the first block boundary, an existing file without --force.
    project_path = os.path.join(work, "p0.json")
    proto_path = os.path.join(work, "ProtoExe.dat")
    with open(proto_path, "wb") as f:
        f.write(encode(prototype_with_records(5000, [2044])))
    out = os.path.join(work, "kaputt.exe")
    result = run([cli, "build", project_path, "-o", out, "--proto", proto_path])
    refused = (result.returncode == 1 and not os.path.exists(out)
               and "ProtoEXE.dat ist fehlerhaft" in result.stderr.decode()
               and "konnte nicht erstellt werden" in result.stderr.decode())
    with open(out, "wb") as f:
        f.write(b"old")
    with open(proto_path, "wb") as f:
        f.write(encode(prototype_with_records(5000, [16])))
    kept = run([cli, "build", project_path, "-o", out, "--proto", proto_path]).returncode == 1
    with open(out, "rb") as f:
        kept = kept and f.read() == b"old"
    for ok, what in ((refused, "marker at 2044 refused, no file"), (kept, "existing output kept")):
        print(("ok   " if ok else "FAIL ") + what)
        failures += 0 if ok else 1
    failures += check_receiver_warnings(cli, work, project_path, proto_path)
    leftovers = [n for n in os.listdir(work) if n.startswith(".")]
    if leftovers:
        failures += 1
        print("FAIL leftovers: %r" % leftovers)

    print("%d failure(s)" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
