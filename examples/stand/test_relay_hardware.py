"""A test-stand suite for a relay's hardware, written with Testbay's pytest plugin.

    pytest examples/stand                                   # a virtual relay of its own
    pytest examples/stand --testbay-port 1                  # the relay on COM1
    pytest examples/stand --testbay-relay-options="--state app --cpu PBX1"
    pytest examples/stand -n auto --testbay-port 3-6        # COM3 to COM6, a worker each

Every test gets `doc`, a document with the relay in the hardware test; the
plugin leaves the hardware test again after each test.
"""

import datetime

import pytest

SCRATCH_AREA = 0x4000


def count(doc, method):
    ok, number = getattr(doc, method)()
    assert ok, f"{method} failed"
    assert number > 0, f"{method} found none"
    return number


def test_every_led_lights_and_goes_out(doc):
    leds = range(1, count(doc, "GetLedCount") + 1)
    for led in leds:
        assert doc.SetLed(led, True)
        assert doc.GetLed(led) == (True, True), f"LED {led} stays dark"
    assert doc.SetLeds(0)
    assert [doc.GetLed(led) for led in leds] == [(True, False)] * len(leds)


def test_every_output_relay_picks_up_and_drops_out(doc):
    for relay in range(1, count(doc, "GetRelayCount") + 1):
        assert doc.SetRelay(relay, True)
        assert doc.GetRelay(relay) == (True, True), f"relay {relay} does not pick up"
        assert doc.SetRelay(relay, False)
        assert doc.GetRelay(relay) == (True, False), f"relay {relay} does not drop out"


def test_binary_inputs_read_without_voltage_as_off(doc):
    inputs = range(1, count(doc, "GetBinaryInputCount") + 1)
    assert [doc.GetBinaryInput(number) for number in inputs] == [(True, False)] * len(inputs)


@pytest.mark.parametrize(
    "pattern", [bytes(range(32)), b"\xff" * 32, b"\x55\xaa" * 16], ids=["counting", "ones", "alternating"]
)
def test_memory_keeps_what_is_written(doc, pattern):
    text = pattern.decode("latin-1")
    assert doc.WriteMemory(0, SCRATCH_AREA, len(text), text)
    assert doc.ReadMemory(0, SCRATCH_AREA, len(text), " " * len(text)) == (True, text)


def test_memory_test_of_every_area_passes(doc):
    for area in range(count(doc, "GetMemoryCount")):
        ok, *_ = doc.GetMemoryInfo(area)
        assert ok, f"no information on memory area {area}"
    assert doc.TestMemory(0, SCRATCH_AREA, 0x100) == (True, True)


def test_clock_takes_the_time_of_the_stand(doc):
    now = datetime.datetime.now().replace(microsecond=0)
    assert doc.SetDate(now.day, now.month, now.year % 100, now.hour, now.minute, now.second)
    ok, day, month, year, hour, minute, second = doc.GetDate()
    assert ok
    relay_time = datetime.datetime(2000 + year, month, day, hour, minute, second)
    assert abs(relay_time - now) <= datetime.timedelta(seconds=5)


def test_analog_channels_have_names_and_values(doc):
    for channel in range(1, count(doc, "GetChannelCount") + 1):
        assert doc.GetChannelName(channel), f"channel {channel} has no name"
        assert doc.GetChannelValue(channel)[0], f"channel {channel} gives no value"
        assert doc.GetAverageChannelValue(channel)[0], f"channel {channel} gives no average"
