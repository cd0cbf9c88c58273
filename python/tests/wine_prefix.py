"""A fresh Wine prefix for the tests of the Windows build, with the virtual
relay's pseudo-terminals mapped as COM ports.

The tests need $TESTBAY_WINDOWS_SERVER (testbay.exe), $TESTBAY_RELAY,
$TESTBAY_WINE (wine64) and $TESTBAY_WINE_PREFIX (a folder they may delete and
make)."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

from testbay import Dispatch
from testbay.relay import VirtualRelay

SERVER = os.environ.get("TESTBAY_WINDOWS_SERVER", "")
WINE = os.environ.get("TESTBAY_WINE", "")
PREFIX = os.environ.get("TESTBAY_WINE_PREFIX", "")
# The COM port the relay is mapped to.
PORT = 5


class WinePrefix:
    def __init__(self, path, wine):
        self.path = path
        self.wine = wine
        # Scripts print numbers and booleans in the user's locale; Wine takes it from LC_ALL.
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all", LC_ALL="C.UTF-8")
        self.env.pop("TESTBAY_CONFIG_DIR", None)
        self.boot_seconds = 0.0

    def boot(self):
        shutil.rmtree(self.path, ignore_errors=True)
        started = time.monotonic()
        subprocess.run(["wineboot", "-i"], env=dict(self.env, WINEDLLOVERRIDES="mscoree,mshtml="), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # One wine server for the whole test: every program start then takes a fraction of a second.
        subprocess.run(["wineserver", "-w"], env=self.env, check=True)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.boot_seconds = time.monotonic() - started

    def output(self, command):
        """The output of a command, through a file, not a pipe: the first program
        starts Wine's services, which inherit its output and would keep a pipe open."""
        with tempfile.TemporaryFile("w+", newline="") as output:
            subprocess.run(command, env=self.env, check=True, stdout=output, stderr=subprocess.DEVNULL)
            output.seek(0)
            return output.read().replace("\r\n", "\n").strip()

    def run(self, *program_and_arguments):
        return self.output([self.wine, *program_and_arguments])

    def write_script(self, name, text):
        """A script file in C:\\; its Windows path."""
        with open(self.drive_c(name), "w", newline="") as script:
            script.write(text)
        return "C:\\" + name

    def cscript(self, name, text):
        """What a VBScript script prints through Wine's cscript.exe."""
        return self.run("cscript.exe", "//nologo", self.write_script(name, text))

    def unix_path(self, windows_path):
        return self.output(["winepath", "-u", windows_path])

    def drive_c(self, *parts):
        return os.path.join(self.path, "drive_c", *parts)

    def map_port(self, number, device):
        link = os.path.join(self.path, "dosdevices", f"com{number}")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(device, link)

    def processes(self, program):
        """Process ids of `program` running in this prefix (other prefixes may run it too)."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as cmdline, open(f"/proc/{pid}/environ", "rb") as environ:
                    arguments = cmdline.read().split(b"\0")
                    variables = environ.read().split(b"\0")
            except OSError:
                continue
            # Wine shows a program's whole Windows command line as its first argument.
            line = arguments[0].decode(errors="replace")
            name = line[1:].split('"')[0] if line.startswith('"') else line.split(" ")[0]
            if name.lower().endswith(program.lower()) and b"WINEPREFIX=" + self.path.encode() in variables:
                found.append(int(pid))
        return found

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)


@unittest.skipUnless(SERVER and WINE and PREFIX, "needs testbay.exe, Wine and a prefix folder")
class WineTestCase(unittest.TestCase):
    """One fresh prefix for the test class; each test maps its relays to COM5."""

    @classmethod
    def setUpClass(cls):
        cls.prefix = WinePrefix(PREFIX, WINE)
        cls.prefix.boot()

    @classmethod
    def tearDownClass(cls):
        cls.prefix.close()

    def relay(self, *options):
        relay = VirtualRelay(list(options))
        self.addCleanup(relay.stop)
        self.prefix.map_port(PORT, relay.device)
        return relay

    def json_rpc_document(self):
        """testbay.exe -JsonRpc under Wine, through the Python client."""
        doc = Dispatch(server=[WINE, SERVER, "-JsonRpc"], env=self.prefix.env)
        self.addCleanup(doc.close)
        return doc
