"""A first test of the TMX-5 in Python: set the alarm, reach it, see the lamp and the "A" flash.

Run it with Debian's pytest (python3-pytest), from a build folder:

    PYTHONPATH=build/python python3 -m pytest examples/python/test_alarm.py

or, with the tmx5 package installed, just `pytest-3 test_alarm.py`. The fixture
tmx5_instrument comes from the package's pytest plugin: a fresh instrument for
each test, its state and frame kept in the test's tmp_path when it fails.
"""

LIT, DARK = 255, 128  # the lamp's colours: red, dark red


def set_alarm(inst, hours, minutes, seconds):
    """Main menu, SET ALARM, then each field from 0 with the knob; MENU goes to the next field."""
    inst.key("menu")
    for _ in range(3):  # EXIT, DISPLAY SETUP, PRESET TIMER, SET ALARM
        inst.key("cw")
    inst.key("menu")
    assert inst.screen == "AlarmTimeScreen"
    for value in (hours, minutes, seconds):
        for _ in range(value):
            inst.key("cw")
        inst.key("menu")
    assert inst.screen == "MainMenuScreen"
    inst.key("ccw")
    inst.key("ccw")
    inst.key("ccw")
    inst.key("menu")  # EXIT
    assert inst.screen == "HomeScreen"


def test_the_alarm_rings(tmx5_instrument):
    inst = tmx5_instrument
    inst.utc("2026-06-21 14:30:00")
    inst.on()
    inst.wait("2s")
    set_alarm(inst, 14, 31, 0)
    assert (inst["AlarmHour"], inst["AlarmMinute"], inst["AlarmSecond"]) == (14, 31, 0)

    # The alarm page, and the right soft key arms the alarm: a steady "A" in the header.
    for _ in range(3):
        inst.key("cw")
    inst.key("right")
    assert inst["AlarmEnabled"] == 1
    assert inst.text_at(0, 45, "A")
    assert inst.lamp == DARK

    # Before its time nothing rings.
    inst.wait("30s")
    assert inst["ExpiryFlags"] & 2 == 0 and inst.lamp == DARK

    # At 14:31:00 it rings: the lamp and the "A" flash together (600 ms each way).
    inst.wait("40s")
    assert inst["ExpiryFlags"] & 2
    seen = set()
    for _ in range(12):
        inst.wait("100ms")
        seen.add((inst.lamp, inst.text_at(0, 45, "A")))
    assert seen == {(LIT, True), (DARK, False)}

    # A key on a home page acknowledges it: the lamp goes dark, the "A" flashes on until the alarm is disarmed.
    inst.key("left")
    assert inst["AckFlags"] & 2
    marks = set()
    for _ in range(12):
        inst.wait("100ms")
        assert inst.lamp == DARK
        marks.add(inst.text_at(0, 45, "A"))
    assert marks == {True, False}
