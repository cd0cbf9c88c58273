"""Python client of the Testbay automation interface.

    from testbay import Dispatch
    doc = Dispatch("Testbay.Document")
    doc.EnterHardwaretestAtPort("", 1)
    ok, count = doc.GetLedCount()

Each document is a server process of its own (`testbay -Automation`, on
Windows `testbay.exe -JsonRpc`) that speaks JSON-RPC 2.0 over its standard
input and output. `server` names the program, or is the whole command with
its arguments (for example ["wine64", "testbay.exe", "-JsonRpc"]). Methods are called by name
(any case), with their parameters by position. A method without by-reference
parameters returns its value; one with them returns a tuple of the return
value and the final by-reference values. By-reference parameters may be given
their initial values; left out, they start as 0, False or "" (a string
parameter's initial value is the room the method may write into).
Texts are 8-bit: characters U+0000 to U+00FF. The null string is None.

Every method of the table is an attribute of the document, with its
signature and docstring (help(doc.GetLed)); by-value parameters may also be
given by keyword. Errors are AutomationError and below: CallRefused when the
server answered the call with an error (UnknownMethod, BadParameters,
SerialError) and ServerGone when there is no server to answer (CallStopped
when it ended the call because the program is ending).
"""

import json
import os
import shutil
import subprocess
import sys
import threading

from ._methods import Method, unknown_name_text

__all__ = [
    "Dispatch",
    "Document",
    "AutomationError",
    "CallRefused",
    "UnknownMethod",
    "BadParameters",
    "SerialError",
    "ServerGone",
    "CallStopped",
    "find_server",
    "server_command",
]

PROG_ID = "Testbay.Document"
ON_WINDOWS = os.name == "nt"
# On Windows "-Automation" belongs to the system's own automation.
SERVER_SWITCH = "-JsonRpc" if ON_WINDOWS else "-Automation"


class AutomationError(Exception):
    """A call the server refused or could not complete; `code` is the
    JSON-RPC error code, `message` the server's text."""

    def __init__(self, code, message):
        super().__init__(f"{message} (code {code})")
        self.code = code
        self.message = message


class CallRefused(AutomationError):
    """The server answered the call with an error; it goes on serving."""


class UnknownMethod(CallRefused, AttributeError):
    """No method of that name (-32601); the message names the nearest ones."""

    def __init__(self, code, message):
        super().__init__(code, message)
        # AttributeError's text is the message alone, as for any missing attribute.
        self.args = (message,)


class BadParameters(CallRefused):
    """Parameters the method cannot take (-32602)."""


class SerialError(CallRefused):
    """The serial layer failed during the call (-32000)."""


class ServerGone(AutomationError):
    """No server answers any more: it ended, or the document was closed."""


class CallStopped(ServerGone):
    """The server ended the call because the program is ending (a stop signal)."""


# The client's own code for a server that cannot answer.
SERVER_GONE = -32099
_REFUSALS = {-32601: UnknownMethod, -32602: BadParameters, -32000: SerialError}
_STOPPED_TEXT = "call stopped"


def _error(code, message):
    """The exception of a JSON-RPC error reply."""
    if code == -32603 and message.startswith(_STOPPED_TEXT):
        return CallStopped(code, message)
    return _REFUSALS.get(code, CallRefused)(code, message)


def _interrupt_in_hand():
    """The KeyboardInterrupt being handled (in an except or finally block), if any."""
    handled = sys.exc_info()[1]
    return handled if isinstance(handled, KeyboardInterrupt) else None


def find_program(variable, name):
    """A program of the project: $variable, else `name` on the PATH, else the build tree."""
    configured = os.environ.get(variable)
    if configured:
        return configured
    on_path = shutil.which(name)
    if on_path:
        return on_path
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.normpath(os.path.join(here, "..", "..", "build", name + (".exe" if ON_WINDOWS else "")))


def find_server():
    """The testbay program: $TESTBAY_SERVER, else testbay on the PATH, else the build tree."""
    return find_program("TESTBAY_SERVER", "testbay")


def server_command(server=None):
    """The command that starts a server: `server` when it is a list of the
    program and its arguments, else the program (`server` or find_server())
    with the switch that serves JSON-RPC on this system."""
    if isinstance(server, (list, tuple)):
        return list(server)
    return [server or find_server(), SERVER_SWITCH]


def _as_text(value):
    if isinstance(value, (bytes, bytearray)):
        return bytes(value).decode("latin-1")
    return value


# How long close() lets the server take to let go of the relay and end.
CLOSE_GRACE_S = 30
# A server whose call was interrupted ends the call at once on its input
# closing; the whole end stays within a second.
INTERRUPT_GRACE_S = 0.5
TERMINATE_GRACE_S = 0.3


def _end_server(process, grace_s):
    """Closes the server's input and waits `grace_s` for its end, then
    terminates it, and kills it as the last resort; returns its exit status."""
    try:
        process.stdin.close()
    except OSError:
        pass
    try:
        status = process.wait(timeout=grace_s)
    except subprocess.TimeoutExpired:
        process.terminate()
        try:
            status = process.wait(timeout=TERMINATE_GRACE_S)
        except subprocess.TimeoutExpired:
            process.kill()
            status = process.wait()
    process.stdout.close()
    return status


class Document:
    """One automation object, served by a program instance of its own.

    Every method of the table is an attribute (dir() lists them), with its
    signature and docstring; call() calls one by name."""

    def __init__(self, server=None, env=None, stderr=None):
        self._process = subprocess.Popen(
            server_command(server),
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=stderr,
            env=env,
        )
        self._lock = threading.Lock()
        self._next_id = 0
        self._methods = {}
        self._attributes = {}
        self.last_reason = None
        for entry in self._request("$methods", []):
            method = Method(entry)
            self._methods[method.name.lower()] = method

    def methods(self):
        """The method table: name -> (dispid, parameter types, return type)."""
        return {m.name: (m.dispid, list(m.params), m.returns) for m in self._methods.values()}

    def __getattr__(self, name):
        if name.startswith("_"):
            raise AttributeError(name)
        method = self._methods.get(name.lower())
        if method is None:
            raise AttributeError(unknown_name_text(name, [m.name for m in self._methods.values()]))
        attribute = self._attributes.get(method.name)
        if attribute is None:
            attribute = self._attributes[method.name] = method.bound_to(self)
        return attribute

    def __dir__(self):
        return sorted(set(super().__dir__()) | {method.name for method in self._methods.values()})

    def call(self, name, *args):
        """Calls a method by name (any case) with its parameters by position.
        `last_reason` keeps the "reason" the server gave with the result (why
        an entry into the hardware test failed), else None."""
        method = self._methods.get(name.lower())
        params = [_as_text(value) for value in args]
        result = self._request(method.name if method else name, params)
        self.last_reason = result.get("reason")
        if method is not None and not method.has_outputs:
            return result["return"]
        return (result["return"], *result["out"])

    def _request(self, name, params):
        # A call made while an interrupt is handled (a script's clean-up after
        # Ctrl+C) that finds no server goes on with that interrupt: the script
        # ends with one traceback, not a second one of its own.
        interrupt = _interrupt_in_hand()
        with self._lock:
            if self._process is None:
                if interrupt:
                    raise interrupt from None
                raise ServerGone(SERVER_GONE, "the document is closed")
            self._next_id += 1
            request = {"jsonrpc": "2.0", "id": self._next_id, "method": name, "params": params}
            line = json.dumps(request, ensure_ascii=False).encode("utf-8") + b"\n"
            failure = None
            try:
                self._process.stdin.write(line)
                self._process.stdin.flush()
                answer = self._process.stdout.readline()
            except OSError as error:
                failure = error
            except BaseException:
                # Interrupted mid-call (KeyboardInterrupt): the reply would
                # belong to no one, and the server holds the relay's port.
                process, self._process = self._process, None
                try:
                    _end_server(process, INTERRUPT_GRACE_S)
                except KeyboardInterrupt:
                    # A second Ctrl+C does not wait for the server.
                    process.kill()
                    process.wait()
                raise
        if failure is not None or not answer:
            if interrupt:
                raise interrupt from None
            if failure is not None:
                raise ServerGone(SERVER_GONE, f"the server is gone: {failure}") from failure
            raise ServerGone(SERVER_GONE, "the server ended")
        reply = json.loads(answer.decode("utf-8"))
        if "error" in reply:
            error = _error(reply["error"]["code"], reply["error"]["message"])
            if interrupt and isinstance(error, ServerGone):
                raise interrupt from None
            raise error
        return reply["result"]

    @property
    def closed(self):
        """Whether the document has no server any more: closed, or ended by an interrupt."""
        return self._process is None

    def close(self):
        """Releases the object: the server lets go of the relay and ends."""
        with self._lock:
            process, self._process = self._process, None
        if process is None:
            return 0
        return _end_server(process, CLOSE_GRACE_S)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass


def Dispatch(prog_id=PROG_ID, server=None, env=None, stderr=None):
    """Creates the automation object, as late-bound automation clients do.
    `stderr` takes the server's diagnostics (as subprocess does); by default
    they go to this program's standard error."""
    # ProgIDs are matched without regard to case, as on COM.
    if prog_id.lower() != PROG_ID.lower():
        raise ValueError(f"unknown ProgID {prog_id!r}; this client serves {PROG_ID!r}")
    return Document(server=server, env=env, stderr=stderr)
