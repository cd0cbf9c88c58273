"""The pytest plugin over several relays: the port list, one relay per
pytest-xdist worker, the first port without xdist, a test's own virtual relay,
and the relay of each test in the JUnit report."""

import argparse
import os
import xml.etree.ElementTree as ElementTree

import pytest

from testbay.pytest_plugin import port_list
from testbay.relay import VirtualRelay, Workspace

PLUGIN = ("-p", "testbay.pytest_plugin")
SERIAL_NUMBER = "TQ2612345678"

# Tests that write the worker running them into the report beside the plugin's properties.
WORKER_TESTS = """
import os
import pytest

@pytest.mark.parametrize("round", range(6))
def test_on_a_relay(request, doc, round):
    request.node.user_properties.append(("worker", os.environ.get("PYTEST_XDIST_WORKER", "none")))
    assert doc.IsActiv()
"""


@pytest.fixture
def two_relays(monkeypatch):
    """COM3 and COM5, virtual relays told apart by their CPU; COM9 a device that does not exist."""
    with (
        VirtualRelay(["--cpu", "AAA3"]) as first,
        VirtualRelay(["--cpu", "BBB5"]) as second,
        Workspace(logfile=False) as workspace,
    ):
        workspace.map_port(3, first.device)
        workspace.map_port(5, second.device)
        workspace.map_port(9, os.path.join(workspace.directory, "no-such-device"))
        monkeypatch.setenv("TESTBAY_CONFIG_DIR", workspace.directory)
        monkeypatch.setenv("TMPDIR", workspace.directory)
        yield workspace


def reported_tests(path):
    """Each test case of a JUnit report: (its properties, its outcome)."""
    cases = []
    for case in ElementTree.parse(path).iter("testcase"):
        properties = {item.get("name"): item.get("value") for item in case.iter("property")}
        outcomes = [child.tag for child in case if child.tag in ("failure", "error", "skipped")]
        cases.append((properties, outcomes[0] if outcomes else "passed"))
    return cases


def run_with_report(pytester, *args):
    report = pytester.path / "report.xml"
    result = pytester.runpytest_subprocess(*PLUGIN, f"--junitxml={report}", *args)
    return result, reported_tests(report)


@pytest.mark.parametrize(
    "text, ports", [("6", (6,)), ("1,2,5-8", (1, 2, 5, 6, 7, 8)), ("9,3", (9, 3)), (" 4-4 ", (4,))]
)
def test_port_list_takes_numbers_and_ranges_in_their_order(text, ports):
    assert port_list(text) == ports


@pytest.mark.parametrize(
    "text, why",
    [
        ("", ""),
        ("1,,2", ""),
        ("COM1", ""),
        ("2-", ""),
        ("-2", ""),
        ("1-2-3", ""),
        ("0,1", "COM numbers start at 1"),
        ("8-5", "the range 8-5 runs backwards"),
        ("1-3,2", "COM2 is named twice"),
        ("1-100000000", "more than 1024 ports"),
    ],
)
def test_a_bad_port_list_is_refused_naming_it(text, why):
    with pytest.raises(argparse.ArgumentTypeError) as refused:
        port_list(text)
    assert str(refused.value).startswith(f"{text!r} is not a list of COM port numbers such as 1,2,5-8")
    assert why in str(refused.value)


def test_a_bad_port_list_is_a_usage_error(pytester):
    pytester.makepyfile("def test_anything(doc):\n    pass\n")
    result = pytester.runpytest(*PLUGIN, "--testbay-port", "1,x")
    assert result.ret == pytest.ExitCode.USAGE_ERROR
    result.stderr.fnmatch_lines(["*--testbay-port: '1,x' is not a list of COM port numbers such as 1,2,5-8"])


def test_each_worker_tests_a_relay_of_its_own(pytester, two_relays):
    pytester.makepyfile(WORKER_TESTS)
    result, tests = run_with_report(pytester, "-n", "2", "--testbay-port", "3,5")
    result.assert_outcomes(passed=6)
    relays = {
        (found["worker"], found["testbay_port"], found["testbay_cpu"], found["testbay_serial_number"])
        for found, _ in tests
    }
    assert relays == {("gw0", "COM3", "AAA3", SERIAL_NUMBER), ("gw1", "COM5", "BBB5", SERIAL_NUMBER)}

    # Virtual relays: each worker starts one of its own.
    result, tests = run_with_report(pytester, "-n", "2")
    result.assert_outcomes(passed=6)
    devices = {(found["worker"], found["testbay_port"], found["testbay_device"]) for found, _ in tests}
    assert len(devices) == 2 and len({device for _, _, device in devices}) == 2
    assert {(worker, port) for worker, port, _ in devices} == {("gw0", "COM1"), ("gw1", "COM1")}


def test_an_unreachable_relay_skips_only_the_tests_of_its_worker(pytester, two_relays):
    pytester.makepyfile(WORKER_TESTS)
    _, tests = run_with_report(pytester, "-n", "2", "--testbay-port", "3,9")
    outcomes = {"COM3": [], "COM9": []}
    for found, outcome in tests:
        outcomes[found["testbay_port"]].append(outcome)
    assert set(outcomes["COM3"]) == {"passed"} and len(outcomes["COM3"]) >= 2
    assert sorted(outcomes["COM9"]) == ["error"] + ["skipped"] * (len(outcomes["COM9"]) - 1)


def test_a_worker_that_replaces_a_crashed_one_takes_over_its_relay(pytester, two_relays):
    pytester.makepyfile(
        """
import os

def test_crashes_the_first_worker():
    if os.environ["PYTEST_XDIST_WORKER"] == "gw0":
        os._exit(1)
"""
        + WORKER_TESTS
    )
    result, tests = run_with_report(pytester, "-n", "2", "--dist", "each", "--testbay-port", "3,5")
    result.stdout.fnmatch_lines(["*replacing crashed worker gw0*"])
    relays = {(found["worker"], found["testbay_port"]) for found, outcome in tests if outcome == "passed" and found}
    assert ("gw2", "COM3") in relays and ("gw1", "COM5") in relays
    assert {port for _, port in relays} == {"COM3", "COM5"}


def test_workers_are_as_many_as_ports(pytester, two_relays, monkeypatch):
    pytester.makepyfile(WORKER_TESTS)
    result = pytester.runpytest_subprocess(*PLUGIN, "-n", "3", "--testbay-port", "3,5")
    assert result.ret == pytest.ExitCode.USAGE_ERROR
    result.stderr.fnmatch_lines(
        ["*3 pytest-xdist workers but 2 relays in --testbay-port (COM3, COM5): each worker needs a relay of its own*"]
    )
    # -n auto: one worker per port, whatever xdist would have chosen.
    monkeypatch.setenv("PYTEST_XDIST_AUTO_NUM_WORKERS", "4")
    result, tests = run_with_report(pytester, "-n", "auto", "--testbay-port", "5")
    result.assert_outcomes(passed=6)
    assert {(found["worker"], found["testbay_port"]) for found, _ in tests} == {("gw0", "COM5")}


OWN_RELAY_TESTS = """
import pytest

@pytest.mark.testbay_relay_options("--cpu OWN1 --leds 3")
def test_on_its_own_relay(relay, doc):
    assert doc.GetCpu() == "OWN1" and doc.GetLedCount() == (True, 3)

def test_on_the_sessions_relay(relay, doc):
    assert doc.GetCpu() != "OWN1"

@pytest.mark.testbay_relay_options(cpu="OWN2")
def test_with_a_misspelt_marker(relay):
    pass
"""


def test_a_marked_test_runs_on_a_virtual_relay_of_its_own(pytester, two_relays):
    pytester.makepyfile(OWN_RELAY_TESTS)
    result, tests = run_with_report(pytester, "--strict-markers", "--testbay-relay-options=--cpu SES1")
    result.assert_outcomes(passed=2, errors=1)
    result.stdout.fnmatch_lines(['*testbay_relay_options takes one string of relay options, e.g.*("--state app")'])
    assert [found["testbay_cpu"] for found, outcome in tests if outcome == "passed"] == ["OWN1", "SES1"]

    # Given relays have the options they have: the marked test does not run on them.
    result, tests = run_with_report(pytester, "--strict-markers", "--testbay-port", "3")
    result.assert_outcomes(passed=1, skipped=1, errors=1)
    assert [found["testbay_cpu"] for found, outcome in tests if outcome == "passed"] == ["AAA3"]
