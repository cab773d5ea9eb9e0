#!/usr/bin/env python3
"""Checks the tool's pages from outside: renders a set of projects with page_templates.py and
compares the result byte for byte with what the tool writes for the same projects.

  check_pages.py --host HOST --dump PAGE_DUMP       through the test helper page_dump
  check_pages.py --host HOST --cli VANTREL_CLI      through "vantrel-cli page" on .vtq files
                                                    and their .json forms

HOST is the form-mail host the tool was built with. Exit status 0 when every page matches."""

import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile

import page_templates as pt

MEMBERS = ["name", "type", "caption", "content", "width", "height", "maxchars", "optional",
           "preselected"]


def row(name, kind, caption=b"", content=b"", width=b"40", height=b"5", maxchars=b"0",
        optional=b"Ja", preselected=b"Nein"):
    return dict(name=name, type=kind, caption=caption, content=content, width=width,
                height=height, maxchars=maxchars, optional=optional, preselected=preselected)


def chosen_projects():
    """Projects picked for the places where a page is easily got wrong."""
    every_byte = bytes(range(256))
    return [
        ("empty", [], b""),
        ("required text, option group, separator", [
            row(b"A", pt.TEXT_FIELD, b"Name", optional=b"Nein"),
            row(b"B", pt.OPTION, b"rot", b"r", preselected=b"Ja"),
            row(b"B", pt.OPTION, b"blau", b"b"),
            row(b"C", pt.SEPARATOR)], b"a@b.de"),
        ("max chars", [row(b"m%d" % i, pt.TEXT_FIELD, maxchars=m)
                       for i, m in enumerate([b"0", b"00", b"", b" 0", b"12"])], b"x"),
        ("required heading and plain text", [
            row(b"H", pt.HEADING, b"Umfrage", optional=b"Nein"),
            row(b"P", pt.PLAIN_TEXT, b"<i>Text</i>", optional=b"Nein")], b""),
        ("unknown and nearly known types", [
            row(b"u1", b"textfeld"), row(b"u2", pt.TEXT_FIELD + b" "), row(b"u3", b""),
            row(b"u4", "Uberschrift".encode("cp1252"), optional=b"Nein"),
            row(b"u5", pt.CHECK_BOX)], b"z@z"),
        ("empty names", [row(b"", pt.PARAGRAPH, optional=b"Nein"),
                         row(b"A", pt.PARAGRAPH, optional=b"Nein"),
                         row(b"", pt.PARAGRAPH, optional=b"Nein")], b""),
        ("flags other than Ja and Nein", [
            row(b"c1", pt.CHECK_BOX, b"a", b"1", optional=b"nein", preselected=b"ja"),
            row(b"c2", pt.OPTION, b"b", b"2", optional=b"", preselected=b""),
            row(b"c3", pt.CHECK_BOX, b"c", b"3", optional=b"Nein ", preselected=b"Ja ")], b""),
        ("quotes and markup everywhere", [
            row(b'n"1', pt.TEXT_FIELD, b'"cap" <b>&amp;</b>', b'"v"&', b'4"', b'"', b'9"'),
            row(b'n"2', pt.MULTI_LINE, b'"q"', b'"drin" </textarea>', b'"', b'""'),
            row(b'n"3', pt.OPTION, b'"o"', b'x"y', preselected=b"Ja", optional=b"Nein"),
            row(b'n"4', pt.HEADING, b'"h"', optional=b"Nein")], b'"a"@b.de'),
        ("every byte", [
            row(every_byte, pt.TEXT_FIELD, every_byte, every_byte, every_byte, every_byte,
                every_byte, b"Nein"),
            row(every_byte, pt.MULTI_LINE, every_byte, every_byte, every_byte, every_byte),
            row(every_byte, pt.CHECK_BOX, every_byte, every_byte, preselected=b"Ja"),
            row(every_byte, pt.PLAIN_TEXT, every_byte)], every_byte),
        ("umlauts and line breaks", [
            row(b"gr\xf6\xdfe", pt.MULTI_LINE, b"Gr\xf6\xdfe \x80", b"Zeile 1\r\nZeile 2\n"),
            row(b"\xe4", pt.TEXT_FIELD, b"\xc4\xd6\xdc", b"\xe4\xf6\xfc\xdf")], b"m\xfc@x.de"),
    ]


def random_projects(seed, count):
    """Held-out projects: drawn at random, never looked at while the tool was written."""
    rng = random.Random(seed)
    pieces = [b"a", b"Z", b"_", b"1", b" ", b",", b'"', b"&", b"<", b">", b"'", b"=", b"\xe4",
              b"\xdf", b"\x80", b"\x9d", b"\r\n", b"\t", b"Ja", b"Nein", b"0", b"00"]
    kinds = pt.TYPES * 3 + [b"Textfeld ", b"Ankreuzfeld\x00", b"Unbekannt", b""]

    def text():
        return b"".join(rng.choice(pieces) for _ in range(rng.randrange(0, 6)))

    def flag():
        return rng.choice([b"Ja", b"Nein", b"Nein", b"", b"ja", text()])

    projects = []
    for index in range(count):
        rows = [row(text(), rng.choice(kinds), text(), text(), rng.choice([b"40", text()]),
                    rng.choice([b"5", text()]), rng.choice([b"0", b"00", b"", b"20", text()]),
                    flag(), flag())
                for _ in range(rng.randrange(0, 12))]
        projects.append(("random %d/%d" % (seed, index), rows, text()))
    return projects


def dump_input(rows, email):
    lines = [email.hex()] + ["\t".join(r[m].hex() for m in MEMBERS) for r in rows]
    return ("\n".join(lines) + "\n").encode("ascii")


def vtq_bytes(rows, email):
    def lps(data):
        return struct.pack("<i", len(data)) + data
    out = bytearray(b"Vantrel Formulare 1.0")
    out += struct.pack("<i", len(rows))
    for r in rows:
        for member in MEMBERS:
            out += lps(r[member])
    out += lps(email)
    sizes = struct.pack("<iiBB", 600, 440, 1, 0)
    out += bytes([1] * 10) + sizes + lps(b"Vantrel") + sizes
    return bytes(out)


def tool_page(args, folder, index, rows, email):
    if args.dump:
        path = os.path.join(folder, "project%d.txt" % index)
        with open(path, "wb") as f:
            f.write(dump_input(rows, email))
        return subprocess.run([args.dump, path], capture_output=True, check=True,
                              timeout=60).stdout
    path = os.path.join(folder, "project%d.vtq" % index)
    with open(path, "wb") as f:
        f.write(vtq_bytes(rows, email))
    if index % 3 == 2:
        # The same project in its JSON form must give the same page.
        json_path = os.path.join(folder, "project%d.json" % index)
        subprocess.run([args.cli, "convert", path, json_path], capture_output=True, check=True,
                       timeout=60)
        path = json_path
    if index % 2:
        return subprocess.run([args.cli, "page", path], capture_output=True, check=True,
                              timeout=60).stdout
    out = os.path.join(folder, "page%d.htm" % index)
    subprocess.run([args.cli, "page", path, "-o", out], capture_output=True, check=True,
                   timeout=60)
    with open(out, "rb") as f:
        return f.read()


def first_difference(expected, actual):
    for number, (want, got) in enumerate(zip(expected.split(b"\r\n"), actual.split(b"\r\n")), 1):
        if want != got:
            return "line %d:\n  expected %r\n  tool     %r" % (number, want, got)
    return "lengths differ: expected %d bytes, tool %d" % (len(expected), len(actual))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--dump")
    parser.add_argument("--cli")
    parser.add_argument("--seed", type=int, default=20261207)
    parser.add_argument("--count", type=int, default=300)
    args = parser.parse_args()
    if bool(args.dump) == bool(args.cli):
        parser.error("give exactly one of --dump and --cli")

    action = b"http://" + args.host.encode("ascii") + b"/cgi-bin/sendmailform.cgi"
    projects = chosen_projects() + random_projects(args.seed, args.count)
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for index, (title, rows, email) in enumerate(projects):
            expected = pt.render(rows, email, action)
            try:
                actual = tool_page(args, folder, index, rows, email)
            except subprocess.CalledProcessError as error:
                failures += 1
                print("FAILED %s: %s\n%s" % (title, error, error.stderr.decode(errors="replace")))
                continue
            if actual != expected:
                failures += 1
                print("MISMATCH %s: %s" % (title, first_difference(expected, actual)))
    print("%d of %d pages identical" % (len(projects) - failures, len(projects)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
