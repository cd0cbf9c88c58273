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
"""

import json
import os
import shutil
import subprocess
import threading

__all__ = ["Dispatch", "Document", "AutomationError", "find_server", "server_command"]

PROG_ID = "Testbay.Document"
ON_WINDOWS = os.name == "nt"
# On Windows "-Automation" belongs to the system's own automation.
SERVER_SWITCH = "-JsonRpc" if ON_WINDOWS else "-Automation"


class AutomationError(Exception):
    """A call the server refused or could not complete."""

    def __init__(self, code, message):
        super().__init__(f"{message} (code {code})")
        self.code = code
        self.message = message


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


class _Method:
    def __init__(self, entry):
        self.name = entry["name"]
        self.dispid = entry["dispid"]
        self.params = entry["params"]
        self.returns = entry["returns"]

    @property
    def has_outputs(self):
        return any(kind.endswith("*") for kind in self.params)


class Document:
    """One automation object, served by a program instance of its own."""

    def __init__(self, server=None, env=None):
        self._process = subprocess.Popen(
            server_command(server),
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            env=env,
        )
        self._lock = threading.Lock()
        self._next_id = 0
        self._methods = {}
        for entry in self._request("$methods", []):
            method = _Method(entry)
            self._methods[method.name.lower()] = method

    def methods(self):
        """The method table: name -> (dispid, parameter types, return type)."""
        return {m.name: (m.dispid, list(m.params), m.returns) for m in self._methods.values()}

    def __getattr__(self, name):
        if name.startswith("_"):
            raise AttributeError(name)
        method = self._methods.get(name.lower())
        if method is None:
            raise AttributeError(f"Testbay.Document has no method {name}")
        return lambda *args: self.call(method.name, *args)

    def call(self, name, *args):
        method = self._methods.get(name.lower())
        params = [_as_text(value) for value in args]
        result = self._request(method.name if method else name, params)
        if method is not None and not method.has_outputs:
            return result["return"]
        return (result["return"], *result["out"])

    def _request(self, name, params):
        with self._lock:
            if self._process is None:
                raise AutomationError(-32099, "the document is closed")
            self._next_id += 1
            request = {"jsonrpc": "2.0", "id": self._next_id, "method": name, "params": params}
            line = json.dumps(request, ensure_ascii=False).encode("utf-8") + b"\n"
            try:
                self._process.stdin.write(line)
                self._process.stdin.flush()
                answer = self._process.stdout.readline()
            except (BrokenPipeError, OSError) as error:
                raise AutomationError(-32099, f"the server is gone: {error}") from error
            except BaseException:
                # Interrupted mid-call (KeyboardInterrupt): the reply would
                # belong to no one, and the server holds the relay's port.
                process, self._process = self._process, None
                _end_server(process, INTERRUPT_GRACE_S)
                raise
            if not answer:
                raise AutomationError(-32099, "the server ended")
        reply = json.loads(answer.decode("utf-8"))
        if "error" in reply:
            raise AutomationError(reply["error"]["code"], reply["error"]["message"])
        return reply["result"]

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


def Dispatch(prog_id=PROG_ID, server=None, env=None):
    """Creates the automation object, as late-bound automation clients do."""
    if prog_id != PROG_ID:
        raise ValueError(f"unknown ProgID {prog_id!r}; this client serves {PROG_ID!r}")
    return Document(server=server, env=env)
