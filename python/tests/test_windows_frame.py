"""The Windows build's main frame and serial connection dialog under Wine,
worked by their ids from window_driver.exe (see window_tests)."""

import os
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

import window_tests  # noqa: E402
from window_tests import FRAME_TITLE, SCREEN_WIDTH  # noqa: E402
from wine_prefix import PORT  # noqa: E402

SETUP_TITLE = "Setup Serial Connection"
BOX_TITLE = "Testbay"
# The message box's own text control.
BOX_TEXT = 0xFFFF
PORTS, STATUS, OK = 1644, 1792, 1
GROUP, HELP = 1793, 9
COMMAND_SERIAL_CONNECTION, COMMAND_HARDWARE_TEST, COMMAND_EXIT = 32777, 32786, 57665
BUSY_TEXT = "This serial port is currently used by another application."


def position_entry(left, top, right, bottom):
    """"POSITION" as the program stores it: the rectangle's bytes and their sum, in hex."""
    data = struct.pack("<4i", left, top, right, bottom)
    return (data + bytes([sum(data) & 0xFF])).hex().upper()


class Frame(window_tests.WindowTestCase):
    def start_frame(self, config=""):
        self.write_config(config)
        return self.start_window()

    def frame_rect(self):
        return [int(side) for side in self.driver("wait", FRAME_TITLE).split()]

    def ended(self, program):
        program.wait(timeout=30)
        self.driver("gone", FRAME_TITLE)
        return program.returncode

    def test_the_bar_across_the_top_unless_a_usable_position_is_stored(self):
        bar = [0, 0, SCREEN_WIDTH, 88]
        cases = {
            "none": ("", bar),
            "stored": ("[SECTION_WINDOW]\nPOSITION=" + position_entry(100, 50, 700, 250) + "\n", [100, 50, 700, 250]),
            "19 wide": ("[SECTION_WINDOW]\nPOSITION=" + position_entry(100, 50, 119, 250) + "\n", bar),
            "left of the screen": ("[SECTION_WINDOW]\nPOSITION=" + position_entry(-1, 50, 600, 250) + "\n", bar),
        }
        for name, (config, expected) in cases.items():
            with self.subTest(name):
                program = self.start_frame(config)
                self.assertEqual(self.frame_rect(), expected)
                self.driver("close", FRAME_TITLE)
                self.assertEqual(self.ended(program), 0)

    def test_resizing_stores_the_position_a_move_does_not_and_the_next_start_uses_it(self):
        program = self.start_frame()
        self.driver("move", FRAME_TITLE, 10, 20, 800, 100)
        self.assertEqual(self.frame_rect(), [10, 20, 810, 120])
        stored = "POSITION=" + position_entry(10, 20, 810, 120) + "\r\n"
        self.assertIn(stored, self.read_config())
        self.driver("move", FRAME_TITLE, 30, 40, 800, 100)
        self.assertIn(stored, self.read_config())
        self.driver("command", FRAME_TITLE, COMMAND_EXIT)
        self.assertEqual(self.ended(program), 0)

        self.start_window()
        self.assertEqual(self.frame_rect(), [10, 20, 810, 120])

    def test_toolbar_buttons_and_their_tips(self):
        self.start_frame()
        self.assertEqual(self.driver("tooltips", FRAME_TITLE).split("\n"),
                         [f"{COMMAND_EXIT} 31 27 Exit", f"{COMMAND_HARDWARE_TEST} 31 27 Hardware-Testbaying"])

    def test_serial_connection_stores_the_port_and_tells_when_another_program_holds_it(self):
        self.relay()
        # Windows lists every present port here; Wine only those it made at its start.
        self.prefix.run("reg", "add", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v", rf"\Device\Serial{PORT - 1}",
                        "/d", f"COM{PORT}", "/f")
        self.start_frame()
        self.driver("command", FRAME_TITLE, COMMAND_SERIAL_CONNECTION)
        self.assertEqual(self.driver("text", SETUP_TITLE, GROUP), "Select Serial Port")
        self.assertEqual(self.driver("text", SETUP_TITLE, HELP), "&Help")
        ports = self.items(SETUP_TITLE, PORTS)
        self.assertIn(f"COM{PORT}", ports)
        self.driver("choose", SETUP_TITLE, PORTS, ports.index(f"COM{PORT}"))
        self.assertEqual(self.driver("text", SETUP_TITLE, STATUS), "")
        self.driver("press", SETUP_TITLE, OK)
        self.driver("gone", SETUP_TITLE)
        self.assertIn(f"ComPort={PORT}\r\n", self.read_config())

        # A script's program in the hardware test holds the port; the dialog
        # opens on the stored port and says so.
        holder = self.json_rpc_document()
        self.assertTrue(holder.EnterHardwaretestAtPort("", PORT))
        self.driver("command", FRAME_TITLE, COMMAND_SERIAL_CONNECTION)
        self.assertEqual(self.driver("text", SETUP_TITLE, STATUS), BUSY_TEXT)
        self.driver("press", SETUP_TITLE, 2)
        self.driver("gone", SETUP_TITLE)
        self.assertIn(f"ComPort={PORT}\r\n", self.read_config())

    def test_a_network_port_shows_its_address_whole_in_the_open_list(self):
        address = "rfc2217://rack-07-terminal-server.lab.example:7001"
        self.start_frame(f"[Ports]\nCOM9={address}\n")
        self.driver("command", FRAME_TITLE, COMMAND_SERIAL_CONNECTION)
        self.assertIn(f"COM9 ({address})", self.items(SETUP_TITLE, PORTS))
        # The closed box may cut it; the open list is as wide as its widest entry.
        dropped, box = map(int, self.driver("dropwidth", SETUP_TITLE, PORTS).split())
        self.assertGreater(dropped, box)
        self.driver("press", SETUP_TITLE, 2)
        self.driver("gone", SETUP_TITLE)

    def test_hardware_test_without_an_answering_relay_says_unable_to_connect(self):
        self.relay("--silent")
        self.start_frame(f"[Testbay]\nComPort={PORT}\n")
        self.driver("command", FRAME_TITLE, COMMAND_HARDWARE_TEST)
        # The search for the relay tries every rate first.
        deadline = time.monotonic() + 120
        while True:
            try:
                self.driver("wait", BOX_TITLE)
                break
            except window_tests.DriverError:
                if time.monotonic() > deadline:
                    raise
        # The first line as ever; the second says why.
        lines = self.driver("text", BOX_TITLE, BOX_TEXT).splitlines()
        self.assertEqual(lines[0], "Unable to connect to device")
        self.assertTrue(lines[1].startswith(f"no answer from the relay on COM{PORT} "), lines)
        self.driver("press", BOX_TITLE, OK)
        self.driver("gone", BOX_TITLE)
        self.assertNotIn("Hardware Testbaying", self.driver("windows"))

    def test_closing_the_frame_ends_the_program(self):
        program = self.start_frame()
        self.driver("close", FRAME_TITLE)
        self.assertEqual(self.ended(program), 0)


if __name__ == "__main__":
    unittest.main()
