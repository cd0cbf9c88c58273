"""The wheel built with the program ($TESTBAY_WHEEL): its type stub follows the
method table, and it installs with pip into a fresh virtual environment
without network, build tools or the `wheel` package."""

import ast
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

import testbay  # noqa: E402
from testbay.relay import Workspace  # noqa: E402

WHEEL = os.environ.get("TESTBAY_WHEEL", "")


@unittest.skipUnless(WHEEL, "$TESTBAY_WHEEL names no wheel")
class Wheel(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.path.isfile(WHEEL), f"{WHEEL} was not built")

    def test_the_stub_declares_every_method_of_the_table_and_the_package(self):
        with zipfile.ZipFile(WHEEL) as wheel:
            stub = wheel.read("testbay/__init__.pyi").decode()
            self.assertIn("testbay/py.typed", wheel.namelist())
        tree = ast.parse(stub)
        declared = {node.name for node in tree.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
        self.assertLessEqual(set(testbay.__all__), declared)
        document = next(node for node in tree.body if isinstance(node, ast.ClassDef) and node.name == "Document")
        methods = {node.name: node for node in document.body if isinstance(node, ast.FunctionDef)}
        with Workspace(logfile=False) as workspace, testbay.Dispatch(env=workspace.env) as doc:
            table = doc.methods()
        for name, (_, params, _) in table.items():
            self.assertIn(name, methods)
            self.assertEqual(len(methods[name].args.args), len(params) + 1, name)
            self.assertTrue(ast.get_docstring(methods[name]), name)
        self.assertIn("def GetLed(self, led: int, on: bool = ...) -> Tuple[bool, bool]:", stub)
        self.assertIn("def GetCpu(self) -> Optional[str]:", stub)

    def test_pip_installs_it_offline_into_a_fresh_environment(self):
        with tempfile.TemporaryDirectory(prefix="testbay-venv-") as folder, Workspace(logfile=False) as workspace:
            subprocess.run([sys.executable, "-m", "venv", folder], check=True, capture_output=True, timeout=300)
            python = os.path.join(folder, "bin", "python")
            env = dict(workspace.env, PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", PYTHONPATH="")
            self.assertNotEqual(subprocess.run([python, "-c", "import wheel"], capture_output=True).returncode, 0)
            install = subprocess.run(
                [python, "-m", "pip", "install", "--no-index", "--no-cache-dir", WHEEL],
                capture_output=True,
                text=True,
                env=env,
                timeout=300,
            )
            self.assertEqual(install.returncode, 0, install.stdout + install.stderr)
            check = (
                "import importlib.metadata as m, os, testbay;"
                "here = os.path.dirname(testbay.__file__);"
                "print(sorted(f for f in os.listdir(here) if not f.startswith('__pycache__')));"
                "print(m.version('testbay'));"
                "points = m.entry_points();"
                "points = points.select(group='pytest11') if hasattr(points, 'select') else points['pytest11'];"
                "print([e.value for e in points])"
            )
            shown = subprocess.run([python, "-c", check], capture_output=True, text=True, env=env, cwd=folder)
            self.assertEqual(shown.returncode, 0, shown.stderr)
            files, version, plugins = shown.stdout.splitlines()
            for name in ("__init__.py", "__init__.pyi", "py.typed", "call.py", "pytest_plugin.py", "relay.py"):
                self.assertIn(repr(name), files)
            self.assertIn(version, os.path.basename(WHEEL))
            self.assertEqual(plugins, "['testbay.pytest_plugin']")
            listed = subprocess.run(
                [os.path.join(folder, "bin", "testbay-call"), "--list"], capture_output=True, text=True, env=env
            )
            self.assertEqual(listed.returncode, 0, listed.stderr)
            self.assertIn("GetLedCount(long*) -> BOOL", listed.stdout)


if __name__ == "__main__":
    unittest.main()
