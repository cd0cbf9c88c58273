"""The demo's report (examples/test_stand.py): a step passes only when all it
checked passed, and the run ends with commands that work.

Its steps run against documents that fail on purpose; the whole demo runs
against the build's programs ($TESTBAY_SERVER, $TESTBAY_RELAY).
"""

import contextlib
import io
import os
import subprocess
import sys
import unittest

TREE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DEMO = os.path.join(TREE, "examples", "test_stand.py")

sys.path.insert(0, os.path.dirname(DEMO))
import test_stand  # noqa: E402


class RelayPorts:
    """The virtual relay's four serial ports (front link, RS485, fibre optic,
    protection interface); the ports in `failing` fail their loop test."""

    IDS = [0x00, 0x02, 0x04, 0x0C]

    def __init__(self, failing=(), counted=True):
        self.failing = set(failing)
        self.counted = counted
        self.tested = []

    def GetSerialPortCount(self):
        return self.counted, len(self.IDS) if self.counted else 0

    def GetSerialPortID(self, port):
        return True, self.IDS[port]

    def TestSerialPortEx(self, port):
        self.tested.append(port)
        return True, port not in self.failing


class FrontPanel:
    """Three LEDs, two output relays and two binary inputs; `clears` is what
    SetLeds(0) does, `sticking` a relay that does not drop out."""

    def __init__(self, clears=True, sticking=None):
        self.leds, self.relays = {}, {}
        self.clears = clears
        self.sticking = sticking

    def GetLedCount(self):
        return True, 3

    def SetLed(self, led, on):
        self.leds[led] = on
        return True

    def GetLed(self, led):
        return True, self.leds.get(led, False)

    def SetLeds(self, mask):
        if self.clears:
            self.leds = {led: bool(mask & 1 << (led - 1)) for led in self.leds}
        return self.clears

    def GetRelayCount(self):
        return True, 2

    def SetRelay(self, relay, on):
        self.relays[relay] = on or relay == self.sticking
        return True

    def GetRelay(self, relay):
        return True, self.relays.get(relay, False)

    def GetBinaryInputCount(self):
        return True, 2

    def GetBinaryInput(self, number):
        return True, False


def steps(check, doc):
    report = test_stand.Report()
    with contextlib.redirect_stdout(io.StringIO()):
        check(doc, report)
    return {name: (passed, detail) for name, passed, detail in report.rows}


class StepsPassOnlyWhenAllTheyCheckedPassed(unittest.TestCase):
    def test_serial_ports_loop_tests_the_plugged_port_and_names_the_others(self):
        doc = RelayPorts()
        passed, detail = steps(test_stand.serial_ports, doc)["relay serial ports"]
        self.assertTrue(passed)
        self.assertEqual(doc.tested, [1])
        self.assertEqual(
            detail,
            "port 1 passed; not tested: 0 (carries this PC's link), 2 (no test plug), 3 (protection interface)",
        )

    def test_a_failing_port_or_no_port_count_fails_the_step(self):
        passed, detail = steps(test_stand.serial_ports, RelayPorts(failing={1}))["relay serial ports"]
        self.assertFalse(passed)
        self.assertIn("port 1 FAILED", detail)
        self.assertFalse(steps(test_stand.serial_ports, RelayPorts(counted=False))["relay serial ports"][0])

    def test_leds_that_do_not_go_out_or_a_relay_that_sticks_fail_their_step(self):
        outputs = steps(test_stand.walk_outputs, FrontPanel())
        self.assertTrue(all(passed for passed, _ in outputs.values()), outputs)
        self.assertEqual(outputs["LEDs light and go out"][1], "3 LEDs")
        self.assertFalse(steps(test_stand.walk_outputs, FrontPanel(clears=False))["LEDs light and go out"][0])
        stuck = steps(test_stand.walk_outputs, FrontPanel(sticking=2))
        self.assertFalse(stuck["output relays pick up and drop out"][0])


class TheDemoAgainstTheVirtualRelay(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.environ.get("TESTBAY_SERVER") or not os.environ.get("TESTBAY_RELAY"):
            raise unittest.SkipTest("TESTBAY_SERVER and TESTBAY_RELAY name no build")
        run = subprocess.run(
            [sys.executable, DEMO], cwd=TREE, capture_output=True, text=True, timeout=120, check=False
        )
        cls.returncode, cls.lines = run.returncode, run.stdout.splitlines()
        cls.stderr = run.stderr

    def row(self, name):
        found = [line for line in self.lines if line[8:].startswith(name)]
        self.assertEqual(len(found), 1, self.lines)
        return found[0]

    def test_every_step_passes_and_its_values_carry_units(self):
        self.assertEqual(self.returncode, 0, "\n".join(self.lines) + self.stderr)
        report = [line for line in self.lines if line.startswith("  PASS") or line.startswith("  FAIL")]
        self.assertGreater(len(report), 15)
        self.assertEqual([line for line in report if not line.startswith("  PASS")], [])
        self.assertRegex(self.row("EnterHardwaretest from the application"), r"\d+\.\d s$")
        self.assertRegex(self.row("power supplies within limits"), r"\+5V 5012 mV, -5V -4991 mV")
        self.assertRegex(self.row("analog channel values"), r"1\.000 A, 1\.001 A, 0\.999 A, 0\.012 A$")
        self.assertRegex(self.row("relay serial ports"), r"port 1 passed; not tested: 0 \(carries this PC's link\)")

    def test_the_last_lines_name_commands_that_work_from_here(self):
        start = self.lines.index("Try next:")
        tries = [line.split("   ")[0].strip() for line in self.lines[start + 1 :]]
        self.assertEqual(len(tries), 3, self.lines)
        call, stand, window = tries
        self.assertRegex(call, r"testbay\.call --relay GetLedCount$|^testbay-call --relay GetLedCount$")
        self.assertEqual(stand, "pytest examples/stand")
        self.assertEqual(window, os.path.relpath(os.environ["TESTBAY_SERVER"], TREE))
        called = subprocess.run(call, shell=True, cwd=TREE, capture_output=True, text=True, timeout=60, check=False)
        self.assertEqual((called.returncode, called.stdout.split()), (0, ["true", "16"]), called.stderr)


if __name__ == "__main__":
    unittest.main()
