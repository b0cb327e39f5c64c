"""The pytest plugin: its fixture, its options, and what a failing test leaves behind."""

import os
import struct
import subprocess
import sys

import tmx5
from conftest import python_env

FAILING = '''
def test_passes(tmx5_instrument):
    inst = tmx5_instrument
    inst.on()
    inst.wait("2s")
    assert inst.screen == "HomeScreen"
    print("UTC", inst["UtcTime.Year"] + 1900, inst["UtcTime.Month"] + 1, inst["UtcTime.Hour"])

def test_fails_on_the_stopwatch_page(tmx5_instrument):
    inst = tmx5_instrument
    inst.on()
    inst.wait("2s")
    inst.key("cw")
    assert inst["HomePage"] == 4, "deliberately wrong"

def test_fails_in_the_splash(tmx5_instrument):
    tmx5_instrument.on()
    assert tmx5_instrument.power == "on"

def test_fresh_instrument_each_time(tmx5_instrument):
    assert tmx5_instrument.power == "off" and tmx5_instrument["HomePage"] == 0
'''


def run_pytest(tmp_path, *options):
    test = tmp_path / "test_deliberate.py"
    test.write_text(FAILING)
    env = python_env()
    return subprocess.run([sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-s", "-rN",
                           "--basetemp", str(tmp_path / "base"), str(test)] + list(options),
                          capture_output=True, text=True, cwd=str(tmp_path), env=env)


def png_size(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", data[16:24])


def test_a_failing_test_leaves_its_state_and_frame(tmp_path):
    run = run_pytest(tmp_path, "--tmx5-artifacts", str(tmp_path / "artifacts"), "--tmx5-utc",
                     "2031-05-04 03:02:01")
    assert run.returncode == 1, run.stdout + run.stderr
    assert "2 failed, 2 passed" in run.stdout
    # The option's start time reached the instrument.
    assert "UTC 2031 5 3" in run.stdout

    (folder,) = (tmp_path / "base").glob("test_fails_on_the_stopwatch*0")  # pytest cuts long names
    state, picture = folder / "tmx5.state", folder / "tmx5-frame.png"
    assert png_size(str(picture)) == (228, 128)
    # The state is the failing moment's: loaded back, it shows the stopwatch page.
    with tmx5.Instrument() as inst:
        inst.load_state(str(state))
        assert inst["HomePage"] == 1 and inst.screen == "HomeScreen" and inst.power == "on"
        frame = inst.frame_text()
    # The report shows that frame as text, and says where the files went.
    assert frame.rstrip("\n") in run.stdout
    assert "tmx5 instrument" in run.stdout and "wrote %s" % state in run.stdout
    assert "STOPWATCH" not in frame and "#" in frame

    copies = tmp_path / "artifacts" / "test_deliberate.py_test_fails_on_the_stopwatch_page"
    assert (copies / "tmx5.state").read_text() == state.read_text()
    assert (copies / "tmx5-frame.png").read_bytes() == picture.read_bytes()

    # In the splash there is no state to write, but there is a frame.
    splash = tmp_path / "base" / "test_fails_in_the_splash0"
    assert not (splash / "tmx5.state").exists() and (splash / "tmx5-frame.png").exists()
    assert "no state written: save-state: the instrument is in its splash" in run.stdout

    # Passing tests leave nothing.
    assert not (tmp_path / "base" / "test_passes0" / "tmx5.state").exists()


def test_without_options_the_clock_starts_at_the_runners_epoch(tmp_path):
    run = run_pytest(tmp_path, "-k", "passes")
    assert run.returncode == 0, run.stdout + run.stderr
    assert "UTC 2026 1 0" in run.stdout


def test_a_bad_start_time_is_a_usage_error(tmp_path):
    run = run_pytest(tmp_path, "--tmx5-utc", "2026-02-30 00:00:00")
    assert run.returncode == 4
    assert "--tmx5-utc:" in run.stderr and "2026-02-30" in run.stderr


def test_the_plugin_loads_by_name_too(tmp_path):
    run = run_pytest(tmp_path, "-p", "tmx5.pytest_plugin", "-k", "passes")
    assert run.returncode == 0, run.stdout + run.stderr
    run = run_pytest(tmp_path, "-p", "no:tmx5.pytest_plugin", "-k", "passes")
    assert run.returncode == 1 and "fixture 'tmx5_instrument' not found" in run.stdout
