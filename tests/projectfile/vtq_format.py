"""A second, independent implementation of the .vtq project file, written from the format
description alone: it shares no code with the tool and is used to check the tool from outside.

A project is a dict in the tool's JSON shape (UTF-8 strings); texts go to the file as
Windows-1252 bytes."""

import struct

MAGIC = b"Vantrel Formulare 1.0"
MEMBERS = ["name", "type", "caption", "content", "width", "height", "maxChars", "optional",
           "preselected"]
ELEMENTS = ["statusbar", "toolbar", "print", "exit", "about", "back", "forward", "home",
            "reload", "exitButton"]
STARTUP_SETTINGS = dict({name: True for name in ELEMENTS}, width=600, height=440,
                        definedSize=True, fixedSize=False, projectName="Vantrel")

# Python's cp1252 codec leaves five bytes undefined; the tool maps them to the C1 controls of
# the same value, so every byte string survives.
_UNDEFINED = {0x81, 0x8D, 0x8F, 0x90, 0x9D}


def to_1252(text):
    out = bytearray()
    for ch in text:
        if ord(ch) in _UNDEFINED:
            out.append(ord(ch))
        else:
            out += ch.encode("cp1252")  # raises for characters the code page cannot hold
    return bytes(out)


def from_1252(data):
    return "".join(chr(b) if b in _UNDEFINED else bytes([b]).decode("cp1252") for b in data)


def lps(text):
    raw = to_1252(text)
    return struct.pack("<i", len(raw)) + raw


def write_vtq(project):
    settings = project.get("settings", STARTUP_SETTINGS)
    out = bytearray(MAGIC)
    out += struct.pack("<i", len(project["fields"]))
    for field in project["fields"]:
        for member in MEMBERS:
            out += lps(field[member])
    out += lps(project["email"])
    out += bytes(1 if settings[name] else 0 for name in ELEMENTS)
    size_block = struct.pack("<iiBB", settings["width"], settings["height"],
                             1 if settings["definedSize"] else 0,
                             1 if settings["fixedSize"] else 0)
    out += size_block
    out += lps(settings["projectName"])
    out += size_block  # the echo
    return bytes(out)


class Truncated(Exception):
    pass


class _Cursor:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        if n < 0 or self.pos + n > len(self.data):
            raise Truncated()
        piece = self.data[self.pos:self.pos + n]
        self.pos += n
        return piece

    def int32(self):
        return struct.unpack("<i", self.take(4))[0]

    def text(self):
        return from_1252(self.take(self.int32()))


def read_vtq(data):
    """Returns the project dict; raises ValueError for a wrong magic, Truncated for a damaged
    file."""
    if data[:len(MAGIC)] != MAGIC:
        raise ValueError("not a project file")
    cur = _Cursor(data)
    cur.take(len(MAGIC))
    count = cur.int32()
    fields = []
    for _ in range(max(count, 0)):
        fields.append({member: cur.text() for member in MEMBERS})
    project = {"fields": fields, "email": cur.text()}
    if cur.pos < len(data):
        settings = {name: cur.take(1)[0] != 0 for name in ELEMENTS}
        settings["width"] = cur.int32()
        settings["height"] = cur.int32()
        settings["definedSize"] = cur.take(1)[0] != 0
        settings["fixedSize"] = cur.take(1)[0] != 0
        settings["projectName"] = cur.text()
        project["settings"] = settings
    return project
