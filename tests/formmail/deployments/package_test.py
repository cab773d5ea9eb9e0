#!/usr/bin/env python3
"""The package vantrel-formmail as a new user walks it: made by cpack from this build, its
systemd units rated by `systemd-analyze security`, then installed with dpkg and used as the
README says, with nothing set up by hand: the CGI program behind nginx (fcgiwrap) and behind
Apache with the README's snippets, and the service's own command line, all delivering into the
packaged Maildir; a member of the group vantrel-formmail exports the answers, anyone else is
told in German why not.

The package is made from the build the tests run in, so its paths are that build's prefix
(/usr/local for a test build, /usr for scripts/build_packages.sh): the README's paths are
mapped to where the package put the files, nothing else of the snippets changes.

Installing needs root (as in CI); without it only the units are rated. A machine where the
package or its state folder is there already is left alone (skipped)."""

import grp
import os
import pwd
import re
import shlex
import shutil
import subprocess
import tempfile
import unittest

import deploy

PACKAGE = "vantrel-formmail"
STATE = "/var/lib/vantrel-formmail"
MAILDIR = os.path.join(STATE, "Maildir")
EXPOSURE = re.compile(r"Overall exposure level for (\S+): (\d+\.\d+)")
MOST_EXPOSURE = 3.0
UNITS = ("vantrel-formmail.service", "vantrel-formmail-flush.service")


def run(argv, **keys):
    return subprocess.run(argv, capture_output=True, timeout=120, check=False, **keys)


def build_package(folder):
    """The package of the receiver, by cpack from the build's install rules."""
    build = os.environ["VANTREL_BUILD_DIR"]
    made = run(["cpack", "-G", "DEB", "-D", "CPACK_COMPONENTS_ALL=formmail", "-B", folder,
                "--config", os.path.join(build, "CPackConfig.cmake")])
    if made.returncode != 0:
        raise AssertionError("cpack failed:\n" + (made.stdout + made.stderr).decode())
    debs = [name for name in os.listdir(folder) if name.startswith(PACKAGE + "_")]
    if len(debs) != 1:
        raise AssertionError("cpack made %s" % debs)
    return os.path.join(folder, debs[0])


def exposure(unit_path):
    rated = run(["systemd-analyze", "security", "--offline=yes", "--no-pager", unit_path])
    text = (rated.stdout + rated.stderr).decode("utf-8", "replace")
    found = EXPOSURE.search(text)
    if not found:
        raise AssertionError("no exposure level in:\n" + text)
    return float(found.group(2)), text


class PackagedUnits(unittest.TestCase):
    """The units as the package holds them, and as one loses its confinement."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="formmail-package-")
        cls.addClassCleanup(shutil.rmtree, cls.scratch, True)
        cls.deb = build_package(cls.scratch)
        cls.root = os.path.join(cls.scratch, "root")
        unpacked = run(["dpkg-deb", "-x", cls.deb, cls.root])
        if unpacked.returncode != 0:
            raise AssertionError(unpacked.stderr.decode())

    def unit(self, name):
        for folder in ("usr/local/lib/systemd/system", "usr/lib/systemd/system",
                       "lib/systemd/system"):
            path = os.path.join(self.root, folder, name)
            if os.path.exists(path):
                return path
        raise AssertionError("the package holds no " + name)

    def test_both_services_are_confined(self):
        unconfined = os.path.join(self.scratch, "unconfined.service")
        with open(self.unit(UNITS[1]), encoding="utf-8") as unit:
            kept = unit.read().split("UMask=")[0]
        with open(unconfined, "w", encoding="utf-8") as out:
            out.write(kept)
        rows = [(name, self.unit(name), True) for name in UNITS]
        rows.append(("without its confinement", unconfined, False))
        for name, path, confined in rows:
            with self.subTest(name):
                level, text = exposure(path)
                self.assertEqual(level <= MOST_EXPOSURE, confined, text)
                with open(path, encoding="utf-8") as unit:
                    self.assertEqual("LimitNOFILE=" in unit.read(), True, name)


class InstalledPackage(unittest.TestCase):
    """The package installed for real, and the CGI road and the service taken as written."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="formmail-installed-")
        os.chmod(cls.scratch, 0o755)
        cls.addClassCleanup(shutil.rmtree, cls.scratch, True)
        deb = build_package(cls.scratch)
        cls.addClassCleanup(remove_package)
        installed = run(["dpkg", "-i", deb])
        if installed.returncode != 0:
            raise AssertionError("dpkg -i failed:\n" + (installed.stdout +
                                                         installed.stderr).decode())
        files = run(["dpkg", "-L", PACKAGE]).stdout.decode().split()
        cls.cgi = next(f for f in files if f.endswith("/sendmailform.cgi"))
        cls.config = next(f for f in files if f.endswith("/vantrel-formmail.conf"))
        cls.binary = next(f for f in files if f.endswith("/bin/vantrel-formmail"))
        cls.service = next(f for f in files if f.endswith("/" + UNITS[0]))

    def setUp(self):
        self.before = deploy.stored_mails(MAILDIR)

    def assert_one_new_mail(self, owner, logs):
        mails = deploy.new_mails(MAILDIR, self.before)
        self.assertEqual(len(mails), 1, logs())
        status = os.stat(mails[0])
        self.assertEqual(pwd.getpwuid(status.st_uid).pw_name, owner)
        self.assertEqual(grp.getgrgid(status.st_gid).gr_name, PACKAGE)
        self.assertEqual(status.st_mode & 0o7777, 0o640)
        message = deploy.read_mail(mails[0])
        self.assertEqual(deploy.field_values(message, "ort"), ["K\u00f6ln"])

    def test_the_package_sets_up_the_group_and_its_folders(self):
        self.assertIn("www-data", grp.getgrnam(PACKAGE).gr_mem)
        for folder, mode in ((STATE, 0o750), (MAILDIR, 0o2770),
                             (os.path.join(MAILDIR, "new"), 0o2770),
                             (os.path.join(STATE, "rate"), 0o2770),
                             (os.path.join(STATE, "spool"), 0o2770)):
            with self.subTest(folder):
                status = os.stat(folder)
                self.assertEqual(status.st_mode & 0o7777, mode)
                self.assertEqual(grp.getgrgid(status.st_gid).gr_name, PACKAGE)

    def test_the_cgi_road_behind_each_web_server(self):
        for server_class in (deploy.Nginx, deploy.Apache):
            with self.subTest(server_class.name):
                self.before = deploy.stored_mails(MAILDIR)
                workspace = PackagedWorkspace(self.scratch, server_class.name, self.cgi,
                                              self.config)
                server = server_class(workspace)
                workspace.hand_over()
                try:
                    server.start()
                    # A post of its own per server: the same answers again would be a repeat.
                    answer = deploy.post(server.port, deploy.form_body(deploy.survey_fields(
                        vorname="Anna " + server_class.name, ort="K\u00f6ln")))
                    self.assertEqual(answer.status, 200, server.logs())
                finally:
                    server.stop()
                self.assert_one_new_mail("www-data", server.logs)
                deploy.assert_no_sanitizer_report(self, server.logs(tail=None))
        # The packaged rate limit kept its counts in the group's folder.
        self.assertTrue(os.path.exists(os.path.join(STATE, "rate", "counts")))

    def test_the_service_command_line_delivers_as_its_user(self):
        with open(self.service, encoding="utf-8") as unit:
            start = re.search(r"^ExecStart=(.*)$", unit.read(), re.MULTILINE).group(1)
        port = deploy.free_port()
        argv = shlex.split(deploy.substitute(start, {"127.0.0.1:8080": "127.0.0.1:%d" % port}))
        log = os.path.join(self.scratch, "service.log")
        daemon = deploy.Daemon(["setpriv", "--reuid=vantrel-formmail",
                                "--regid=vantrel-formmail", "--init-groups", "--"] + argv, log)
        try:
            deploy.wait_until(lambda: deploy.accepts_connections(port) or not daemon.running(),
                              "the service on port %d" % port)
            answer = deploy.post(port, deploy.form_body(
                deploy.survey_fields(vorname="Bernd", ort="K\u00f6ln")))
            self.assertEqual(answer.status, 200, deploy.read_logs(self.scratch,
                                                                  ("service.log",)))
        finally:
            daemon.stop()
        self.assert_one_new_mail(PACKAGE, lambda: deploy.read_logs(self.scratch,
                                                                   ("service.log",)))

    def test_only_the_group_reads_the_answers(self):
        # A mail of the receiver's, so that there is something to read.
        body = deploy.form_body(deploy.survey_fields(vorname="Clara", ort="K\u00f6ln"))
        env = dict(deploy.sanitizer_environment(), PATH="/usr/bin:/bin", REQUEST_METHOD="POST",
                   CONTENT_TYPE="application/x-www-form-urlencoded",
                   CONTENT_LENGTH=str(len(body)), REMOTE_ADDR="192.0.2.7",
                   VANTREL_FORMMAIL_CONFIG=self.config)
        posted = run(["setpriv", "--reuid=www-data", "--regid=www-data", "--init-groups", "--",
                      self.cgi], input=body, env=env)
        self.assertIn(b"Status: 200", posted.stdout, posted.stderr)
        nobody = pwd.getpwnam("nobody")
        group = grp.getgrnam(PACKAGE).gr_gid
        for name, groups, status, said in (
                ("a member of the group", "%d" % group, 0, "Antwort(en) geschrieben"),
                ("anyone else", "%d" % nobody.pw_gid, 1, "Keine Berechtigung")):
            with self.subTest(name):
                exported = run(["setpriv", "--reuid=%d" % nobody.pw_uid,
                                "--regid=%d" % nobody.pw_gid, "--groups=" + groups, "--",
                                self.binary, "export", MAILDIR, "--jsonl"],
                               env=dict(deploy.sanitizer_environment(), PATH="/usr/bin:/bin"))
                text = exported.stderr.decode("utf-8")
                self.assertEqual(exported.returncode, status, text)
                self.assertIn(said, text)
                if status == 0:
                    self.assertIn("Clara", exported.stdout.decode("utf-8"))


class PackagedWorkspace:
    """What the web server classes of deploy.py need, with the installed CGI program and
    configuration in place of a private copy: the README's paths mapped to the package's."""

    def __init__(self, scratch, name, cgi, config):
        self.user = deploy.ServiceUser()
        self.root = os.path.join(scratch, name)
        os.makedirs(self.root)
        self.cgi = cgi
        self.cgi_folder = os.path.dirname(cgi)
        self.config = config
        self.maildir = MAILDIR

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def hand_over(self):
        self.user.own(self.root)


def remove_package():
    run(["dpkg", "--purge", PACKAGE])
    shutil.rmtree(STATE, ignore_errors=True)


def main():
    deploy.require_programs("cpack", "dpkg-deb", "systemd-analyze")
    if "VANTREL_BUILD_DIR" not in os.environ:
        print("VANTREL_BUILD_DIR is not set (ctest sets it)")
        raise SystemExit(deploy.SKIPPED)
    cases = [PackagedUnits]
    if os.geteuid() != 0:
        print("installing the package needs root: only its units are rated")
    elif run(["dpkg", "-s", PACKAGE]).returncode == 0 or os.path.exists(STATE):
        print("%s or %s is there already: not installed over it" % (PACKAGE, STATE))
    else:
        deploy.require_programs("nginx", "fcgiwrap", "apache2", "setpriv")
        cases.append(InstalledPackage)
    suite = unittest.TestSuite(unittest.defaultTestLoader.loadTestsFromTestCase(case)
                               for case in cases)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    raise SystemExit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
