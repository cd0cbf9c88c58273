"""Builds the Python client's type stub and wheel, with the standard library only.

    python_package.py stub SERVER PYTHON_DIR STUB
        asks the built program for its method table and writes the stub of
        the testbay package (STUB, testbay/__init__.pyi)
    python_package.py wheel PYTHON_DIR STUB DIST_INFO WHEEL
        packs testbay/ with the stub and the metadata of DIST_INFO (METADATA,
        entry_points.txt, top_level.txt) into the wheel WHEEL

A wheel is a zip archive; pip installs it without network or build tools.
"""

import base64
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import zipfile

STUB_HEAD = '''"""Type stub of the testbay package: Document's methods as the program's method table lists them."""

from typing import Any, Dict, List, Mapping, Optional, Sequence, Tuple, Union

PROG_ID: str
ON_WINDOWS: bool
SERVER_SWITCH: str

class AutomationError(Exception):
    code: int
    message: str
    def __init__(self, code: int, message: str) -> None: ...

class CallRefused(AutomationError): ...
class UnknownMethod(CallRefused, AttributeError): ...
class BadParameters(CallRefused): ...
class SerialError(CallRefused): ...
class ServerGone(AutomationError): ...
class CallStopped(ServerGone): ...

_Server = Union[str, Sequence[str], None]

def find_program(variable: str, name: str) -> str: ...
def find_server() -> str: ...
def server_command(server: _Server = ...) -> List[str]: ...
def Dispatch(
    prog_id: str = ..., server: _Server = ..., env: Optional[Mapping[str, str]] = ..., stderr: Any = ...
) -> Document: ...

class Document:
    last_reason: Optional[str]
    @property
    def closed(self) -> bool: ...
    def __init__(self, server: _Server = ..., env: Optional[Mapping[str, str]] = ..., stderr: Any = ...) -> None: ...
    def methods(self) -> Dict[str, Tuple[int, List[str], str]]: ...
    def call(self, name: str, *args: Any) -> Any: ...
    def close(self) -> int: ...
    def __enter__(self) -> Document: ...
    def __exit__(self, *exc: Any) -> None: ...
'''

# Zip entries carry this time, so that a wheel of the same files is the same wheel.
FIXED_TIME = (1980, 1, 1, 0, 0, 0)


def method_table(server):
    """The server's "$methods" reply, from a server in a folder of its own."""
    with tempfile.TemporaryDirectory(prefix="testbay-stub-") as folder:
        env = dict(os.environ, TESTBAY_CONFIG_DIR=folder, TMPDIR=folder)
        request = json.dumps({"jsonrpc": "2.0", "id": 1, "method": "$methods"}) + "\n"
        done = subprocess.run(
            [server, "-Automation"], input=request.encode(), capture_output=True, env=env, timeout=60, check=True
        )
    reply = json.loads(done.stdout.decode("utf-8").splitlines()[0])
    return reply["result"]


def write_stub(server, python_dir, stub):
    sys.path.insert(0, python_dir)
    from testbay._methods import Method

    methods = [Method(entry) for entry in method_table(server)]
    os.makedirs(os.path.dirname(stub), exist_ok=True)
    with open(stub, "w", encoding="utf-8") as out:
        out.write(STUB_HEAD)
        for method in methods:
            out.write("\n" + method.stub())


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}\n"


def write_wheel(python_dir, stub, dist_info, wheel):
    package = os.path.join(python_dir, "testbay")
    files = {}
    for name in sorted(os.listdir(package)):
        if name.endswith(".py") or name == "py.typed":
            with open(os.path.join(package, name), "rb") as source:
                files[f"testbay/{name}"] = source.read()
    with open(stub, "rb") as source:
        files["testbay/__init__.pyi"] = source.read()
    info = os.path.basename(dist_info.rstrip("/"))
    for name in ("METADATA", "entry_points.txt", "top_level.txt"):
        with open(os.path.join(dist_info, name), "rb") as source:
            files[f"{info}/{name}"] = source.read()
    files[f"{info}/WHEEL"] = b"Wheel-Version: 1.0\nGenerator: testbay\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    record = "".join(_record_line(name, data) for name, data in files.items()) + f"{info}/RECORD,,\n"
    files[f"{info}/RECORD"] = record.encode()
    partial = wheel + ".part"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in files.items():
            entry = zipfile.ZipInfo(name, FIXED_TIME)
            entry.external_attr = 0o644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data)
    os.replace(partial, wheel)


def main(argv):
    if len(argv) == 4 and argv[0] == "stub":
        write_stub(*argv[1:])
    elif len(argv) == 5 and argv[0] == "wheel":
        write_wheel(*argv[1:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
