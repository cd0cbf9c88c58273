"""testbay.exe under Wine, driven through the Python client, against the
virtual relay on a pseudo-terminal that a fresh Wine prefix calls COM5
(see wine_prefix for what it needs)."""

import glob
import os
import pty
import re
import select
import shutil
import signal
import sys
import termios
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from fault_campaign import bound_ms  # noqa: E402
from interruption import InterruptAfter  # noqa: E402
from network_ports import Ser2net  # noqa: E402
import wine_prefix  # noqa: E402
from wine_prefix import PORT  # noqa: E402

CONFIG_SUBPATH = ("ProgramData", "Altheon", "Corvexan", "Firmware")
# Generous: a loaded machine under Wine, not a timing requirement.
WAIT_SECONDS = 30


def windows_path(unix_path):
    """Wine's drive Z: is the root of the Linux file system."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class Console:
    """A command under Wine on a pseudo-terminal, which Wine makes the console
    of the programs it starts; `text` is what the console shows so far."""

    # Cursor moves that stand for blanks, and the other control sequences.
    FORWARD = re.compile(rb"\x1b\[(\d*)C")
    CONTROL = re.compile(rb"\x1b\[[0-9;?]*[A-Za-z]")

    def __init__(self, command, env):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            # When cmd.exe, the terminal's first process, ends, the system hangs
            # up on the programs still on it; Wine lets that end them on the spot
            # (no control event), which a Windows console does not do.
            signal.signal(signal.SIGHUP, signal.SIG_IGN)
            os.execvpe(command[0], command, env)
        self.shown = b""
        self.status = None

    @property
    def text(self):
        shown = self.FORWARD.sub(lambda blanks: b" " * int(blanks.group(1) or 1), self.shown)
        return self.CONTROL.sub(b"", shown).decode(errors="replace")

    def _read(self, seconds):
        ready, _, _ = select.select([self.fd], [], [], seconds)
        if ready:
            try:
                self.shown += os.read(self.fd, 4096)
            except OSError:  # the last program on the terminal has ended
                time.sleep(seconds)

    def expect(self, pattern, seconds=WAIT_SECONDS):
        deadline = time.monotonic() + seconds
        while not re.search(pattern, self.text):
            if time.monotonic() > deadline:
                raise AssertionError(f"the console did not show {pattern!r}: {self.text!r}")
            self._read(0.1)

    def type(self, text):
        """Types once Wine's console has taken the terminal over (raw mode);
        before, the terminal itself would turn the typed return into a line feed."""
        deadline = time.monotonic() + WAIT_SECONDS
        while termios.tcgetattr(self.fd)[3] & termios.ICANON:
            if time.monotonic() > deadline:
                raise AssertionError("Wine did not take the terminal over")
            self._read(0.1)
        os.write(self.fd, text.encode())

    def wait(self, seconds=WAIT_SECONDS):
        """The command's exit status, None when it still runs after `seconds`."""
        deadline = time.monotonic() + seconds
        while self.status is None and time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
            else:
                self._read(0.1)
        return self.status

    def close(self):
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)


class UnderWine(wine_prefix.WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.windows_temp = cls.prefix.unix_path(cls.prefix.run("cmd.exe", "/c", "echo %TEMP%"))
        cls.config = cls.prefix.drive_c(*CONFIG_SUBPATH)
        os.makedirs(cls.config, exist_ok=True)
        with open(os.path.join(cls.config, "Testbay.ini"), "w", newline="\r\n") as ini:
            ini.write("[FirmwareUpdate]\nLogfile=1\n")

    def trace(self):
        logs = glob.glob(os.path.join(self.windows_temp, "TESTBAY[0-3]", "LOG.TXT"))
        self.assertEqual(len(logs), 1, logs)
        with open(logs[0], newline="", encoding="latin-1") as log:
            return log.read()

    def test_enter_from_each_state_of_the_relay(self):
        # The relay sees a pseudo-terminal's parity only as the Linux build marks it
        # there (input parity checking); Wine's terminal settings do not mark it so,
        # so the application answers without parity here.
        for state in ("hwt", "app", "boot"):
            with self.subTest(state=state):
                self.relay("--state", state, "--app-parity", "none")
                doc = self.json_rpc_document()
                self.assertTrue(doc.EnterHardwaretestAtPort("", PORT))
                self.assertEqual(doc.GetLedCount(), (True, 16))
                self.assertTrue(doc.ExitHardwaretest())
                self.assertEqual(doc.close(), 0)

    def test_memory_round_trip_found_rate_trace_and_settings_where_windows_keeps_them(self):
        self.relay("--baud", "115200")
        doc = self.json_rpc_document()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT))
        self.assertTrue(doc.WriteMemory(0, 0x1000, 4, "\x01\x02\xfe\xff"))
        self.assertEqual(doc.ReadMemory(0, 0x1000, 4, "    "), (True, "\x01\x02\xfe\xff"))
        trace = self.trace()
        self.assertIn("ComBaud(115200): 1\r\n", trace)
        self.assertIn("\r\n", trace)
        with open(os.path.join(self.config, "Testbay.ini"), newline="") as ini:
            self.assertIn("INIPATH=C:\\ProgramData\\Altheon\\Corvexan\\Firmware\\\r\n", ini.read())
        self.assertEqual(doc.close(), 0)
        # The temporary directory with the trace goes with the program.
        self.assertEqual(glob.glob(os.path.join(self.windows_temp, "TESTBAY[0-3]")), [])

    def test_a_relay_that_falls_silent_ends_every_call_within_its_bound(self):
        self.relay("--silent-after", "12")
        doc = self.json_rpc_document()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT))
        results = []
        for _ in range(16):
            start = time.monotonic()
            results.append(doc.GetLedCount()[0])
            self.assertLess((time.monotonic() - start) * 1000, bound_ms(1, 60))
        self.assertTrue(results[0])
        self.assertFalse(any(results[-3:]))
        self.assertEqual(doc.GetTestbayVersion(), "04.02.08")

    @unittest.skipUnless(shutil.which("ser2net"), "needs ser2net")
    def test_a_relay_behind_ser2net_its_loss_and_its_return(self):
        network_port = 7
        # Only an RFC 2217 server sets the line here: the pseudo-terminal cannot show the parity.
        relay = self.relay("--state", "app", "--any-parity")
        server = Ser2net([relay.device])
        self.addCleanup(server.close)
        ini_path = os.path.join(self.config, "Testbay.ini")
        with open(ini_path, newline="") as ini:
            self.addCleanup(self.restore_file, ini_path, ini.read())
        with open(ini_path, "a", newline="\r\n") as ini:
            ini.write(f"[Ports]\nCOM{network_port}={server.url()}\n")

        doc = self.json_rpc_document()
        self.assertTrue(doc.EnterHardwaretestAtPort("", network_port), doc.last_reason)
        self.assertEqual(doc.GetLedCount(), (True, 16))
        block = "\xff\x00\xff\xff\x0d\x0a"
        self.assertTrue(doc.WriteMemory(0, 0x00FFFF00, len(block), block))
        self.assertEqual(doc.ReadMemory(0, 0x00FFFF00, len(block), " " * len(block)), (True, block))
        self.assertIn(f"COM{network_port}: connected to {server.url()}\r\n", self.trace())

        # A dropped connection fails the call within its bound and is found again later.
        server.kill()
        start = time.monotonic()
        self.assertEqual(doc.GetLedCount()[0], False)
        self.assertFalse(doc.EnterHardwaretestAtPort("", network_port))
        self.assertLess(time.monotonic() - start, WAIT_SECONDS)
        self.assertIn(server.url(), doc.last_reason)
        server.start()
        self.assertTrue(doc.EnterHardwaretestAtPort("", network_port), doc.last_reason)
        self.assertEqual(doc.GetLedCount(), (True, 16))
        self.assertEqual(doc.close(), 0)

    @staticmethod
    def restore_file(path, text):
        with open(path, "w", newline="") as restored:
            restored.write(text)

    def test_a_second_program_cannot_open_the_port_the_first_holds(self):
        self.relay()
        first = self.json_rpc_document()
        second = self.json_rpc_document()
        self.assertTrue(first.EnterHardwaretestAtPort("", PORT))
        self.assertFalse(second.EnterHardwaretestAtPort("", PORT))
        self.assertEqual(first.close(), 0)
        self.assertTrue(second.EnterHardwaretestAtPort("", PORT))
        self.assertEqual(second.GetLedCount(), (True, 16))

    def test_wine_refuses_153600_baud_on_a_pseudo_terminal(self):
        """Windows drivers take 153600 baud (the Linux build does too); Wine sets
        only the rates the terminal interface names on a pseudo-terminal, so the
        search tries 153600, is refused, and finds nothing."""
        self.relay("--baud", "153600")
        doc = self.json_rpc_document()
        self.assertFalse(doc.EnterHardwaretestAtPort("", PORT))
        self.assertIn("ComBaud(153600): 0\r\n", self.trace())

    def test_a_keyboard_interrupt_during_the_state_search_ends_the_program_within_a_second(self):
        self.relay("--silent")
        doc = self.json_rpc_document()
        server = doc._process
        with InterruptAfter(0.5) as interrupt:
            with self.assertRaises(KeyboardInterrupt):
                doc.EnterHardwaretestAtPort("", PORT)
            self.assertLess(interrupt.seconds_since(), 1.0)
        # It ended on its own on its input closing, and cleaned up.
        self.assertEqual(server.poll(), 0)
        self.assertEqual(glob.glob(os.path.join(self.windows_temp, "TESTBAY[0-3]")), [])

    def temporary_folders(self):
        return glob.glob(os.path.join(self.windows_temp, "TESTBAY[0-3]"))

    def console(self, *arguments):
        """testbay.exe started from cmd.exe in a console; returns once it runs."""
        self.assertEqual(self.temporary_folders(), [])
        command = [wine_prefix.WINE, "cmd.exe", "/c", windows_path(wine_prefix.SERVER), *arguments]
        console = Console(command, self.prefix.env)
        self.addCleanup(console.close)
        deadline = time.monotonic() + WAIT_SECONDS
        while not self.prefix.processes("testbay.exe") and console.wait(0.1) is None:
            self.assertLess(time.monotonic(), deadline, "testbay.exe did not start")
        return console

    def assert_ended_and_cleaned_up(self):
        deadline = time.monotonic() + WAIT_SECONDS
        while self.prefix.processes("testbay.exe") and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(self.prefix.processes("testbay.exe"), [])
        self.assertEqual(self.temporary_folders(), [])

    def test_a_run_started_from_a_console_answers_there_until_ctrl_c(self):
        console = self.console("--version")
        console.expect(r"testbay 04\.02\.08")
        self.assertEqual(console.wait(), 0)

        console = self.console("-JsonRpc")
        console.type('{"jsonrpc": "2.0", "id": 7, "method": "GetTestbayVersion", "params": []}\r')
        console.expect(r'"id":7,.*"return":"04\.02\.08"')
        console.type("\x03")
        self.assert_ended_and_cleaned_up()

    def test_ctrl_c_ends_the_running_call_and_the_program_cleans_up(self):
        self.relay("--silent")
        console = self.console("-JsonRpc")
        console.type(f'{{"jsonrpc": "2.0", "id": 1, "method": "EnterHardwaretestAtPort", "params": ["", {PORT}]}}\r')
        # The state search against a silent relay takes far longer than this.
        time.sleep(2)
        self.assertNotEqual(self.prefix.processes("testbay.exe"), [])
        console.type("\x03")
        self.assert_ended_and_cleaned_up()


if __name__ == "__main__":
    unittest.main()
