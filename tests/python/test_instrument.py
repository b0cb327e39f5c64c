"""The module's calls: what they do to the instrument and what they read back."""

import datetime
import os
import struct
import zlib

import pytest

import tmx5
from scripts import read_pbm


def test_versions():
    assert tmx5.__version__.count(".") == 2
    assert tmx5.FIRMWARE_VERSION == "1.06"


def test_a_fresh_instrument_starts_off_at_program_start(tmx5_instrument):
    inst = tmx5_instrument
    assert inst.power == "off" and inst.screen == "none"
    assert inst.frame() == bytes(64 * 114)
    # Program start is the runner's: 2026-01-01 00:00:00, one idle frame gone by.
    assert inst.host_utc == datetime.datetime(2026, 1, 1, 0, 0, 0, 20000, tzinfo=datetime.timezone.utc)
    assert inst.virtual_ms == 20 and inst.event_points == 1


def test_power_on_splash_home_page_and_keys(tmx5_instrument):
    inst = tmx5_instrument
    inst.utc("2026-06-21 14:30:00")
    inst.on()
    assert inst.power == "splash"
    inst.wait("2s")
    assert inst.power == "on" and inst["ScreenHandler"] == "HomeScreen" and inst["HomePage"] == 0
    assert inst["UtcTime.Hour"] == 14 and inst["UtcTime.Minute"] == 30
    inst.expect_text(57, 0, "UTC Zulu", centred=True)
    # The knob steps the home pages; each key's effect is drawn when the call returns.
    for key, page in (("cw", 1), ("cw", 2), ("ccw", 1), ("right", 1)):
        inst.key(key)
        assert inst["HomePage"] == page
    inst.expect_text(57, 31, "STOPWATCH", centred=True)
    inst.key("left")  # START on the stopwatch page
    assert inst["StopwatchRunning"] == 1
    inst.wait(1.5)
    assert 14 <= inst["StopwatchTenths"] <= 16
    inst.key("menu")
    assert inst.screen == "MainMenuScreen"
    inst.off()
    assert inst.power == "off"


def test_waits_and_passes_take_the_virtual_time_asked(tmx5_instrument):
    inst = tmx5_instrument
    start = inst.virtual_ms
    inst.wait("250ms")
    assert inst.virtual_ms - start == 260  # to the event point at or after it: 13 frames of 20 ms
    start = inst.virtual_ms
    inst.wait(2)
    assert inst.virtual_ms - start == 2000
    start = inst.virtual_ms
    inst.wait(0.1)
    assert inst.virtual_ms - start == 100
    for text, ms in (("1.5s", 1500), ("10m", 600000), ("2h", 7200000)):
        start = inst.virtual_ms
        inst.wait(text)
        assert inst.virtual_ms - start == ms, text
    start = inst.event_points
    inst.passes(7)
    assert inst.event_points - start == 7
    inst.frame_ms(100)
    start = inst.virtual_ms
    inst.passes(3)
    assert inst.virtual_ms - start == 300


def test_wait_of_a_day_keeps_the_clock(tmx5_instrument):
    inst = tmx5_instrument
    inst.utc(datetime.datetime(2026, 3, 1, 12, 0, 0))
    inst.on()
    inst.wait("2s")
    inst.wait("24h")
    assert (inst["UtcTime.Day"], inst["UtcTime.Month"], inst["UtcTime.Hour"]) == (2, 2, 12)


def test_controls(tmx5_instrument):
    inst = tmx5_instrument
    inst.on()
    inst.wait("2s")
    inst.sensor(3000)
    assert inst.label15 == "3000" and inst["RawSensor"] == 3000 and inst.sensor_position == 3000
    inst.calibrate(True)
    inst.keyfast(True)
    assert inst["CalibrateEnabled"] == 1 and inst["KeyStep"] == 10
    assert inst.calibrate_checked and inst.keyfast_checked
    inst.keyfast(False)
    assert inst["KeyStep"] == 1
    # An aware datetime is taken in its own zone.
    inst.utc(datetime.datetime(2026, 12, 31, 23, 0, 0, tzinfo=datetime.timezone(datetime.timedelta(hours=-1))))
    inst.wait("1s")
    assert (inst["UtcTime.Year"], inst["UtcTime.Month"], inst["UtcTime.Day"], inst["UtcTime.Hour"]) == (127, 0, 1, 0)


def test_names_and_values(tmx5_instrument):
    inst = tmx5_instrument
    inst.on()
    inst.wait("2s")
    names = tmx5.names()
    assert "LocalOffsetHours[152]" in names and "UtcTime.Hour" in names and "ScreenHandler" in names
    values = inst.values()
    assert set(values) == set(names)
    assert values["MainZone"] == 43 and values["LocalOffsetHours[31]"] == 0 and values["Power"] == "on"
    assert inst.get("NoSuchName", "x") == "x"
    assert inst.lamp in (128, 255) and inst.lamp == values["Lamp"]


def test_frame_bytes_array_text_and_pictures(tmx5_instrument, tmp_path):
    numpy = pytest.importorskip("numpy")
    inst = tmx5_instrument
    inst.utc("2026-06-21 14:30:00")
    inst.on()
    inst.wait("2s")
    frame = inst.frame()
    assert len(frame) == 64 * 114 and set(frame) == {0, 1}
    array = inst.frame_array()
    assert array.shape == (64, 114) and array.dtype == numpy.uint8
    assert array.tobytes() == frame
    # The header's text is lit in the top rows, nothing in the last column of the splash-free home page edge.
    assert array[0:8].sum() > 50
    text = inst.frame_text()
    assert text.count("\n") == 64 and all(len(row) == 114 for row in text.splitlines())
    assert text.replace("\n", "") == "".join("#" if p else "." for p in frame)

    inst.snap(str(tmp_path / "home.pbm"))
    inst.snap(str(tmp_path / "sub" / "home.txt"))
    inst.snap(str(tmp_path / "home.png"), scale=3)
    assert read_pbm(str(tmp_path / "home.pbm")) == frame
    assert (tmp_path / "sub" / "home.txt").read_text() == text
    png = (tmp_path / "home.png").read_bytes()
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    assert struct.unpack(">II", png[16:24]) == (114 * 3, 64 * 3)

    inst.expect_frame(str(tmp_path / "home.pbm"))
    inst.key("cw")  # the stopwatch page
    with pytest.raises(AssertionError, match="pixels? different"):
        inst.expect_frame(str(tmp_path / "home.pbm"))
    with pytest.raises(AssertionError, match="pixels? different"):
        inst.expect_frame(str(tmp_path / "home.pbm"), ignore=[(0, 0, 113, 7)])
    inst.expect_frame(str(tmp_path / "home.pbm"), ignore=[(0, 0, 113, 7), (0, 8, 113, 63)])
    assert (tmp_path / "home.actual.pbm").exists() and (tmp_path / "home.diff.png").exists()


def test_expect_text_flags_and_the_bool_form(tmx5_instrument):
    inst = tmx5_instrument
    inst.on()
    inst.wait("2s")
    assert inst.text_at(57, 0, "UTC Zulu", centred=True)
    assert not inst.text_at(57, 0, "UTC Zulo", centred=True)
    assert not inst.text_at(57, 0, "UTC Zulu")  # not centred: another place
    inst.key("menu")
    inst.key("cw")
    inst.key("cw")
    inst.key("cw")
    inst.key("cw")
    inst.key("menu")  # TIME SETUP, first row selected
    assert inst.screen == "TimeSetupScreen"
    inst.expect_text(57, 8, "*** DONE ***", centred=True, inverse=True)
    assert not inst.text_at(57, 8, "*** DONE ***", centred=True)
    with pytest.raises(AssertionError) as failure:
        inst.expect_text(57, 8, "*** DONE ***", centred=True)
    assert "expected:" in str(failure.value) and "actual:" in str(failure.value)
    # A quote and a backslash are text, not script syntax.
    assert not inst.text_at(0, 0, 'a"b\\c; d # e')


def test_expect_compares_as_the_script_does(tmx5_instrument):
    inst = tmx5_instrument
    inst.on()
    inst.wait("2s")
    inst.expect("ScreenHandler", "HomeScreen")
    inst.expect("MainZone", 43)
    inst.expect("Label15", "2048")
    with pytest.raises(AssertionError, match="expected MainZone 44, got 43"):
        inst.expect("MainZone", 44)


def test_state_text_and_files_resume_the_same_run(tmx5_instrument, tmp_path):
    inst = tmx5_instrument
    inst.utc("2026-06-21 14:30:00")
    inst.on()
    inst.wait("2s")
    inst.key("cw")
    inst.key("left")  # the stopwatch runs
    saved = inst.save_state()
    assert saved.startswith("tmx5-state 1\n") and "\nScreenHandler HomeScreen\n" in saved
    assert inst.save_state(str(tmp_path / "a.state")) == saved
    assert (tmp_path / "a.state").read_text() == saved
    inst.wait("3s")
    inst.key("cw")
    after = (inst.frame(), inst.values())

    for state in (saved, str(tmp_path / "a.state")):
        inst.key("menu")
        inst.off()
        inst.load_state(state)
        assert inst.power == "on" and inst["HomePage"] == 1 and inst["StopwatchRunning"] == 1
        inst.wait("3s")
        inst.key("cw")
        assert (inst.frame(), inst.values()) == after


def test_run_uses_the_script_rules_and_returns_what_print_printed(tmx5_instrument, tmp_path):
    inst = tmx5_instrument
    printed = inst.run("utc 2026-06-21 14:30:00\non; wait 2s # a comment\nkey cw; print HomePage\nprint HomePage")
    # The key and the print of one line share an event point: the page moves after it.
    assert printed == "HomePage=0\nHomePage=1\n"
    script = tmp_path / "s.tmx"
    script.write_text("key cw\nsnap frames/timer.png\nprint HomePage UtcTime.Hour\n")
    assert inst.run_file(str(script)) == "HomePage=2\nUtcTime.Hour=14\n"
    assert (tmp_path / "frames" / "timer.png").exists()  # beside the script


def test_movie_records_the_frames(tmx5_instrument, tmp_path):
    inst = tmx5_instrument
    inst.movie(str(tmp_path / "m.gif"))
    inst.on()
    inst.wait("2s")
    inst.movie_end()
    data = (tmp_path / "m.gif").read_bytes()
    assert data[:6] == b"GIF89a" and data.count(b"\x21\xf9\x04") > 10  # a graphic control block per image


def test_closing_frees_the_way_and_a_new_instrument_starts_afresh():
    first = tmx5.Instrument(utc="2026-06-21 14:30:00")
    first.on()
    first.wait("2s")
    first.key("cw")
    with pytest.raises(RuntimeError, match="one instrument runs at a time"):
        tmx5.Instrument()
    first.close()
    first.close()
    assert first.closed
    with pytest.raises(RuntimeError, match="closed"):
        first.key("cw")
    with tmx5.Instrument() as second:
        assert second.power == "off" and second["HomePage"] == 0 and second["StopwatchTenths"] == 0
        assert second.virtual_ms == 20
    # Dropping an instrument without closing it closes it too.
    third = tmx5.Instrument()
    third.on()
    del third
    tmx5.Instrument().close()
    # So does one in a reference cycle that nothing reaches any more.
    holder = {"instrument": tmx5.Instrument()}
    holder["self"] = holder
    del holder
    tmx5.Instrument().close()


def test_pictures_match_the_packages_zlib_stream(tmx5_instrument, tmp_path):
    inst = tmx5_instrument
    inst.on()
    inst.wait("2s")
    inst.snap(str(tmp_path / "one.png"), scale=1)
    png = (tmp_path / "one.png").read_bytes()
    # Decode the 1-bit picture and compare it with the frame.
    pos, idat = 8, b""
    while pos < len(png):
        length, kind = struct.unpack(">I4s", png[pos:pos + 8])
        if kind == b"IDAT":
            idat += png[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw = zlib.decompress(idat)
    assert png[24] == 1  # bit depth
    stride = 1 + (114 + 7) // 8
    pixels = bytes((raw[y * stride + 1 + x // 8] >> (7 - x % 8)) & 1 for y in range(64) for x in range(114))
    assert pixels == inst.frame()
