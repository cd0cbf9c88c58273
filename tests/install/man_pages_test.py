"""The manual pages name every switch and environment variable the programs' --help names."""

import os
import re
import subprocess
import sys
import unittest

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
OPTION = re.compile(r"(?<![\w/-])(--?[A-Za-z][\w-]*)")
VARIABLE = re.compile(r"\b([A-Z][A-Z_]{3,})\b")
SECTIONS = ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "ENVIRONMENT", "EXIT STATUS")


def manual(name):
    with open(os.path.join(SOURCE, "docs", "man", f"{name}.1"), encoding="utf-8") as page:
        return page.read().replace("\\-", "-")


def help_text(command):
    env = dict(os.environ, PYTHONPATH=os.path.join(SOURCE, "python"))
    done = subprocess.run([*command, "--help"], capture_output=True, text=True, env=env, timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stdout


class ManualPages(unittest.TestCase):
    def check(self, name, command, variables=False):
        page, text = manual(name), help_text(command)
        for section in SECTIONS:
            self.assertIn(f".SH {section}\n", page, f"{name}(1) has no {section}")
        names = set(OPTION.findall(text)) | (set(VARIABLE.findall(text)) if variables else set())
        self.assertTrue(names)
        self.assertEqual(sorted(n for n in names if n not in page), [], f"missing in {name}(1)")

    def test_testbay(self):
        self.check("testbay", [os.environ.get("TESTBAY_SERVER", "testbay")], variables=True)

    def test_testbay_relay(self):
        self.check("testbay-relay", [os.environ.get("TESTBAY_RELAY", "testbay-relay")])

    def test_testbay_call(self):
        self.check("testbay-call", [sys.executable, "-m", "testbay.call"])


if __name__ == "__main__":
    unittest.main()
