"""The package's version is the program's: the VERSION of project() in the
CMakeLists.txt beside this folder, or PKG-INFO when built from a source
archive."""

import pathlib
import re

from setuptools import setup

HERE = pathlib.Path(__file__).resolve().parent
SOURCES = (
    (HERE.parent / "CMakeLists.txt", r"^project\(\s*Testbay\s+VERSION\s+([0-9.]+)"),
    (HERE / "PKG-INFO", r"^Version:\s*(\S+)"),
)


def program_version():
    for path, pattern in SOURCES:
        if path.is_file():
            found = re.search(pattern, path.read_text(encoding="utf-8"), re.MULTILINE)
            if found:
                return found.group(1)
    raise RuntimeError("the program's version was not found in ../CMakeLists.txt or PKG-INFO")


setup(version=program_version())
