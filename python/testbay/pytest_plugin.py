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

--testbay-port takes several ports (1,2,5-8). Under pytest-xdist each worker
tests a relay of its own, the N-th worker the N-th port (-n auto starts one
worker per port; more workers than ports is a usage error); without xdist
the session tests the first port. With virtual relays each worker starts its
own. @pytest.mark.testbay_relay_options("--state app") gives one test a
virtual relay of its own with these options (skipped with --testbay-port).
Each test's report holds which relay ran it as properties (--junitxml):
testbay_port, testbay_device (of a virtual relay), testbay_cpu and
testbay_serial_number.
"""

import argparse
import contextlib
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
# On the xdist controller: the port each live worker tests, by worker id.
_WORKER_PORTS = pytest.StashKey[dict]()
# What the controller hands each worker: the port it tests.
_WORKER_PORT = "testbay_port"
OWN_RELAY_MARKER = "testbay_relay_options"
# A port list that expands to more is a typing mistake, not a test stand.
MAX_PORTS = 1024


@dataclass(frozen=True)
class RelayPort:
    """COM<number>, with the environment an automation server finds it in."""

    number: int
    env: dict
    # The virtual relay's pseudo-terminal; None for a relay given by port.
    device: Optional[str] = None


def port_list(text):
    """The COM numbers of a list such as "1,2,5-8", in its order; each port once."""
    ports = []
    try:
        for part in text.split(","):
            first, dash, last = part.partition("-")
            start, end = int(first), int(last if dash else first)
            if start < 1:
                raise ValueError("COM numbers start at 1")
            if end < start:
                raise ValueError(f"the range {part.strip()} runs backwards")
            if len(ports) + end - start + 1 > MAX_PORTS:
                raise ValueError(f"more than {MAX_PORTS} ports")
            for number in range(start, end + 1):
                if number in ports:
                    raise ValueError(f"COM{number} is named twice")
                ports.append(number)
    except ValueError as error:
        reason = "" if str(error).startswith("invalid literal") else f" ({error})"
        raise argparse.ArgumentTypeError(
            f"{text!r} is not a list of COM port numbers such as 1,2,5-8{reason}"
        ) from None
    return tuple(ports)


def pytest_addoption(parser):
    group = parser.getgroup("testbay", "Testbay relay test stand")
    group.addoption(
        "--testbay-port",
        type=port_list,
        metavar="N,M-K",
        help="test the relays on these COM ports (mapped in [Ports] of Testbay.ini) instead of a virtual "
        "relay: one per pytest-xdist worker, else the first",
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


def pytest_configure(config):
    _refuse_more_workers_than_ports(config)
    config.addinivalue_line(
        "markers",
        f'{OWN_RELAY_MARKER}("OPTIONS"): run the test on a virtual relay of its own, started with these '
        "options (as --testbay-relay-options takes them); skipped with --testbay-port",
    )


def _port_names(ports):
    return ", ".join(f"COM{number}" for number in ports)


# On the controller, before any worker starts; -n auto is a number by now.
def _refuse_more_workers_than_ports(config):
    ports = config.getoption("testbay_port")
    workers = getattr(config.option, "numprocesses", None)
    if not ports or hasattr(config, "workerinput") or not isinstance(workers, int) or workers <= len(ports):
        return
    raise pytest.UsageError(
        f"{workers} pytest-xdist workers but {len(ports)} relays in --testbay-port "
        f"({_port_names(ports)}): each worker needs a relay of its own; -n auto starts one per port"
    )


# First: xdist's own answer (the CPU count) would win otherwise.
@pytest.hookimpl(optionalhook=True, tryfirst=True)
def pytest_xdist_auto_num_workers(config):
    ports = config.getoption("testbay_port")
    return len(ports) if ports else None


@pytest.hookimpl(optionalhook=True)
def pytest_configure_node(node):
    ports = node.config.getoption("testbay_port")
    if not ports:
        return
    # A worker that replaces a crashed one takes over its port.
    held = node.config.stash.setdefault(_WORKER_PORTS, {})
    port = next(number for number in ports if number not in held.values())
    held[node.gateway.id] = port
    node.workerinput[_WORKER_PORT] = port


@pytest.hookimpl(optionalhook=True)
def pytest_testnodedown(node, error):
    node.config.stash.get(_WORKER_PORTS, {}).pop(node.gateway.id, None)


def _given_port(config):
    """The port this process tests: its worker's under pytest-xdist, else the first."""
    workerinput = getattr(config, "workerinput", None)
    if workerinput is None:
        return config.getoption("testbay_port")[0]
    if _WORKER_PORT not in workerinput:
        pytest.fail(
            "this pytest-xdist worker was given no port: load testbay.pytest_plugin in the controller too "
            "(-p testbay.pytest_plugin, or pytest_plugins in the top conftest.py)",
            pytrace=False,
        )
    return workerinput[_WORKER_PORT]


@contextlib.contextmanager
def _virtual_relay(options):
    with VirtualRelay(shlex.split(options)) as virtual, Workspace(logfile=False) as workspace:
        workspace.map_port(1, virtual.device)
        yield RelayPort(1, workspace.env, virtual.device)


def _own_relay_options(item):
    """The options of the test's own virtual relay; None when it tests the session's."""
    marker = item.get_closest_marker(OWN_RELAY_MARKER)
    if marker is None:
        return None
    if len(marker.args) != 1 or not isinstance(marker.args[0], str) or marker.kwargs:
        pytest.fail(
            f'{OWN_RELAY_MARKER} takes one string of relay options, e.g. {OWN_RELAY_MARKER}("--state app")',
            pytrace=False,
        )
    return marker.args[0]


@pytest.fixture(scope="session")
def _testbay_session_relay(request):
    if request.config.getoption("testbay_port"):
        yield RelayPort(_given_port(request.config), dict(os.environ))
        return
    with _virtual_relay(request.config.getoption("testbay_relay_options")) as port:
        yield port


def _recorded(item, port):
    """`port`, written into the test's report."""
    item.user_properties.append(("testbay_port", f"COM{port.number}"))
    if port.device:
        item.user_properties.append(("testbay_device", port.device))
    return port


@pytest.fixture
def relay(request):
    options = _own_relay_options(request.node)
    if options is None:
        yield _recorded(request.node, request.getfixturevalue("_testbay_session_relay"))
        return
    if request.config.getoption("testbay_port"):
        pytest.skip(f"needs a virtual relay of its own ({options}); --testbay-port tests given relays")
    with _virtual_relay(options) as port:
        yield _recorded(request.node, port)


@pytest.fixture
def doc(relay, request, _testbay_trace_dir):
    # A test's own relay is not the session's: its failure skips no other test.
    fail_fast = _own_relay_options(request.node) is None
    unreachable = request.config.stash.get(_UNREACHABLE, None) if fail_fast else None
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
            if fail_fast:
                request.config.stash[_UNREACHABLE] = unreachable
            pytest.fail(unreachable, pytrace=False)
        request.node.user_properties.extend(
            [
                ("testbay_cpu", document.GetCpu() or ""),
                ("testbay_serial_number", document.GetSerialNumberString() or ""),
            ]
        )
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
