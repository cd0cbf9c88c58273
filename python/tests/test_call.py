"""testbay-call as a technician runs it: a process with its output and exit status."""

import json
import os
import subprocess
import sys
import unittest

PYTHON_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, PYTHON_DIR)

from testbay.relay import VirtualRelay, Workspace  # noqa: E402


def testbay_call(*args, env=None):
    env = dict(env or os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [PYTHON_DIR, env.get("PYTHONPATH")]))
    return subprocess.run(
        [sys.executable, "-m", "testbay.call", *args], capture_output=True, text=True, env=env, timeout=120
    )


class ExitStatusAndOutput(unittest.TestCase):
    def assertCall(self, args, status, stdout):
        done = testbay_call(*args)
        self.assertEqual((done.returncode, done.stdout), (status, stdout), done.stderr)

    def test_return_value_and_references_one_per_line(self):
        self.assertCall(["--relay", "GetLedCount"], 0, "true\n16\n")
        self.assertCall(["--relay", "--relay-options=--leds 4 --cpu PBX7", "GetLedCount"], 0, "true\n4\n")
        self.assertCall(["--relay", "--relay-options=--cpu PBX7", "getcpu"], 0, "PBX7\n")
        # Control characters of memory contents come out escaped.
        self.assertCall(["--relay", "ReadMemory", "0", "0x1000", "2", "a\\b"], 0, "true\n\\x00\\x00b\n")
        # A string shorter than the length takes what fits; a left-out one has room for the length.
        self.assertCall(["--relay", "ReadMemory", "0", "0x1000", "4", "ab"], 0, "true\n\\x00\\x00\n")
        self.assertCall(["--relay", "ReadMemory", "0", "0x4000", "16"], 0, "true\n" + "\\x00" * 16 + "\n")

    def test_false_and_the_null_string_exit_1(self):
        self.assertCall(["--relay", "GetLed", "99"], 1, "false\nfalse\n")
        self.assertCall(["--relay", "GetChannelName", "999"], 1, "\n")

    def test_json_carries_the_same_values(self):
        done = testbay_call("--relay", "--json", "GetLed", "3")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(json.loads(done.stdout), {"return": True, "out": [False]})
        done = testbay_call("--relay", "--json", "GetMlfbString")
        self.assertIsInstance(json.loads(done.stdout)["return"], str)

    def test_list_prints_the_method_table(self):
        done = testbay_call("--list")
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual(len(lines), 143)
        self.assertEqual(lines[0], "EnterHardwaretest(string) -> BOOL")
        self.assertIn("GetLedCount(long*) -> BOOL", lines)
        table = json.loads(testbay_call("--list", "--json").stdout)
        self.assertEqual([entry["name"] for entry in table][:2], ["EnterHardwaretest", "ExitHardwaretest"])


class Errors(unittest.TestCase):
    def assertFails(self, args, message, env=None):
        done = testbay_call(*args, env=env)
        self.assertEqual(done.returncode, 2, done.stdout)
        self.assertEqual(done.stdout, "")
        self.assertIn(message, done.stderr)

    def test_usage_and_automation_errors_exit_2_with_their_message(self):
        cases = [
            (["--relay", "NoSuchMethod"], "unknown method NoSuchMethod"),
            (["--relay", "SetLed", "1"], "too few parameters for SetLed(long, BOOL)"),
            (["--relay", "SetLed", "1", "true", "2"], "too many parameters"),
            (["--relay", "SetLed", "one", "true"], "'one' is no long"),
            (["--relay", "SetLed", "1", "maybe"], "'maybe' is no BOOL"),
            (["--relay", "SetLevel", "\u20ac"], "above U+00FF"),
            (["GetCpu"], "give --port N or --relay"),
            (["--port", "1", "--relay-options=--cpu X", "GetCpu"], "--relay-options belongs to --relay"),
            (["--relay", "--relay-options=--state nowhere", "GetCpu"], "did not start"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assertFails(args, message)

    def test_a_port_whose_relay_is_gone(self):
        with Workspace(logfile=False) as workspace:
            with VirtualRelay() as relay:
                workspace.map_port(4, relay.device)
            self.assertFails(["--port", "4", "GetLedCount"], "COM4 did not enter the hardware test", workspace.env)


class GivenPort(unittest.TestCase):
    def test_the_relay_mapped_to_the_port_answers(self):
        with VirtualRelay(["--state", "app", "--cpu", "QRX3"]) as relay, Workspace(logfile=False) as workspace:
            workspace.map_port(5, relay.device)
            done = testbay_call("--port", "5", "GetCpu", env=workspace.env)
            self.assertEqual((done.returncode, done.stdout), (0, "QRX3\n"), done.stderr)


if __name__ == "__main__":
    unittest.main()
