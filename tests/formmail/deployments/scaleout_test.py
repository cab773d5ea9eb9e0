#!/usr/bin/env python3
"""Scale-out as the README describes it: nginx (with fcgiwrap) and Apache, each configured by
its README snippet, run the CGI program with one configuration and deliver into one Maildir,
both under wrk load at the same time. Every success answer must be exactly one stored mail:
a name two deliveries shared would overwrite one of them."""

import os
import re
import subprocess
import time
import unittest

import deploy

SECONDS = 3
CONNECTIONS = 4  # per server


class ScaleOut(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.workspace = deploy.Workspace(deploy.ServiceUser())
        cls.addClassCleanup(cls.workspace.remove)
        cls.servers = [deploy.Nginx(cls.workspace), deploy.Apache(cls.workspace)]
        cls.workspace.hand_over()
        for server in cls.servers:
            cls.addClassCleanup(server.stop)
            server.start()

    def logs(self):
        return "".join(server.logs() for server in self.servers)

    def load(self, server):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "numbered_posts.lua")
        return subprocess.Popen(
            ["wrk", "-t2", "-c%d" % CONNECTIONS, "-d%ds" % SECONDS, "--timeout", "10s",
             "-s", script, "http://127.0.0.1:%d/" % server.port, "--", server.name],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def test_two_web_servers_share_one_maildir_under_load(self):
        runs = [self.load(server) for server in self.servers]
        successes = {}
        for server, run in zip(self.servers, runs):
            output = run.communicate(timeout=SECONDS + 30)[0].decode("utf-8", "replace")
            self.assertEqual(run.returncode, 0, output)
            counts = dict(re.findall(r"^(success|other) answers: (\d+)$", output, re.MULTILINE))
            self.assertEqual(counts.get("other"), "0", output + self.logs())
            successes[server.name] = int(counts["success"])
            # The load must have reached the server, not only been refused at its door.
            self.assertGreaterEqual(successes[server.name], 10, output)

        # Posts still in flight when wrk stopped reading (at most one per connection) may be
        # stored without their answer counted: wait until the Maildir is still.
        maildir = self.workspace.maildir
        settled = Settled(maildir)
        deploy.wait_until(settled, "the Maildir to settle")
        self.assertEqual(os.listdir(os.path.join(maildir, "tmp")), [])

        numbers, message_ids = [], []
        for path in deploy.stored_mails(maildir):
            message = deploy.read_mail(path)
            self.assertEqual(deploy.field_values(message, "vorname"), ["J\u00fcrgen Gro\u00df"])
            numbers += deploy.field_values(message, "nr")
            message_ids.append(message["Message-ID"])
        self.assertEqual(len(set(message_ids)), len(message_ids), "a Message-ID came twice")
        self.assertEqual(len(set(numbers)), len(numbers), "a post was stored twice")
        for server in self.servers:
            stored = sum(1 for n in numbers if n.startswith(server.name + "-"))
            with self.subTest(server=server.name):
                # None lost (a colliding name would lose one), none made up.
                self.assertGreaterEqual(stored, successes[server.name], self.logs())
                self.assertLessEqual(stored, successes[server.name] + CONNECTIONS)
        print("success answers %s, stored %d" % (successes, len(numbers)))
        deploy.assert_no_sanitizer_report(self, "".join(s.logs(tail=None) for s in self.servers))


class Settled:
    """True once the count of stored mails has not changed for half a second."""

    def __init__(self, maildir):
        self.maildir = maildir
        self.count = -1
        self.since = 0.0

    def __call__(self):
        count = len(deploy.stored_mails(self.maildir))
        now = time.monotonic()
        if count != self.count:
            self.count, self.since = count, now
        return now - self.since >= 0.5


if __name__ == "__main__":
    deploy.require_programs("nginx", "fcgiwrap", "apache2", "wrk")
    deploy.run_tests(ScaleOut)
