#!/usr/bin/env python3
"""Installs the build into a temporary prefix, makes the prefix read-only and runs the installed
programs as a package would run them, with HOME and the XDG folders in a scratch place.

usage: install_check.py CMAKE BUILD_DIR INSTALLED_TOOL_TEST PROJECT PICTURE SUPPORT_DIR METAFILE

Checks: --version and --help answer without a window system; vantrel-cli builds and writes an
icon with the installed prototype, and one of an enhanced metafile with the installed converter; the installed tool, started offscreen with a project, writes
its icon into the user's data folder; the in-process test of the installed tool (preview, "Go!",
"Icon laden...") passes; nothing under the prefix changed.
"""
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time


def snapshot(root):
    """Every path under root with its kind, size and modification time."""
    seen = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            seen[os.path.relpath(path, root)] = (stat.S_IFMT(info.st_mode), info.st_size,
                                                 info.st_mtime_ns)
    return seen


def set_writable(root, writable):
    for folder, folders, files in os.walk(root):
        for name in [folder] + [os.path.join(folder, f) for f in files]:
            mode = os.lstat(name).st_mode
            if stat.S_ISLNK(mode):
                continue
            mode = (mode | stat.S_IWUSR) if writable else (mode & ~0o222)
            os.chmod(name, mode)


def run(command, env, expect_output=None):
    result = subprocess.run(command, env=env, capture_output=True, timeout=120)
    if result.returncode != 0:
        sys.exit(f"FAIL {command}: exit {result.returncode}\n{result.stdout.decode()}"
                 f"{result.stderr.decode()}")
    output = result.stdout.decode()
    if expect_output is not None and not output.startswith(expect_output):
        sys.exit(f"FAIL {command}: printed {output!r}, expected {expect_output!r}...")
    return output


def start_tool_until(program, project, env, wanted, seconds=60):
    """Starts the installed tool offscreen and waits (bounded) until `wanted` exists."""
    tool = subprocess.Popen([program, project], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    deadline = time.monotonic() + seconds
    try:
        while time.monotonic() < deadline and not os.path.exists(wanted):
            if tool.poll() is not None:
                sys.exit(f"FAIL the installed tool ended early:\n{tool.stdout.read().decode()}")
            time.sleep(0.2)
        # Long enough for the project named on the command line to be opened too.
        time.sleep(1.0)
        if tool.poll() is not None:
            sys.exit(f"FAIL the installed tool ended:\n{tool.stdout.read().decode()}")
    finally:
        tool.terminate()
        try:
            tool.wait(timeout=20)
        except subprocess.TimeoutExpired:
            tool.kill()
            tool.wait()
    if not os.path.exists(wanted):
        sys.exit(f"FAIL the installed tool did not write {wanted} within {seconds} s")


def main():
    cmake, build, installed_test, project, picture, support_dir, metafile = sys.argv[1:8]
    with tempfile.TemporaryDirectory(prefix="vantrel-install-") as scratch:
        prefix = os.path.join(scratch, "prefix")
        run([cmake, "--install", build, "--prefix", prefix], dict(os.environ))
        home = os.path.join(scratch, "home")
        os.makedirs(home)
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": home,
            "XDG_DATA_HOME": os.path.join(home, "daten"),
            "XDG_CONFIG_HOME": os.path.join(home, "konfig"),
            "XDG_CACHE_HOME": os.path.join(home, "cache"),
            "XDG_RUNTIME_DIR": os.path.join(scratch, "run"),
            "TMPDIR": os.path.join(scratch, "tmp"),
            "LANG": "C.UTF-8",
        }
        # A sanitizer build's settings (scripts/test.sh) hold for the installed programs too.
        for name in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        os.makedirs(env["TMPDIR"])
        bin_dir = os.path.join(prefix, "bin")
        for name in ("ProtoExe.dat", "iconcomp.dat", "vantrel-emf2svg", "vantrel-form-page-view.so",
                     "vantrel-answers-window.so"):
            if not os.path.isfile(os.path.join(prefix, support_dir, name)):
                sys.exit(f"FAIL {name} is not installed in {support_dir}")

        set_writable(prefix, False)
        before = snapshot(prefix)
        try:
            # No display and no platform plugin chosen: these must not need a window system.
            tool = os.path.join(bin_dir, "vantrel-formulare")
            run([tool, "--version"], env, "vantrel-formulare ")
            run([tool, "--help"], env, "Aufruf: vantrel-formulare [DATEI.vtq]")
            cli = os.path.join(bin_dir, "vantrel-cli")
            run([cli, "--version"], env, "vantrel-cli ")
            if os.path.exists(os.path.join(bin_dir, "vantrel-formmail")):
                run([os.path.join(bin_dir, "vantrel-formmail"), "--version"], env,
                    "vantrel-formmail ")

            output = os.path.join(home, "umfrage.exe")
            run([cli, "build", project, "-o", output], env)
            prototype = os.path.getsize(os.path.join(prefix, support_dir, "ProtoExe.dat"))
            if os.path.getsize(output) < prototype // 2:
                sys.exit(f"FAIL vantrel-cli built only {os.path.getsize(output)} bytes")
            run([cli, "icon", picture, "-o", os.path.join(home, "icon.bmp")], env)
            run([cli, "icon", metafile, "-o", os.path.join(home, "metafile-icon.bmp")], env)

            gui = dict(env, QT_QPA_PLATFORM="offscreen")
            data = os.path.join(env["XDG_DATA_HOME"], "vantrel-formulare")
            start_tool_until(tool, project, gui, os.path.join(data, "theicon.bmp"))
            # The in-process test starts with an empty data folder of its own.
            shutil.rmtree(data)
            run([installed_test], dict(gui, VANTREL_INSTALLED_PREFIX=prefix))
        finally:
            after = snapshot(prefix)
            set_writable(prefix, True)
        changed = sorted(set(before.items()) ^ set(after.items()))
        if changed:
            sys.exit("FAIL written under the prefix: " + ", ".join(sorted({c[0] for c in changed})))
    print("install_check: installed programs work in the user's folders only")


if __name__ == "__main__":
    main()
