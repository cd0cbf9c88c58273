#!/usr/bin/env python3
"""Automation throughput against the virtual relay.

1. One client, 1000 calls, relay with wire timing at 115200 baud: calls per
   second and the run's time against the wire time of the bytes it moved.
2. Eight clients on eight relays at once: total calls per second and the
   PC-side time-outs (the goal is none).
3. Sixteen clients on sixteen relays for a minute (the seconds are the
   second argument): total calls per second and PC-side time-outs.
Byte counts and time-outs come from each server's trace.
"""

import glob
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))

from testbay import Dispatch  # noqa: E402
from testbay.relay import VirtualRelay, Workspace  # noqa: E402

BAUD = 115200


def script(doc, calls, deadline=None):
    """A mix of shapes: queries, settings, memory and analog reads."""
    done = 0
    while (done < calls) if deadline is None else (time.monotonic() < deadline):
        doc.GetLedCount()
        doc.SetLed(1 + done % 16, done % 2 == 0)
        doc.GetLed(1 + done % 16)
        doc.GetChannelValue(1)
        doc.ReadMemory(0, 0x100, 32, " " * 32)
        done += 5
    return done


def trace_file(workspace):
    return glob.glob(os.path.join(workspace.directory, "TESTBAY*", "LOG.TXT"))[0]


def trace_figures(log, offset):
    """Bytes on the wire and PC-side time-outs in the server's trace after `offset`."""
    wire_bytes = timeouts = 0
    with open(log, encoding="latin-1") as trace:
        trace.seek(offset)
        for line in trace:
            if line[:1] in "><!" and len(line) >= 48:
                wire_bytes += len(line[1:48].split())
            elif line.startswith("TD_TIMEOUT_PC"):
                timeouts += 1
    return wire_bytes, timeouts


def measure(device, calls, seconds=None):
    """The script on the relay mapped to COM1 as `device` (a path or a network port):
    (calls, seconds, bytes on the wire, PC-side time-outs)."""
    with Workspace() as workspace:
        workspace.map_port(1, device)
        doc = Dispatch(env=workspace.env)
        if not doc.EnterHardwaretestAtPort("", 1):
            raise RuntimeError(f"no entry through {device}: {doc.last_reason}")
        log = trace_file(workspace)
        offset = os.path.getsize(log)
        start = time.monotonic()
        done = script(doc, calls, start + seconds if seconds else None)
        elapsed = time.monotonic() - start
        figures = trace_figures(log, offset)
        doc.ExitHardwaretest()
        doc.close()
        return (done, elapsed, *figures)


def session(relay_options, calls, results, index, seconds=None):
    with VirtualRelay(relay_options) as relay:
        results[index] = measure(relay.device, calls, seconds)


def main():
    calls = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    results = {}
    session(["--baud", str(BAUD), "--wire-timing"], calls, results, 0)
    done, elapsed, wire_bytes, timeouts = results[0]
    wire_seconds = wire_bytes * 10 / BAUD
    print(f"one client, wire timing at {BAUD} baud: {done} calls in {elapsed:.2f} s = {done / elapsed:.0f} calls/s; "
          f"{wire_bytes} bytes on the wire take {wire_seconds:.2f} s, run/wire time {elapsed / wire_seconds:.2f}; "
          f"PC-side time-outs {timeouts}")

    results = {}
    threads = [threading.Thread(target=session, args=(["--baud", str(BAUD)], calls, results, i)) for i in range(8)]
    start = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    wall = time.monotonic() - start
    total = sum(r[0] for r in results.values())
    busiest = max(r[1] for r in results.values())
    timeouts = sum(r[3] for r in results.values())
    print(f"eight clients on eight relays: {total} calls, {total / busiest:.0f} calls/s in total "
          f"({wall:.1f} s with start-up); PC-side time-outs {timeouts}")

    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60
    results = {}
    threads = [threading.Thread(target=session, args=(["--baud", str(BAUD)], 0, results, i, seconds))
               for i in range(16)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    total = sum(r[0] for r in results.values())
    timeouts = sum(r[3] for r in results.values())
    print(f"sixteen clients on sixteen relays for {seconds:.0f} s: {total} calls, {total / seconds:.0f} calls/s "
          f"in total; PC-side time-outs {timeouts}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
