"""Ctrl+C in a script as a terminal sends it: SIGINT to the script's whole
process group, its automation server included."""

import os
import signal
import subprocess
import sys
import textwrap
import time
import unittest

PYTHON_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, PYTHON_DIR)

from testbay.relay import VirtualRelay, Workspace  # noqa: E402

# A script that cleans up in `finally`, as test stands write them. It prints
# its server's process id, then "waiting" when the interrupt may come.
SCRIPT = textwrap.dedent(
    """
    import time
    from testbay import Dispatch

    with Dispatch() as doc:
        print(doc._process.pid, flush=True)
        try:
            assert doc.EnterHardwaretestAtPort("", 1)
            print("waiting", flush=True)
            {wait}
        finally:
            doc.ExitHardwaretest()
            doc.SetLeds(0)
    """
)


# Far below the script's 60 s wait and the server's close grace, yet loose
# enough for a sanitizer build on a busy machine: idle, it takes well under 1 s.
ENDED_WITHIN_S = 10.0


class ScriptInterrupted(unittest.TestCase):
    def interrupt(self, wait):
        """Runs the script with `wait` and interrupts it: its stderr, exit
        status and the time from the interrupt to its end."""
        with VirtualRelay(["--state", "hwt"]) as relay, Workspace(logfile=False) as workspace:
            workspace.map_port(1, relay.device)
            env = dict(workspace.env, PYTHONPATH=PYTHON_DIR)
            script = subprocess.Popen(
                [sys.executable, "-c", SCRIPT.format(wait=wait)],
                stdout=subprocess.PIPE,
                stderr=subprocess.PIPE,
                env=env,
                start_new_session=True,
            )
            server = int(script.stdout.readline())
            self.assertEqual(script.stdout.readline(), b"waiting\n")
            time.sleep(0.3)
            interrupted_at = time.monotonic()
            os.killpg(script.pid, signal.SIGINT)
            _, stderr = script.communicate(timeout=30)
            took = time.monotonic() - interrupted_at
            with self.assertRaises(ProcessLookupError):
                os.kill(server, 0)
            return stderr.decode(), script.returncode, took

    def assertOneTraceback(self, stderr):
        self.assertEqual(stderr.count("Traceback"), 1, stderr)
        self.assertEqual(stderr.rstrip().splitlines()[-1], "KeyboardInterrupt", stderr)
        self.assertNotIn("During handling", stderr)

    def test_interrupted_in_a_call_the_script_ends_at_once_with_one_traceback(self):
        stderr, status, took = self.interrupt("doc.Sleep(60000)")
        self.assertOneTraceback(stderr)
        self.assertEqual(status, -signal.SIGINT)
        self.assertLess(took, ENDED_WITHIN_S)

    def test_interrupted_between_calls_the_clean_up_finds_no_server_and_no_second_error(self):
        stderr, status, took = self.interrupt("time.sleep(60)")
        self.assertOneTraceback(stderr)
        self.assertEqual(status, -signal.SIGINT)
        self.assertLess(took, ENDED_WITHIN_S)


if __name__ == "__main__":
    unittest.main()
