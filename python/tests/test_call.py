"""testbay-call as a technician runs it: a process with its output and exit status."""

import json
import os
import subprocess
import sys
import tempfile
import time
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
        self.assertEqual(len(lines), 144)
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
            (["--relay", "NoSuchMethod"], 'Unknown name "NoSuchMethod" (--list shows the methods)'),
            (["--relay", "getledcont"], 'Unknown name "getledcont"; did you mean GetLedCount?'),
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


def kept_parts(path):
    """The parts of a kept trace, one per program start, each from its header on."""
    with open(path, encoding="latin-1") as trace:
        text = trace.read()
    return ["==== " + part for part in text.split("==== ")[1:] if not part.startswith("the trace")]


class KeptTrace(unittest.TestCase):
    def test_each_call_appends_its_telegrams_behind_a_header(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "stand.trace")
            with open(path, "w") as trace:
                trace.write("yesterday\n")
            for _ in range(2):
                done = testbay_call("--relay", "--trace", path, "GetLedCount")
                self.assertEqual((done.returncode, done.stdout), (0, "true\n16\n"), done.stderr)
            with open(path, encoding="latin-1") as trace:
                self.assertTrue(trace.read().startswith("yesterday\n"))
            parts = kept_parts(path)
            self.assertEqual(len(parts), 2)
            for part in parts:
                header, *lines = part.splitlines()
                self.assertRegex(header, r"^==== \d{4}-\d\d-\d\d \d\d:\d\d:\d\d testbay [\d.]+ port COM1 \(/dev/.+\) ====$")
                self.assertIn("CHwtV4Client::GetLedCount", lines)
                # The telegrams both ways, as hex dumps.
                self.assertTrue(any(line.startswith(">68 ") for line in lines), part)
                self.assertTrue(any(line.startswith("<") for line in lines), part)

    def test_a_link_in_place_of_the_file_is_not_written_through(self):
        with tempfile.TemporaryDirectory() as directory:
            target, link = os.path.join(directory, "target"), os.path.join(directory, "stand.trace")
            with open(target, "w") as kept:
                kept.write("kept\n")
            os.symlink(target, link)
            done = testbay_call("--relay", "--trace", link, "GetLedCount")
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn(f"the trace cannot be kept in {link}: it is a link", done.stderr)
            with open(target) as kept:
                self.assertEqual(kept.read(), "kept\n")


# What the trace of an entry says when it finds the relay in another firmware
# than the hardware test.
FOUND = {"Boot active": "boot", "Application active": "app"}


class LeavingTheHardwareTest(unittest.TestCase):
    """After testbay-call the relay runs the firmware it was found in."""

    def found_state(self, env, trace):
        # The relay may still be restarting: a few entries, a second apart.
        for _ in range(4):
            done = testbay_call("--port", "1", "--stay", "--trace", trace, "IsActiv", env=env)
            part = kept_parts(trace)[-1]
            found = [state for text, state in FOUND.items() if text in part]
            if found:
                return found[0]
            if done.returncode == 0:
                return "hwt"
            time.sleep(1)
        return None

    def state_after_call(self, state, *options):
        with tempfile.TemporaryDirectory() as directory:
            trace = os.path.join(directory, "probe.trace")
            with VirtualRelay(["--state", state]) as relay, Workspace(logfile=False) as workspace:
                workspace.map_port(1, relay.device)
                done = testbay_call("--port", "1", *options, "GetLedCount", env=workspace.env)
                self.assertEqual((done.returncode, done.stdout), (0, "true\n16\n"), done.stderr)
                return self.found_state(workspace.env, trace)

    def test_the_relay_is_back_in_the_state_it_was_found_in(self):
        for state in ("boot", "app", "hwt"):
            with self.subTest(state=state):
                self.assertEqual(self.state_after_call(state), state)

    def test_stay_keeps_the_relay_in_the_hardware_test(self):
        self.assertEqual(self.state_after_call("app", "--stay"), "hwt")


if __name__ == "__main__":
    unittest.main()
