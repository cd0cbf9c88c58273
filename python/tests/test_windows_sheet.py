"""The Windows build's hardware-test sheet and its serial ports page under
Wine, opened from the frame and worked by their ids from window_driver.exe
(see window_tests)."""

import glob
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

import window_tests  # noqa: E402
from window_tests import FRAME_TITLE  # noqa: E402
from wine_prefix import PORT  # noqa: E402

SHEET_TITLE = "Hardware Testbaying"
COMMAND_HARDWARE_TEST = 32786
LAMP, TABS, PORT_ID, TYPE, BAUDRATE = 1414, 1829, 1554, 1830, 1196
TEST, EXTENDED_TESTS, PROTECTION, CHANNEL = 1402, 1403, 1242, 1660
BAUDRATES = ["9600", "19200", "38400", "57600", "115200", "230400"]
SOCKET_LABELS = {-1: "Front", 1: "Port B", 2: "Port C", 3: "Port D", 4: "Port E"}
TYPE_NAMES = ["RS232", "ID1", "RS485", "ID3", "LWL", "FO5", "FO6", "FO7/8"]
LAMP_PERIOD_S = 2.0


class HardwareTestSheet(window_tests.WindowTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.windows_temp = cls.prefix.unix_path(cls.prefix.run("cmd.exe", "/c", "echo %TEMP%"))

    def setUp(self):
        self.write_config(f"[Testbay]\nComPort={PORT}\n[FirmwareUpdate]\nLogfile=1\n")

    def traces(self):
        """The trace of every program running in the prefix, by folder."""
        found = {}
        for path in glob.glob(os.path.join(self.windows_temp, "TESTBAY[0-3]", "LOG.TXT")):
            with open(path, newline="", encoding="latin-1") as log:
                found[path] = log.read()
        return found

    def listed_interfaces(self):
        """What the relay lists to a script: (tab label, type code) of each
        interface the page shows; protection-interface ports and codes past
        the type table stay off the page."""
        doc = self.json_rpc_document()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT))
        ok, count = doc.GetSerialPortCount()
        self.assertTrue(ok)
        listed = []
        for index in range(min(count, 8)):
            ok, code = doc.GetSerialPortID(index)
            if ok and 0 <= code < len(TYPE_NAMES) and code != 1:
                ok, socket, _ = doc.GetSerialPort(index)
                listed.append((SOCKET_LABELS.get(socket, "?") if ok else "?", code))
        self.assertTrue(doc.ExitHardwaretest())
        self.assertEqual(doc.close(), 0)
        return listed

    def sheets(self):
        return [line for line in self.driver("windows").split("\n") if line.endswith(SHEET_TITLE)]

    def open_sheet(self):
        before = len(self.sheets())
        self.driver("command", FRAME_TITLE, COMMAND_HARDWARE_TEST)
        # Entering the hardware test may first switch the relay over.
        deadline = time.monotonic() + 60
        while len(self.sheets()) == before:
            self.assertLess(time.monotonic(), deadline, "no further sheet opened")
            time.sleep(0.2)

    def wait_for_lamp(self, colour):
        """The lamp shows a result once the page's handler has run, which waits
        for the relay."""
        deadline = time.monotonic() + 30
        while self.driver("lamp", SHEET_TITLE, LAMP) != colour:
            self.assertLess(time.monotonic(), deadline, f"the lamp never turned {colour}")
            time.sleep(0.1)

    def enabled(self, control):
        return self.driver("enabled", SHEET_TITLE, control) == "1"

    def test_page_lists_the_relays_interfaces_and_runs_their_tests(self):
        self.relay()
        listed = self.listed_interfaces()
        self.assertLess(len(listed), 4, "the relay's protection interface must be among its ports")
        self.start_window()
        self.open_sheet()
        self.assertEqual(self.items(SHEET_TITLE, TABS), [label for label, _ in listed])
        self.assertEqual(self.driver("lamp", SHEET_TITLE, LAMP), "yellow")

        # Port 0 carries the link to the PC: no tests, no binding.
        self.assertEqual(self.driver("text", SHEET_TITLE, PORT_ID), f"{listed[0][1]:02X}")
        self.assertEqual(self.items(SHEET_TITLE, BAUDRATE), BAUDRATES)
        self.assertEqual(self.driver("text", SHEET_TITLE, BAUDRATE), "38400")
        for control in (TEST, EXTENDED_TESTS, PROTECTION, CHANNEL):
            self.assertFalse(self.enabled(control), control)

        # The RS485 port has a test plug: the simple test passes, and the lamp
        # rests again once its period is over.
        self.driver("select-tab", SHEET_TITLE, TABS, 1)
        self.assertEqual(self.driver("text", SHEET_TITLE, TYPE), TYPE_NAMES[listed[1][1]])
        self.assertTrue(self.enabled(TEST) and self.enabled(EXTENDED_TESTS) and self.enabled(PROTECTION))
        self.assertEqual(self.driver("text", SHEET_TITLE, TEST), "Simple &Test")
        pressed = time.monotonic()
        self.driver("press", SHEET_TITLE, TEST)
        self.wait_for_lamp("green")
        self.wait_for_lamp("yellow")
        self.assertGreaterEqual(time.monotonic() - pressed, LAMP_PERIOD_S - 0.1)

        self.driver("choose", SHEET_TITLE, BAUDRATE, BAUDRATES.index("115200"))
        self.wait_for_lamp("green")
        self.assertEqual(self.driver("text", SHEET_TITLE, BAUDRATE), "115200")

        # Bound as a protection interface, the port is tested as one.
        self.assertFalse(self.enabled(CHANNEL))
        self.driver("press", SHEET_TITLE, PROTECTION)
        self.assertEqual(self.driver("checked", SHEET_TITLE, PROTECTION), "1")
        self.assertTrue(self.enabled(CHANNEL))
        self.assertEqual(self.items(SHEET_TITLE, CHANNEL), ["0", "1"])
        self.driver("choose", SHEET_TITLE, CHANNEL, 1)
        self.assertEqual(self.driver("text", SHEET_TITLE, TEST), "&Test Protection Interface ...")
        self.assertEqual(self.driver("text", SHEET_TITLE, CHANNEL), "1")
        for control in (EXTENDED_TESTS, BAUDRATE, PROTECTION, CHANNEL):
            self.assertFalse(self.enabled(control), control)
        self.assertTrue(self.enabled(TEST))

        # The next port may take only the channel left; without a test plug
        # its simple test fails.
        self.driver("select-tab", SHEET_TITLE, TABS, 2)
        self.assertEqual(self.items(SHEET_TITLE, CHANNEL), ["0"])
        self.assertEqual(self.driver("text", SHEET_TITLE, TEST), "Simple &Test")
        self.assertTrue(self.enabled(BAUDRATE))
        self.driver("press", SHEET_TITLE, TEST)
        self.wait_for_lamp("red")

    def test_two_sheets_share_the_connection_and_the_last_one_returns_the_relay_to_its_application(self):
        # Wine does not mark a pseudo-terminal's parity (see test_windows).
        self.relay("--state", "app", "--app-parity", "none")
        self.start_window()
        self.open_sheet()
        self.open_sheet()
        (frame_log,) = self.traces()

        self.driver("close", SHEET_TITLE)
        deadline = time.monotonic() + 30
        while len(self.sheets()) != 1:
            self.assertLess(time.monotonic(), deadline, "the sheet did not close")
            time.sleep(0.2)
        self.assertNotIn("CHwtV4Client::Reset", self.traces()[frame_log])
        # The other sheet still talks to the relay.
        self.driver("select-tab", SHEET_TITLE, TABS, 1)
        self.driver("press", SHEET_TITLE, TEST)
        self.wait_for_lamp("green")

        self.driver("close", SHEET_TITLE)
        self.driver("gone", SHEET_TITLE)
        self.assertEqual(self.traces()[frame_log].count("CHwtV4Client::Reset"), 1)

        # The port is free again, and a script finds the application running.
        doc = self.json_rpc_document()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT))
        (script_log,) = set(self.traces()) - {frame_log}
        self.assertIn("Application active", self.traces()[script_log])


if __name__ == "__main__":
    unittest.main()
