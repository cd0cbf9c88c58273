"""Lets `pytest examples/stand` run from a source tree as it does installed:
the client and its plugin come from the tree's python/ folder when there is
one beside the examples (an installed copy of the examples has none)."""

import pathlib
import sys

TREE_CLIENT = pathlib.Path(__file__).resolve().parents[2] / "python"
if (TREE_CLIENT / "testbay" / "pytest_plugin.py").is_file() and str(TREE_CLIENT) not in sys.path:
    sys.path.insert(0, str(TREE_CLIENT))

pytest_plugins = ["testbay.pytest_plugin"]
