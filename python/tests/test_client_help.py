"""What a script's author sees of the client: the methods as attributes with
signatures and docstrings, the errors as one hierarchy, names in any case."""

import ast
import inspect
import os
import pydoc
import runpy
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
TREE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")

import testbay  # noqa: E402
from testbay import (  # noqa: E402
    AutomationError,
    BadParameters,
    CallRefused,
    Dispatch,
    ServerGone,
    UnknownMethod,
)
from testbay._methods import Method, unknown_name_text  # noqa: E402
from testbay.relay import Workspace  # noqa: E402


class Methods(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.workspace = Workspace(logfile=False)
        cls.doc = Dispatch("testbay.DOCUMENT", env=cls.workspace.env)

    @classmethod
    def tearDownClass(cls):
        cls.doc.close()
        cls.workspace.close()

    def test_every_method_is_a_listed_attribute_with_named_parameters_and_a_summary(self):
        table = self.doc.methods()
        self.assertGreaterEqual(len(table), 142)
        self.assertLessEqual(set(table), set(dir(self.doc)))
        for name in table:
            attribute = getattr(self.doc, name)
            self.assertEqual(attribute.__name__, name)
            parameters = list(inspect.signature(attribute).parameters)
            self.assertEqual(len(parameters), len(table[name][1]), name)
            # A row of the C++ method table without parameter names or summary shows here.
            self.assertFalse([p for p in parameters if p.startswith("arg")], f"{name}: its row names no parameters")
            self.assertFalse(attribute.__doc__.startswith("The automation method"), f"{name}: its row has no summary")

    def test_signatures_follow_the_table_and_leave_out_only_trailing_references(self):
        signatures = {
            "GetLed": "(led, on=False)",
            "GetLedCount": "(count=0)",
            "GetCurrent": "(channel, value=0.0)",
            "GetVersion": "(index, text='')",
            "EnterHardwaretestAtPort": "(text, port)",
            # data goes by reference, but a by-value parameter follows it.
            "Send": "(port, data, length)",
            "GetCpu": "()",
        }
        for name, expected in signatures.items():
            self.assertEqual(str(inspect.signature(getattr(self.doc, name))), expected, name)

    def test_help_says_what_it_does_what_goes_in_and_what_comes_back(self):
        text = pydoc.render_doc(self.doc.GetLed, renderer=pydoc.plaintext)
        self.assertIn("GetLed(led, on=False)", text)
        self.assertIn("Reads whether one LED is lit.", text)
        self.assertIn("led: long", text)
        self.assertIn("on: BOOL, by reference", text)
        self.assertIn("Returns (result, on):", text)
        self.assertIn("Dispatch identifier 10.", text)
        self.assertIn("None for the null string", self.doc.GetCpu.__doc__)
        self.assertIn("room the method writes into", self.doc.GetVersion.__doc__)

    def test_keywords_take_their_places(self):
        self.assertEqual(self.doc.GetLed(led=1), (False, False))
        self.assertEqual(self.doc.Receive(1, data="abc", length=3), (True, "abc"))
        self.assertEqual(self.doc.GetCalPara(7, text="?"), (False, 0, "?", 0))
        with self.assertRaises(TypeError):
            self.doc.GetLed(on=True)

    def test_a_misspelt_name_is_an_attribute_error_that_suggests_the_nearest(self):
        names = list(self.doc.methods())
        for wrong in ("GetLedCont", "getledcont", "SetLedd", "GteLed", "EnterHardwareTestAt", "Xyzzy"):
            with self.assertRaises(AttributeError) as attribute:
                getattr(self.doc, wrong)
            self.assertEqual(str(attribute.exception), unknown_name_text(wrong, names))
            # The server, asked the same, is refused with its own text; where it
            # suggests names, both texts are the same.
            with self.assertRaises(UnknownMethod) as refused:
                self.doc.call(wrong)
            self.assertIsInstance(refused.exception, AttributeError)
            if "did you mean" in refused.exception.message:
                self.assertEqual(refused.exception.message, str(attribute.exception))
        self.assertEqual(
            unknown_name_text("GetLedCont", names), 'Unknown name "GetLedCont"; did you mean GetLedCount?'
        )
        self.assertEqual(unknown_name_text("SetLedd", names), 'Unknown name "SetLedd"; did you mean SetLeds or SetLed?')
        self.assertEqual(unknown_name_text("Xyzzy", names), 'Unknown name "Xyzzy"')
        self.assertFalse(hasattr(self.doc, "_private"))

    def test_a_method_the_table_gives_no_names_gets_numbered_ones(self):
        method = Method({"dispid": 150, "name": "Later", "params": ["long", "string*"], "returns": "BOOL"})
        self.assertEqual(str(method.signature()), "(arg1, arg2='')")
        self.assertIn("def Later(self, arg1: int, arg2: str = ...) -> Tuple[bool, str]:", method.stub())
        self.assertIn("The automation method Later.", method.docstring())


class Errors(unittest.TestCase):
    def test_a_refused_call_is_told_from_a_server_that_is_gone(self):
        with Workspace(logfile=False) as workspace:
            doc = Dispatch(env=workspace.env)
            with self.assertRaises(BadParameters) as refused:
                doc.SetLed("one", True)
            self.assertIsInstance(refused.exception, CallRefused)
            self.assertEqual(refused.exception.code, -32602)
            # The server goes on after a refused call.
            self.assertEqual(doc.GetTestbayVersion(), "04.02.08")
            doc._process.kill()
            doc._process.wait()
            with self.assertRaises(ServerGone) as gone:
                doc.GetTestbayVersion()
            self.assertNotIsInstance(gone.exception, CallRefused)
            self.assertIsInstance(gone.exception, AutomationError)
            doc.close()
            with self.assertRaises(ServerGone):
                doc.IsActiv()

    def test_an_unknown_prog_id_is_refused(self):
        with self.assertRaises(ValueError):
            Dispatch("Testbay.Documents")


if __name__ == "__main__":
    unittest.main()


class Stub(unittest.TestCase):
    """The stub's hand-written part names the parameters the client takes."""

    def test_the_stub_head_has_the_clients_parameters(self):
        stub_head = runpy.run_path(os.path.join(TREE, "cmake", "python_package.py"))["STUB_HEAD"]
        stubbed = {}
        for node in ast.parse(stub_head).body:
            for function in [node] + list(getattr(node, "body", [])):
                if isinstance(function, ast.FunctionDef):
                    owner = f"{node.name}." if node is not function else ""
                    arguments = function.args
                    named = arguments.args + [arguments.vararg] + arguments.kwonlyargs + [arguments.kwarg]
                    stubbed[owner + function.name] = [a.arg for a in named if a is not None and a.arg != "self"]
        self.assertIn("Dispatch", stubbed)
        for name, parameters in stubbed.items():
            with self.subTest(name=name):
                owner, _, attribute = name.rpartition(".")
                runtime = getattr(getattr(testbay, owner) if owner else testbay, attribute)
                if isinstance(runtime, property):
                    continue
                self.assertEqual(list(inspect.signature(runtime).parameters)[1 if owner else 0 :], parameters)
