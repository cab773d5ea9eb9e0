"""vantrel-cli build --icon: the icon of a picture lands at the prototype's icon pixels.

Usage: cli_icon_check.py VANTREL_CLI BIN_DIR WORK_DIR
BIN_DIR holds ProtoExe.dat, ProtoLinux.dat and iconcomp.dat as the build writes them; the two
viewers hold their icon pixels at different offsets, and each build writes at its own.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import zlib


def png(width, height, rgb):
    """A plain RGB PNG, written here so the test needs no picture library."""
    row = b"\x00" + bytes(rgb) * width
    raw = row * height

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def icon_pos(bin_dir, prototype="ProtoExe.dat"):
    pattern = open(os.path.join(bin_dir, "iconcomp.dat"), "rb").read()[168:680]
    decoded = bytes((b - 1) & 0xFF for b in open(os.path.join(bin_dir, prototype), "rb").read())
    position = decoded.rfind(pattern)
    assert position > 0, "icon pattern not found in the prototype"
    return position, pattern


def main():
    cli, bin_dir, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    project = os.path.join(work, "umfrage.json")
    settings = {"statusbar": True, "toolbar": True, "print": True, "exit": True, "about": True,
                "back": True, "forward": True, "home": True, "reload": True, "exitButton": True,
                "width": 600, "height": 440, "definedSize": True, "fixedSize": False,
                "projectName": "Umfrage"}
    with open(project, "w", encoding="utf-8") as out:
        json.dump({"fields": [], "email": "a@b.example", "settings": settings}, out)
    picture = os.path.join(work, "gruen.png")
    with open(picture, "wb") as out:
        out.write(png(40, 20, (0, 250, 0)))

    position, pattern = icon_pos(bin_dir)
    proto = os.path.join(bin_dir, "ProtoExe.dat")
    green = os.path.join(work, "gruen.exe")
    plain = os.path.join(work, "standard.exe")
    subprocess.run([cli, "build", project, "-o", green, "--proto", proto, "--icon", picture], check=True)
    subprocess.run([cli, "build", project, "-o", plain, "--proto", proto], check=True)

    green_pixels = open(green, "rb").read()[position:position + 512]
    assert green_pixels == bytes([0xAA]) * 512, "a green picture gives index 10 everywhere"
    plain_pixels = open(plain, "rb").read()[position:position + 512]
    assert plain_pixels != pattern, "without --icon the standard icon replaces the prototype's"
    assert len(set(plain_pixels)) > 2, "the standard icon is a drawing, not one colour"

    # The Linux target, found beside the CLI: its own offset, not the Windows viewer's.
    linux_position, _ = icon_pos(bin_dir, "ProtoLinux.dat")
    assert linux_position != position, "the two viewers hold their icons at different offsets"
    linux = os.path.join(work, "gruen-linux")
    subprocess.run([cli, "build", project, "-o", linux, "--target", "linux", "--icon", picture],
                   check=True)
    built_linux = open(linux, "rb").read()
    assert built_linux[linux_position:linux_position + 512] == bytes([0xAA]) * 512, \
        "the Linux program carries the icon at its own viewer's offset"
    assert built_linux[position:position + 512] != bytes([0xAA]) * 512, \
        "nothing written at the Windows viewer's offset"

    broken = os.path.join(work, "kaputt.png")
    with open(broken, "wb") as out:
        out.write(b"no picture")
    refused = os.path.join(work, "nie.exe")
    result = subprocess.run([cli, "build", project, "-o", refused, "--proto", proto, "--icon", broken],
                            capture_output=True)
    assert result.returncode == 1 and not os.path.exists(refused), "a broken picture builds nothing"
    # What the user reads is German and names the file.
    message = result.stderr.decode("utf-8")
    assert "kaputt.png" in message and "kein lesbares Bild" in message, message
    missing = os.path.join(work, "nix.png")
    result = subprocess.run([cli, "build", project, "-o", refused, "--proto", proto, "--icon", missing],
                            capture_output=True)
    message = result.stderr.decode("utf-8")
    assert result.returncode == 1 and not os.path.exists(refused), "a missing picture builds nothing"
    assert "nix.png kann nicht ge\u00f6ffnet werden: Datei oder Verzeichnis nicht gefunden" in message, message

    # A folder whose name Windows-1252 cannot hold: the prototype, the project and the output
    # all live there, and the program is built with its icon.
    far = os.path.join(work, "Проекты 🙂")
    os.makedirs(far)
    for name in ("ProtoExe.dat", "iconcomp.dat"):
        shutil.copy(os.path.join(bin_dir, name), far)
    far_project = os.path.join(far, "umfrage łódź.json")
    shutil.copy(project, far_project)
    far_output = os.path.join(far, "Umfrage Łódź.exe")
    subprocess.run([cli, "build", far_project, "-o", far_output, "--proto", os.path.join(far, "ProtoExe.dat"),
                    "--icon", picture], check=True)
    far_pixels = open(far_output, "rb").read()[position:position + 512]
    assert far_pixels == bytes([0xAA]) * 512, "the program in that folder carries its icon"
    print("cli icon check: 5 passed, 0 failed")


if __name__ == "__main__":
    main()
