#!/usr/bin/env python3
"""Automation through network ports: ser2net on the loopback address exporting virtual
relays with RFC 2217, beside the same relays on their pseudo-terminals directly.

1. One client, the same calls directly and through rfc2217:// (ser2net as its manual sets
   it up, and with Nagle's algorithm and its character delay off), relay with wire timing
   at 115200 baud: calls per second and the run's time against the wire time of its bytes.
2. EnterHardwaretest from the application state through ser2net and directly.
3. Sixteen clients on sixteen relays through one ser2net for a minute (the seconds are the
   second argument): total calls per second and PC-side time-outs (the goal is none).
Byte counts and time-outs come from each server's trace.
"""

import os
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "python"))
sys.path.insert(0, os.path.join(HERE, "..", "python", "tests"))

from automation_bench import BAUD, measure  # noqa: E402
from network_ports import Ser2net  # noqa: E402
from testbay import Dispatch  # noqa: E402
from testbay.relay import VirtualRelay, Workspace  # noqa: E402

ENTRY_RUNS = 3
CLIENTS = 16


def entry_seconds(port_value):
    with Workspace() as workspace:
        workspace.map_port(1, port_value)
        with Dispatch(env=workspace.env) as doc:
            start = time.monotonic()
            if not doc.EnterHardwaretestAtPort("", 1):
                raise RuntimeError(f"no entry through {port_value}: {doc.last_reason}")
            return time.monotonic() - start


def calls_against_wire_time(calls):
    options = ["--baud", str(BAUD), "--wire-timing"]
    with VirtualRelay(options) as relay:
        print_calls("pseudo-terminal", measure(relay.device, calls))
    for low_latency, label in ((False, "ser2net defaults"), (True, "ser2net nodelay, no chardelay")):
        with VirtualRelay(options) as relay, Ser2net([relay.device], low_latency=low_latency) as server:
            print_calls(f"rfc2217://, {label}", measure(server.url(), calls))


def print_calls(label, figures):
    done, elapsed, wire_bytes, timeouts = figures
    wire_seconds = wire_bytes * 10 / BAUD
    print(f"{label:<43} {done} calls in {elapsed:.2f} s = {done / elapsed:4.0f} calls/s; "
          f"{wire_bytes} bytes on the wire take {wire_seconds:.2f} s, run/wire time "
          f"{elapsed / wire_seconds:.2f}; PC-side time-outs {timeouts}")


def entry_from_the_application():
    for label in ("pseudo-terminal", "rfc2217:// via ser2net"):
        times = []
        for _ in range(ENTRY_RUNS):
            with VirtualRelay(["--state", "app", "--any-parity"]) as relay:
                if label == "pseudo-terminal":
                    times.append(entry_seconds(relay.device))
                else:
                    with Ser2net([relay.device]) as server:
                        times.append(entry_seconds(server.url()))
        print(f"EnterHardwaretest from the application, {label:<24} "
              f"mean {sum(times) / len(times):.3f} s, fastest {min(times):.3f} s of {len(times)}")


def many_clients(seconds):
    relays = [VirtualRelay(["--baud", str(BAUD)]) for _ in range(CLIENTS)]
    results = {}
    failures = []

    def client(index, url):
        try:
            results[index] = measure(url, 0, seconds)
        except Exception as error:  # a failed entry is a figure too
            failures.append(f"client {index}: {error}")

    try:
        with Ser2net([relay.device for relay in relays]) as server:
            threads = [threading.Thread(target=client, args=(i, server.url(i))) for i in range(CLIENTS)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
    finally:
        for relay in relays:
            relay.stop()
    total = sum(r[0] for r in results.values())
    timeouts = sum(r[3] for r in results.values())
    print(f"{CLIENTS} clients on {CLIENTS} relays through one ser2net for {seconds:.0f} s: {total} calls, "
          f"{total / seconds:.0f} calls/s in total; PC-side time-outs {timeouts}; clients that failed "
          f"{len(failures)}")
    for failure in failures:
        print(f"  {failure}")


def main():
    calls = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60
    calls_against_wire_time(calls)
    entry_from_the_application()
    many_clients(seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
