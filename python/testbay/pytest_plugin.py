"""pytest fixtures for relay test stands.

    def test_leds(doc):
        ok, count = doc.GetLedCount()
        assert ok and count == 16

`relay` is the port under test: a virtual relay of its own for the session,
or the relay on COM<N> given by --testbay-port N. `doc` is a document in the
hardware test on that port; it leaves the hardware test again after the
test, also after a failing one: the relay restarts into the firmware it was
found in (--testbay-stay keeps it in the hardware test). The trace of each
test's document (every telegram) is shown in the report of a failing test;
--testbay-trace-dir DIR keeps the traces of all tests there. A relay that does
not enter the hardware test fails its test with the reason, once: the
session's later tests that need `doc` are skipped.
"""

import hashlib
import os
import re
import shlex
import shutil
import tempfile
from dataclasses import dataclass
from typing import Optional

import pytest

from . import Dispatch
from .relay import VirtualRelay, Workspace


# Why the session's relay did not enter the hardware test, once it did not.
_UNREACHABLE = pytest.StashKey[str]()


@dataclass(frozen=True)
class RelayPort:
    """COM<number>, with the environment an automation server finds it in."""

    number: int
    env: dict
    # The virtual relay's pseudo-terminal; None for a relay given by port.
    device: Optional[str] = None


def pytest_addoption(parser):
    group = parser.getgroup("testbay", "Testbay relay test stand")
    group.addoption(
        "--testbay-port",
        type=int,
        metavar="N",
        help="test the relay on COM<N> (mapped in [Ports] of Testbay.ini) instead of a virtual relay",
    )
    group.addoption(
        "--testbay-relay-options",
        default="",
        metavar="OPTIONS",
        help='options of the virtual relay as one string, e.g. --testbay-relay-options="--state app"',
    )
    group.addoption(
        "--testbay-trace-dir",
        metavar="DIR",
        help="keep the trace of every test's document in DIR, one file per test (appended to)",
    )
    group.addoption(
        "--testbay-stay",
        action="store_true",
        help="leave the relay in the hardware test after each test instead of restarting it "
        "into the firmware it was found in",
    )


# A failing test's report shows at most this much of the end of its trace.
REPORTED_TRACE_CHARS = 200_000
_TRACE = pytest.StashKey[tuple]()


def _trace_name(nodeid):
    name = re.sub(r"[^A-Za-z0-9_.-]+", "_", nodeid).strip("_")
    if len(name) > 120:
        name = name[:100] + "_" + hashlib.sha1(nodeid.encode()).hexdigest()[:12]
    return name + ".trace"


def _trace_since(path, start):
    """What the trace file got from `start` on, cut to its end part."""
    try:
        with open(path, "rb") as trace:
            trace.seek(start)
            text = trace.read().decode("latin-1")
    except OSError:
        return ""
    if len(text) > REPORTED_TRACE_CHARS:
        text = f"[... the first {len(text) - REPORTED_TRACE_CHARS} characters are left out]\n" + text[
            -REPORTED_TRACE_CHARS:
        ]
    return text


@pytest.fixture(scope="session")
def _testbay_trace_dir(request):
    kept = request.config.getoption("testbay_trace_dir")
    if kept:
        os.makedirs(kept, exist_ok=True)
        yield kept
        return
    directory = tempfile.mkdtemp(prefix="testbay-trace-")
    try:
        yield directory
    finally:
        shutil.rmtree(directory, ignore_errors=True)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    report = (yield).get_result()
    held = item.stash.get(_TRACE, None)
    if held is None or not report.failed:
        return
    text = _trace_since(*held)
    if text:
        report.sections.append((f"Captured testbay trace {report.when}", text))


@pytest.fixture(scope="session")
def relay(request):
    port = request.config.getoption("testbay_port")
    if port is not None:
        yield RelayPort(port, dict(os.environ))
        return
    options = shlex.split(request.config.getoption("testbay_relay_options"))
    with VirtualRelay(options) as virtual, Workspace(logfile=False) as workspace:
        workspace.map_port(1, virtual.device)
        yield RelayPort(1, workspace.env, virtual.device)


@pytest.fixture
def doc(relay, request, _testbay_trace_dir):
    unreachable = request.config.stash.get(_UNREACHABLE, None)
    if unreachable is not None:
        pytest.skip(f"{unreachable} (in an earlier test)")
    trace = os.path.join(_testbay_trace_dir, _trace_name(request.node.nodeid))
    request.node.stash[_TRACE] = (trace, os.path.getsize(trace) if os.path.exists(trace) else 0)
    document = Dispatch(env=dict(relay.env, TESTBAY_TRACE=trace))
    leave = "ExitHardwaretest" if request.config.getoption("testbay_stay") else "LeaveHardwaretest"
    entered = False
    try:
        entered = document.EnterHardwaretestAtPort("", relay.number)
        if not entered:
            reason = document.last_reason or "the port did not open or the relay did not answer"
            unreachable = f"the relay on COM{relay.number} did not enter the hardware test: {reason}"
            request.config.stash[_UNREACHABLE] = unreachable
            pytest.fail(unreachable, pytrace=False)
        yield document
    finally:
        # A document that Ctrl+C ended has no server left to leave the hardware test with.
        entered = entered and not document.closed
        try:
            left = not entered or document.call(leave)
        finally:
            document.close()
    if not left:
        pytest.fail(f"the relay on COM{relay.number} did not leave the hardware test", pytrace=False)
