#!/usr/bin/env python3
"""sendmailform.cgi behind nginx and fcgiwrap, configured by the README's server block: the
tool's page posted by the browser engine, answers, relay attempts, oversized posts and the
rate limit over two fcgiwrap workers."""

import unittest

import deploy


class NginxDeployment(deploy.WebServerChecks, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.workspace = deploy.Workspace(deploy.ServiceUser())
        cls.addClassCleanup(cls.workspace.remove)
        cls.server = deploy.Nginx(cls.workspace)
        cls.workspace.hand_over()
        cls.addClassCleanup(cls.server.stop)
        cls.server.start()


if __name__ == "__main__":
    deploy.require_programs("nginx", "fcgiwrap")
    deploy.run_tests(NginxDeployment)
