"""Relays behind network ports: ser2net exporting a virtual relay's pseudo-terminal with
RFC 2217, and socat forwarding it as a plain TCP stream, all on the loopback address."""

import os
import shutil
import sys
import threading
import time
import unittest

PYTHON_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, PYTHON_DIR)

from network_ports import Ser2net, SocatForwarder, UnansweredListener, free_port  # noqa: E402
from testbay import AutomationError, Dispatch  # noqa: E402
from testbay.relay import VirtualRelay, Workspace  # noqa: E402

PORT = 4
CPU = "NBX3"
# Generous: a failing call takes its time-outs and repeats, never seconds more.
FAILED_CALL_BOUND_S = 5


def block(call):
    """Memory contents full of 0xFF, the Telnet escape byte, one pair back to back."""
    return "\xff\xff" + "".join(chr(0xF0 + (call + index) % 16) for index in range(14))


def mixed_calls(doc, calls):
    """`calls` calls whose results can be checked: LEDs switched and read back, memory
    blocks written and read back at addresses that hold 0xFF bytes themselves, the LED
    count and the CPU. Returns the calls that gave another result than expected."""
    leds = {}
    memory = {}
    wrong = []
    for call in range(calls):
        led = 1 + call * 7 % 16
        address = 0x00FFFF00 + call % 6 * 0x100
        kind = call % 5
        if kind == 0:
            leds[led] = call % 3 == 0
            name, result, expected = "SetLed", doc.SetLed(led, leds[led]), True
        elif kind == 1:
            name, result, expected = "GetLed", doc.GetLed(led), (True, leds.get(led, False))
        elif kind == 2:
            memory[address] = block(call)
            name, result = "WriteMemory", doc.WriteMemory(0, address, 16, memory[address])
            expected = (True, memory[address])
        elif kind == 3:
            expected = (True, memory.get(address, "\x00" * 16))
            name, result = "ReadMemory", doc.ReadMemory(0, address, 16, " " * 16)
        elif call % 2:
            name, result, expected = "GetLedCount", doc.GetLedCount(), (True, 16)
        else:
            name, result, expected = "GetCpu", doc.GetCpu(), CPU
        if result != expected:
            wrong.append((call, name, result, expected))
    return wrong


def failed(result):
    """True for an error and for a false return value."""
    if isinstance(result, AutomationError):
        return True
    return (result[0] if isinstance(result, tuple) else result) is False


def timed(function, *args):
    """The call's result (or the error it raised) and its time in seconds."""
    start = time.monotonic()
    try:
        result = function(*args)
    except AutomationError as error:
        result = error
    return result, time.monotonic() - start


class NetworkPortCase(unittest.TestCase):
    def setUp(self):
        self.workspace = Workspace()
        self.addCleanup(self.workspace.close)

    def relay(self, *options):
        # The pseudo-terminal cannot show the parity ser2net sets.
        relay = VirtualRelay(["--any-parity", "--cpu", CPU, *options])
        self.addCleanup(relay.stop)
        return relay

    def serve(self, server):
        self.addCleanup(server.close)
        return server

    def document(self):
        doc = Dispatch(env=self.workspace.env)
        self.addCleanup(doc.close)
        return doc

    def assertEntryFails(self, doc, *parts, port=PORT):
        """Entry fails within the bound and the reason names the port and each part; returns the reason."""
        entered, seconds = timed(doc.EnterHardwaretestAtPort, "", port)
        self.assertIs(entered, False)
        self.assertLess(seconds, FAILED_CALL_BOUND_S)
        for part in (f"COM{port}", *parts):
            self.assertIn(part, doc.last_reason or "")
        return doc.last_reason


@unittest.skipUnless(shutil.which("ser2net"), "needs ser2net")
class ThroughSer2net(NetworkPortCase):
    def export(self, relay, port=PORT):
        server = self.serve(Ser2net([relay.device]))
        self.workspace.map_port(port, server.url())
        return server

    def test_entry_from_every_state_and_a_hundred_mixed_calls(self):
        # ser2net opens the device at 9600 bit/s: every rate the relay hears was set through
        # RFC 2217, and the application probe's parity changes had to be confirmed by ser2net.
        for port, state in enumerate(("hwt", "boot", "app"), start=PORT):
            with self.subTest(state=state):
                self.export(self.relay("--state", state, "--baud", "115200"), port)
                doc = self.document()
                self.assertTrue(doc.EnterHardwaretestAtPort("", port), doc.last_reason)
                self.assertEqual(mixed_calls(doc, 100 if state == "hwt" else 10), [])
                self.assertTrue(doc.ExitHardwaretest())

    def test_a_relay_that_falls_silent(self):
        self.export(self.relay("--silent-after", "12"))
        doc = self.document()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT), doc.last_reason)
        outcomes = [timed(doc.GetLedCount) for _ in range(16)]
        results = [result for result, _ in outcomes]
        self.assertEqual(results[0], (True, 16))
        self.assertTrue(all(failed(result) for result in results[-4:]), results)
        self.assertLess(max(seconds for _, seconds in outcomes), FAILED_CALL_BOUND_S)
        self.assertEqual(doc.GetTestbayVersion(), "04.02.08")

    def test_ser2net_killed_mid_call_fails_the_call_and_the_next_entry_connects_again(self):
        server = self.export(self.relay())
        doc = self.document()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT), doc.last_reason)
        outcomes = []
        stop = threading.Event()

        def calls():
            while not stop.is_set():
                outcomes.append(timed(doc.GetLedCount))

        caller = threading.Thread(target=calls)
        caller.start()
        time.sleep(0.3)
        server.kill()
        time.sleep(0.5)
        stop.set()
        caller.join(timeout=2 * FAILED_CALL_BOUND_S)
        self.assertFalse(caller.is_alive(), "a call hangs after ser2net was killed")
        self.assertEqual(outcomes[0][0], (True, 16))
        self.assertTrue(failed(outcomes[-1][0]), outcomes[-1])
        self.assertLess(max(seconds for _, seconds in outcomes), FAILED_CALL_BOUND_S)

        # Nobody listens until ser2net is back.
        self.assertEntryFails(doc, server.url(), "refused")
        server.start()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT), doc.last_reason)
        self.assertEqual(mixed_calls(doc, 10), [])

    def test_a_port_the_server_refuses(self):
        # ser2net answers a device it cannot open with a line of text and hangs up.
        missing = self.serve(Ser2net(["/dev/nonexistent"]))
        nobody = f"rfc2217://127.0.0.1:{free_port()}"
        for port, url, parts in ((PORT, missing.url(), ()), (PORT + 1, nobody, ("Connection refused",))):
            with self.subTest(url=url):
                self.workspace.map_port(port, url)
                self.assertEntryFails(self.document(), url, *parts, port=port)

    def test_connect_timeout_lets_a_dead_host_fail_fast(self):
        with UnansweredListener() as dead:
            url = f"rfc2217://127.0.0.1:{dead.port}"
            self.workspace.map_port(PORT, url)
            with open(os.path.join(self.workspace.directory, "Testbay.ini"), "a", newline="\r\n") as ini:
                ini.write("ConnectTimeout=500\n")
            doc = self.document()
            # Well below the default of three seconds, however slow the machine.
            start = time.monotonic()
            self.assertEntryFails(doc, url, "no connection within")
            self.assertLess(time.monotonic() - start, 2.5)


@unittest.skipUnless(shutil.which("socat"), "needs socat")
class ThroughSocat(NetworkPortCase):
    def test_a_plain_stream_carries_every_byte_as_it_is(self):
        # Rate changes have no effect: the relay stays at the pseudo-terminal's 38400 bit/s.
        forwarder = self.serve(SocatForwarder(self.relay().device))
        self.workspace.map_port(PORT, forwarder.url())
        doc = self.document()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT), doc.last_reason)
        self.assertEqual(mixed_calls(doc, 50), [])

        forwarder.kill()
        self.assertTrue(failed(timed(doc.GetLedCount)[0]))
        forwarder.start()
        self.assertTrue(doc.EnterHardwaretestAtPort("", PORT), doc.last_reason)
        self.assertEqual(doc.GetLedCount(), (True, 16))


if __name__ == "__main__":
    unittest.main()
