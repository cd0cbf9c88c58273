"""The pytest plugin's fixtures, in pytest sessions of their own."""

import pytest

from testbay import Document
from testbay.relay import VirtualRelay, Workspace

PLUGIN = ("-p", "testbay.pytest_plugin")


@pytest.fixture
def calls(monkeypatch):
    """Every method call and close of the documents, with what it returned."""
    seen = []
    call, close = Document.call, Document.close

    def recorded_call(self, name, *args):
        result = call(self, name, *args)
        seen.append((name, result))
        return result

    def recorded_close(self):
        status = close(self)
        seen.append(("close", status))
        return status

    monkeypatch.setattr(Document, "call", recorded_call)
    monkeypatch.setattr(Document, "close", recorded_close)
    return seen


@pytest.fixture
def given_relay(monkeypatch):
    """A relay reached only through the port mapping of the configuration: COM6."""
    with VirtualRelay(["--state", "app", "--cpu", "QRX5"]) as relay, Workspace(logfile=False) as workspace:
        workspace.map_port(6, relay.device)
        monkeypatch.setenv("TESTBAY_CONFIG_DIR", workspace.directory)
        monkeypatch.setenv("TMPDIR", workspace.directory)
        yield workspace


def test_teardown_leaves_the_hardware_test_after_a_failing_test(pytester, calls):
    pytester.makepyfile(
        """
        def test_lights_an_led_and_fails(doc):
            assert doc.SetLed(1, True)
            assert False, "failed on purpose"

        def test_the_next_test_enters_again(doc):
            assert doc.IsActiv()
        """
    )
    pytester.runpytest(*PLUGIN).assert_outcomes(passed=1, failed=1)
    assert calls[:6] == [
        ("EnterHardwaretestAtPort", True),
        ("GetCpu", "MBX2"),
        ("GetSerialNumberString", "TQ2612345678"),
        ("SetLed", True),
        ("LeaveHardwaretest", True),
        ("close", 0),
    ]
    assert [value for name, value in calls if name == "LeaveHardwaretest"] == [True, True]

    calls.clear()
    pytester.runpytest(*PLUGIN, "--testbay-stay").assert_outcomes(passed=1, failed=1)
    assert [name for name, _ in calls if name.endswith("Hardwaretest")] == ["ExitHardwaretest"] * 2


FAILING_LED_TEST = """
def test_an_led_that_does_not_light(doc):
    assert doc.SetLed(3, True)
    assert doc.GetLedCount() == (True, 99)

def test_one_that_passes(doc):
    assert doc.IsActiv()
"""


def test_a_failing_tests_report_holds_the_telegrams_of_its_document(pytester):
    pytester.makepyfile(FAILING_LED_TEST)
    result = pytester.runpytest(*PLUGIN)
    result.assert_outcomes(passed=1, failed=1)
    result.stdout.fnmatch_lines(
        [
            "*_ test_an_led_that_does_not_light _*",
            "*- Captured testbay trace call -*",
            "==== * testbay * port COM1 (/dev/*) ====",
            "CHwtV4Client::SetLed",
            ">68 *",
            "<68 *",
            "CHwtV4Client::GetLedCount",
        ]
    )
    # Only the failing test's, and not kept.
    assert result.stdout.str().count("Captured testbay trace") == 1
    assert "CHwtV4Client::IsActiv" not in result.stdout.str()


def test_trace_dir_keeps_the_trace_of_every_test(pytester, tmp_path):
    pytester.makepyfile(FAILING_LED_TEST)
    kept = tmp_path / "traces"
    for _ in range(2):
        pytester.runpytest(*PLUGIN, f"--testbay-trace-dir={kept}").assert_outcomes(passed=1, failed=1)
    traces = {path.name: path.read_text(encoding="latin-1") for path in kept.iterdir()}
    assert sorted(traces) == [
        "test_trace_dir_keeps_the_trace_of_every_test.py_test_an_led_that_does_not_light.trace",
        "test_trace_dir_keeps_the_trace_of_every_test.py_test_one_that_passes.trace",
    ]
    for text in traces.values():
        # Appended: one part per session, each with its telegrams.
        assert text.count(" port COM1 (") == 2
        assert "\n>68 " in text and "\n<68 " in text


def test_testbay_port_reaches_the_relay_given_by_port(pytester, given_relay):
    pytester.makepyfile(
        """
        def test_the_given_relay(relay, doc):
            assert (relay.number, relay.device) == (6, None)
            assert doc.GetCpu() == "QRX5"
        """
    )
    pytester.runpytest(*PLUGIN, "--testbay-port", "6").assert_outcomes(passed=1)
    # Without pytest-xdist workers the session tests the first port of a list.
    pytester.runpytest(*PLUGIN, "--testbay-port", "6,8").assert_outcomes(passed=1)


def test_a_relay_that_does_not_enter_is_an_error_not_a_pass(pytester, given_relay):
    pytester.makepyfile("def test_anything(doc):\n    pass\n")
    result = pytester.runpytest(*PLUGIN, "--testbay-port", "8")
    result.assert_outcomes(errors=1)
    result.stdout.fnmatch_lines(["*the relay on COM8 did not enter the hardware test*"])


def test_relay_options_reach_the_virtual_relay(pytester):
    pytester.makepyfile(
        """
        def test_the_virtual_relay(relay, doc):
            assert relay.number == 1 and relay.device.startswith("/dev/")
            assert doc.GetCpu() == "ZZX9"
            assert doc.GetLedCount() == (True, 5)
        """
    )
    options = "--testbay-relay-options=--state app --cpu ZZX9 --leds 5"
    pytester.runpytest(*PLUGIN, options).assert_outcomes(passed=1)
