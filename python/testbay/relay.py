"""The virtual relay for scripts: testbay-relay on a pseudo-terminal, mapped
as a COM port in a configuration directory.

    with VirtualRelay(["--state", "app"]) as relay, Workspace() as ws:
        ws.map_port(1, relay.device)
        doc = Dispatch(env=ws.env)
"""

import os
import shutil
import subprocess
import tempfile

from . import find_program

__all__ = ["VirtualRelay", "Workspace", "find_relay"]


def find_relay():
    """testbay-relay: $TESTBAY_RELAY, else on the PATH, else the build tree."""
    return find_program("TESTBAY_RELAY", "testbay-relay")


class VirtualRelay:
    """A virtual relay process; `device` is the path to open."""

    def __init__(self, options=(), relay=None):
        self._process = subprocess.Popen(
            [relay or find_relay(), *options], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL
        )
        self.device = self._process.stdout.readline().decode().strip()
        if not self.device:
            self.stop()
            raise RuntimeError("testbay-relay did not start")

    def stop(self):
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._process.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Workspace:
    """A fresh configuration and temporary directory for automation servers."""

    def __init__(self, logfile=True):
        self.directory = tempfile.mkdtemp(prefix="testbay-")
        self.env = dict(os.environ, TESTBAY_CONFIG_DIR=self.directory, TMPDIR=self.directory)
        self._lines = ["[FirmwareUpdate]", f"Logfile={1 if logfile else 0}", "[Ports]"]
        self._write()

    def map_port(self, number, device):
        self._lines.append(f"COM{number}={device}")
        self._write()

    def _write(self):
        with open(os.path.join(self.directory, "Testbay.ini"), "w", newline="\r\n") as ini:
            ini.write("\n".join(self._lines) + "\n")

    def close(self):
        shutil.rmtree(self.directory, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
