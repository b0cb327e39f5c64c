"""Every error is a Python exception with the runner's message, and the instrument goes on working after it."""

import os
import signal
import subprocess

import pytest

import tmx5
from conftest import python_env


@pytest.fixture
def home(tmx5_instrument):
    inst = tmx5_instrument
    inst.utc("2026-06-21 14:30:00")
    inst.on()
    inst.wait("2s")
    return inst


def still_works(inst):
    """The instrument takes the next call: a key moves the home page on."""
    page = inst["HomePage"]
    inst.key("cw")
    assert inst["HomePage"] == (page + 1) % 5
    inst.key("ccw")
    assert inst["HomePage"] == page


BAD_CALLS = [
    (lambda i: i.key("cww"), "unknown key cww"),
    (lambda i: i.key("CW"), "unknown key CW"),
    (lambda i: i.wait("2"), "2"),
    (lambda i: i.wait("2x"), "2x"),
    (lambda i: i.wait("1001h"), "1001h"),
    (lambda i: i.wait(-1), "-1s"),
    (lambda i: i.passes(-1), "-1"),
    (lambda i: i.sensor(4097), "4097"),
    (lambda i: i.utc("2026-02-30 00:00:00"), "2026-02-30"),
    (lambda i: i.utc("2100-01-01 00:00:00"), "2100"),
    (lambda i: i.utc("tomorrow"), "usage: utc"),
    (lambda i: i.frame_ms(0), "0"),
    (lambda i: i.expect("NoSuchName", 1), "NoSuchName"),
    (lambda i: i.expect("LocalOffsetHours[153]", 0), "153"),
    (lambda i: i.expect("MainZone", "many"), "many"),
    (lambda i: i.expect("ScreenHandler", "NoScreen"), "NoScreen"),
    (lambda i: i.expect_text(0, 0, ""), ""),
    (lambda i: i.expect_text(0, 0, "x" * 32), ""),
    (lambda i: i.expect_text(0, 0, "caf\u00e9"), ""),
    (lambda i: i.expect_text(256, 0, "A"), "256"),
    (lambda i: i.snap("frame.jpg"), "frame.jpg"),
    (lambda i: i.snap("frame.png", scale=9), "9x"),
    (lambda i: i.snap("frame.pbm", scale=3), "frame.pbm"),
    (lambda i: i.movie_end(), "no movie is recording"),
    (lambda i: i.run("key cw\nfly away\nkey cw"), "<run>:2: unknown command fly"),
]


@pytest.mark.parametrize("call,words", BAD_CALLS, ids=range(len(BAD_CALLS)))
def test_bad_values_raise_value_error_and_change_nothing(home, call, words):
    before = (home.virtual_ms, home["HomePage"])
    with pytest.raises(ValueError) as raised:
        call(home)
    assert words in str(raised.value)
    assert (home.virtual_ms, home["HomePage"]) == before  # checked first, nothing ran
    still_works(home)


def test_bad_names_raise_both_key_error_and_value_error(home):
    for name in ("NoSuchName", "LocalOffsetHours", "LocalOffsetHours[153]", "UtcTime.Nothing", ""):
        with pytest.raises(KeyError):
            home[name]
        with pytest.raises(ValueError):
            home[name]
    with pytest.raises(ValueError, match="LocalOffsetHours needs an index, 0 to 152"):
        home["LocalOffsetHours"]
    still_works(home)


def test_the_messages_are_the_runners(home, tmp_path, tmx5_binary):
    lines = ["key cww", "wait 2x", "sensor 4097", "utc 2026-02-30 00:00:00", "expect Nothing 1",
             'expect-text 0 0 ""', "snap a.jpg"]
    calls = [lambda: home.key("cww"), lambda: home.wait("2x"), lambda: home.sensor(4097),
             lambda: home.utc("2026-02-30 00:00:00"), lambda: home.expect("Nothing", 1),
             lambda: home.expect_text(0, 0, ""), lambda: home.snap("a.jpg")]
    for line, call in zip(lines, calls):
        script = tmp_path / "bad.tmx"
        script.write_text(line + "\n")
        run = subprocess.run([tmx5_binary, "run", str(script)], capture_output=True, text=True)
        assert run.returncode == 2
        expected = run.stderr.strip().split(": ", 1)[1]  # without "FILE:1"
        with pytest.raises(ValueError) as raised:
            call()
        assert str(raised.value) == expected
        # In run(), the whole message, place included.
        with pytest.raises(ValueError) as raised:
            home.run(line, name=str(script))
        assert str(raised.value) == run.stderr.strip()


def test_a_failed_expectation_in_run_names_its_line_and_stops_there(home):
    start = home.virtual_ms
    with pytest.raises(AssertionError) as raised:
        home.run("key cw\nexpect HomePage 1\nexpect HomePage 3\nkey cw", name="steps")
    assert str(raised.value) == "steps:3: expected HomePage 3, got 1"
    # The key before ran; the one after did not.
    assert home["HomePage"] == 1 and home.virtual_ms - start == 40
    still_works(home)


def test_files_that_cannot_be_read_or_written_raise_os_error(home, tmp_path):
    (tmp_path / "file").write_text("x")
    for call in (lambda: home.snap(str(tmp_path / "file" / "in-a-file.png")),
                 lambda: home.save_state(str(tmp_path / "file" / "a.state")),
                 lambda: home.movie(str(tmp_path / "file" / "m.gif")),
                 lambda: home.run("snap %s" % (tmp_path / "file" / "x.pbm"))):
        with pytest.raises(OSError, match="cannot write"):
            call()
        still_works(home)
    with pytest.raises(FileNotFoundError):
        home.load_state(str(tmp_path / "missing.state"))
    with pytest.raises(FileNotFoundError):
        home.expect_frame(str(tmp_path / "missing.pbm"))
    with pytest.raises(FileNotFoundError):
        home.run_file(str(tmp_path / "missing.tmx"))
    still_works(home)


def test_a_bad_state_names_its_line_and_loads_nothing(home, tmp_path):
    good = home.save_state()
    home.key("cw")
    for bad, words in ((good.replace("MainZone 43", "MainZone 999"), "MainZone"),
                       (good.replace("tmx5-state 1", "tmx5-state 9"), "version"),
                       ("tmx5-state 1\nNoSuchName 3\n", "NoSuchName"),
                       (good[:len(good) // 2], "")):
        with pytest.raises(ValueError, match=words) as raised:
            home.load_state(bad)
        assert "<state>:" in str(raised.value)
        assert home["HomePage"] == 1 and home.power == "on"
        still_works(home)
    path = tmp_path / "bad.state"
    path.write_bytes(b"\x00\x01binary")
    with pytest.raises(ValueError, match=str(path)):
        home.load_state(str(path))
    still_works(home)


def test_no_state_during_the_splash(tmx5_instrument):
    inst = tmx5_instrument
    inst.on()
    with pytest.raises(ValueError, match="splash"):
        inst.save_state()
    inst.wait("2s")
    assert inst.save_state().startswith("tmx5-state")


def test_one_instrument_at_a_time(home):
    with pytest.raises(RuntimeError, match="another tmx5.Instrument is open"):
        tmx5.Instrument()
    with pytest.raises(RuntimeError):
        with tmx5.Instrument():
            pass
    still_works(home)


def test_a_bad_utc_at_creation_leaves_no_instrument_open():
    with pytest.raises(ValueError, match="2026-13-01"):
        tmx5.Instrument(utc="2026-13-01 00:00:00")
    with pytest.raises(TypeError):
        tmx5.Instrument(utc=20260101)
    tmx5.Instrument().close()


def test_wrong_types_raise_type_error(home):
    with pytest.raises(TypeError):
        home.wait(None)
    with pytest.raises(TypeError):
        home.wait(True)
    with pytest.raises(TypeError):
        home[3]
    still_works(home)


def test_an_interrupt_stops_a_long_wait_at_an_event_point(home):
    # The interval timer's signal stands in for Ctrl+C: its handler raises KeyboardInterrupt, as Python's
    # SIGINT handler does. Left alone, the wait would run 1000 hours of virtual time.
    previous = signal.signal(signal.SIGALRM, signal.default_int_handler)
    start = home.virtual_ms
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        with pytest.raises(KeyboardInterrupt):
            home.wait("1000h")
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    stopped = home.virtual_ms
    assert start < stopped < start + 1000 * 3600 * 1000
    assert stopped % 20 == 0 and home.power == "on"  # at an event point, still running
    # The rest of the wait is dropped: the next call starts from there.
    home.passes(1)
    assert home.virtual_ms == stopped + 20
    still_works(home)


def test_ctrl_c_in_a_python_process(tmp_path):
    # A real SIGINT to a process that waits: KeyboardInterrupt, and the instrument goes on.
    child = tmp_path / "child.py"
    child.write_text(
        "import os, signal, sys, tmx5\n"
        "inst = tmx5.Instrument()\n"
        "inst.on()\n"
        "inst.wait('2s')\n"
        "signal.setitimer(signal.ITIMER_REAL, 0.2)\n"
        "signal.signal(signal.SIGALRM, lambda *a: os.kill(os.getpid(), signal.SIGINT))\n"
        "try:\n"
        "    inst.wait('1000h')\n"
        "except KeyboardInterrupt:\n"
        "    inst.key('cw')\n"
        "    print('interrupted', inst['HomePage'], inst.power)\n"
        "inst.close()\n")
    run = subprocess.run(["/usr/bin/python3", str(child)], capture_output=True, text=True,
                         env=python_env())
    assert run.returncode == 0, run.stderr
    assert run.stdout == "interrupted 1 on\n"
