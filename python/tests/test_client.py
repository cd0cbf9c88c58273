"""The Python client against testbay -Automation and the virtual relay."""

import os
import sys
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from interruption import InterruptAfter  # noqa: E402
from testbay import AutomationError, Dispatch  # noqa: E402
from testbay.relay import VirtualRelay, Workspace  # noqa: E402


class WithoutRelay(unittest.TestCase):
    def setUp(self):
        self.workspace = Workspace()
        self.doc = Dispatch("Testbay.Document", env=self.workspace.env)

    def tearDown(self):
        self.assertEqual(self.doc.close(), 0)
        # The server cleaned up its temporary directory on the way out.
        self.assertEqual(sorted(os.listdir(self.workspace.directory)), ["Testbay.ini", "Testbay.ini.lock"])
        self.workspace.close()

    def test_table_and_methods_that_need_no_relay(self):
        table = self.doc.methods()
        self.assertEqual(len(table), 144)
        self.assertEqual(table["GetCpuId"], (142, ["long*", "long*", "long*", "string*", "long*"], "BOOL"))
        self.assertEqual(self.doc.gettestbayversion(), "04.02.08")
        self.assertFalse(self.doc.IsActiv())
        self.assertTrue(self.doc.DisplayServerWindow(True))
        self.assertEqual(self.doc.Receive(1, "abc", 3), (True, "abc"))

    def test_no_current_client_gives_false_and_null(self):
        self.assertEqual(self.doc.GetLedCount(), (False, 0))
        self.assertIsNone(self.doc.GetCpu())
        self.assertEqual(self.doc.ReadByte(0, 0), -1)
        self.assertEqual(self.doc.Nk300GetMacAdr(1, "xxxx"), (True, "xxxx"))

    def test_errors_carry_code_and_message_and_the_server_goes_on(self):
        with self.assertRaises(AttributeError):
            self.doc.NoSuchMethod()
        with self.assertRaises(AutomationError) as raised:
            self.doc.call("NoSuchMethod")
        self.assertEqual(raised.exception.code, -32601)
        with self.assertRaises(AutomationError) as raised:
            self.doc.SetLed("one", True)
        self.assertEqual(raised.exception.code, -32602)
        with self.assertRaises(AutomationError):
            self.doc.SetLevel("\u20ac")
        self.assertEqual(self.doc.GetTestbayVersion(), "04.02.08")


class WithRelay(unittest.TestCase):
    def test_a_session_through_the_relay(self):
        with VirtualRelay(["--state", "app", "--cpu", "PBX1"]) as relay, Workspace() as workspace:
            workspace.map_port(3, relay.device)
            with Dispatch(env=workspace.env) as doc:
                self.assertTrue(doc.EnterHardwaretestAtPort("", 3))
                self.assertTrue(doc.IsActiv())
                self.assertEqual(doc.GetCpu(), "PBX1")
                ok, count = doc.GetLedCount()
                self.assertTrue(ok)
                self.assertGreater(count, 0)
                self.assertEqual(doc.SetLed(1, True), True)
                self.assertEqual(doc.GetLed(1), (True, True))
                ok, text = doc.GetVersion(1, "." * 20)
                self.assertTrue(ok)
                self.assertEqual(len(text), 20)
                self.assertTrue(doc.WriteMemory(0, 0x1000, 4, "\x01\x02\xfe\xff"))
                self.assertEqual(doc.ReadMemory(0, 0x1000, 4, "    "), (True, "\x01\x02\xfe\xff"))
                self.assertEqual(doc.ReadByte(0, 0x1001), 2)
                self.assertEqual(doc.ReadByte(0, 0x1003), -1)
                ok, day, month, year, hour, minute, second = doc.GetDate()
                self.assertTrue(ok and 1 <= day <= 31 and 1 <= month <= 12)
                self.assertIsInstance(doc.GetChannelName(1), str)
                self.assertTrue(doc.Sleep(5))
                # The string's own zero byte may be written; more is refused.
                self.assertTrue(doc.WriteMemory(0, 0x2000, 4, "abc"))
                with self.assertRaises(AutomationError) as raised:
                    doc.WriteMemory(0, 0x2000, 10, "abc")
                self.assertEqual(raised.exception.code, -32602)
                self.assertTrue(doc.ExitHardwaretest())
                self.assertFalse(doc.IsActiv())

    def test_two_clients_on_two_relays_at_once(self):
        results = {}

        def session(number, relay, workspace):
            with Dispatch(env=workspace.env) as doc:
                entered = doc.EnterHardwaretestAtPort("", number)
                leds = [doc.SetLed(led, led % 2 == 1) for led in range(1, 9)]
                states = [doc.GetLed(led)[1] for led in range(1, 9)]
                results[number] = (entered, all(leds), states, doc.ExitHardwaretest())

        with VirtualRelay([]) as first, VirtualRelay(["--baud", "115200"]) as second, Workspace() as workspace:
            workspace.map_port(1, first.device)
            workspace.map_port(2, second.device)
            threads = [
                threading.Thread(target=session, args=(1, first, workspace)),
                threading.Thread(target=session, args=(2, second, workspace)),
            ]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join(timeout=120)
        expected = (True, True, [True, False] * 4, True)
        self.assertEqual(results, {1: expected, 2: expected})


class Interrupted(unittest.TestCase):
    def test_a_keyboard_interrupt_during_a_call_ends_its_server_within_a_second(self):
        with Workspace() as workspace, VirtualRelay(["--silent"]) as relay:
            workspace.map_port(1, relay.device)
            for call in (lambda doc: doc.Sleep(2147483647), lambda doc: doc.EnterHardwaretestAtPort("", 1)):
                doc = Dispatch(env=workspace.env)
                server = doc._process
                with InterruptAfter(0.3) as interrupt:
                    with self.assertRaises(KeyboardInterrupt):
                        call(doc)
                    self.assertLess(interrupt.seconds_since(), 1.0)
                # It ended on its own, after cleaning up, and the document is closed.
                self.assertEqual(server.poll(), 0)
                self.assertEqual(sorted(os.listdir(workspace.directory)), ["Testbay.ini", "Testbay.ini.lock"])
                with self.assertRaises(AutomationError):
                    doc.GetTestbayVersion()


if __name__ == "__main__":
    unittest.main()
