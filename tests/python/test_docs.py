"""docs/PYTHON.md is the reference the module's docstrings give."""

import os
import subprocess
import sys

from conftest import SOURCE, python_env


def test_the_reference_is_written_from_the_docstrings():
    tool = os.path.join(SOURCE, "tools", "pythondoc.py")
    run = subprocess.run([sys.executable, tool], capture_output=True, text=True, env=python_env())
    assert run.returncode == 0, run.stderr
    with open(os.path.join(SOURCE, "docs", "PYTHON.md"), encoding="utf-8") as f:
        written = f.read()
    assert written == run.stdout, "docs/PYTHON.md is out of date: PYTHONPATH=build/python python3 tools/pythondoc.py > docs/PYTHON.md"
    for name in ("inst.key(name)", "inst.wait(duration)", "inst.expect_text(", "inst.save_state(path=None)",
                 "inst.load_state(state)", "inst.frame_array()", "inst.run(script", "`inst.virtual_ms`",
                 "Fixture `tmx5_instrument`", "--tmx5-artifacts"):
        assert name in written, name
