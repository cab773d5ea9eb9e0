"""What the deployment tests share: the README's snippets, a private workspace, the web
servers and fcgiwrap started on 127.0.0.1 with the snippets as their configuration, posts, and
the Maildir read back.

The tests take their paths from the environment that ctest sets:
  VANTREL_BIN_DIR          sendmailform.cgi, vantrel-formmail and vantrel-cli
  VANTREL_FORMMAIL_README  formmail/README.md, where the tested snippets are marked
  VANTREL_BROWSER_POST     formmail_browser_post (absent in builds without the browser)

Run as root (as CI does), the web servers, fcgiwrap and so the CGI program run as www-data,
as the README sets them up; run as anyone else, everything runs as that user."""

import concurrent.futures
import email
import email.policy
import http.client
import json
import os
import pwd
import re
import shlex
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.parse

SKIPPED = 77  # ctest's SKIP_RETURN_CODE for these tests
WAIT_SECONDS = 15  # longest wait for a server to come up or a mail to arrive
RECIPIENT = "info@example.org"
SENDER = "formmail@example.org"
CGI_PATH = "/cgi-bin/sendmailform.cgi"
SANITIZER_VARIABLES = ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS")
# What a sanitized build's programs write when they find a fault: the web servers put the CGI
# program's standard error into their logs, where the tests look for it.
SANITIZER_REPORT = re.compile(r"(Address|Leak|UndefinedBehavior)Sanitizer|runtime error:")


def bin_dir():
    return os.environ["VANTREL_BIN_DIR"]


def require_programs(*names):
    """Leaves with SKIPPED when a program the test needs is not installed (scripts/setup.sh
    brings them all)."""
    missing = [name for name in names if not sbin(name)]
    if missing:
        print("not installed: " + ", ".join(missing) + " (scripts/setup.sh installs them)")
        raise SystemExit(SKIPPED)


def sbin(name):
    return shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")


# --- the README's snippets -------------------------------------------------------------------

def readme_snippet(name):
    """The fenced block right after the line "<!-- tested: NAME -->" in the README."""
    with open(os.environ["VANTREL_FORMMAIL_README"], encoding="utf-8") as readme:
        lines = readme.read().splitlines()
    marker = "<!-- tested: %s -->" % name
    if lines.count(marker) != 1:
        raise AssertionError("the README must mark exactly one snippet with " + marker)
    start = lines.index(marker) + 1
    if not lines[start].startswith("```"):
        raise AssertionError(marker + " is not followed by a fenced block")
    end = lines.index("```", start + 1)
    return "\n".join(lines[start + 1:end]) + "\n"


def substitute(text, replacements):
    """Replaces each key by its value; a key missing from the text is an error, so that a
    changed snippet cannot slip past the test with its documented port or path."""
    for old, new in replacements.items():
        if old not in text:
            raise AssertionError("the snippet no longer holds %r:\n%s" % (old, text))
        text = text.replace(old, new)
    return text


# --- the workspace ---------------------------------------------------------------------------

class ServiceUser:
    """The user the web servers' workers and so the CGI program run as."""

    def __init__(self):
        entry = pwd.getpwnam("www-data") if os.geteuid() == 0 else pwd.getpwuid(os.geteuid())
        self.name, self.uid, self.gid = entry.pw_name, entry.pw_uid, entry.pw_gid
        self.dropping = os.geteuid() == 0

    def command(self, argv):
        """`argv` run as this user."""
        if not self.dropping:
            return argv
        return ["setpriv", "--reuid=%d" % self.uid, "--regid=%d" % self.gid, "--init-groups",
                "--"] + argv

    def own(self, path):
        if self.dropping:
            for root, folders, files in os.walk(path):
                for name in [root] + [os.path.join(root, n) for n in folders + files]:
                    os.lchown(name, self.uid, self.gid)


class Workspace:
    """A temporary folder with the receiver's configuration, its Maildir and a copy of the
    CGI program, all owned by the service user."""

    def __init__(self, user):
        self.user = user
        self.root = tempfile.mkdtemp(prefix="formmail-deploy-")
        os.chmod(self.root, 0o755)
        self.config = self.path("formmail.conf")
        self.maildir = self.path("Maildir")
        os.makedirs(self.path("bin"))
        self.cgi = self.path("bin", "sendmailform.cgi")
        shutil.copy2(os.path.join(bin_dir(), "sendmailform.cgi"), self.cgi)
        self.rate_states = 0
        self.write_config()

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def write_config(self, **keys):
        """The receiver's configuration: Maildir delivery, no rate limit, plus `keys`. The CGI
        program reads it at every post, so a test may change it between posts."""
        settings = {"allow": RECIPIENT, "sender": SENDER, "maildir": self.maildir,
                    "rate_per_minute": "0"}
        settings.update(keys)
        text = "[formmail]\n" + "".join("%s = %s\n" % item for item in settings.items())
        fresh = self.config + ".new"
        with open(fresh, "w", encoding="utf-8") as out:
            out.write(text)
        os.replace(fresh, self.config)
        self.user.own(self.config)

    def fresh_rate_state(self):
        """A rate-state path no post has counted in yet."""
        self.rate_states += 1
        return self.path("rate-%d" % self.rate_states, "rate")

    def hand_over(self):
        self.user.own(self.root)

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_until(condition, what, seconds=WAIT_SECONDS):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise AssertionError("gave up after %d s waiting for %s" % (seconds, what))


def accepts_connections(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


class Daemon:
    """A program kept in the foreground in a process group of its own; stop() ends the whole
    group (workers and CGI children included) and waits for it."""

    def __init__(self, argv, log_path, env=None):
        self.log_path = log_path
        with open(log_path, "ab") as log:
            self.process = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT,
                                            stdin=subprocess.DEVNULL, env=env,
                                            start_new_session=True)

    def running(self):
        return self.process.poll() is None

    def stop(self):
        group = self.process.pid
        for sig in (signal.SIGTERM, signal.SIGKILL):
            signal_group(group, sig)
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline and (self.process.poll() is None or
                                                   group_members(group)):
                time.sleep(0.05)
            if self.process.poll() is not None and not group_members(group):
                return
        raise AssertionError("processes of group %d outlived SIGKILL" % group)


def signal_group(group, sig):
    try:
        os.killpg(group, sig)
    except ProcessLookupError:
        pass


def group_members(group):
    """The processes of a process group that have not ended (zombies are ended)."""
    members = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry, encoding="ascii", errors="replace") as stat:
                text = stat.read()
        except OSError:
            continue
        state, _, pgrp = text[text.rindex(")") + 2:].split()[:3]
        if int(pgrp) == group and state != "Z":
            members.append(int(entry))
    return members


def sanitizer_environment():
    return {name: os.environ[name] for name in SANITIZER_VARIABLES if name in os.environ}


# --- the web servers -------------------------------------------------------------------------

class Nginx:
    """nginx with two worker processes and fcgiwrap with two, configured by the README's
    server block."""

    name = "nginx"

    def __init__(self, workspace):
        self.workspace = workspace
        self.port = free_port()
        self.folder = workspace.path("nginx")
        os.makedirs(self.folder)
        self.socket = os.path.join(self.folder, "fcgiwrap.socket")
        shutil.copy("/etc/nginx/fastcgi_params", self.folder)
        self.server_block = substitute(readme_snippet("nginx"), {
            "listen 80;": "listen 127.0.0.1:%d;" % self.port,
            "/usr/lib/cgi-bin/sendmailform.cgi": workspace.cgi,
            "/etc/vantrel-formmail.conf": workspace.config,
            "unix:/run/fcgiwrap.socket": "unix:" + self.socket,
        })
        self.conf = os.path.join(self.folder, "nginx.conf")
        with open(self.conf, "w", encoding="utf-8") as out:
            out.write(self.main_config())
        self.daemons = []

    def main_config(self):
        folder = self.folder
        user = "user %s;\n" % self.workspace.user.name if self.workspace.user.dropping else ""
        temp_paths = "".join("    %s_temp_path %s/%s;\n" % (kind, folder, kind)
                             for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        return ("daemon off;\nmaster_process on;\nworker_processes 2;\n" + user +
                "pid %s/nginx.pid;\nerror_log %s/error.log info;\n" % (folder, folder) +
                "events { worker_connections 256; }\n"
                "http {\n    access_log %s/access.log;\n" % folder + temp_paths +
                self.server_block + "}\n")

    def start(self):
        user = self.workspace.user
        # fcgiwrap hands its own environment on to the CGI program, the sanitizers' options
        # of a sanitized build included.
        self.daemons.append(Daemon(
            user.command([sbin("fcgiwrap"), "-f", "-c", "2", "-s", "unix:" + self.socket]),
            os.path.join(self.folder, "fcgiwrap.log")))
        wait_until(lambda: os.path.exists(self.socket), "fcgiwrap's socket")
        self.daemons.append(Daemon(
            [sbin("nginx"), "-p", self.folder, "-c", self.conf, "-e",
             os.path.join(self.folder, "error.log")],
            os.path.join(self.folder, "nginx.out")))
        wait_until(lambda: accepts_connections(self.port) or not self.daemons[-1].running(),
                   "nginx on port %d" % self.port)
        if not self.daemons[-1].running():
            raise AssertionError("nginx did not start:\n" + self.logs())

    def stop(self):
        for daemon in reversed(self.daemons):
            daemon.stop()

    def logs(self, tail=6000):
        return read_logs(self.folder, ("nginx.out", "error.log", "fcgiwrap.log"), tail)


class Apache:
    """Apache with two prefork workers and mod_cgid, configured by the README's virtual
    host."""

    name = "apache"

    def __init__(self, workspace):
        self.workspace = workspace
        self.port = free_port()
        self.folder = workspace.path("apache")
        os.makedirs(self.folder)
        # The folder the virtual host runs programs from: where an installed CGI program
        # stands, else one of the workspace's with a copy.
        self.cgi_folder = getattr(workspace, "cgi_folder", None)
        if not self.cgi_folder:
            self.cgi_folder = workspace.path("cgi-bin")
            os.makedirs(self.cgi_folder)
            shutil.copy2(workspace.cgi, self.cgi_folder)
        self.virtual_host = substitute(readme_snippet("apache"), {
            "<VirtualHost *:80>": "<VirtualHost 127.0.0.1:%d>" % self.port,
            "/usr/lib/cgi-bin": self.cgi_folder,
            "/etc/vantrel-formmail.conf": workspace.config,
        })
        self.conf = os.path.join(self.folder, "apache2.conf")
        with open(self.conf, "w", encoding="utf-8") as out:
            out.write(self.main_config())
        self.daemon = None

    def main_config(self):
        folder = self.folder
        modules = "".join("LoadModule %s_module /usr/lib/apache2/modules/mod_%s.so\n" % (m, m)
                          for m in ("mpm_prefork", "authz_core", "alias", "env", "cgid"))
        user = self.workspace.user
        identity = "User %s\nGroup #%d\n" % (user.name, user.gid) if user.dropping else ""
        # mod_cgid starts its programs with no environment but what the configuration gives:
        # the sanitizers' options are handed on so that the CGI program runs with them.
        passed = "".join("PassEnv %s\n" % name for name in sanitizer_environment())
        return (modules + identity + passed +
                "ServerName 127.0.0.1\nServerRoot %s\nDefaultRuntimeDir %s\n" % (folder, folder) +
                "PidFile %s/apache2.pid\nErrorLog %s/error.log\nLogLevel info\n" % (folder, folder) +
                "Mutex file:%s default\nScriptSock %s/cgid.sock\n" % (folder, folder) +
                "StartServers 2\nMinSpareServers 2\nMaxSpareServers 2\nMaxRequestWorkers 2\n"
                "Listen 127.0.0.1:%d\n" % self.port + self.virtual_host)

    def start(self):
        self.daemon = Daemon([sbin("apache2"), "-f", self.conf, "-DFOREGROUND"],
                             os.path.join(self.folder, "apache2.out"))
        wait_until(lambda: accepts_connections(self.port) or not self.daemon.running(),
                   "Apache on port %d" % self.port)
        if not self.daemon.running():
            raise AssertionError("Apache did not start:\n" + self.logs())

    def stop(self):
        if self.daemon:
            self.daemon.stop()

    def logs(self, tail=6000):
        return read_logs(self.folder, ("apache2.out", "error.log"), tail)


class Standalone:
    """vantrel-formmail started by the README's command line. It reads its configuration once,
    so restart() makes a changed one count."""

    name = "standalone"

    def __init__(self, workspace):
        self.workspace = workspace
        self.port = free_port()
        self.folder = workspace.path("standalone")
        os.makedirs(self.folder)
        binary = os.path.join(workspace.path("bin"), "vantrel-formmail")
        shutil.copy2(os.path.join(bin_dir(), "vantrel-formmail"), binary)
        self.argv = shlex.split(substitute(readme_snippet("standalone"), {
            "vantrel-formmail --listen": binary + " --listen",
            "127.0.0.1:8080": "127.0.0.1:%d" % self.port,
            "formmail.conf": workspace.config,
        }))
        self.daemon = None

    def start(self):
        self.daemon = Daemon(self.workspace.user.command(self.argv),
                             os.path.join(self.folder, "server.log"))
        wait_until(lambda: accepts_connections(self.port) or not self.daemon.running(),
                   "vantrel-formmail on port %d" % self.port)
        if not self.daemon.running():
            raise AssertionError("vantrel-formmail did not start:\n" + self.logs())

    def restart(self):
        self.stop()
        self.start()

    def stop(self):
        if self.daemon:
            self.daemon.stop()

    def logs(self, tail=6000):
        return read_logs(self.folder, ("server.log",), tail)


def read_logs(folder, names, tail=6000):
    """The logs' last `tail` characters each, or all of them when `tail` is None."""
    text = ""
    for name in names:
        path = os.path.join(folder, name)
        if os.path.exists(path):
            with open(path, encoding="utf-8", errors="replace") as log:
                content = log.read()
            text += "--- %s\n%s" % (name, content if tail is None else content[-tail:])
    return text


# --- posts and answers -----------------------------------------------------------------------

class Answer:
    def __init__(self, status, headers, body):
        self.status, self.headers, self.body = status, headers, body


def assert_no_sanitizer_report(test, text):
    found = SANITIZER_REPORT.search(text)
    if found:
        test.fail("a sanitizer report:\n" + text[max(0, found.start() - 2000):found.end() + 4000])


def post(port, body, content_type="application/x-www-form-urlencoded", method="POST"):
    """One request on a connection of its own. A server may answer and close before it has
    read the whole body (a refused oversized post): what it answered is read all the same."""
    head = "%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n" % (
        method, CGI_PATH, port)
    if body is not None:
        head += "Content-Type: %s\r\nContent-Length: %d\r\n" % (content_type, len(body))
    with socket.create_connection(("127.0.0.1", port), timeout=WAIT_SECONDS) as connection:
        try:
            connection.sendall(head.encode("ascii") + b"\r\n" + (body or b""))
        except (BrokenPipeError, ConnectionResetError):
            pass
        response = http.client.HTTPResponse(connection)
        response.begin()
        return Answer(response.status, dict(response.getheaders()), response.read())


def form_body(fields):
    """A generated page's post: Windows-1252, URL-encoded, in field order."""
    return urllib.parse.urlencode(fields, encoding="cp1252").encode("ascii")


def survey_fields(**visible):
    fields = list(visible.items()) + [
        ("B1", "Abschicken"), ("required", "vorname"), ("data_order", "vorname,ort"),
        ("submit_to", RECIPIENT), ("form_id", "Formular")]
    return fields


def post_concurrently(port, bodies, workers):
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        return list(pool.map(lambda body: post(port, body), bodies))


# --- the Maildir -----------------------------------------------------------------------------

def stored_mails(maildir):
    folder = os.path.join(maildir, "new")
    if not os.path.isdir(folder):
        return []
    return sorted(os.path.join(folder, name) for name in os.listdir(folder))


def new_mails(maildir, before):
    """The mails stored since `before` was taken (names are unique, not ordered in time)."""
    return sorted(set(stored_mails(maildir)) - set(before))


def read_mail(path):
    with open(path, "rb") as mail:
        return email.message_from_binary_file(mail, policy=email.policy.default)


def mail_text(message):
    """The decoded text of every text/plain part: the answers, one "name: value" line each."""
    return "".join(part.get_content() for part in message.walk()
                   if part.get_content_type() == "text/plain")


def field_values(message, name):
    """The values of the answer lines of field `name` (the first line of a value with line
    breaks)."""
    return re.findall(r"^%s: (.*)$" % re.escape(name), mail_text(message), re.MULTILINE)


class WebServerChecks:
    """The cases every web server in front of the CGI program must pass; a test class mixes
    them in and starts its server once in setUpClass (cls.server, cls.workspace)."""

    server = None
    workspace = None
    # Whether a limit of the web server's own refuses an oversized post before the program
    # runs (the snippets' client_max_body_size and LimitRequestBody).
    limit_in_front = True

    def configure(self, **keys):
        """A changed configuration, in force for the next post."""
        self.workspace.write_config(**keys)
        if hasattr(self.server, "restart"):
            self.server.restart()

    def new_mails(self, before):
        return new_mails(self.workspace.maildir, before)

    def tearDown(self):
        assert_no_sanitizer_report(self, self.server.logs(tail=None))

    def assert_answer(self, answer, status):
        self.assertEqual(answer.status, status,
                         answer.body.decode("utf-8", "replace")[:500] + "\n" + self.server.logs())

    def test_browser_posts_the_generated_page_into_the_maildir(self):
        browser = os.environ.get("VANTREL_BROWSER_POST")
        if not browser:
            self.skipTest("built without the browser engine")
        page = generate_page(self.workspace, self.server.port)
        before = stored_mails(self.workspace.maildir)
        fill = ("byName('vorname').value = 'J\u00fcrgen Gro\u00df';"
                "byName('ort').value = 'M\u00fcnchen';"
                "byName('bemerkung').value = 'Zeile 1\\n\u00c4u\u00dferung: 5 \u20ac';"
                "byName('groesse', 1).click(); byName('agb').click();")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        run = subprocess.run([browser, page, fill], capture_output=True, env=env,
                             timeout=120, check=False)
        shown = run.stdout.decode("utf-8", "replace")
        self.assertEqual(run.returncode, 0, shown + run.stderr.decode("utf-8", "replace")[-3000:])
        self.assertIn("Vielen Dank", shown, self.server.logs())
        mails = self.new_mails(before)
        self.assertEqual(len(mails), 1, self.server.logs())
        message = read_mail(mails[0])
        self.assertEqual(message["To"], RECIPIENT)
        self.assertEqual(message["From"], SENDER)
        self.assertEqual(str(message["Subject"]), "Formular: Formular")
        self.assertEqual(message["MIME-Version"], "1.0")
        self.assertIsNotNone(message["Date"].datetime)
        self.assertRegex(message["Message-ID"], r"^<[^<>@\s]+@[^<>@\s]+>$")
        self.assertEqual(field_values(message, "vorname"), ["J\u00fcrgen Gro\u00df"])
        self.assertEqual(field_values(message, "ort"), ["M\u00fcnchen"])
        self.assertIn("\nbemerkung: Zeile 1\n\u00c4u\u00dferung: 5 \u20ac\n", mail_text(message))
        self.assertEqual(field_values(message, "groesse"), ["XL"])
        self.assertEqual(field_values(message, "agb"), ["ja"])
        self.assertEqual(field_values(message, "news"), [])
        self.assertEqual(field_values(message, "B1"), [])

    def test_answers_pass_through_the_web_server(self):
        before = stored_mails(self.workspace.maildir)
        answer = post(self.server.port, form_body(survey_fields(vorname="Anna", ort="K\u00f6ln")))
        self.assert_answer(answer, 200)
        self.assertEqual(answer.headers.get("Cache-Control"), "no-store")
        self.assertIn("Vielen Dank", answer.body.decode("utf-8"))
        mails = self.new_mails(before)
        self.assertEqual(len(mails), 1)
        self.assertEqual(field_values(read_mail(mails[0]), "ort"), ["K\u00f6ln"])

        # A request that is no post, and one with no required field filled.
        answer = post(self.server.port, None, method="GET")
        self.assert_answer(answer, 405)
        self.assertEqual(answer.headers.get("Allow"), "POST")
        self.assert_answer(post(self.server.port, form_body(survey_fields(vorname=" "))), 422)
        self.assertEqual(len(self.new_mails(before)), 1)

    def test_relay_attempts_are_refused_and_store_nothing(self):
        before = stored_mails(self.workspace.maildir)
        other = [("vorname", "Eve"), ("B1", "Abschicken")]
        for recipients in (["victim@elsewhere.example"], [RECIPIENT, "victim@elsewhere.example"],
                           ["victim%elsewhere.example@example.org"], []):
            with self.subTest(recipients=recipients):
                body = form_body(other + [("submit_to", r) for r in recipients])
                self.assert_answer(post(self.server.port, body), 403)
        self.assertEqual(self.new_mails(before), [])

    def test_oversized_posts_get_413(self):
        before = stored_mails(self.workspace.maildir)
        # One byte over the limit the snippet gives the web server: refused there, before the
        # program runs. Then a post the web server lets through and the program refuses for
        # its field count. Every answer of the program says "Cache-Control: no-store".
        base = form_body(survey_fields(vorname="x"))
        over_server = base + b"&pad=" + b"a" * (1048576 - len(base) - 4)
        self.assertEqual(len(over_server), 1048577)
        too_many = base + b"".join(b"&f%d=1" % n for n in range(1000))
        for name, body, from_program in (
                ("over the web server's limit", over_server, not self.limit_in_front),
                ("over max_fields", too_many, True)):
            with self.subTest(name):
                answer = post(self.server.port, body)
                self.assert_answer(answer, 413)
                if from_program:
                    self.assertEqual(answer.headers.get("Cache-Control"), "no-store")
                else:
                    self.assertNotIn("Cache-Control", answer.headers)
        self.assertEqual(self.new_mails(before), [])

    def test_rate_limit_holds_across_concurrent_workers(self):
        limit, posts = 4, 10
        self.configure(rate_per_minute=str(limit), rate_state=self.workspace.fresh_rate_state())
        try:
            before = stored_mails(self.workspace.maildir)
            bodies = [form_body(survey_fields(vorname="Nr. %d" % n)) for n in range(posts)]
            answers = post_concurrently(self.server.port, bodies, workers=posts)
        finally:
            self.configure()
        statuses = sorted(a.status for a in answers)
        self.assertEqual(statuses, [200] * limit + [429] * (posts - limit), self.server.logs())
        self.assertTrue(all(a.headers.get("Retry-After") == "60"
                            for a in answers if a.status == 429))
        self.assertEqual(len(self.new_mails(before)), limit)


OPTION = "Optionsfeld (nur je eins von allen kann ausgew\u00e4hlt werden)"


def generate_page(workspace, port):
    """formular.htm as `vantrel-cli page` writes it, posting to the server on `port`."""
    project = workspace.path("umfrage.json")
    fields = [
        field("vorname", "Textfeld", "Vorname", optional="Nein"),
        field("ort", "Textfeld", "Wohnort", "K\u00f6ln"),
        field("bemerkung", "Mehrzeiliges Textfeld", "Bemerkung"),
        field("groesse", OPTION, "Gr\u00f6\u00dfe S", "S"),
        field("groesse", OPTION, "Gr\u00f6\u00dfe XL", "XL"),
        field("agb", "Ankreuzfeld", "AGB gelesen", "ja", optional="Nein"),
        field("news", "Ankreuzfeld", "Newsletter", "t\u00e4glich"),
    ]
    with open(project, "w", encoding="utf-8") as out:
        json.dump({"fields": fields, "email": RECIPIENT}, out, ensure_ascii=False)
    page = workspace.path("formular.htm")
    action = "http://127.0.0.1:%d%s" % (port, CGI_PATH)
    subprocess.run([os.path.join(bin_dir(), "vantrel-cli"), "page", project, "-o", page,
                    "--action", action], check=True, timeout=60,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    return page


def field(name, kind, caption, content="", optional="Ja"):
    return {"name": name, "type": kind, "caption": caption, "content": content, "width": "30",
            "height": "4", "maxChars": "0", "optional": optional, "preselected": "Nein"}


def run_tests(case):
    """unittest's main for one test class, its exit status for ctest."""
    result = unittest.TextTestRunner(verbosity=2).run(
        unittest.defaultTestLoader.loadTestsFromTestCase(case))
    raise SystemExit(0 if result.wasSuccessful() else 1)
