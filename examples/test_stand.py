#!/usr/bin/env python3
"""A test-stand run against the virtual relay.

Starts testbay-relay in its protection-application state, maps it as COM1,
brings it into the hardware test through the automation interface, walks its
hardware and prints a report with PASS or FAIL per step. A step passes only
when everything it checked passed; the exit status is 1 when one failed.
"""

import os
import shutil
import sys
import time

TREE_CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python")
sys.path.insert(0, TREE_CLIENT)

from testbay import Dispatch, find_server  # noqa: E402
from testbay.relay import VirtualRelay, Workspace  # noqa: E402

# How this stand is wired to the relay's own serial ports. A port passes
# TestSerialPortEx only when a test plug loops it back; the virtual relay has
# one on its RS485 port. The front port carries this PC's link, and a
# protection interface needs a partner relay (the WS-Test), not a plug.
TEST_PLUGS = {1}
LINK_PORT = 0
PROTECTION_INTERFACE = 0x08  # bit of the port's id

# Analog channel types and the unit of their values, which come in thousandths.
CHANNEL_UNITS = {1: "A", 2: "A", 4: "V"}


class Report:
    def __init__(self):
        self.rows = []
        self.start = time.monotonic()

    def step(self, name, passed, detail=""):
        self.rows.append((name, bool(passed), detail))
        print(f"  {'PASS' if passed else 'FAIL'}  {name:<34} {detail}", flush=True)

    def finish(self):
        failed = sum(1 for _, passed, _ in self.rows if not passed)
        seconds = time.monotonic() - self.start
        print(f"\n{len(self.rows)} steps, {len(self.rows) - failed} passed, {failed} failed in {seconds:.1f} s")
        return failed == 0


def counted(doc, method):
    """The count a Get...Count method reads, with whether it read one above 0."""
    ok, number = getattr(doc, method)()
    return ok and number > 0, number


def identify(doc, report):
    cpu = doc.GetCpu()
    report.step("CPU board", cpu, cpu or "none")
    hardware = doc.GetHWVersion()
    report.step("hardware version", hardware, hardware or "none")
    versions = [doc.GetVersionString(index) for index in range(4)]
    report.step("firmware versions", all(versions), ", ".join(v or "?" for v in versions))
    mlfb = doc.GetMlfbString()
    report.step("order number", mlfb, mlfb or "none")
    serial = doc.GetSerialNumberString()
    report.step("serial number", serial, serial or "none")


def walk_outputs(doc, report):
    ok, leds = counted(doc, "GetLedCount")
    numbers = range(1, leds + 1)
    lit = all(doc.SetLed(led, True) for led in numbers) and all(doc.GetLed(led) == (True, True) for led in numbers)
    dark = doc.SetLeds(0) and all(doc.GetLed(led) == (True, False) for led in numbers)
    report.step("LEDs light and go out", ok and lit and dark, f"{leds} LEDs")

    ok, relays = counted(doc, "GetRelayCount")
    switched = True
    for relay in range(1, relays + 1):
        picked_up = doc.SetRelay(relay, True) and doc.GetRelay(relay) == (True, True)
        dropped_out = doc.SetRelay(relay, False) and doc.GetRelay(relay) == (True, False)
        switched = switched and picked_up and dropped_out
    report.step("output relays pick up and drop out", ok and switched, f"{relays} relays")

    ok, inputs = counted(doc, "GetBinaryInputCount")
    readings = [doc.GetBinaryInput(number) for number in range(1, inputs + 1)]
    states = "".join("1" if on else "0" for _, on in readings)
    report.step("binary inputs read", ok and all(read for read, _ in readings), f"{inputs} inputs: {states}")


def measure(doc, report):
    ok, supplies = counted(doc, "GetSupplyCount")
    values = []
    for supply in range(1, supplies + 1):
        read, name, low, high, value = doc.GetSupplyValue(supply, " " * 16)
        ok = ok and read
        values.append(f"{name.split(chr(0))[0].strip()} {value} mV")
    tested, within_limits = doc.TestSupplies()
    report.step("power supplies within limits", ok and tested and within_limits, ", ".join(values))

    ok, channels = counted(doc, "GetChannelCount")
    names = [doc.GetChannelName(channel) for channel in range(1, channels + 1)]
    report.step("analog channel names", ok and all(names), " ".join(n or "?" for n in names))
    shown = []
    for channel in range(1, min(channels, 4) + 1):
        averaged, _, thousandths = doc.GetAverageChannelValue(channel)
        known, kind, _, _ = doc.GetChannelInfo(channel)
        ok = ok and averaged and known
        shown.append(f"{thousandths / 1000:.3f} {CHANNEL_UNITS.get(kind, '(no unit)')}")
    report.step("analog channel values", ok, ", ".join(shown))


def memory(doc, report):
    ok, count = counted(doc, "GetMemoryCount")
    report.step("memory areas", ok, f"{count} areas")
    pattern = "".join(chr(byte) for byte in range(32))
    written = doc.WriteMemory(0, 0x4000, len(pattern), pattern)
    ok, back = doc.ReadMemory(0, 0x4000, len(pattern), " " * len(pattern))
    report.step("memory write and read back", written and ok and back == pattern, f"{len(pattern)} bytes at 0x4000")
    ok, passed = doc.TestMemory(0, 0x4000, 0x100)
    report.step("memory test", ok and passed, "256 bytes at 0x4000")


def untested_reason(doc, port):
    """Why this stand does not loop-test `port`; None when it does."""
    if port == LINK_PORT:
        return "carries this PC's link"
    ok, port_id = doc.GetSerialPortID(port)
    if ok and port_id & PROTECTION_INTERFACE:
        return "protection interface"
    if port not in TEST_PLUGS:
        return "no test plug"
    return None


def serial_ports(doc, report):
    ok, count = counted(doc, "GetSerialPortCount")
    results, untested = [], []
    for port in range(count):
        reason = untested_reason(doc, port)
        if reason:
            untested.append(f"{port} ({reason})")
            continue
        called, passed = doc.TestSerialPortEx(port)
        results.append((port, called and passed))
    detail = ", ".join(f"port {port} {'passed' if passed else 'FAILED'}" for port, passed in results)
    if untested:
        detail += "; not tested: " + ", ".join(untested)
    report.step("relay serial ports", ok and results and all(passed for _, passed in results), detail)


def error_records(doc, report):
    ok, count = doc.GetErrorCount()
    report.step("error records", ok, f"{count} records")


def command(path):
    """`path` as the user types it from the current folder."""
    relative = os.path.relpath(path)
    return relative if relative.startswith(".") or os.sep in relative else os.path.join(".", relative)


def what_next():
    """The next things to try, as commands that work from here."""
    if shutil.which("testbay-call"):
        call = "testbay-call"
    else:
        call = f"PYTHONPATH={os.path.relpath(TREE_CLIENT)} python3 -m testbay.call"
    stand = command(os.path.join(os.path.dirname(os.path.abspath(__file__)), "stand"))
    server = find_server()
    window = "testbay" if shutil.which("testbay") == server else command(server)
    tries = [
        (f"{call} --relay GetLedCount", "one method from the shell (--list names them all)"),
        (f"pytest {stand}", "the example test-stand suite, against a virtual relay of its own"),
        (window, "the window; Settings > Serial Connection chooses the relay's port"),
    ]
    width = max(len(line) for line, _ in tries)
    print("\nTry next:")
    for line, purpose in tries:
        print(f"  {line:<{width}}   {purpose}")


def main():
    report = Report()
    print("Testbay test stand against the virtual relay\n")
    with VirtualRelay(["--state", "app", "--cpu", "PBX1"]) as relay, Workspace() as workspace:
        workspace.map_port(1, relay.device)
        with Dispatch("Testbay.Document", env=workspace.env) as doc:
            started = time.monotonic()
            entered = doc.EnterHardwaretestAtPort("", 1)
            report.step("EnterHardwaretest from the application", entered, f"{time.monotonic() - started:.1f} s")
            if entered:
                identify(doc, report)
                walk_outputs(doc, report)
                measure(doc, report)
                memory(doc, report)
                serial_ports(doc, report)
                error_records(doc, report)
                # The relay goes back to the application it was found in, as a stand leaves it.
                left = doc.LeaveHardwaretest()
                report.step("LeaveHardwaretest", left, "the relay restarts into its application, port closed")
    passed = report.finish()
    what_next()
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
