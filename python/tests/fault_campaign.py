#!/usr/bin/env python3
"""The fault campaign: a fixed script of automation calls against virtual
relays with injected faults, each call timed against the bound its time-outs
and repeats allow. Run directly, it prints the table."""

import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from testbay import AutomationError, Dispatch  # noqa: E402
from testbay.relay import VirtualRelay, Workspace  # noqa: E402

ATTEMPTS = 4
REPEAT_PAUSE_MS = 5
SLACK_MS = 500


def bound_ms(telegrams, timeout_ms):
    """The longest a call may take: every transmission runs to its time-out
    plus the longest a never-silent line may stretch it (twice the time-out
    and a second), with the pause before each repeat."""
    per_attempt = timeout_ms + 2 * timeout_ms + 1000 + REPEAT_PAUSE_MS
    return telegrams * ATTEMPTS * per_attempt + SLACK_MS


# (name, arguments, telegrams, time-out of each in ms)
SCRIPT = [
    ("GetLedCount", (), 1, 60),
    ("SetLed", (1, True), 1, 60),
    ("GetLed", (1,), 1, 60),
    ("GetCpu", (), 1, 60),
    ("GetSerialPortCount", (), 1, 60),
    ("GetChannelValue", (1,), 1, 60),
    ("ReadMemory", (0, 0x100, 16, " " * 16), 1, 1800),
    ("GetDate", (), 2, 60),
    ("GetMlfbString", (), 1, 60),
]
ROUNDS = 2

# (fault, relay options, what the script's calls must give: "pass", "fail-late" (after a
# good start), "recover" (after a new connection) or "any")
FAULTS = [
    ("none", [], "pass"),
    ("lost answers", ["--drop-every", "3"], "pass"),
    ("corrupted checksums", ["--corrupt-every", "2"], "pass"),
    ("wrong echoes", ["--wrong-echo-every", "2"], "pass"),
    ("noise before answers", ["--noise", "40"], "pass"),
    ("answers just past the time-out", ["--delay", "65", "--faults-after", "1"], "any"),
    ("relay never stops sending", ["--babble", "--faults-after", "1"], "any"),
    ("relay silent for good", ["--silent-after", "12"], "fail-late"),
    ("line unplugged mid-exchange", ["--hang-up-after", "12"], "fail-late"),
    ("restart into the application", ["--restart-after", "12", "--restart-into", "app"], "recover"),
]


def succeeded(result):
    value = result[0] if isinstance(result, tuple) else result
    return value not in (False, None)


def timed(doc, name, args):
    start = time.monotonic()
    result = doc.call(name, *args)
    return result, (time.monotonic() - start) * 1000


def run_fault(fault, options, expectation):
    row = {"fault": fault, "calls": 0, "longest_ms": 0.0, "worst_ratio": 0.0, "passed": 0, "failed": 0,
           "errors": [], "alive": False, "outcome_ok": True}
    with VirtualRelay(options) as relay, Workspace(logfile=False) as workspace:
        workspace.map_port(1, relay.device)
        with Dispatch(env=workspace.env) as doc:
            entered = doc.EnterHardwaretestAtPort("", 1)
            outcomes = []
            for _ in range(ROUNDS):
                for name, args, telegrams, timeout in SCRIPT:
                    try:
                        result, elapsed = timed(doc, name, args)
                        outcomes.append(succeeded(result))
                    except AutomationError as error:
                        row["errors"].append(f"{name}: {error}")
                        elapsed = 0
                    row["calls"] += 1
                    row["longest_ms"] = max(row["longest_ms"], elapsed)
                    row["worst_ratio"] = max(row["worst_ratio"], elapsed / bound_ms(telegrams, timeout))
            if expectation == "recover":
                doc.ExitHardwaretest()
                outcomes.append(doc.EnterHardwaretestAtPort("", 1) and succeeded(doc.GetLedCount()))
            row["passed"] = sum(outcomes)
            row["failed"] = len(outcomes) - row["passed"]
            row["alive"] = doc.GetTestbayVersion() == "04.02.08"
            if expectation == "pass":
                row["outcome_ok"] = entered and all(outcomes)
            elif expectation == "fail-late":
                row["outcome_ok"] = entered and outcomes[0] and not any(outcomes[-5:])
            elif expectation == "recover":
                row["outcome_ok"] = entered and outcomes[0] and not outcomes[-2] and outcomes[-1]
    return row


def run_campaign():
    rows = [None] * len(FAULTS)

    def worker(index, fault):
        rows[index] = run_fault(*fault)

    threads = [threading.Thread(target=worker, args=(i, f)) for i, f in enumerate(FAULTS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return rows


def main():
    rows = run_campaign()
    print(f"{'fault':<32} {'calls':>5} {'longest ms':>10} {'of bound':>8} {'pass':>4} {'fail':>4}  outcome")
    for row in rows:
        verdict = "as expected" if row["outcome_ok"] and row["alive"] and not row["errors"] else "UNEXPECTED"
        print(f"{row['fault']:<32} {row['calls']:>5} {row['longest_ms']:>10.0f} {row['worst_ratio']:>7.0%} "
              f"{row['passed']:>4} {row['failed']:>4}  {verdict}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
