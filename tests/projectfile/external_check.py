"""Checks vantrel-cli from outside with the independent .vtq implementation in vtq_format.py:
files written here must convert to the expected JSON, and .vtq files the tool writes must be
byte for byte what this implementation writes.

Usage: external_check.py VANTREL_CLI WORK_FOLDER"""

import json
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vtq_format as vtq  # noqa: E402

CLI, WORK = sys.argv[1], sys.argv[2]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def cli(*args):
    return subprocess.run([CLI, *args], capture_output=True, timeout=60)


def path(name):
    return os.path.join(WORK, name)


def put(name, data):
    with open(path(name), "wb") as out:
        out.write(data)


def get(name):
    with open(path(name), "rb") as source:
        return source.read()


# Every character Windows-1252 can hold, the five undefined bytes included.
CHARS = [vtq.from_1252(bytes([b])) for b in range(256)]


def random_text(rng, longest):
    kind = rng.random()
    if kind < 0.2:
        return ""
    if kind < 0.5:
        return "".join(rng.choice("abcxyzÄÖÜäöüß€„“–0123456789 ") for _ in range(rng.randint(1, 12)))
    return "".join(rng.choice(CHARS) for _ in range(rng.randint(1, longest)))


def random_project(rng):
    project = {
        "fields": [{m: random_text(rng, 40) for m in vtq.MEMBERS}
                   for _ in range(rng.randint(0, 12))],
        "email": random_text(rng, 30),
    }
    if rng.random() < 0.8:
        settings = {name: rng.random() < 0.5 for name in vtq.ELEMENTS}
        settings.update(width=rng.randint(-2**31, 2**31 - 1), height=rng.choice([64, 440, 1280, 0, -1]),
                        definedSize=rng.random() < 0.5, fixedSize=rng.random() < 0.5,
                        projectName=random_text(rng, 20))
        project["settings"] = settings
    return project


def with_settings(project):
    return dict(project, settings=project.get("settings", vtq.STARTUP_SETTINGS))


def check_project(tag, project):
    expected_bytes = vtq.write_vtq(project)
    put(tag + ".vtq", expected_bytes)

    # Ours -> tool's JSON.
    run = cli("convert", path(tag + ".vtq"), "-")
    check(run.returncode == 0, f"{tag}: convert .vtq to stdout failed: {run.stderr!r}")
    if run.returncode == 0:
        check(json.loads(run.stdout.decode("utf-8")) == with_settings(project),
              f"{tag}: JSON of the tool differs from the project written")

    # Our JSON -> tool's .vtq, which must be byte for byte ours.
    with open(path(tag + ".json"), "w", encoding="utf-8") as out:
        json.dump(project, out, ensure_ascii=rng.random() < 0.5)
    run = cli("convert", path(tag + ".json"), path(tag + "-tool.vtq"))
    check(run.returncode == 0, f"{tag}: convert .json to .vtq failed: {run.stderr!r}")
    if run.returncode == 0:
        written = get(tag + "-tool.vtq")
        check(written == expected_bytes, f"{tag}: .vtq written by the tool differs")
        check(vtq.read_vtq(written) == with_settings(project), f"{tag}: our reader disagrees")

    # Open and save again: the same bytes.
    run = cli("convert", path(tag + ".vtq"), path(tag + "-again.vtq"))
    check(run.returncode == 0 and get(tag + "-again.vtq") == expected_bytes,
          f"{tag}: .vtq to .vtq changed the bytes")


def check_refusal(tag, args, message, leaves=None):
    run = cli(*args)
    stderr = run.stderr.decode("utf-8", "replace")
    check(run.returncode == 1, f"{tag}: exit status {run.returncode}, not 1")
    check(message in stderr, f"{tag}: stderr {stderr!r} lacks {message!r}")
    check(run.stdout == b"", f"{tag}: wrote to stdout on failure")
    if leaves:
        check(not os.path.exists(path(leaves)), f"{tag}: left {leaves} behind")


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
rng = random.Random(20261207)

check_project("example", {"fields": [], "email": "",
                          "settings": dict(vtq.STARTUP_SETTINGS, fixedSize=True)})
check(len(get("example-tool.vtq")) == 70, "the example project is not 70 bytes")
check_project("umlauts", {
    "fields": [{"name": "Groesse", "type": "Textfeld", "caption": "Größe in „cm“ – ca. 5 €",
                "content": "", "width": "20", "height": "1", "maxChars": "3",
                "optional": "Nein", "preselected": "Nein"}],
    "email": "müller@example.org"})
for number in range(25):
    check_project(f"random{number}", random_project(rng))

# A file that ends right after the e-mail address has no settings in JSON.
put("bare.vtq", vtq.MAGIC + b"\0\0\0\0" + vtq.lps("a@b.c"))
run = cli("convert", path("bare.vtq"), "-")
check(run.returncode == 0 and json.loads(run.stdout) == {"fields": [], "email": "a@b.c"},
      "a file without settings does not convert to JSON without settings")

# Refusals: the tool's own words on stderr, status 1, nothing left behind.
good = vtq.write_vtq({"fields": [], "email": ""})
put("magic.vtq", b"Vantrel Formulare 1.1" + good[21:])
check_refusal("wrong magic", ["convert", path("magic.vtq"), path("magic.json")],
              'Die Datei ist keine gültige "Drovanex 1.0"-Datei!', leaves="magic.json")
put("cut.vtq", good[:40])
check_refusal("cut file", ["convert", path("cut.vtq"), "-"], "Read beyond end of file.")
put("huge.vtq", vtq.MAGIC + b"\x01\0\0\0" + b"\xf0\xff\xff\x7f" + b"x" * 10)
check_refusal("huge length", ["convert", path("huge.vtq"), "-"], "Read beyond end of file.")
check_refusal("missing", ["convert", path("nix.vtq"), "-"],
              "Projekt öffnen: Konnte die Datei nix.vtq nicht öffnen!")
with open(path("greek.json"), "w", encoding="utf-8") as out:
    json.dump({"fields": [], "email": "αβγ@example.org"}, out, ensure_ascii=False)
check_refusal("not Windows-1252", ["convert", path("greek.json"), path("greek.vtq")],
              "Windows-1252", leaves="greek.vtq")
check_refusal("extension", ["convert", path("umlauts.vtq"), path("out.txt")], ".json",
              leaves="out.txt")
check_refusal("folder missing", ["convert", path("umlauts.vtq"), path("fehlt/x.vtq")],
              "Projekt speichern: Konnte die Datei x.vtq nicht erstellen!")

# A failed conversion leaves an existing output as it was.
put("keep.vtq", b"old bytes")
check_refusal("keep", ["convert", path("greek.json"), path("keep.vtq")], "Windows-1252")
check(get("keep.vtq") == b"old bytes", "a failed conversion changed the existing output")

run = cli("--help")
check(run.returncode == 0 and b"convert" in run.stdout, "--help does not list convert")

if failures:
    print(f"{len(failures)} failure(s)")
    sys.exit(1)
print("external check passed")
