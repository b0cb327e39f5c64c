"""The same scenario through the module's calls and through `tmx5 run` gives the same values, pictures and frame."""

import glob
import json
import os
import subprocess

import pytest

import tmx5
from conftest import SOURCE
from scripts import read_pbm, replay, with_prints

SCRIPTS = sorted(glob.glob(os.path.join(SOURCE, "examples", "*.tmx")) +
                 glob.glob(os.path.join(SOURCE, "tests", "scenarios", "*.tmx")))

# Read after every line: what the screens and the panel show, the clock, the editors' state.
NAMES = ["Power", "ScreenHandler", "Lamp", "Label15", "HomePage", "MenuCursor", "EditMode", "KeyCode",
         "UtcTime.Second", "UtcTime.Minute", "UtcTime.Hour", "SecondZoneTime.Hour", "StopwatchTenths",
         "TimerRemainingTenths", "ExpiryFlags", "AckFlags", "TempDisplay", "MainZone", "SecondZone"]


def test_the_example_scenarios_are_all_there():
    names = [os.path.basename(p) for p in SCRIPTS]
    assert "demo.tmx" in names and "tour.tmx" in names and len(names) >= 10


@pytest.mark.parametrize("script", SCRIPTS, ids=os.path.basename)
def test_calls_and_tmx5_run_agree(script, tmp_path, tmx5_binary):
    # tmx5 run: a copy of the script with a print after every line and a snapshot of the last frame, reading
    # its references through a link to the script's folder.
    cli = tmp_path / "cli"
    cli.mkdir()
    for entry in os.listdir(os.path.dirname(script)):
        if not entry.endswith(".tmx"):
            os.symlink(os.path.join(os.path.dirname(script), entry), str(cli / entry))
    copy = cli / os.path.basename(script)
    copy.write_text(with_prints(script, NAMES) + "snap last.pbm\nprint " + " ".join(tmx5.names()) + "\n")
    run = subprocess.run([tmx5_binary, "run", "--allow-any-path", "--coverage", str(tmp_path / "coverage.json"),
                          "--out", str(tmp_path / "cli-out"), str(copy)],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    cli_values = [line for line in run.stdout.splitlines() if "=" in line and not line.startswith("wrote")]

    out = tmp_path / "py-out"
    out.mkdir()
    with tmx5.Instrument() as inst:
        values = replay(inst, script, str(out), NAMES)
        values += ["%s=%s" % (n, inst[n]) for n in tmx5.names()]
        frame = inst.frame()
        coverage = inst.coverage()

    assert len(values) == len(cli_values)
    for number, (mine, theirs) in enumerate(zip(values, cli_values)):
        assert mine == theirs, "value %d" % number
    assert frame == read_pbm(str(tmp_path / "cli-out" / "last.pbm"))
    # What the instrument did, in the instrument's own terms, is the same record too.
    with open(str(tmp_path / "coverage.json")) as f:
        assert coverage == json.load(f)
    # Every picture and movie the script writes is the same file, byte for byte.
    written = sorted(os.path.relpath(p, str(out)) for p in glob.glob(str(out / "**" / "*.*"), recursive=True))
    for name in written:
        with open(str(out / name), "rb") as a, open(str(tmp_path / "cli-out" / name), "rb") as b:
            assert a.read() == b.read(), name
