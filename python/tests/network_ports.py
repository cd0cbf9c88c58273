"""Network serial ports for the tests and benchmarks: ser2net exporting pseudo-terminals
with RFC 2217, and socat forwarding one as a plain TCP stream, both on the loopback
address only.

    with VirtualRelay() as relay, Ser2net([relay.device]) as server:
        workspace.map_port(1, server.url())
"""

import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time

LOOPBACK = "127.0.0.1"
START_TIMEOUT_S = 10
STOP_TIMEOUT_S = 5
# /proc/net/tcp writes a socket's state in hexadecimal: 0A is LISTEN.
LISTEN_STATE = "0A"


def free_port():
    """A loopback port that nobody listens on right now."""
    with socket.socket() as probe:
        probe.bind((LOOPBACK, 0))
        return probe.getsockname()[1]


def listening(port):
    """True when a socket listens on the loopback port. Read from the kernel's table, since
    a trial connection to ser2net would open the device behind it."""
    wanted = f"{socket.htonl(0x7F000001):08X}:{port:04X}"
    with open("/proc/net/tcp") as table:
        next(table)
        return any(
            fields[1] == wanted and fields[3] == LISTEN_STATE for fields in (line.split() for line in table)
        )


class LoopbackServer:
    """A server process listening on loopback ports: started at once, and stopped,
    killed and started again on the same ports as a test needs."""

    name = "server"

    def __init__(self, ports):
        self.ports = list(ports)
        self.directory = tempfile.mkdtemp(prefix=f"testbay-{self.name}-")
        self._log_path = os.path.join(self.directory, "output.txt")
        self._process = None

    def command(self):
        raise NotImplementedError

    def start(self):
        """Starts the server and waits until it listens on every port."""
        with open(self._log_path, "ab") as log:
            # A session of its own, so that its forked children are stopped with it.
            self._process = subprocess.Popen(
                self.command(), stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True
            )
        deadline = time.monotonic() + START_TIMEOUT_S
        while not all(listening(port) for port in self.ports):
            if self._process.poll() is not None or time.monotonic() > deadline:
                self.kill()
                raise RuntimeError(f"{self.name} does not listen on {self.ports}: {self.output()}")
            time.sleep(0.02)
        return self

    def running(self):
        return self._process is not None and self._process.poll() is None

    def stop(self):
        """Ends the server as a service stop does (SIGTERM)."""
        self._end(signal.SIGTERM)

    def kill(self):
        """Ends the server at once (SIGKILL): its connections drop without a goodbye."""
        self._end(signal.SIGKILL)

    def _end(self, signal_number):
        if self._process is None:
            return
        if self._process.poll() is None:
            os.killpg(self._process.pid, signal_number)
            try:
                self._process.wait(timeout=STOP_TIMEOUT_S)
            except subprocess.TimeoutExpired:
                os.killpg(self._process.pid, signal.SIGKILL)
                self._process.wait()
        else:
            # Forked children may outlive their parent.
            try:
                os.killpg(self._process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._process = None

    def output(self):
        """What the server wrote to its standard output and error."""
        with open(self._log_path, errors="replace") as log:
            return log.read()

    def close(self):
        self.stop()
        shutil.rmtree(self.directory, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Ser2net(LoopbackServer):
    """ser2net exporting each device with RFC 2217 on a loopback port of its own;
    `devices` may name a device that does not exist (ser2net refuses its connections).
    `low_latency` turns off Nagle's algorithm and ser2net's wait for more bytes from the
    device before it sends them on (chardelay); by default ser2net does both."""

    name = "ser2net"

    def __init__(self, devices, ports=None, low_latency=False):
        super().__init__(ports or [free_port() for _ in devices])
        self._config = os.path.join(self.directory, "ser2net.yaml")
        tcp = "tcp(nodelay)" if low_latency else "tcp"
        options = "  options:\n    chardelay: false\n" if low_latency else ""
        with open(self._config, "w") as config:
            for index, (device, port) in enumerate(zip(devices, self.ports)):
                config.write(
                    f"connection: &relay{index}\n"
                    f"  accepter: telnet(rfc2217),{tcp},{LOOPBACK},{port}\n"
                    f"  connector: serialdev,{device},9600n81,local\n{options}"
                )
        self.start()

    def command(self):
        pid_file = os.path.join(self.directory, "ser2net.pid")
        return ["ser2net", "-n", "-d", "-c", self._config, "-P", pid_file]

    def url(self, index=0):
        return f"rfc2217://{LOOPBACK}:{self.ports[index]}"


class SocatForwarder(LoopbackServer):
    """socat forwarding every connection to a loopback port to the device, bytes as
    they are, without line settings."""

    name = "socat"

    def __init__(self, device, port=None):
        super().__init__([port or free_port()])
        self._device = device
        self.start()

    def command(self):
        return [
            "socat",
            f"TCP-LISTEN:{self.ports[0]},bind={LOOPBACK},reuseaddr,fork",
            f"FILE:{self._device},raw,echo=0",
        ]

    def url(self):
        return f"socket://{LOOPBACK}:{self.ports[0]}"


class UnansweredListener:
    """A loopback port whose listening socket never accepts, with its backlog full: a
    further connection attempt gets no answer at all, as with a dead host."""

    def __init__(self):
        self._listener = socket.socket()
        self._listener.bind((LOOPBACK, 0))
        self._listener.listen(0)
        self.port = self._listener.getsockname()[1]
        self._fillers = []
        while len(self._fillers) < 8:
            filler = socket.socket()
            self._fillers.append(filler)
            filler.setblocking(False)
            if filler.connect_ex((LOOPBACK, self.port)) != 0 and not self._answered(filler):
                return
        raise RuntimeError("the backlog of the listening socket does not fill")

    @staticmethod
    def _answered(filler):
        """True when a pending connection completes within a moment."""
        _, writable, _ = select.select([], [filler], [], 0.2)
        return bool(writable)

    def close(self):
        for filler in self._fillers:
            filler.close()
        self._listener.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
