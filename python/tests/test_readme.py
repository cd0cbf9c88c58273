"""The README's shell snippets, run as written against the build.

Every fenced block marked sh, bash or console and every indented block of the
README is a snippet for the shell; one that cannot run here says why in a
comment "<!-- not run by the README test: REASON -->" on the line before it
(an indented block always: only fenced blocks run). Nothing runs while a block
says neither what it holds nor why it is not run, or an unmarked one needs root
or Windows. The others run in order in one bash, as a reader would type them
on a fresh clone: in a scratch copy of the tree whose `build` is the build under test,
with a scratch HOME, as a user who installed the client with the README's
virtual environment and points $TESTBAY_SERVER and $TESTBAY_RELAY at the
build's programs. A console block's commands must print what it shows.

    TESTBAY_BUILD_DIR=build python3 -m unittest -v test_readme
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import unittest

TREE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
README = os.path.join(TREE, "README.md")
SKIP_MARK = re.compile(r"^<!-- not run by the README test: (.+) -->$")
SHELL_LANGUAGES = {"sh", "bash", "console"}
# Languages of blocks that hold no shell commands.
OTHER_LANGUAGES = {"ini", "json", "python", "text", "vbscript", "yaml"}
# What a reader takes between two blocks; a relay started in the background is up by then.
PAUSE_BETWEEN_BLOCKS_S = 0.5
RUN_TIMEOUT_S = 240


class Snippet:
    def __init__(self, line, language, lines, skip_reason):
        self.line = line  # 1-based line of its first command
        self.language = language  # "indented" for an indented block
        self.lines = lines
        self.skip_reason = skip_reason

    def commands(self):
        """(command, expected output lines or None) in order."""
        if self.language != "console":
            return [("\n".join(self.lines), None)]
        steps = []
        for text in self.lines:
            if text.startswith("$ "):
                steps.append((text[2:], []))
            elif steps:
                steps[-1][1].append(text)
        return [(command, expected or None) for command, expected in steps]


def snippets(text):
    """Every code block of the README: (Snippet, or an error text)."""
    found, errors = [], []
    lines = text.split("\n")
    skip, index = None, 0
    while index < len(lines):
        line = lines[index]
        mark = SKIP_MARK.match(line)
        if mark:
            skip = mark.group(1)
            index += 1
            continue
        if line.startswith("```"):
            language = line[3:].strip()
            start = index + 1
            index = start
            while index < len(lines) and not lines[index].startswith("```"):
                index += 1
            if language in SHELL_LANGUAGES:
                found.append(Snippet(start + 1, language, lines[start:index], skip))
            elif language not in OTHER_LANGUAGES:
                errors.append(f"README.md:{start}: say what the block holds (```sh, ```ini, ...)")
            skip = None
        elif line.startswith("    ") and index > 0 and not lines[index - 1].strip():
            start = index
            while index < len(lines) and (lines[index].startswith("    ") or not lines[index].strip()):
                index += 1
            block = [text[4:] for text in lines[start:index]]
            while block and not block[-1].strip():
                block.pop()
            found.append(Snippet(start + 1, "indented", block, skip))
            skip = None
            continue
        elif line.strip():
            skip = None
        index += 1
    return found, errors


def problems(found, errors):
    """What keeps the snippets from being run: blocks without a language, and
    blocks that would run although they cannot."""
    wrong = list(errors)
    for snippet in found:
        if snippet.skip_reason is not None:
            continue
        if not snippet.lines:
            wrong.append(f"README.md:{snippet.line}: an empty block")
        elif snippet.language == "indented":
            wrong.append(f"README.md:{snippet.line}: write it as a ```sh block to run it, or say why it is not run")
        elif re.search(r"^\$? ?(sudo|apt|apt-get|msiexec|\S+\.exe)\b", "\n".join(snippet.lines), re.MULTILINE):
            wrong.append(f"README.md:{snippet.line}: needs root or Windows: say so, it is not run")
    return wrong


def script(runnable, outputs):
    """One bash script of the snippets; a console command's output goes to a file of `outputs`."""
    parts = [
        "set -euo pipefail",
        "trap 'echo \"README.md:$SNIPPET: failed\" >&2' ERR",
        # What a snippet started in the background ends with the script.
        "trap 'kill $(jobs -p) 2>/dev/null || true' EXIT",
    ]
    checks = []
    for snippet in runnable:
        parts.append(f"SNIPPET={snippet.line}")
        for number, (command, expected) in enumerate(snippet.commands()):
            if expected is None:
                parts.append(command)
            else:
                path = os.path.join(outputs, f"{snippet.line}.{number}")
                parts.append(f"{{ {command}\n}} > {path}")
                checks.append((snippet.line, command, expected, path))
        parts.append(f"sleep {PAUSE_BETWEEN_BLOCKS_S}")
    return "\n".join(parts) + "\n", checks


def scratch_tree(root, build):
    """A fresh clone's files with `build` the build under test: links to this
    tree's, but copies of what the snippets write into (pip builds in the
    Python package, pytest keeps its cache beside the examples)."""
    tree = os.path.join(root, "tree")
    os.mkdir(tree)
    for name in os.listdir(TREE):
        if name == ".git" or name == "build" or name.startswith("build-"):
            continue
        if name in ("python", "examples"):
            shutil.copytree(
                os.path.join(TREE, name),
                os.path.join(tree, name),
                ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"),
            )
        else:
            os.symlink(os.path.join(TREE, name), os.path.join(tree, name))
    os.symlink(build, os.path.join(tree, "build"))
    return tree


class ReadmeSnippets(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(README, encoding="utf-8") as readme:
            cls.snippets, cls.errors = snippets(readme.read())

    def test_every_shell_block_runs_or_says_why_not(self):
        self.assertEqual(problems(self.snippets, self.errors), [])

    def test_the_snippets_work_as_written_on_a_fresh_clone(self):
        build = os.environ.get("TESTBAY_BUILD_DIR")
        if not build:
            self.skipTest("TESTBAY_BUILD_DIR names no build")
        wrong = problems(self.snippets, self.errors)
        if wrong:
            self.fail("not run until every block runs or says why not:\n" + "\n".join(wrong))
        runnable = [snippet for snippet in self.snippets if snippet.skip_reason is None]
        self.assertTrue(runnable)
        with tempfile.TemporaryDirectory(prefix="testbay-readme-") as root:
            tree = scratch_tree(root, os.path.abspath(build))
            home = os.path.join(root, "home")
            outputs = os.path.join(root, "outputs")
            os.mkdir(home)
            os.mkdir(outputs)
            text, checks = script(runnable, outputs)
            env = {
                name: value
                for name, value in os.environ.items()
                if not name.startswith(("TESTBAY_", "XDG_", "PYTHON", "VIRTUAL_ENV"))
            }
            env.update(
                HOME=home,
                PATH=os.path.join(home, "testbay-venv", "bin") + os.pathsep + os.environ["PATH"],
                TESTBAY_SERVER=os.path.join(tree, "build", "testbay"),
                TESTBAY_RELAY=os.path.join(tree, "build", "testbay-relay"),
                PIP_NO_INDEX="1",
                PIP_DISABLE_PIP_VERSION_CHECK="1",
            )
            transcript = os.path.join(root, "transcript")
            # A session of its own, so that nothing a snippet started outlives the test.
            with open(transcript, "wb") as printed:
                shell = subprocess.Popen(
                    ["bash", "-c", text], cwd=tree, env=env, stdout=printed, stderr=subprocess.STDOUT,
                    start_new_session=True,
                )
                try:
                    shell.wait(timeout=RUN_TIMEOUT_S)
                finally:
                    try:
                        os.killpg(shell.pid, signal.SIGTERM)
                    except ProcessLookupError:
                        pass
                    shell.wait()
            with open(transcript, encoding="utf-8", errors="replace") as printed:
                self.assertEqual(shell.returncode, 0, printed.read()[-6000:])
            for line, command, expected, path in checks:
                with self.subTest(line=line, command=command), open(path, encoding="utf-8") as output:
                    self.assertEqual(output.read().splitlines(), expected)


if __name__ == "__main__":
    unittest.main()
