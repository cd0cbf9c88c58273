"""testbay-call: one automation method from the shell.

    testbay-call --port 5 GetLedCount
    testbay-call --relay --relay-options="--cpu PBX1" GetCpu
    testbay-call --list

Enters the hardware test on the port, calls the method, prints the return
value and the final by-reference values one per line (or as JSON), and
leaves the hardware test again: the relay restarts into the firmware it was
found in (--stay keeps it in the hardware test). Exit status: 0 when the method returned
true (or a value), 1 when it returned false (or the null string), 2 for a
usage or automation error.
"""

import argparse
import json
import os
import shlex
import sys
import tempfile

from . import AutomationError, Dispatch
from ._methods import unknown_name_text
from .relay import VirtualRelay, Workspace

__all__ = ["main"]

RETURNED_TRUE, RETURNED_FALSE, FAILED = 0, 1, 2

# The position of the length whose bytes a left-out buffer of these methods
# makes room for; an unbounded room is left to the server to refuse.
_ROOM_OF_LENGTH = {"ReadMemory": 2}
_LONGEST_ROOM = 0xFFFF

_TRUE_WORDS = {"1", "true", "yes", "on"}
_FALSE_WORDS = {"0", "false", "no", "off"}


class CallError(Exception):
    """A command line that cannot become a call, or a relay that does not take it."""


def _parser():
    parser = argparse.ArgumentParser(
        prog="testbay-call",
        description="Calls one method of the Testbay automation interface in the hardware test of a relay.",
        epilog="Exit status: 0 when the method returned true (or a number or text), 1 when it returned false "
        "(or the null string), 2 for a usage or automation error. Numbers may be written as 0x1F; BOOL "
        "values as true/false, yes/no, on/off or 1/0. Give --relay-options with an equals sign: "
        '--relay-options="--state app".',
    )
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--port", type=int, metavar="N", help="the relay on COM<N>, as mapped in [Ports] of Testbay.ini")
    where.add_argument("--relay", action="store_true", help="a fresh virtual relay (testbay-relay) instead of a port")
    where.add_argument("--list", action="store_true", help="print the method table and exit")
    parser.add_argument(
        "--relay-options", default="", metavar="OPTIONS", help="options of the virtual relay, as one string"
    )
    parser.add_argument("--json", action="store_true", help="print the result as one JSON object")
    parser.add_argument(
        "--trace", metavar="FILE", help="append the trace of the call (every telegram) to FILE, which is kept"
    )
    parser.add_argument(
        "--stay",
        action="store_true",
        help="leave the relay in the hardware test afterwards instead of restarting it into the firmware it was found in",
    )
    parser.add_argument("method", nargs="?", help="method name, in any case")
    parser.add_argument("args", nargs="*", help="parameters by position; trailing by-reference ones may be left out")
    return parser


def _convert(text, kind, position):
    base = kind.rstrip("*")
    try:
        if base == "long":
            return int(text, 0)
        if base == "double":
            return float(text)
    except ValueError:
        raise CallError(f"parameter {position}: {text!r} is no {base}") from None
    if base == "BOOL":
        word = text.lower()
        if word in _TRUE_WORDS | _FALSE_WORDS:
            return word in _TRUE_WORDS
        raise CallError(f"parameter {position}: {text!r} is no BOOL (true or false)")
    return text


def _arguments(name, params, texts):
    signature = f"{name}({', '.join(params)})"
    if len(texts) > len(params):
        raise CallError(f"too many parameters for {signature}")
    if any(not kind.endswith("*") for kind in params[len(texts):]):
        raise CallError(f"too few parameters for {signature}")
    values = [_convert(text, kind, position) for position, (text, kind) in enumerate(zip(texts, params), 1)]
    length_at = _ROOM_OF_LENGTH.get(name)
    if length_at is not None and len(values) == length_at + 1 and 0 <= values[length_at] <= _LONGEST_ROOM:
        values.append("\0" * values[length_at])
    return values


def _escaped(character):
    if character == "\\":
        return "\\\\"
    return character if character.isprintable() else f"\\x{ord(character):02x}"


def _plain(value):
    if value is None:
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, str):
        # Memory contents and string rooms hold control characters.
        return "".join(_escaped(character) for character in value)
    return str(value)


def _print_table(table, as_json):
    rows = sorted(table.items(), key=lambda item: item[1][0])
    if as_json:
        print(json.dumps([{"dispid": d, "name": n, "params": p, "returns": r} for n, (d, p, r) in rows]))
        return
    for name, (_, params, returns) in rows:
        print(f"{name}({', '.join(params)}) -> {returns}")


def _call(doc, port, name, params, values, stay):
    if not doc.EnterHardwaretestAtPort("", port):
        raise CallError(f"the relay on COM{port} did not enter the hardware test: {doc.call('GetLastErrorText')}")
    try:
        result = doc.call(name, *values)
    finally:
        doc.call("ExitHardwaretest" if stay else "LeaveHardwaretest")
    if any(kind.endswith("*") for kind in params):
        return result[0], list(result[1:])
    return result, []


# The server tells a failed entry on its standard error too; testbay-call
# tells it in its own message, so that line is not passed on.
_ENTRY_DIAGNOSTIC = b"testbay: EnterHardwaretestAtPort: "


def _pass_on_diagnostics(captured):
    captured.seek(0)
    for line in captured:
        if not line.startswith(_ENTRY_DIAGNOSTIC):
            sys.stderr.write(line.decode("utf-8", "replace"))
    sys.stderr.flush()


def _run(options, env):
    with tempfile.TemporaryFile() as diagnostics:
        try:
            return _run_with(options, env, diagnostics)
        finally:
            _pass_on_diagnostics(diagnostics)


def _run_with(options, env, diagnostics):
    with Dispatch(env=env, stderr=diagnostics) as doc:
        table = doc.methods()
        if options.list:
            _print_table(table, options.json)
            return RETURNED_TRUE
        names = {name.lower(): name for name in table}
        name = names.get(options.method.lower())
        if name is None:
            raise CallError(f"{unknown_name_text(options.method, list(table))} (--list shows the methods)")
        _, params, _ = table[name]
        values = _arguments(name, params, options.args)
        port = 1 if options.relay else options.port
        returned, out = _call(doc, port, name, params, values, options.stay)
    if options.json:
        print(json.dumps({"return": returned, "out": out}, ensure_ascii=False))
    else:
        for value in (returned, *out):
            print(_plain(value))
    return RETURNED_FALSE if returned is False or returned is None else RETURNED_TRUE


def _with_trace(env, trace):
    if trace:
        env["TESTBAY_TRACE"] = trace
    return env


def main(argv=None):
    parser = _parser()
    options = parser.parse_args(argv)
    if not options.list and (options.method is None or (options.port is None and not options.relay)):
        parser.error("give --port N or --relay, and a method (or --list)")
    if options.relay_options and not options.relay:
        parser.error("--relay-options belongs to --relay")
    try:
        if not options.relay:
            return _run(options, _with_trace(dict(os.environ), options.trace))
        with VirtualRelay(shlex.split(options.relay_options)) as relay, Workspace(logfile=False) as workspace:
            workspace.map_port(1, relay.device)
            return _run(options, _with_trace(workspace.env, options.trace))
    except BrokenPipeError:
        # The reader went away, as `| head` does: no message, and the rest of the output goes nowhere.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return FAILED
    except (CallError, AutomationError, RuntimeError, OSError) as error:
        print(f"testbay-call: {error}", file=sys.stderr)
        return FAILED


if __name__ == "__main__":
    sys.exit(main())
