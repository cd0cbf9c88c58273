"""pytest fixtures for relay test stands.

    def test_leds(doc):
        ok, count = doc.GetLedCount()
        assert ok and count == 16

`relay` is the port under test: a virtual relay of its own for the session,
or the relay on COM<N> given by --testbay-port N. `doc` is a document in the
hardware test on that port; it leaves the hardware test again after the
test, also after a failing one. A relay that does not enter the hardware
test fails its test with the reason, once: the session's later tests that
need `doc` are skipped.
"""

import os
import shlex
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
def doc(relay, request):
    unreachable = request.config.stash.get(_UNREACHABLE, None)
    if unreachable is not None:
        pytest.skip(f"{unreachable} (in an earlier test)")
    document = Dispatch(env=relay.env)
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
            left = not entered or document.ExitHardwaretest()
        finally:
            document.close()
    if not left:
        pytest.fail(f"the relay on COM{relay.number} did not leave the hardware test", pytrace=False)
