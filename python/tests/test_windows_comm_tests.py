"""The Windows build's communication-test dialogs under Wine, opened the way
a technician opens them (frame, hardware-test sheet, serial ports page) and
worked by their ids from window_driver.exe (see window_tests)."""

import os
import re
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

import window_tests  # noqa: E402
from window_tests import FRAME_TITLE  # noqa: E402
from wine_prefix import PORT  # noqa: E402

COMMAND_HARDWARE_TEST = 32786
SHEET_TITLE = "Hardware Testbaying"
TABS, SIMPLE_TEST, EXTENDED_TESTS, PROTECTION, CHANNEL = 1829, 1402, 1403, 1242, 1660
# The relay's RS485 port has a test plug; its fibre-optic port has none, so
# a test that waits for reception fails there with the relay's code.
PLUGGED_TAB, UNPLUGGED_TAB = 1, 2

COMM_TITLE = "Enhanced Communication Tests"
CLOSE = 2
TEXT_CHOICE, FIXED_LENGTH, SEND_AND_WAIT, SEND_ONLY = 1761, 1763, 1764, 1765
LENGTH, TIMEOUT, TEXT, REPEAT, BREAK_ON_ERROR = 1767, 1768, 1770, 1771, 1243
HEX_CHOICE, HEX_TEXT = 1762, 1769
COMM_START, PASSED, FAILED, BAUD, INTERVAL = 1772, 1773, 1774, 1776, 1777
BAUD_LABEL, CHANNEL_LABEL, CHANNEL_BOX, ERROR_LIST = 1795, 1796, 1804, 1117

WS_CHANNEL = 0
WS_TITLE = f"WS-Test Channel:{WS_CHANNEL}"
HELP, SAVE, CLOCK_RECOVERY, PROGRESS = 3, 4, 1242, 1258
WS_FAILED, FAILURE_LIST, WS_BAUD, WS_TOTAL, WS_PASSED, TIME, WS_START = 1278, 1387, 1661, 1662, 1663, 1664, 1665
BEEP_ON_ERROR = 1243
SAVE_TITLE = "Save to file"
# The file-name box of the system's save-file dialog, and its OK.
SAVE_FILE_NAME, SAVE_OK = 1148, 1

DATE_TIME = re.compile(r"\d\d\.\d\d\.\d{4} \d\d:\d\d$")


class CommunicationTests(window_tests.WindowTestCase):
    def setUp(self):
        self.write_config(f"[Testbay]\nComPort={PORT}\n")

    def text(self, title, control):
        return self.driver("text", title, control)

    def wait_for(self, condition, what, seconds=60):
        deadline = time.monotonic() + seconds
        while not condition():
            self.assertLess(time.monotonic(), deadline, what)
            time.sleep(0.1)

    def wait_for_text(self, title, control, expected, seconds=60):
        self.wait_for(lambda: self.text(title, control) == expected, f"{control} never showed {expected!r}", seconds)

    def open_sheet_at(self, tab):
        self.driver("command", FRAME_TITLE, COMMAND_HARDWARE_TEST)
        # Entering the hardware test may take a baud-rate search.
        self.wait_for(lambda: SHEET_TITLE in self.driver("windows"), "no sheet opened")
        self.driver("select-tab", SHEET_TITLE, TABS, tab)

    def open_enhanced_tests(self, tab):
        self.open_sheet_at(tab)
        self.driver("press", SHEET_TITLE, EXTENDED_TESTS)
        self.driver("wait", COMM_TITLE)

    def open_ws_test(self, tab):
        self.open_sheet_at(tab)
        self.driver("press", SHEET_TITLE, PROTECTION)
        self.driver("choose", SHEET_TITLE, CHANNEL, WS_CHANNEL)
        self.wait_for_text(SHEET_TITLE, SIMPLE_TEST, "&Test Protection Interface ...")
        self.driver("press", SHEET_TITLE, SIMPLE_TEST)
        self.driver("wait", WS_TITLE)

    def error_lines(self):
        return [line.split("\t") for line in self.items(COMM_TITLE, ERROR_LIST)]

    def run_enhanced_to_its_end(self):
        self.driver("press", COMM_TITLE, COMM_START)
        self.wait_for_text(COMM_TITLE, COMM_START, "&Start")

    def start_ws_for_an_hour(self):
        self.driver("settext", WS_TITLE, TIME, "3600")
        self.driver("press", WS_TITLE, WS_START)
        self.wait_for(lambda: int(self.text(WS_TITLE, WS_TOTAL) or 0) >= 2, "the WS-Test never ran")

    def test_enhanced_tests_count_and_list_every_failure_while_lost_answers_are_repeated(self):
        # Every fifth answer is lost; the client's repeats hide that from the test.
        self.relay("--drop-every", "5")
        self.start_window()
        self.open_enhanced_tests(UNPLUGGED_TAB)
        self.assertEqual([self.driver("checked", COMM_TITLE, box) for box in (FIXED_LENGTH, SEND_AND_WAIT)], ["1", "1"])
        self.assertEqual([self.text(COMM_TITLE, box) for box in (LENGTH, TIMEOUT, INTERVAL)], ["128", "3000", "1000"])
        self.assertEqual([self.driver("enabled", COMM_TITLE, control) for control in
                          (BAUD_LABEL, BAUD, CHANNEL_LABEL, CHANNEL_BOX)], ["1", "1", "0", "0"])
        self.assertEqual(self.text(COMM_TITLE, COMM_START), "&Start")

        # One cycle without repeat: one failure, on top of the list.
        self.run_enhanced_to_its_end()
        self.assertEqual((self.text(COMM_TITLE, PASSED), self.text(COMM_TITLE, FAILED)), ("", "1"))
        (first,) = self.error_lines()
        self.assertRegex(first[0], DATE_TIME)
        self.assertEqual(first[1], "1")
        code = int(first[2])
        self.assertEqual(first[3], "Timeout" if code < 0 else "Character error" if code > 0 else "Testfehler")

        # Repeated with a break on error: the run ends at its first failure,
        # whose line goes on top of the earlier run's.
        self.driver("settext", COMM_TITLE, INTERVAL, "10")
        self.driver("press", COMM_TITLE, REPEAT)
        self.driver("press", COMM_TITLE, BREAK_ON_ERROR)
        self.run_enhanced_to_its_end()
        self.assertEqual(self.text(COMM_TITLE, FAILED), "1")
        self.assertEqual(len(self.error_lines()), 2)

        # Text sent only: every cycle passes until Stop; the counters start again.
        self.driver("press", COMM_TITLE, SEND_ONLY)
        self.driver("press", COMM_TITLE, TEXT_CHOICE)
        self.driver("settext", COMM_TITLE, TEXT, "abc")
        self.driver("press", COMM_TITLE, COMM_START)
        self.wait_for(lambda: int(self.text(COMM_TITLE, PASSED) or 0) >= 20, "the sends did not pass")
        self.assertEqual(self.text(COMM_TITLE, COMM_START), "&Stop")
        self.assertEqual(self.text(COMM_TITLE, FAILED), "")
        self.driver("press", COMM_TITLE, COMM_START)
        self.wait_for_text(COMM_TITLE, COMM_START, "&Start")
        self.assertEqual(len(self.error_lines()), 2)

        # The same with bytes written in hexadecimal, once.
        self.driver("press", COMM_TITLE, REPEAT)
        self.driver("press", COMM_TITLE, HEX_CHOICE)
        self.driver("settext", COMM_TITLE, HEX_TEXT, "10 47 00 47 16")
        self.run_enhanced_to_its_end()
        self.assertEqual((self.text(COMM_TITLE, PASSED), self.text(COMM_TITLE, FAILED)), ("1", ""))

        self.driver("press", COMM_TITLE, CLOSE)
        self.driver("gone", COMM_TITLE)
        self.driver("wait", SHEET_TITLE)

    def test_ws_test_of_zero_seconds_runs_five_and_its_failure_list_is_saved(self):
        # The relay falls silent during the run, so the later tests fail.
        self.relay("--silent-after", "80")
        self.write_config("[WSTEST]\nTIME=0\nBAUDRATE=128000\nCLOCK=0\n", "TESTBAY.INI")
        self.start_window()
        self.open_ws_test(PLUGGED_TAB)
        self.assertEqual(self.items(WS_TITLE, WS_BAUD), ["38400", "64000", "128000", "512000"])
        self.assertEqual(self.text(WS_TITLE, WS_BAUD), "128000")
        self.assertEqual(self.driver("checked", WS_TITLE, CLOCK_RECOVERY), "0")
        self.assertEqual(self.text(WS_TITLE, TIME), "0")
        self.assertEqual(self.driver("enabled", WS_TITLE, HELP), "0")
        self.assertEqual(self.text(WS_TITLE, WS_START), "Start !")
        self.driver("press", WS_TITLE, CLOCK_RECOVERY)
        self.driver("press", WS_TITLE, BEEP_ON_ERROR)

        started = time.monotonic()
        self.driver("press", WS_TITLE, WS_START)
        self.wait_for_text(WS_TITLE, TIME, "5")
        self.assertEqual(self.text(WS_TITLE, WS_START), "Stop Test !")
        self.wait_for_text(WS_TITLE, WS_START, "Start Test !")
        # A generous bound: the last test may have waited for the silent relay.
        self.assertGreater(time.monotonic() - started, 4.5)
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(self.read_config("TESTBAY.INI"),
                         "[WSTEST]\r\nTIME=0\r\nBAUDRATE=128000\r\nCLOCK=1\r\n")

        passed, failed = int(self.text(WS_TITLE, WS_PASSED)), int(self.text(WS_TITLE, WS_FAILED))
        self.assertGreater(passed, 0)
        self.assertGreater(failed, 0)
        self.assertEqual(int(self.text(WS_TITLE, WS_TOTAL)), passed + failed)
        lines = self.items(WS_TITLE, FAILURE_LIST)
        self.assertEqual(len(lines), failed)
        # Silent from some test on: the failures are the last tests, numbered in order.
        for number, line in enumerate(lines, start=passed):
            self.assertRegex(line, rf"^Test#{number:03d} \d\d:\d\d:\d\d CODE=-?\d\d+ RX=-?\d{{8}} TX=-?\d{{8}}( |$)")

        with tempfile.TemporaryDirectory(dir=self.prefix.drive_c()) as folder:
            saved = os.path.join(folder, "failures.txt")
            self.driver("press", WS_TITLE, SAVE)
            self.driver("wait", SAVE_TITLE)
            self.driver("settext", SAVE_TITLE, SAVE_FILE_NAME, "C:\\" + os.path.basename(folder) + "\\failures.txt")
            self.driver("command", SAVE_TITLE, SAVE_OK)
            self.driver("gone", SAVE_TITLE)
            self.wait_for(lambda: os.path.exists(saved) and os.path.getsize(saved) > 0, "nothing was saved", 10)
            with open(saved, newline="", encoding="latin-1") as file:
                content = file.read()
            # The driver's output loses the blank that ends a line without text.
            self.assertTrue(content.endswith("\r\n"))
            self.assertEqual([line.rstrip() for line in content.split("\r\n")[:-1]], [line.rstrip() for line in lines])

    def test_closing_the_frame_during_a_run_ends_the_run_before_the_connection_goes(self):
        dialogs = {
            "enhanced communication tests": (COMM_TITLE, self.start_enhanced_until_stopped),
            "WS-Test": (WS_TITLE, self.start_ws_until_stopped),
        }
        for name, (title, start) in dialogs.items():
            with self.subTest(name):
                self.relay()
                program = self.start_window()
                start()
                self.driver("close", FRAME_TITLE)
                program.wait(timeout=30)
                self.assertEqual(program.returncode, 0)
                self.driver("gone", title)
                self.driver("gone", FRAME_TITLE)
                # The port is free and the relay is not left in the middle of a request.
                doc = self.json_rpc_document()
                self.assertTrue(doc.EnterHardwaretestAtPort("", PORT))
                self.assertTrue(doc.ExitHardwaretest())
                self.assertEqual(doc.close(), 0)

    def start_enhanced_until_stopped(self):
        self.open_enhanced_tests(PLUGGED_TAB)
        self.driver("press", COMM_TITLE, REPEAT)
        self.driver("settext", COMM_TITLE, INTERVAL, "10")
        self.driver("press", COMM_TITLE, COMM_START)
        self.wait_for(lambda: int(self.text(COMM_TITLE, PASSED) or 0) >= 2, "the test never ran")

    def start_ws_until_stopped(self):
        self.open_ws_test(PLUGGED_TAB)
        self.start_ws_for_an_hour()


if __name__ == "__main__":
    unittest.main()
