#!/usr/bin/env python3
"""A test-stand run against the virtual relay.

Starts testbay-relay in its protection-application state, maps it as COM1,
brings it into the hardware test through the automation interface, walks its
hardware and prints a report with PASS or FAIL per step.
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))

from testbay import Dispatch  # noqa: E402
from testbay.relay import VirtualRelay, Workspace  # noqa: E402


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


def identify(doc, report):
    cpu = doc.GetCpu()
    report.step("CPU board", cpu, cpu or "")
    report.step("hardware version", doc.GetHWVersion() is not None, doc.GetHWVersion() or "")
    versions = [doc.GetVersionString(index) for index in range(4)]
    report.step("firmware versions", all(versions), ", ".join(v or "?" for v in versions))
    mlfb = doc.GetMlfbString()
    report.step("order number", mlfb, mlfb or "")
    serial = doc.GetSerialNumberString()
    report.step("serial number", serial, serial or "")


def walk_outputs(doc, report):
    ok, leds = doc.GetLedCount()
    lit = [doc.SetLed(led, True) for led in range(1, leds + 1)]
    seen = [doc.GetLed(led)[1] for led in range(1, leds + 1)]
    doc.SetLeds(0)
    report.step("LEDs on and read back", ok and all(lit) and all(seen), f"{leds} LEDs")
    ok, relays = doc.GetRelayCount()
    switched = all(doc.SetRelay(relay, True) and doc.GetRelay(relay)[1] for relay in range(1, relays + 1))
    for relay in range(1, relays + 1):
        doc.SetRelay(relay, False)
    report.step("output relays", ok and switched, f"{relays} relays")
    ok, inputs = doc.GetBinaryInputCount()
    states = "".join("1" if doc.GetBinaryInput(i)[1] else "0" for i in range(1, inputs + 1))
    report.step("binary inputs", ok, f"{inputs} inputs: {states}")


def measure(doc, report):
    ok, supplies = doc.GetSupplyCount()
    values = []
    for supply in range(1, supplies + 1):
        _, name, low, high, value = doc.GetSupplyValue(supply, " " * 16)
        values.append(f"{name.split(chr(0))[0]}={value}")
    report.step("power supplies", ok and doc.TestSupplies()[1], ", ".join(values))
    ok, channels = doc.GetChannelCount()
    names = [doc.GetChannelName(channel) for channel in range(1, channels + 1)]
    report.step("analog channel names", ok and all(names), " ".join(n or "?" for n in names))
    readings = [doc.GetAverageChannelValue(channel) for channel in range(1, min(channels, 4) + 1)]
    report.step("analog channel values", all(r[0] for r in readings), " ".join(str(r[2]) for r in readings))


def memory(doc, report):
    ok, count = doc.GetMemoryCount()
    report.step("memory areas", ok, f"{count} areas")
    pattern = "".join(chr(byte) for byte in range(32))
    written = doc.WriteMemory(0, 0x4000, len(pattern), pattern)
    ok, back = doc.ReadMemory(0, 0x4000, len(pattern), " " * len(pattern))
    report.step("memory write and read back", written and ok and back == pattern, "32 bytes at 0x4000")
    ok, passed = doc.TestMemory(0, 0x4000, 0x100)
    report.step("memory test", ok and passed)


def serial_ports(doc, report):
    ok, count = doc.GetSerialPortCount()
    results = []
    for port in range(count):
        _, passed = doc.TestSerialPortEx(port)
        results.append(passed)
    report.step("relay serial ports", ok and count > 0, " ".join("ok" if r else "--" for r in results))


def error_records(doc, report):
    ok, count = doc.GetErrorCount()
    report.step("error records", ok, f"{count} records")


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
            report.step("ExitHardwaretest", doc.ExitHardwaretest())
    return 0 if report.finish() else 1


if __name__ == "__main__":
    sys.exit(main())
