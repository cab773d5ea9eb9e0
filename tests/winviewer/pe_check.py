"""The Windows viewer as a PE file, read by a reader of its own (no Windows tools):
64-bit GUI program, imports only from Windows system DLLs (SetDefaultDllDirectories among
them), one icon group with one 32 x 32, 4-bit icon image in the icon colour table with a mask,
whose 512 pixel bytes occur exactly once in the file; in a built program those bytes are the
written icon. An application manifest (common controls 6, per-monitor DPI awareness V2, Windows
10/11, asInvoker) and a version resource ("Formular", the tool's version), both carried
unchanged into built programs. Prints the viewer's size.

Usage: pe_check.py VANTREL_CLI BIN_DIR WORK_DIR
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zlib

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll",
               "shell32.dll", "comctl32.dll", "msvcrt.dll", "advapi32.dll", "uuid.dll"}
SIZE_GOAL = 300 * 1024
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (128, 128, 128), (192, 192, 192), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
WINDOWS_10_AND_11 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"


class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


class Pe:
    def __init__(self, data):
        self.data = data
        expect(data[:2] == b"MZ", "no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        expect(data[pe:pe + 4] == b"PE\0\0", "no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        expect(self.magic == 0x20B, "not a PE32+ (64-bit) optional header")
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = struct.unpack_from("<I", data, optional + 108)[0]
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i)
                            for i in range(directories)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + rawptr
        raise Failure("RVA %#x in no section" % rva)

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        return list(self.imported_functions())

    def imported_functions(self):
        """{DLL name: [function names]}, from each DLL's lookup table (64-bit entries)."""
        rva, size = self.directories[1]
        found, at = {}, self.offset(rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, at)
            if fields == (0, 0, 0, 0, 0):
                return found
            functions, entry = found.setdefault(self.cstring(fields[3]), []), self.offset(fields[0] or fields[4])
            while True:
                thunk = struct.unpack_from("<Q", self.data, entry)[0]
                if thunk == 0:
                    break
                if not thunk & (1 << 63):  # by name: a 2-byte hint, then the name
                    functions.append(self.cstring((thunk & 0x7FFFFFFF) + 2))
                entry += 8
            at += 20

    def resources(self):
        """{type: [(name, language, bytes)]}, types and names numeric."""
        base = self.offset(self.directories[2][0])

        def entries(at):
            named, numbered = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                yield ident, target

        found = {}
        for kind, to_names in entries(base):
            expect(to_names & 0x80000000, "resource type without a directory")
            for name, to_languages in entries(base + (to_names & 0x7FFFFFFF)):
                for language, to_data in entries(base + (to_languages & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + to_data)
                    at = self.offset(rva)
                    found.setdefault(kind, []).append((name, language, at, self.data[at:at + size]))
        return found


def check_viewer(viewer):
    pe = Pe(viewer)
    expect(pe.machine == 0x8664, "machine %#x, not x86-64" % pe.machine)
    expect(pe.subsystem == 2, "subsystem %d, not the Windows GUI" % pe.subsystem)
    functions = {name.lower(): names for name, names in pe.imported_functions().items()}
    imported = list(functions)
    expect(imported and set(imported) <= SYSTEM_DLLS,
           "imports beyond the system DLLs: %s" % sorted(set(imported) - SYSTEM_DLLS))
    expect("SetDefaultDllDirectories" in functions.get("kernel32.dll", []),
           "SetDefaultDllDirectories is not imported from KERNEL32")
    resources = pe.resources()
    groups, icons = resources.get(RT_GROUP_ICON, []), resources.get(RT_ICON, [])
    expect(len(groups) == 1 and len(icons) == 1, "%d icon groups, %d icon images" % (len(groups), len(icons)))
    group = groups[0][3]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    expect((reserved, kind, count) == (0, 1, 1), "the group names exactly one image")
    width, height, colours, _, planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6)
    expect((width, height, colours, planes, bits) == (32, 32, 16, 1, 4), "group entry 32 x 32, 16 colours")
    expect(ident == icons[0][0] and size == len(icons[0][3]) == 744, "the group's entry is the image")
    image_at, image = icons[0][2], icons[0][3]
    header = struct.unpack_from("<IiiHH", image, 0)
    expect(header == (40, 32, 64, 1, 4), "image header %r" % (header,))
    colours = [(image[40 + 4 * i + 2], image[40 + 4 * i + 1], image[40 + 4 * i]) for i in range(16)]
    expect(colours == PALETTE, "the colour table is the icon palette in its order")
    mask = image[616:744]
    expect(len(mask) == 128 and any(mask) and not all(b == 0xFF for b in mask), "a mask that hides a part")
    pixels = image[104:616]
    expect(viewer.count(pixels) == 1, "the 512 pixel bytes occur %d times" % viewer.count(pixels))
    return image_at + 104


def check_manifest(resources):
    manifests = resources.get(RT_MANIFEST, [])
    expect([m[0] for m in manifests] == [1], "one application manifest, id 1: %r" % [m[0] for m in manifests])
    root = ElementTree.fromstring(manifests[0][3])
    v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
    controls = [i.attrib for i in root.iter(v1 + "assemblyIdentity")
                if i.get("name") == "Microsoft.Windows.Common-Controls"]
    expect(len(controls) == 1 and controls[0].get("version") == "6.0.0.0"
           and controls[0].get("publicKeyToken") == "6595b64144ccf1df", "common controls 6: %r" % controls)
    levels = [e.attrib for e in root.iter(v3 + "requestedExecutionLevel")]
    expect(levels == [{"level": "asInvoker", "uiAccess": "false"}], "execution level %r" % levels)
    systems = [e.get("Id") for e in root.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")]
    expect(systems == [WINDOWS_10_AND_11], "supported systems %r" % systems)
    awareness = [e.text for e in root.iter("{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness")]
    expect(awareness and awareness[0].split(",")[0].strip() == "PerMonitorV2", "DPI awareness %r" % awareness)
    return manifests[0][3]


def version_blocks(data, at=0):
    """The VS_VERSIONINFO tree: (key, value bytes, value is text, children) of the block at `at`."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, at)
    end, key_at = at + length, at + 6
    key_end = key_at
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_at:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if is_text else value_length
    value = data[value_at:value_at + value_size]
    children, child = [], (value_at + value_size + 3) & ~3
    while child < end:
        block = version_blocks(data, child)
        children.append(block)
        child = (child + struct.unpack_from("<H", data, child)[0] + 3) & ~3
    return key, value, is_text, children


def check_version(resources, tool_version):
    versions = resources.get(RT_VERSION, [])
    expect(len(versions) == 1, "one version resource, not %d" % len(versions))
    key, fixed, _, children = version_blocks(versions[0][3])
    expect(key == "VS_VERSION_INFO", "version resource key %r" % key)
    signature, _, ms, ls = struct.unpack_from("<IIII", fixed, 0)
    numbers = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
    expected = [int(n) for n in tool_version.split(".")] + [0] * (4 - len(tool_version.split(".")))
    expect(signature == 0xFEEF04BD and numbers == expected, "file version %r, tool %s" % (numbers, tool_version))
    strings = {}
    for name, _, _, tables in children:
        if name == "StringFileInfo":
            for _, _, _, pairs in tables:
                strings.update({k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _ in pairs})
    dotted = ".".join(map(str, numbers))
    expect(strings.get("FileDescription") == "Formular" and strings.get("ProductName") == "Vantrel Formulare"
           and strings.get("FileVersion") == dotted and strings.get("ProductVersion") == dotted,
           "version strings %r" % strings)
    return versions[0][3]


def png(width, height, rgb):
    row = b"\x00" + bytes(rgb) * width

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


def check_built(cli, work, pixels_at, manifest, version):
    project = os.path.join(work, "umfrage.json")
    with open(project, "w", encoding="utf-8") as out:
        json.dump({"fields": [], "email": "a@b.example"}, out)
    picture = os.path.join(work, "rot.png")
    with open(picture, "wb") as out:
        out.write(png(32, 32, (255, 0, 0)))
    program = os.path.join(work, "ziel.exe")
    subprocess.run([cli, "build", project, "-o", program, "--icon", picture, "--force"], check=True)
    with open(program, "rb") as f:
        built = f.read()
    resources = Pe(built).resources()
    expect([m[3] for m in resources.get(RT_MANIFEST, [])] == [manifest], "the built program keeps the manifest")
    expect([v[3] for v in resources.get(RT_VERSION, [])] == [version], "the built program keeps the version")
    at = check_icon_image_of(built)
    expect(at == pixels_at, "the built program's icon image stands where the viewer's did")
    expect(built[at:at + 512] == bytes([0x99]) * 512, "the icon image shows the written icon (red, index 9)")


def check_icon_image_of(program):
    resources = Pe(program).resources()
    return resources[RT_ICON][0][2] + 104


def main():
    cli, bin_dir, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(os.path.join(bin_dir, "ProtoExe.dat"), "rb") as f:
        viewer = bytes((b - 1) & 0xFF for b in f.read())
    print("Windows viewer: %d bytes (%.1f KB; goal under %d KB)" % (len(viewer), len(viewer) / 1024,
                                                                  SIZE_GOAL // 1024))
    try:
        expect(len(viewer) < SIZE_GOAL, "the viewer is over its size goal")
        pixels_at = check_viewer(viewer)
        resources = Pe(viewer).resources()
        manifest = check_manifest(resources)
        tool_version = subprocess.run([cli, "--version"], check=True, capture_output=True,
                                      text=True).stdout.split()[-1]
        version = check_version(resources, tool_version)
        with open(os.path.join(bin_dir, "iconcomp.dat"), "rb") as f:
            expect(f.read()[168:680] == viewer[pixels_at:pixels_at + 512], "iconcomp.dat holds these pixels")
        check_built(cli, work, pixels_at, manifest, version)
    except Failure as error:
        print("FAIL %s" % error)
        return 1
    print("pe check: the Windows viewer passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
