#!/usr/bin/env python3
"""Delivery through SMTP as the README describes it: the receiver hands its mails to a real
Postfix, started for the test as a relay on a port of 127.0.0.1 with a private configuration
and queue, which delivers into a Maildir. While Postfix is down the spool keeps the mail, and
the command of the README's systemd service sends it once Postfix is back; the README's timer
and service pass `systemd-analyze verify`.

Postfix's master runs only as root: run as anyone else, the test is skipped."""

import os
import pwd
import re
import shlex
import shutil
import signal
import subprocess
import unittest

import deploy

# Postfix delivers every mail to this address into <mail>/Maildir/ as the service user.
POSTFIX_MAIN = """compatibility_level = 3.6
queue_directory = {root}/queue
data_directory = {root}/data
mail_owner = postfix
setgid_group = postdrop
inet_interfaces = loopback-only
inet_protocols = ipv4
myhostname = relay.formmail-test.invalid
mydestination =
local_recipient_maps =
alias_maps =
alias_database =
mynetworks = 127.0.0.0/8
smtpd_relay_restrictions = permit_mynetworks, reject_unauth_destination
virtual_mailbox_domains = example.org
virtual_mailbox_base = {root}/mail
virtual_mailbox_maps = inline:{{ {recipient}=Maildir/ }}
virtual_uid_maps = static:{uid}
virtual_gid_maps = static:{gid}
virtual_minimum_uid = 1
maillog_file_prefixes = {root}
maillog_file = {root}/maillog
"""

# Only the services a relay into a Maildir needs, none in a chroot (the queue is private).
POSTFIX_MASTER = """127.0.0.1:{port} inet n - n - - smtpd
pickup unix n - n 60 1 pickup
cleanup unix n - n - 0 cleanup
qmgr unix n - n 300 1 qmgr
rewrite unix - - n - - trivial-rewrite
bounce unix - - n - 0 bounce
defer unix - - n - 0 bounce
trace unix - - n - 0 bounce
verify unix - - n - 1 verify
flush unix n - n 1000? 0 flush
proxymap unix - - n - - proxymap
smtp unix - - n - - smtp
relay unix - - n - - smtp
error unix - - n - - error
retry unix - - n - - error
discard unix - - n - - discard
virtual unix - n n - - virtual
anvil unix - - n - 1 anvil
scache unix - - n - 1 scache
postlog unix-dgram n - n - 1 postlogd
"""


class Postfix:
    """A Postfix instance of its own: configuration, queue, log and Maildir in `root`."""

    def __init__(self, root, user):
        self.root = root
        self.port = deploy.free_port()
        self.conf = os.path.join(root, "conf")
        self.maildir = os.path.join(root, "mail", "Maildir")
        for folder in ("conf", "queue", "data", "mail"):
            os.makedirs(os.path.join(root, folder))
        os.chown(os.path.join(root, "data"), *postfix_owner())
        os.chown(os.path.join(root, "mail"), user.uid, user.gid)
        with open(os.path.join(self.conf, "main.cf"), "w", encoding="utf-8") as out:
            out.write(POSTFIX_MAIN.format(root=root, recipient=deploy.RECIPIENT, uid=user.uid,
                                          gid=user.gid))
        with open(os.path.join(self.conf, "master.cf"), "w", encoding="utf-8") as out:
            out.write(POSTFIX_MASTER.format(port=self.port))

    def command(self, action):
        run = subprocess.run([deploy.sbin("postfix"), "-c", self.conf, action],
                             capture_output=True, timeout=60, check=False)
        if run.returncode != 0:
            raise AssertionError("postfix %s failed:\n%s" % (action, self.logs()))

    def start(self):
        self.command("start")
        deploy.wait_until(lambda: deploy.accepts_connections(self.port),
                          "Postfix on port %d" % self.port)

    def master_pid(self):
        try:
            with open(os.path.join(self.root, "queue", "pid", "master.pid"),
                      encoding="ascii") as pid:
                return int(pid.read().strip())
        except (OSError, ValueError):
            return None

    def stop(self):
        """Stops the master and waits until every Postfix process of this instance is gone;
        nothing listens on the port after."""
        master = self.master_pid()
        if master is None or not deploy.group_members(master):
            return
        try:
            self.command("stop")
            deploy.wait_until(lambda: not deploy.group_members(master), "Postfix to stop")
        finally:
            deploy.signal_group(master, signal.SIGKILL)

    def logs(self):
        return deploy.read_logs(self.root, ("maillog",))

    def delivered(self):
        return deploy.stored_mails(self.maildir)


def postfix_owner():
    entry = pwd.getpwnam("postfix")
    return entry.pw_uid, entry.pw_gid


def flush_units(binary, config):
    """The README's service and timer, split at their "# /etc/systemd/system/NAME" lines,
    with the program's and the configuration's paths substituted."""
    snippet = deploy.substitute(deploy.readme_snippet("systemd-flush"), {
        "/usr/local/bin/vantrel-formmail": binary,
        "/etc/vantrel-formmail.conf": config,
    })
    units = {}
    for part in re.split(r"^# /etc/systemd/system/", snippet, flags=re.MULTILINE)[1:]:
        name, text = part.split("\n", 1)
        units[name.strip()] = text
    return units


def exec_start(service_text):
    return shlex.split(re.search(r"^ExecStart=(.*)$", service_text, re.MULTILINE).group(1))


class PostfixDelivery(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.user = deploy.ServiceUser()
        cls.workspace = deploy.Workspace(cls.user)
        cls.addClassCleanup(cls.workspace.remove)
        cls.spool = cls.workspace.path("spool")
        cls.workspace.hand_over()
        # Postfix wants its queue owned by root: made after the hand-over.
        cls.postfix = Postfix(cls.workspace.path("postfix"), cls.user)
        cls.workspace.write_config(smtp="smtp://127.0.0.1:%d" % cls.postfix.port,
                                   starttls="no", spool=cls.spool)
        cls.addClassCleanup(cls.postfix.stop)
        cls.postfix.start()
        cls.binary = os.path.join(cls.workspace.path("bin"), "vantrel-formmail")
        shutil.copy2(os.path.join(deploy.bin_dir(), "vantrel-formmail"), cls.binary)
        cls.units = flush_units(cls.binary, cls.workspace.config)

    def post(self, fields):
        """One post straight to the CGI program, run as the service user; its status."""
        body = deploy.form_body(fields)
        env = dict(deploy.sanitizer_environment(), PATH="/usr/bin:/bin",
                   REQUEST_METHOD="POST", CONTENT_TYPE="application/x-www-form-urlencoded",
                   CONTENT_LENGTH=str(len(body)), REMOTE_ADDR="127.0.0.1",
                   VANTREL_FORMMAIL_CONFIG=self.workspace.config)
        run = subprocess.run(self.user.command([self.workspace.cgi]), input=body, env=env,
                             capture_output=True, timeout=60, check=False)
        deploy.assert_no_sanitizer_report(self, run.stderr.decode("utf-8", "replace"))
        status = re.match(rb"Status: (\d+)", run.stdout)
        self.assertIsNotNone(status, run.stdout[:300] + run.stderr[-2000:])
        return int(status.group(1)), run.stdout.decode("utf-8", "replace")

    def flush(self):
        """The README service's command, as the service user."""
        service = self.units["vantrel-formmail-flush.service"]
        env = dict(deploy.sanitizer_environment(), PATH="/usr/bin:/bin")
        run = subprocess.run(self.user.command(exec_start(service)), env=env,
                             capture_output=True, timeout=60, check=False)
        deploy.assert_no_sanitizer_report(self, run.stderr.decode("utf-8", "replace"))
        return run

    def wait_for_delivery(self, before):
        deploy.wait_until(lambda: len(self.postfix.delivered()) > len(before),
                          "Postfix to deliver\n" + self.postfix.logs())
        return deploy.new_mails(self.postfix.maildir, before)

    def test_umlauts_long_lines_and_many_fields_arrive_intact(self):
        long_words = "Gr\u00fc\u00dfe aus K\u00f6ln, " * 200
        unbroken = "\u00e4\u00f6\u00fc\u00df\u20ac" * 400
        many = [("frage%03d" % n, "Antwort %d: \u00e4\u00f6\u00fc" % n) for n in range(300)]
        names = ["vorname", "lang", "am_stueck"] + [name for name, _ in many]
        fields = [("vorname", "J\u00fcrgen Gro\u00df"), ("lang", long_words),
                  ("am_stueck", unbroken)] + many + [
            ("B1", "Abschicken"), ("required", "vorname"), ("data_order", ",".join(names)),
            ("submit_to", deploy.RECIPIENT), ("form_id", "Gro\u00dfe Umfrage")]
        before = self.postfix.delivered()
        status, page = self.post(fields)
        self.assertEqual(status, 200, page + self.postfix.logs())
        mails = self.wait_for_delivery(before)
        self.assertEqual(len(mails), 1)
        message = deploy.read_mail(mails[0])
        self.assertEqual(message["To"], deploy.RECIPIENT)
        self.assertEqual(message["From"], deploy.SENDER)
        self.assertEqual(str(message["Subject"]), "Formular: Gro\u00dfe Umfrage")
        self.assertEqual(message["Return-Path"], "<%s>" % deploy.SENDER)
        self.assertEqual(message["Delivered-To"], deploy.RECIPIENT)
        self.assertIn("relay.formmail-test.invalid", str(message["Received"]))
        with open(mails[0], "rb") as raw:
            self.assertTrue(all(len(line) <= 1000 for line in raw.read().split(b"\n")))
        self.assertEqual(deploy.field_values(message, "vorname"), ["J\u00fcrgen Gro\u00df"])
        self.assertEqual(deploy.field_values(message, "lang"), [long_words])
        self.assertEqual(deploy.field_values(message, "am_stueck"), [unbroken])
        for name, value in many:
            self.assertEqual(deploy.field_values(message, name), [value])

    def test_spool_keeps_the_mail_while_postfix_is_down_and_the_timer_sends_it(self):
        spooled = os.path.join(self.spool, "new")
        before = self.postfix.delivered()
        self.postfix.stop()
        try:
            status, page = self.post(deploy.survey_fields(vorname="Sp\u00e4ter", ort="Bonn"))
            self.assertEqual(status, 503, page)
            self.assertEqual(len(os.listdir(spooled)), 1)
            # With Postfix still away the flush keeps the mail and says so.
            run = self.flush()
            self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
            self.assertEqual(len(os.listdir(spooled)), 1)
        finally:
            self.postfix.start()
        run = self.flush()
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertEqual(os.listdir(spooled), [])
        mails = self.wait_for_delivery(before)
        self.assertEqual(len(mails), 1)
        self.assertEqual(deploy.field_values(deploy.read_mail(mails[0]), "vorname"),
                         ["Sp\u00e4ter"])
        # Sent once: a second run finds nothing left to send.
        self.assertEqual(self.flush().returncode, 0)
        self.assertEqual(len(self.postfix.delivered()), len(before) + 1)

    def test_readme_units_pass_systemd_analyze_verify(self):
        folder = self.workspace.path("units")
        os.makedirs(folder, exist_ok=True)
        self.assertEqual(sorted(self.units), ["vantrel-formmail-flush.service",
                                              "vantrel-formmail-flush.timer"])
        broken = dict(self.units)
        broken["vantrel-formmail-flush.timer"] = broken["vantrel-formmail-flush.timer"].replace(
            "OnCalendar=", "OnCalender=")
        for name, units, expected in (("as written", self.units, 0),
                                      ("with a misspelt key", broken, 1)):
            with self.subTest(name):
                paths = []
                for unit, text in units.items():
                    paths.append(os.path.join(folder, unit))
                    with open(paths[-1], "w", encoding="utf-8") as out:
                        out.write(text)
                run = subprocess.run(["systemd-analyze", "verify", "--man=no"] + sorted(paths),
                                     capture_output=True, timeout=60, check=False)
                output = (run.stdout + run.stderr).decode("utf-8", "replace")
                self.assertEqual(run.returncode != 0, expected != 0, output)


if __name__ == "__main__":
    deploy.require_programs("postfix", "systemd-analyze")
    if os.geteuid() != 0:
        print("Postfix runs only as root")
        raise SystemExit(deploy.SKIPPED)
    deploy.run_tests(PostfixDelivery)
