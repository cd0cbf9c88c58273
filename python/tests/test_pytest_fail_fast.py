"""A session whose relay cannot be reached fails once, with the reason, and
skips the rest: the example suite against a wrong port and a silent relay.
Ctrl+C ends a session at once, as pytest ends an interrupted session."""

import os
import signal
import subprocess
import sys
import time

import pytest

from testbay.relay import VirtualRelay, Workspace

PLUGIN = ("-p", "testbay.pytest_plugin")
EXAMPLE_SUITE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "stand")
EXAMPLE_TESTS = 9


@pytest.fixture
def workspace(monkeypatch):
    with Workspace(logfile=False) as workspace:
        monkeypatch.setenv("TESTBAY_CONFIG_DIR", workspace.directory)
        monkeypatch.setenv("TMPDIR", workspace.directory)
        yield workspace


def run_example_suite(pytester, port):
    result = pytester.runpytest(*PLUGIN, EXAMPLE_SUITE, "--testbay-port", str(port), "-rEs")
    result.assert_outcomes(errors=1, skipped=EXAMPLE_TESTS - 1)
    failure = f"the relay on COM{port} did not enter the hardware test: "
    result.stdout.fnmatch_lines(["*ERROR at setup of test_every_led_lights_and_goes_out*", failure + "?*"])
    # Told once; the skipped tests refer to it.
    assert len([line for line in result.outlines if line.startswith(failure)]) == 1
    return result


def test_a_port_that_does_not_open_fails_once_and_skips_the_rest(pytester, workspace):
    workspace.map_port(9, os.path.join(workspace.directory, "no-such-device"))
    result = run_example_suite(pytester, 9)
    result.stdout.fnmatch_lines(["SKIPPED *the relay on COM9 did not enter the hardware test: * (in an earlier test)"])


def test_a_relay_that_does_not_answer_costs_one_search_not_one_per_test(pytester, workspace):
    with VirtualRelay(["--silent"]) as relay:
        workspace.map_port(4, relay.device)
        run_example_suite(pytester, 4)


def test_tests_without_the_relay_still_run(pytester, workspace):
    workspace.map_port(9, os.path.join(workspace.directory, "no-such-device"))
    pytester.makepyfile(
        """
        def test_needs_the_relay(doc):
            pass

        def test_needs_nothing():
            pass

        def test_needs_the_relay_too(doc):
            pass
        """
    )
    pytester.runpytest(*PLUGIN, "--testbay-port", "9").assert_outcomes(passed=1, errors=1, skipped=1)


def test_ctrl_c_ends_the_session_at_once_and_the_plugin_adds_no_error(pytester):
    pytester.makepyfile(
        """
        def test_waits(doc):
            print("waiting", flush=True)
            doc.Sleep(60000)

        def test_never_runs(doc):
            pass
        """
    )
    session = subprocess.Popen(
        [sys.executable, "-m", "pytest", "-s", "-p", "no:cacheprovider", *PLUGIN],
        cwd=pytester.path,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        start_new_session=True,
    )
    for line in session.stdout:
        if b"waiting" in line:
            break
    time.sleep(0.3)
    interrupted_at = time.monotonic()
    os.killpg(session.pid, signal.SIGINT)
    output = session.communicate(timeout=30)[0].decode()
    assert time.monotonic() - interrupted_at < 1.0
    assert session.returncode == pytest.ExitCode.INTERRUPTED, output
    assert "KeyboardInterrupt" in output
    assert "Traceback" not in output and "Error" not in output, output
