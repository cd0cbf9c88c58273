"""Every failure to reach a relay says why: through testbay -Automation and testbay-call."""

import fcntl
import grp
import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import unittest

PYTHON_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, PYTHON_DIR)

from testbay import find_server  # noqa: E402
from testbay.relay import VirtualRelay, Workspace  # noqa: E402

PORT = 2


class Server:
    """testbay -Automation spoken to line by line, its standard error kept."""

    def __init__(self, workspace, user=None):
        command = [find_server(), "-Automation"]
        if user:
            command = ["runuser", "-u", user, "--", *command]
        # A temporary folder of its own, so that its trace is the only one there.
        self.temporary = tempfile.mkdtemp(prefix="testbay-server-", dir=workspace.directory)
        os.chmod(self.temporary, 0o777)
        self.process = subprocess.Popen(
            command,
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
            env=dict(workspace.env, TMPDIR=self.temporary),
        )
        self.pid = self.process.pid

    def reply(self, method, *params):
        request = {"jsonrpc": "2.0", "id": 1, "method": method, "params": list(params)}
        self.process.stdin.write(json.dumps(request) + "\n")
        self.process.stdin.flush()
        return json.loads(self.process.stdout.readline())

    def result(self, method, *params):
        return self.reply(method, *params)["result"]

    def trace(self):
        """The running server's LOG.TXT."""
        for folder, _, files in os.walk(self.temporary):
            if "LOG.TXT" in files:
                with open(os.path.join(folder, "LOG.TXT"), errors="replace") as log:
                    return log.read()
        return ""

    def close(self):
        """Ends the server; its standard error."""
        self.process.stdin.close()
        errors = self.process.stderr.read()
        self.process.wait(timeout=30)
        self.process.stdout.close()
        self.process.stderr.close()
        return errors


def testbay_call(workspace, *args):
    env = dict(workspace.env)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [PYTHON_DIR, env.get("PYTHONPATH")]))
    return subprocess.run(
        [sys.executable, "-m", "testbay.call", "--port", str(PORT), *args],
        capture_output=True,
        text=True,
        env=env,
        timeout=120,
    )


class Reasons(unittest.TestCase):
    def setUp(self):
        self.workspace = Workspace()
        self.addCleanup(self.workspace.close)

    def relay(self, *options):
        relay = VirtualRelay(list(options))
        self.addCleanup(relay.stop)
        self.workspace.map_port(PORT, relay.device)
        return relay.device

    def assertEntryFails(self, reason, user=None):
        """The reason reaches the reply, GetLastErrorText, the trace and standard error; returns it."""
        server = Server(self.workspace, user)
        try:
            result = server.result("EnterHardwaretestAtPort", "", PORT)
            self.assertEqual((result["return"], result["out"]), (False, []))
            if callable(reason):
                self.assertTrue(reason(result["reason"]), result["reason"])
            else:
                self.assertEqual(result["reason"], reason)
            self.assertEqual(server.result("GetLastErrorText")["return"], result["reason"])
            self.assertIn(result["reason"], server.trace())
        finally:
            errors = server.close()
        self.assertEqual(errors, f"testbay: EnterHardwaretestAtPort: {result['reason']}\n")
        return result["reason"]

    def assertCallFails(self, reason):
        done = testbay_call(self.workspace, "GetLedCount")
        self.assertEqual((done.returncode, done.stdout), (2, ""), done.stderr)
        # Told once: the server's own line about the entry is not passed on.
        self.assertEqual(
            done.stderr,
            f"testbay-call: the relay on COM{PORT} did not enter the hardware test: {reason}\n",
        )

    def test_a_missing_device(self):
        self.workspace.map_port(PORT, "/dev/nonexistent")
        reason = self.assertEntryFails(f"cannot open COM{PORT} (/dev/nonexistent): No such file or directory")
        self.assertCallFails(reason)

    def test_a_port_held_by_another_program(self):
        device = self.relay()
        holder = subprocess.Popen(
            [
                sys.executable,
                "-c",
                "import fcntl, os, sys\n"
                "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
                "fcntl.flock(fd, fcntl.LOCK_EX)\n"
                "print(flush=True)\n"
                "sys.stdin.read()\n",
                device,
            ],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
        )
        self.addCleanup(holder.stdout.close)
        self.addCleanup(holder.wait)
        self.addCleanup(holder.stdin.close)
        holder.stdout.readline()
        with open(f"/proc/{holder.pid}/comm") as comm:
            program = comm.read().strip()
        reason = self.assertEntryFails(
            f"cannot open COM{PORT} ({device}): Device or resource busy; held by {program} (pid {holder.pid})"
        )
        self.assertCallFails(reason)

    def test_a_second_document_on_the_same_port(self):
        device = self.relay()
        first = Server(self.workspace)
        self.addCleanup(first.close)
        self.assertTrue(first.result("EnterHardwaretestAtPort", "", PORT)["return"])
        reason = self.assertEntryFails(
            f"cannot open COM{PORT} ({device}): Device or resource busy; "
            f"held by another Testbay document (pid {first.pid})"
        )
        self.assertCallFails(reason)

        # The same document entering again without leaving says so too.
        second_entry = first.result("EnterHardwaretestAtPort", "", PORT)
        self.assertEqual(
            second_entry["reason"],
            f"cannot open COM{PORT} ({device}): Device or resource busy; "
            "held by this program (an earlier connection to it is still open)",
        )
        self.assertFalse(second_entry["return"])

    @unittest.skipUnless(
        os.geteuid() == 0 and shutil.which("runuser"), "needs root to run the server as the user nobody"
    )
    def test_a_device_the_user_may_not_open(self):
        device = self.relay()
        os.chown(device, 0, grp.getgrnam("dialout").gr_gid)
        os.chmod(device, 0o660)
        os.chmod(self.workspace.directory, 0o777)
        os.chmod(os.path.join(self.workspace.directory, "Testbay.ini"), 0o666)
        user = pwd.getpwuid(65534).pw_name
        self.assertEntryFails(
            f"cannot open COM{PORT} ({device}): Permission denied; the device belongs to group dialout, which "
            f"user {user} is not in (add it with: sudo usermod -aG dialout {user}, then log in again)",
            user=user,
        )

    def test_a_relay_silent_at_every_rate(self):
        device = self.relay("--silent")
        reason = self.assertEntryFails(
            lambda text: text.startswith(
                f"no answer from the relay on COM{PORT} ({device}) in any state; "
                "tried the hardware test at 38400, 57600, 115200, 153600 bit/s without parity, the boot system at "
            )
        )
        self.assertCallFails(reason)


class Names(unittest.TestCase):
    def test_a_misspelt_name_is_named_with_the_nearest_and_get_last_error_text_is_143(self):
        with Workspace() as workspace:
            server = Server(workspace)
            try:
                error = server.reply("GetLedCont")["error"]
                self.assertEqual(error, {"code": -32601, "message": 'Unknown name "GetLedCont"; did you mean GetLedCount?'})
                table = server.result("$methods")
                self.assertEqual({key: table[142][key] for key in ("dispid", "name", "params", "returns")},
                                 {"dispid": 143, "name": "GetLastErrorText", "params": [], "returns": "string"})
                self.assertEqual(server.result("GetLastErrorText"), {"return": "", "out": []})
            finally:
                self.assertEqual(server.close(), "")


if __name__ == "__main__":
    unittest.main()
