#!/usr/bin/env python3
"""sendmailform.cgi behind Apache with mod_cgid, configured by the README's virtual host: the
tool's page posted by the browser engine, answers, relay attempts, oversized posts and the
rate limit over two Apache workers."""

import unittest

import deploy


class ApacheDeployment(deploy.WebServerChecks, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.workspace = deploy.Workspace(deploy.ServiceUser())
        cls.addClassCleanup(cls.workspace.remove)
        cls.server = deploy.Apache(cls.workspace)
        cls.workspace.hand_over()
        cls.addClassCleanup(cls.server.stop)
        cls.server.start()


if __name__ == "__main__":
    deploy.require_programs("apache2")
    deploy.run_tests(ApacheDeployment)
