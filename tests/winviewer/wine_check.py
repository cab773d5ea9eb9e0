"""Built Windows programs under wine: one fresh 64-bit prefix per run under Xvfb, the program
without network, every wait bounded, the prefix's processes ended at the end.

  - a built program opens a window titled with the project name, unpacks the page into its
    private temporary folder byte for byte as `vantrel-cli page` writes it, removes it after a
    close request and exits 0; a stale folder of a killed run is removed at its start;
  - a damaged archive and the bare prototype exit non-zero without a window;
  - at the default size, a fixed size and the smallest sizes every offered button lies inside
    the window, none over another; Zurück and Vorwärts are greyed in the menu as on the bar;
    the control takes no dropped files (the viewer's report, VANTREL_VIEWER_REPORT);
  - the small window of the fallback closes with Escape and with Enter.
  - signed with osslsigncode (a self-signed certificate made here with openssl), the program
    verifies and runs as the unsigned one does; one byte changed after signing, it is refused;
  - signed by `vantrel-cli build --sign` the same, with the password from a file; with a wrong
    password the build fails in German and leaves the old output as it was.

Wine has no HTML engine on Debian, so the control cannot navigate and the fallback runs: the
page goes to the default browser (wine hands it to xdg-open, replaced here by a recorder) and
a small window titled with the project name stays open.

Usage: wine_check.py VANTREL_CLI BIN_DIR WORK_DIR
Exit 77 (skipped) when wine64, Xvfb, xdotool, osslsigncode or openssl is missing.
"""
import ctypes
import ctypes.util
import json
import os
import shutil
import subprocess
import sys
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
PROJECT_NAME = "Kundenumfrage \u00c4rzte"
SKIPPED = 77
BOOT_SECONDS = 120
WINDOW_SECONDS = 30
EXIT_SECONDS = 30
FALLBACK_SECONDS = 10
ALL_ELEMENTS = {"statusbar": True, "toolbar": True, "print": True, "exit": True, "about": True,
                "back": True, "forward": True, "home": True, "reload": True, "exitButton": True}
# The viewer's command numbers: the tool bar's buttons and the menu's commands carry them.
PRINT, EXIT, ABOUT, BACK, FORWARD, HOME, RELOAD, EXIT_BUTTON = range(101, 109)


class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


def wait_for(what, seconds, probe, step=0.2):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(step)
    raise Failure("no %s within %d s" % (what, seconds))


class Display:
    """An Xvfb of its own; the server picks a free display number."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                                         "-nolisten", "tcp"], pass_fds=(write,),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        expect(number, "Xvfb did not start")
        self.name = ":" + number

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def windows_named(display, name):
    result = subprocess.run(["xdotool", "search", "--name", "^%s$" % name],
                            env=dict(os.environ, DISPLAY=display), capture_output=True, text=True)
    return [int(w) for w in result.stdout.split()]


def request_close(display, window):
    """WM_DELETE_WINDOW, the close request a window manager sends."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                    ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    connection = x11.XOpenDisplay(display.encode())
    expect(connection, "cannot open the display")
    event = Event()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(connection, window, 0, 0, ctypes.byref(event))
    x11.XFlush(connection)
    x11.XCloseDisplay(connection)


def without_network():
    """`unshare -n` where this machine allows it (as root, or in a user namespace)."""
    for command in (["unshare", "-n"], ["unshare", "-rn"]):
        if subprocess.run(command + ["true"], capture_output=True).returncode == 0:
            return command
    print("note: no network namespace here; the programs run with the network")
    return []


def page_folders(prefix):
    """The viewers' folders in the prefix's temporary folders; links are not followed (the
    profile's folders link to $HOME)."""
    found = []
    users = os.path.join(prefix, "drive_c", "users")
    for root, dirs, _ in os.walk(users, followlinks=False):
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(root, d))]
        found += [os.path.join(root, d) for d in dirs if d.startswith("vantrel-formular-")]
    return found


def temp_folder(prefix):
    for root, dirs, _ in os.walk(os.path.join(prefix, "drive_c", "users"), followlinks=False):
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(root, d))]
        if os.path.basename(root) == "Temp":
            return root
    raise Failure("the prefix has no Temp folder")


class Wine:
    def __init__(self, work, display):
        self.prefix = os.path.join(work, "prefix")
        self.bin = os.path.join(work, "fakebin")
        self.opened = os.path.join(work, "opened.txt")
        os.makedirs(self.bin)
        recorder = os.path.join(self.bin, "xdg-open")
        with open(recorder, "w") as out:
            out.write('#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' % self.opened)
        os.chmod(recorder, 0o755)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=display,
                        WINEDLLOVERRIDES="mscoree=", PATH=self.bin + ":" + os.environ["PATH"])
        self.isolate = without_network()
        started = time.monotonic()
        subprocess.run([WINE, "wineboot", "-i"], env=self.env, capture_output=True, timeout=BOOT_SECONDS)
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=BOOT_SECONDS)
        print("wine prefix ready in %.1f s" % (time.monotonic() - started))

    def start(self, program, unattended=False, report=None):
        env = dict(self.env, VANTREL_VIEWER_UNATTENDED="1") if unattended else dict(self.env)
        if report:
            env["VANTREL_VIEWER_REPORT"] = "Z:" + report.replace("/", "\\")
        return subprocess.Popen(self.isolate + [WINE, program], env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def close(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, timeout=30)


def shown_and_closed(wine, display, program, page):
    stale = os.path.join(temp_folder(wine.prefix), "vantrel-formular-killed")
    os.makedirs(stale)
    open(os.path.join(stale, "viewer.lock"), "w").close()
    open(os.path.join(stale, "formular.htm"), "w").close()

    started = time.monotonic()
    process = wine.start(program)
    try:
        window = wait_for("window titled %r" % PROJECT_NAME, WINDOW_SECONDS,
                          lambda: windows_named(display, PROJECT_NAME))[0]
        print("window after %.2f s" % (time.monotonic() - started))
        folders = wait_for("page folder", WINDOW_SECONDS, lambda: page_folders(wine.prefix))
        expect(folders == [f for f in folders if not f.endswith("killed")] and len(folders) == 1,
               "the stale folder is removed, one folder of this run remains: %r" % folders)
        with open(os.path.join(folders[0], "formular.htm"), "rb") as f:
            expect(f.read() == page, "the unpacked page is the page vantrel-cli writes")
        # Where the control cannot navigate, the page goes to the default browser and the small
        # window, titled the same, takes the big one's place: the close request goes to it.
        try:
            wait_for("fallback", FALLBACK_SECONDS, lambda: os.path.exists(wine.opened))
            with open(wine.opened) as f:
                expect(f.read().strip().endswith("/formular.htm"), "the default browser got the page")
            window = wait_for("the fallback window", WINDOW_SECONDS,
                              lambda: [w for w in windows_named(display, PROJECT_NAME) if w != window])[0]
            print("fallback: the page went to the default browser")
        except Failure:
            print("no fallback: the control shows the page")
        request_close(display, window)
        code = process.wait(timeout=EXIT_SECONDS)
        expect(code == 0, "exit status %d after the close request" % code)
        expect(not page_folders(wine.prefix), "the page folder is removed after closing")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def read_report(path):
    client, buttons, menu, drops = None, {}, {}, None
    with open(path) as f:
        for line in f:
            word, *values = line.split()
            numbers = [int(v) for v in values]
            if word == "client":
                client = numbers
            elif word == "button":
                buttons[numbers[0]] = (numbers[1:5], numbers[5])
            elif word == "menu":
                menu[numbers[0]] = numbers[1]
            elif word == "drops":
                drops = numbers[0]
    return client, buttons, menu, drops


def press(display, window, key):
    env = dict(os.environ, DISPLAY=display)
    subprocess.run(["xdotool", "windowfocus", str(window)], env=env, capture_output=True, timeout=10)
    subprocess.run(["xdotool", "key", "--window", str(window), key], env=env, capture_output=True,
                   timeout=10)


def window_reported(wine, display, program, fixed, closing_key):
    """Every button inside the client area and apart from the others, the history commands
    greyed on the bar and in the menu, no drop target; then the fallback window closed by key."""
    report = program + ".report"
    if os.path.exists(report):
        os.remove(report)
    process = wine.start(program, report=report)
    try:
        wait_for("the window's report", WINDOW_SECONDS, lambda: os.path.exists(report) and os.path.getsize(report))
        first = windows_named(display, PROJECT_NAME)
        client, buttons, menu, drops = read_report(report)
        expect(set(buttons) == {PRINT, EXIT, ABOUT, BACK, FORWARD, HOME, RELOAD, EXIT_BUTTON},
               "the buttons: %r" % sorted(buttons))
        width, height = client
        for number, ((left, top, right, bottom), _) in buttons.items():
            expect(0 <= left < right <= width and 0 <= top < bottom <= height,
                   "button %d at %r outside the client area %dx%d" % (number, (left, top, right, bottom), width, height))
        places = sorted(place for place, _ in buttons.values())
        for i, a in enumerate(places):
            for b in places[i + 1:]:
                expect(a[2] <= b[0] or b[2] <= a[0] or a[3] <= b[1] or b[3] <= a[1],
                       "buttons overlap: %r %r" % (a, b))
        expect(buttons[BACK][1] == 0 and buttons[FORWARD][1] == 0 and buttons[HOME][1] == 1,
               "history buttons: %r" % buttons)
        expected_menu = {} if fixed else {PRINT: 1, EXIT: 1, ABOUT: 1, BACK: 0, FORWARD: 0, HOME: 1, RELOAD: 1}
        expect(menu == expected_menu, "menu states %r, expected %r" % (menu, expected_menu))
        expect(drops == 0, "the control takes dropped files")
        print("client %dx%d, %d buttons inside" % (width, height, len(buttons)))
        wait_for("fallback", FALLBACK_SECONDS, lambda: os.path.exists(wine.opened))
        fallback = wait_for("the fallback window", WINDOW_SECONDS,
                            lambda: [w for w in windows_named(display, PROJECT_NAME) if w not in first])[0]
        deadline = time.monotonic() + EXIT_SECONDS
        while process.poll() is None and time.monotonic() < deadline:
            press(display, fallback, closing_key)
            time.sleep(0.5)
        code = process.wait(timeout=EXIT_SECONDS)
        expect(code == 0, "exit status %d after %s" % (code, closing_key))
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def refused(wine, display, program, words):
    process = wine.start(program, unattended=True)
    window_seen = False
    try:
        deadline = time.monotonic() + EXIT_SECONDS
        while process.poll() is None and time.monotonic() < deadline:
            window_seen = window_seen or bool(windows_named(display, PROJECT_NAME))
            time.sleep(0.1)
        _, errors = process.communicate(timeout=1)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    expect(process.returncode not in (0, None), "exit status %r" % process.returncode)
    expect(words.encode() in errors, "%r not in %r" % (words, errors[-300:]))
    expect(not window_seen, "a window came up")
    expect(not page_folders(wine.prefix), "a page folder was left behind")


def self_signed_certificate(work, password):
    """A code-signing certificate of its own as PKCS#12 file, and its certificate as PEM."""
    key, certificate, bundle = (os.path.join(work, name) for name in ("key.pem", "cert.pem", "cert.p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", certificate, "-days", "2", "-subj", "/CN=Vantrel Test Signer",
                    "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", certificate, "-out", bundle,
                    "-passout", "pass:" + password], check=True, capture_output=True)
    return bundle, certificate


def signed_copy(program, bundle, password, target):
    subprocess.run(["osslsigncode", "sign", "-pkcs12", bundle, "-pass", password, "-h", "sha256",
                    "-in", program, "-out", target], check=True, capture_output=True)
    return target


def verified(program, certificate):
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", certificate, "-in", program],
                            capture_output=True, text=True)
    expect(result.returncode == 0, "osslsigncode verify refused %s: %s" % (program, result.stdout[-300:]))


def main():
    cli, bin_dir, work = sys.argv[1:4]
    needed = ("Xvfb", "xdotool", "osslsigncode", "openssl")
    if not os.path.exists(WINE) or not all(shutil.which(tool) for tool in needed):
        print("skipped: wine64, Xvfb, xdotool, osslsigncode and openssl are needed "
              "(scripts/setup.sh installs them)")
        return SKIPPED
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    project = os.path.join(work, "umfrage.json")
    with open(project, "w", encoding="utf-8") as out:
        json.dump({"fields": [{"name": "ort", "type": "Textfeld", "caption": "Wohnort", "content": "K\u00f6ln",
                               "width": "30", "height": "1", "maxChars": "0", "optional": "Ja",
                               "preselected": "Nein"}],
                   "email": "umfrage@example.org",
                   "settings": {"statusbar": True, "toolbar": True, "print": True, "exit": True,
                                "about": True, "back": True, "forward": True, "home": True,
                                "reload": True, "exitButton": True, "width": 640, "height": 480,
                                "definedSize": True, "fixedSize": False, "projectName": PROJECT_NAME}},
                  out, ensure_ascii=False)
    program = os.path.join(work, "umfrage.exe")
    subprocess.run([cli, "build", project, "-o", program], check=True, capture_output=True)
    # (width, height, fixed size, the key that closes the fallback window)
    sizes = [(600, 400, False, "Escape"), (400, 300, True, "Return"), (64, 64, False, "Escape"),
             (64, 64, True, "Return")]
    sized = []
    for width, height, fixed, key in sizes:
        with open(project, encoding="utf-8") as f:
            data = json.load(f)
        data["settings"].update(ALL_ELEMENTS, width=width, height=height, definedSize=True, fixedSize=fixed)
        variant = os.path.join(work, "groesse-%d-%d-%s.json" % (width, height, "fest" if fixed else "frei"))
        with open(variant, "w", encoding="utf-8") as out:
            json.dump(data, out, ensure_ascii=False)
        built = variant[:-len(".json")] + ".exe"
        subprocess.run([cli, "build", variant, "-o", built], check=True, capture_output=True)
        sized.append(("%d x %d%s, closed by %s" % (width, height, " fixed" if fixed else "", key),
                      built, fixed, key))
    page = subprocess.run([cli, "page", project], check=True, capture_output=True).stdout
    with open(program, "rb") as f:
        built = f.read()
    damaged = os.path.join(work, "kaputt.exe")
    with open(damaged, "wb") as f:
        f.write(built[:-60] + bytes([built[-60] ^ 1]) + built[-59:])
    bundle, certificate = self_signed_certificate(work, "geheim")
    signed = signed_copy(program, bundle, "geheim", os.path.join(work, "signiert.exe"))
    verified(signed, certificate)
    with open(signed, "rb") as f:
        signed_bytes = f.read()
    expect(len(signed_bytes) > len(built), "the signature is appended")
    password_file = os.path.join(work, "passwort.txt")
    with open(password_file, "w") as out:
        out.write("geheim\n")
    by_tool = os.path.join(work, "vom-werkzeug.exe")
    subprocess.run([cli, "build", project, "-o", by_tool, "--sign", bundle, "--sign-password-file",
                    password_file], check=True, capture_output=True)
    verified(by_tool, certificate)
    with open(password_file, "w") as out:
        out.write("falsch\n")
    refused_build = subprocess.run([cli, "build", project, "-o", by_tool, "--force", "--sign", bundle,
                                    "--sign-password-file", password_file], capture_output=True)
    errors = refused_build.stderr.decode()
    expect(refused_build.returncode == 1 and "konnte nicht mit %s signiert werden" % bundle in errors,
           "a wrong password fails the build in German: %r" % errors[-300:])
    verified(by_tool, certificate)  # the program signed before is still there, unchanged
    expect(not [n for n in os.listdir(work) if n.startswith(".")], "no half-built file is left")
    changed = os.path.join(work, "signiert-geaendert.exe")
    with open(changed, "wb") as f:
        at = len(built) - 60  # in the archive, covered by the signature
        f.write(signed_bytes[:at] + bytes([signed_bytes[at] ^ 1]) + signed_bytes[at + 1:])
    bare = os.path.join(work, "vorlage.exe")
    with open(os.path.join(bin_dir, "ProtoExe.dat"), "rb") as f, open(bare, "wb") as out:
        out.write(bytes((b - 1) & 0xFF for b in f.read()))

    display = Display()
    wine = None
    failures = 0
    try:
        wine = Wine(work, display.name)
        for what, check in (("shown and closed", lambda: shown_and_closed(wine, display.name, program, page)),
                            ("damaged archive", lambda: refused(wine, display.name, damaged, "archive check sum wrong")),
                            ("bare prototype", lambda: refused(wine, display.name, bare, "no data attached")),
                            ("signed", lambda: shown_and_closed(wine, display.name, signed, page)),
                            ("signed by the tool", lambda: shown_and_closed(wine, display.name, by_tool, page)),
                            ("signed, one byte changed",
                             lambda: refused(wine, display.name, changed, "archive check sum wrong"))) + tuple(
                (what, lambda built=built, fixed=fixed, key=key: window_reported(wine, display.name, built, fixed, key))
                for what, built, fixed, key in sized):
            try:
                check()
                print("ok   %s" % what)
            except (Failure, subprocess.TimeoutExpired) as error:
                failures += 1
                print("FAIL %s: %s" % (what, error))
    finally:
        if wine:
            wine.close()
        display.close()
        # The prefix is large; nothing in it is needed after the run.
        shutil.rmtree(os.path.join(work, "prefix"), ignore_errors=True)
    print("wine check: %d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
