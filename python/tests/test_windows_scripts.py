"""VBScript test-stand scripts calling Testbay.Document through COM (Wine's
cscript.exe), and the same calls through testbay.exe -JsonRpc: both against
a fresh virtual relay on COM5, both checked against one table of calls
(see wine_prefix for what it needs)."""

import os
import subprocess
import sys
import time
import unittest
from dataclasses import dataclass

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from testbay import AutomationError  # noqa: E402
import wine_prefix  # noqa: E402
from wine_prefix import PORT, SERVER, WINE  # noqa: E402

PROGRAM = "testbay.exe"
WINDOW_DRIVER = os.environ.get("TESTBAY_WINDOW_DRIVER", "")
# Generous: a loaded machine under Wine, not a timing requirement.
WAIT_SECONDS = 60


@dataclass(frozen=True)
class Var:
    """A script variable; a script passes it by reference."""
    name: str


@dataclass(frozen=True)
class ByValue:
    """A variable in parentheses: a script passes only its value."""
    name: str


@dataclass(frozen=True)
class Fault:
    com: int           # Err.Number in a script
    rpc: int           # error code over JSON-RPC
    text: str = None   # the server's own text, which both must carry


@dataclass
class Let:
    name: str
    value: object


@dataclass
class Step:
    """One call. `statement` calls without parentheses and drops the result;
    `expect` is the result, then the variables in `shows`, as a script prints them."""
    label: str
    method: str
    args: tuple = ()
    shows: tuple = ()
    expect: str = ""
    fault: Fault = None
    statement: bool = False


def faulty(label, method, *args, fault):
    """A failing call, then proof that the object and its link still answer."""
    return [Step(label, method, args, fault=fault, statement=True),
            Let("after", 0),
            Step(f"{label}, then", "GetLedCount", (Var("after"),), ("after",), "True 16")]


UNKNOWN_NAME = Fault(com=438, rpc=-32601)
ARGUMENT_COUNT = Fault(com=450, rpc=-32602)
TYPE_MISMATCH = Fault(com=13, rpc=-32602)
# E_INVALIDARG as the exception's code.
LENGTH_REFUSED = Fault(com=-2147024809, rpc=-32602, text="parameter 3: length -1 is outside 0 to 251")

SERIAL = "TQ2690001234"
ORDER_NUMBER = "QR8425-5TB92-3MD1+Z2A"  # the virtual relay's
SEQUENCE = [
    Step("no port 7", "EnterHardwaretestAtPort", ("", 7), expect="False"),
    Step("inactive", "IsActiv", expect="False"),
    Step("enter", "EnterHardwaretestAtPort", ("", PORT), expect="True"),
    Let("n", 0),
    Step("led count", "GetLedCount", (Var("n"),), ("n",), "True 16"),
    Let("n", 0),
    Step("led count by value", "GetLedCount", (ByValue("n"),), ("n",), "True 0"),
    Step("led count from a literal", "GetLedCount", (3,), expect="True"),
    Step("led count, name in small letters", "getledcount", (Var("n"),), ("n",), "True 16"),
    Step("led 1 on", "SetLed", (1, True), statement=True),
    Let("led", 2),
    Let("lit", True),
    Step("led 2 on", "SetLed", (Var("led"), Var("lit")), ("led", "lit"), statement=True, expect="2 True"),
    Let("state", False),
    Step("led 1", "GetLed", (1, Var("state")), ("state",), "True True"),
    Let("state", False),
    Step("led 2", "GetLed", (Var("led"), Var("state")), ("state",), "True True"),
    Step("led 3", "GetLed", (3, Var("state")), ("state",), "True False"),
    Step("led 3 by value", "GetLed", (3, ByValue("lit")), ("lit",), "True True"),
    Step("led 4 from a literal", "GetLed", (4, True), expect="True"),
    Step("relay 1 as a statement", "GetRelay", (1, Var("lit")), ("lit",), "False", statement=True),
    Step("cpu", "GetCpu", expect="MBX2"),
    Let("serial", SERIAL),
    Step("write serial", "SetSerialNumber", (Var("serial"),), expect="True"),
    Step("serial", "GetSerialNumberString", expect=SERIAL),
    Let("room", " " * 16),
    Step("serial into room", "GetSerialNumber", (Var("room"),), ("room",), f"True {SERIAL}"),
    Let("room", " " * 16),
    Step("serial by value", "GetSerialNumber", (ByValue("room"),), ("room",), "True " + " " * 16),
    Step("serial from a literal", "GetSerialNumber", ("",), expect="True"),
    # Copied into the caller's string in place: its length stays, a zero byte ends the text.
    Let("room", " " * 32),
    Step("order number into room", "GetMlfb", (Var("room"),), ("room",), f"True {ORDER_NUMBER}~" + " " * 10),
    Step("level", "SetLevel", ("x",), expect="True"),
    Let("gain", 1.25),
    Step("write calibration", "SetCalibrationValue", (1, 0, 0, Var("gain"), 0.5), expect="True"),
    Let("g", 0),
    Let("o", 0),
    Step("calibration", "GetCalibrationValue", (1, 0, 0, Var("g"), Var("o")), ("g", "o"), "True 1.25 0.5"),
    Step("calibration by value", "GetCalibrationValue", (1, 0, 0, ByValue("n"), 7), ("n",), "True 16"),
    Let("amps", 0),
    Step("current", "GetCurrent", (1, Var("amps")), ("amps",), "True 1"),
    Let("volts", -1),
    Step("voltage", "GetVoltage", (1, Var("volts")), ("volts",), "True 0.031"),
    Let("start", 0), Let("size", 0), Let("sector", 0), Let("attributes", 0), Let("flash", True), Let("ram", True),
    Step("memory 0", "GetMemoryInfo",
         (0, Var("start"), Var("size"), Var("sector"), Var("attributes"), Var("flash"), Var("ram")),
         ("start", "size", "sector", "attributes", "flash", "ram"), "True 0 268435456 0 0 False False"),
    *faulty("unknown name", "NoSuchMethod", fault=UNKNOWN_NAME),
    *faulty("too few arguments", "SetLed", 1, fault=ARGUMENT_COUNT),
    *faulty("too many arguments", "SetLed", 1, True, 1, fault=ARGUMENT_COUNT),
    *faulty("text for a number", "SetLed", "one", True, fault=TYPE_MISMATCH),
    # A string shorter than the length read takes what fits.
    Step("write memory", "WriteMemory", (0, 0x2000, 4, "wxyz"), expect="True"),
    Let("room", "ab"),
    Step("memory into a short room", "ReadMemory", (0, 0x2000, 4, Var("room")), ("room",), "True wx"),
    *faulty("negative length", "ReadMemory", 0, 0, -1, "xy", fault=LENGTH_REFUSED),
    Step("exit", "ExitHardwaretest", expect="True"),
    Step("led count after exit", "GetLedCount", (Var("n"),), ("n",), "False 16"),
]

# The relay hangs up after this many answers, as an unplugged adapter does: the
# calls then fail and the object goes on answering.
HANG_UP_AFTER = 3
SEQUENCE_WITHOUT_RELAY = [
    Step("enter", "EnterHardwaretestAtPort", ("", PORT), expect="True"),
    Let("n", 0),
    Step("led count", "GetLedCount", (Var("n"),), ("n",), "True 16"),
    Let("n", 0),
    Step("last answer", "GetLedCount", (Var("n"),), ("n",), "True 16"),
    Let("n", 0),
    # A failed call leaves the count of the last answer.
    Step("led count, relay gone", "GetLedCount", (Var("n"),), ("n",), "False 16"),
    Step("led count again", "GetLedCount", (Var("n"),), ("n",), "False 16"),
    Step("active", "IsActiv", expect="True"),
    Step("version", "GetTestbayVersion", expect="04.02.08"),
]


def vb_literal(value):
    if isinstance(value, bool):
        return "True" if value else "False"
    if isinstance(value, str):
        return '"' + value.replace('"', '""') + '"'
    if isinstance(value, Var):
        return value.name
    if isinstance(value, ByValue):
        return f"({value.name})"
    return repr(value)


def vb_text(value):
    """A value as a script prints it with CStr (English locale), a zero byte as '~'."""
    if value is None:
        return ""
    if isinstance(value, bool):
        return "True" if value else "False"
    if isinstance(value, float):
        return ("%.15g" % value).upper()
    return str(value).replace("\0", "~")


SCRIPT_PRELUDE = """\
On Error Resume Next
Function Shown(value)
    Shown = Replace(CStr(value), Chr(0), "~")
End Function
Set doc = CreateObject("Testbay.Document")
WScript.Echo "create|" & Err.Number & "|" & Err.Description
"""


def script_of(sequence):
    """The sequence as a VBScript script; each call prints label|Err.Number|Err.Description|values."""
    lines = SCRIPT_PRELUDE.splitlines()
    for step in sequence:
        if isinstance(step, Let):
            lines.append(f"{step.name} = {vb_literal(step.value)}")
            continue
        args = ", ".join(vb_literal(arg) for arg in step.args)
        shown = [] if step.statement else ["r"]
        if step.statement:
            lines.append(f"doc.{step.method} {args}".rstrip())
        else:
            lines.append("r = Empty")
            lines.append(f"r = doc.{step.method}({args})")
        shown += step.shows
        values = "".join(f' & "|" & Shown({name})' for name in shown)
        lines.append(f'WScript.Echo "{step.label}|" & Err.Number & "|" & Err.Description{values}')
        lines.append("Err.Clear")
    lines.append("Set doc = Nothing")
    return "\r\n".join(lines) + "\r\n"


def parse_script_output(text):
    """(label, number, description, values) of each printed line."""
    outcomes = []
    for line in text.splitlines():
        label, number, description, *values = line.split("|")
        outcomes.append((label, int(number), description, " ".join(values)))
    return outcomes


def run_over_json_rpc(doc, sequence):
    """The sequence through the Python client, with script variables kept here."""
    types = {name.lower(): entry[1] for name, entry in doc.methods().items()}
    variables = {}
    outcomes = [("create", 0, "", "")]
    for step in sequence:
        if isinstance(step, Let):
            variables[step.name] = step.value
            continue
        values = [variables[arg.name] if isinstance(arg, (Var, ByValue)) else arg for arg in step.args]
        shown = []
        try:
            result = doc.call(step.method, *values)
        except AutomationError as error:
            outcomes.append((step.label, error.code, error.message, ""))
            continue
        params = types[step.method.lower()]
        if any(kind.endswith("*") for kind in params):
            result, *outputs = result
            references = [index for index, kind in enumerate(params) if kind.endswith("*")]
            for index, output in zip(references, outputs):
                if index < len(step.args) and isinstance(step.args[index], Var):
                    variables[step.args[index].name] = output
        if not step.statement:
            shown.append(result)
        shown += [variables[name] for name in step.shows]
        outcomes.append((step.label, 0, "", " ".join(vb_text(value) for value in shown)))
    return outcomes


def expected_outcomes(sequence, transport):
    expected = [("create", 0, "")]
    for step in sequence:
        if isinstance(step, Step):
            number = 0 if step.fault is None else getattr(step.fault, transport)
            expected.append((step.label, number, step.expect if step.fault is None else ""))
    return expected


class ScriptsUnderWine(wine_prefix.WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.register()

    @classmethod
    def register(cls):
        cls.prefix.run(SERVER, "-RegServer")

    def expect_both_transports(self, name, sequence, *relay_options):
        texts = [(step.label, step.fault.text) for step in sequence if isinstance(step, Step) and step.fault]
        for transport in ("com", "rpc"):
            with self.subTest(transport=transport):
                self.relay(*relay_options)
                if transport == "com":
                    outcomes = parse_script_output(self.prefix.cscript(name, script_of(sequence)))
                else:
                    doc = self.json_rpc_document()
                    outcomes = run_over_json_rpc(doc, sequence)
                    self.assertEqual(doc.close(), 0)
                expected = expected_outcomes(sequence, transport)
                self.assertEqual([(label, number, values) for label, number, _, values in outcomes], expected)
                descriptions = {label: description for label, _, description, _ in outcomes}
                for label, text in texts:
                    if text is not None:
                        self.assertEqual(descriptions[label], text, label)
                self.wait_for_servers(0)

    def wait_for_servers(self, count):
        deadline = time.monotonic() + WAIT_SECONDS
        while len(self.prefix.processes(PROGRAM)) != count and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(len(self.prefix.processes(PROGRAM)), count)

    def test_a_test_stand_sequence_gives_the_same_results_through_com_and_json_rpc(self):
        self.expect_both_transports("sequence.vbs", SEQUENCE)

    def test_a_relay_that_hangs_up_fails_the_calls_and_leaves_the_object_answering(self):
        self.expect_both_transports("hang_up.vbs", SEQUENCE_WITHOUT_RELAY, "--hang-up-after", str(HANG_UP_AFTER))

    def start_staged_script(self, name, text):
        """Runs a script of Stage calls; returns the run and the path of its output."""
        script = self.prefix.write_script(name + ".vbs", text)
        output_path = self.prefix.drive_c(name + ".out")
        with open(output_path, "w") as output:
            script_run = subprocess.Popen([WINE, "cscript.exe", "//nologo", script], env=self.prefix.env,
                                          stdout=output, stderr=subprocess.DEVNULL)
        self.addCleanup(script_run.wait, WAIT_SECONDS)
        self.addCleanup(script_run.kill)
        return script_run, output_path

    def go_on_after(self, stage):
        with open(self.prefix.drive_c(f"{stage}.go"), "w"):
            pass

    def test_each_object_is_a_server_process_that_ends_when_the_script_lets_go(self):
        script_run, output_path = self.start_staged_script("lifetime", LIFETIME_SCRIPT)
        for stage, servers in (("two objects 0", 2), ("first released", 1), ("both released", 0)):
            with self.subTest(stage=stage):
                self.wait_for_line(output_path, stage)
                self.wait_for_servers(servers)
            self.go_on_after(stage)
        self.assertEqual(script_run.wait(WAIT_SECONDS), 0)
        with open(output_path) as output:
            self.assertEqual(output.read().splitlines(),
                             ["two objects 0", "the other answers after the first went True 0",
                              "first released", "both released"])

    @unittest.skipUnless(WINDOW_DRIVER, "needs window_driver.exe")
    def test_the_server_of_a_script_s_object_shows_no_window_and_has_no_console(self):
        script_run, output_path = self.start_staged_script("quiet", QUIET_SCRIPT)
        self.wait_for_line(output_path, "created 0")
        self.wait_for_servers(1)
        # A program of the console subsystem started so gets a console (on
        # Windows a window of its own; under Wine the script's).
        self.assertEqual(self.prefix.run(WINDOW_DRIVER, "process", PROGRAM), "")
        self.go_on_after("created 0")
        self.assertEqual(script_run.wait(WAIT_SECONDS), 0)
        self.wait_for_servers(0)

    def wait_for_line(self, path, line):
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            with open(path) as output:
                if line in output.read().splitlines():
                    return
            time.sleep(0.1)
        self.fail(f"the script did not print {line!r}")

    def test_after_unregistering_a_script_cannot_create_the_object(self):
        self.addCleanup(self.register)
        self.prefix.run(SERVER, "-UnregServer")
        self.assertEqual(self.prefix.cscript("unregistered.vbs", UNREGISTERED_SCRIPT).splitlines(), ["create 429"])
        self.assertEqual(self.prefix.processes(PROGRAM), [])


# Waits at each stage until the test has looked at the server processes. Wine's
# cscript has no WScript.Sleep: a short program run to its end paces the loop.
STAGES = """\
Set files = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")
Sub Stage(text)
    WScript.Echo text
    For i = 1 To 3000
        If files.FileExists("C:\\" & text & ".go") Then Exit For
        shell.Run "cmd.exe /c exit", 0, True
    Next
End Sub
On Error Resume Next
"""

LIFETIME_SCRIPT = (STAGES + """\
Set doc = CreateObject("Testbay.Document")
Set other = CreateObject("Testbay.Document")
Stage "two objects " & Err.Number
Set doc = Nothing
WScript.Echo "the other answers after the first went " & (other.GetTestbayVersion = "04.02.08") & " " & Err.Number
Stage "first released"
Set other = Nothing
Stage "both released"
""").replace("\n", "\r\n")

QUIET_SCRIPT = (STAGES + """\
Set doc = CreateObject("Testbay.Document")
Stage "created " & Err.Number
""").replace("\n", "\r\n")

UNREGISTERED_SCRIPT = """\
On Error Resume Next
Set doc = CreateObject("Testbay.Document")
WScript.Echo "create " & Err.Number
""".replace("\n", "\r\n")


if __name__ == "__main__":
    unittest.main()
