"""The Windows build's windows under Wine on an X server of their own (Xvfb),
driven from a second program, window_driver.exe, as a user would drive them.

Besides what wine_prefix needs, the tests need $TESTBAY_WINDOW_DRIVER."""

import os
import subprocess
import tempfile
import unittest

import wine_prefix
from wine_prefix import PREFIX, SERVER, WINE

DRIVER = os.environ.get("TESTBAY_WINDOW_DRIVER", "")
FRAME_TITLE = "TESTBAY 04.02.08 based Application "
SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024
CONFIG_SUBPATH = ("ProgramData", "Altheon", "Corvexan", "Firmware")


class Display:
    """An Xvfb server on a free display number."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number:
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class DriverError(AssertionError):
    pass


class WindowSession:
    """A display, a fresh prefix on it and the driver: what the window tests and
    the pictures of the windows share. Wine draws the windows' frames itself,
    as Windows does, since no window manager runs."""

    def __init__(self, prefix_path=PREFIX, server=SERVER, driver=DRIVER):
        self.server, self.driver_program = server, driver
        self.display = Display()
        self.prefix = wine_prefix.WinePrefix(prefix_path, WINE)
        self.prefix.env["DISPLAY"] = self.display.name
        try:
            self.prefix.boot()
            self.prefix.run("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated", "/d", "N", "/f")
        except BaseException:
            self.display.close()
            raise
        self.config = self.prefix.drive_c(*CONFIG_SUBPATH)
        os.makedirs(self.config, exist_ok=True)

    def close(self):
        self.prefix.close()
        self.display.close()

    def driver(self, *arguments, timeout=60):
        """What window_driver.exe prints; raises DriverError with its reason when it fails."""
        with tempfile.TemporaryFile("w+") as output, tempfile.TemporaryFile("w+") as errors:
            status = subprocess.run([WINE, self.driver_program, *map(str, arguments)], env=self.prefix.env,
                                    stdout=output, stderr=errors, timeout=timeout).returncode
            output.seek(0)
            errors.seek(0)
            text, reason = output.read().replace("\r\n", "\n").strip(), errors.read().strip()
        if status != 0:
            raise DriverError(f"window_driver {' '.join(map(str, arguments))}: {reason or status}")
        return text

    def start_window(self, *arguments, path=None):
        """testbay.exe (or the program at `path`) without a switch, once its frame shows."""
        program = subprocess.Popen([WINE, path or self.server, *arguments], env=self.prefix.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.driver("wait", FRAME_TITLE)
        except BaseException:
            self.stop(program)
            raise
        return program

    @staticmethod
    def stop(program):
        if program.poll() is None:
            program.kill()
        program.wait(timeout=30)


@unittest.skipUnless(SERVER and WINE and PREFIX and DRIVER, "needs testbay.exe, window_driver.exe, Wine and Xvfb")
class WindowTestCase(wine_prefix.WineTestCase):
    """One window session for the class; each test maps its relays to COM5."""

    @classmethod
    def setUpClass(cls):
        cls.session = WindowSession()
        cls.prefix = cls.session.prefix
        cls.config = cls.session.config

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def driver(self, *arguments, timeout=60):
        return self.session.driver(*arguments, timeout=timeout)

    def items(self, title, control):
        text = self.driver("items", title, control)
        return text.split("\n") if text else []

    def start_window(self, *arguments, path=None):
        """testbay.exe (or the program at `path`) without a switch: its frame, until the test ends."""
        program = self.session.start_window(*arguments, path=path)
        self.addCleanup(self.session.stop, program)
        return program

    def config_file(self, name="Testbay.ini"):
        """Testbay.ini in the configuration folder; TESTBAY.INI is in the Windows folder."""
        if name == "TESTBAY.INI":
            return self.prefix.drive_c("windows", name)
        return os.path.join(self.config, name)

    def write_config(self, text, name="Testbay.ini"):
        with open(self.config_file(name), "w", newline="\r\n") as ini:
            ini.write(text)

    def read_config(self, name="Testbay.ini"):
        try:
            with open(self.config_file(name), newline="", encoding="latin-1") as ini:
                return ini.read()
        except FileNotFoundError:
            return ""
