#!/usr/bin/env python3
"""vantrel-formmail, the standalone server, started by the README's command line: the tool's
page posted by the browser engine, answers, relay attempts, oversized posts and the rate limit
over its worker threads."""

import unittest

import deploy


class StandaloneDeployment(deploy.WebServerChecks, unittest.TestCase):
    # No server in front: the program itself refuses an oversized post.
    limit_in_front = False

    @classmethod
    def setUpClass(cls):
        cls.workspace = deploy.Workspace(deploy.ServiceUser())
        cls.addClassCleanup(cls.workspace.remove)
        cls.server = deploy.Standalone(cls.workspace)
        cls.workspace.hand_over()
        cls.addClassCleanup(cls.server.stop)
        cls.server.start()


if __name__ == "__main__":
    deploy.run_tests(StandaloneDeployment)
