"""The TMX-5 panel clock in Python test code.

The instrument's firmware runs in this process, on the headless host's virtual
clock, exactly as ``tmx5 run`` runs it: every call of an :class:`Instrument`
carries out the script command of the same name, with the same rules, ranges and
messages, so a sequence of calls runs as the same lines in one script would,
event point for event point.

    import tmx5
    with tmx5.Instrument(utc="2026-06-21 14:30:00") as inst:
        inst.on()
        inst.wait("2s")
        assert inst["ScreenHandler"] == "HomeScreen"

Errors are Python errors: a bad name, value, key, duration or date raises
``ValueError``, a file that cannot be read or written ``OSError``, a failed
expectation ``AssertionError``, each with the runner's own message. Ctrl+C
stops a long wait with ``KeyboardInterrupt`` and leaves the instrument at an
event point, ready for the next call.
"""

import datetime as _datetime
import os as _os

from . import _tmx5

__all__ = ["Instrument", "UnknownName", "FIRMWARE_VERSION", "WIDTH", "HEIGHT", "KEYS", "names", "frame_text"]

#: The version of this simulator (the same as ``tmx5 --version``).
__version__ = _tmx5.VERSION
#: The instrument firmware's own version, as its splash shows it.
FIRMWARE_VERSION = _tmx5.FIRMWARE_VERSION
#: The display's width and height in pixels.
WIDTH = _tmx5.WIDTH
HEIGHT = _tmx5.HEIGHT
#: The keys :meth:`Instrument.key` clicks.
KEYS = _tmx5.KEYS

# The names whose values are words, not numbers.
_WORD_NAMES = ("ScreenHandler", "Power", "Label15")
_PANEL_NAMES = ("ScreenHandler", "Lamp", "Label15", "Power")


class UnknownName(KeyError, ValueError):
    """A name that ``expect`` does not take; both a ``KeyError`` and a ``ValueError``."""

    def __str__(self):
        return str(self.args[0]) if self.args else ""


def names():
    """Every name ``inst[...]`` and ``expect`` take, in the order of the state file.

    An array appears once per element (``LocalOffsetHours[0]`` ...), a record once
    per field (``UtcTime.Hour``), followed by the panel's names ``ScreenHandler``,
    ``Lamp``, ``Label15`` and ``Power``.
    """
    out = []
    for name, count, _lo, _hi in _tmx5.state_names():
        if count == 1:
            out.append(name)
        else:
            out.extend("%s[%d]" % (name, i) for i in range(count))
    out.extend(_PANEL_NAMES)
    return out


def frame_text(frame):
    """A frame (the bytes of :meth:`Instrument.frame`) as 64 lines of 114 characters, ``#`` lit, ``.`` unlit."""
    if len(frame) != WIDTH * HEIGHT:
        raise ValueError("a frame is %d bytes (%d x %d), not %d" % (WIDTH * HEIGHT, WIDTH, HEIGHT, len(frame)))
    rows = (bytes(frame[y * WIDTH:(y + 1) * WIDTH]) for y in range(HEIGHT))
    return "".join("".join("#" if p else "." for p in row) + "\n" for row in rows)


def _seconds_word(seconds):
    """2.5 -> "2.5s": a duration in seconds as the runner writes one."""
    if isinstance(seconds, bool) or not isinstance(seconds, (int, float)):
        raise TypeError("a duration is a string such as '2s' or a number of seconds, not %r" % (seconds,))
    if isinstance(seconds, int):
        return "%ds" % seconds
    if seconds == 0:
        return "0s"
    # Fixed notation (the runner reads no exponent); it rounds to the millisecond.
    return ("%.6f" % seconds).rstrip("0").rstrip(".") + "s"


def _utc_words(when):
    """The two words of the utc command from a string or a datetime."""
    if isinstance(when, _datetime.datetime):
        if when.tzinfo is not None:
            when = when.astimezone(_datetime.timezone.utc).replace(tzinfo=None)
        return [when.strftime("%Y-%m-%d"), when.strftime("%H:%M:%S")]
    if not isinstance(when, str):
        raise TypeError("utc takes 'YYYY-MM-DD HH:MM:SS' or a datetime, not %r" % (when,))
    words = when.split()
    # One word or three is the runner's to refuse, with its message.
    return words if len(words) == 2 else [when]


class Instrument:
    """A TMX-5 at program start: powered off, virtual time 0, the host clock at
    2026-01-01 00:00:00 UTC unless ``utc`` says otherwise.

    ``utc`` (a string ``"YYYY-MM-DD HH:MM:SS"`` or a ``datetime``; a naive one is
    taken as UTC) sets the host clock as a script's first line ``utc ...`` would.

    One instrument is open at a time (the firmware keeps its state in globals):
    creating a second while one is open raises ``RuntimeError``. :meth:`close`, or
    leaving a ``with`` block, frees the way. Use it as a context manager::

        with tmx5.Instrument(utc="2026-06-21 14:30:00") as inst:
            inst.on()
    """

    def __init__(self, utc=None):
        try:
            self._core = _tmx5.Core()
        except RuntimeError:
            # An instrument nobody can reach any more (held in a reference
            # cycle) is closed by the garbage collector; then try once more.
            import gc

            gc.collect()
            self._core = _tmx5.Core()
        if utc is not None:
            try:
                self._command("utc", *_utc_words(utc))
            except BaseException:
                self.close()
                raise

    # --- Life ---------------------------------------------------------------

    def close(self):
        """Ends the instrument (OFF when it is on) and frees the way for another. Closing twice is harmless."""
        self._core.close()

    @property
    def closed(self):
        """True once :meth:`close` ran."""
        return self._core.closed

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        core = getattr(self, "_core", None)
        if core is not None and not core.closed:
            core.close()

    # --- Running commands -----------------------------------------------------

    def _raise(self, status, message):
        message = message.rstrip("\n")
        if status == 1:
            raise AssertionError(message)
        if status == 2:
            if "cannot write" in message or "cannot read" in message:
                raise OSError(message)
            raise ValueError(message)
        raise ValueError(message)

    def _command(self, *words):
        status, out, err = self._core.command([str(w) for w in words])
        if status != 0:
            self._raise(status, err)
        return out

    def run(self, script, name="<run>", folder="."):
        """Runs script lines (one string, lines separated by newlines or ``;``) with the runner's own rules.

        The whole text is checked first: a bad line raises ``ValueError`` with
        ``NAME:LINE: what is wrong`` and nothing runs. A failed expectation raises
        ``AssertionError`` with ``NAME:LINE: expected ...`` and the rest is not
        run; a file that cannot be written raises ``OSError``. File names are
        relative to ``folder``. Returns what ``print`` printed, ``NAME=VALUE`` a
        line.
        """
        status, out, err = self._core.script(script, name, folder)
        if status != 0:
            self._raise(status, err)
        return out

    def run_file(self, path):
        """Runs a script file as ``tmx5 run`` would, on this instrument as it stands.

        Its file names are relative to its own folder. Returns what ``print``
        printed; raises as :meth:`run` does, and ``OSError`` when the file cannot
        be read.
        """
        with open(path, "r", encoding="utf-8", newline="") as f:
            text = f.read()
        return self.run(text, name=path, folder=_os.path.dirname(path) or ".")

    # --- The window's controls -------------------------------------------------

    def on(self):
        """Clicks ON: from off, the splash (80 frames) and then the home page; while on, a restart."""
        self._command("on")

    def off(self):
        """Clicks OFF: the instrument stops after the current pass; the display keeps its last frame."""
        self._command("off")

    def key(self, name):
        """Clicks a key: ``menu``, ``cw``, ``ccw``, ``left`` or ``right``; then two passes go by, as after a script line."""
        self._command("key", name)

    def sensor(self, position):
        """Moves the temperature track bar to ``position`` (0 to 4096); ``Label15`` follows it."""
        self._command("sensor", position)

    def calibrate(self, checked):
        """Checks (True) or clears (False) the Calibrate check box: the main menu's service entries."""
        self._command("calibrate", "on" if checked else "off")

    def keyfast(self, checked):
        """Checks (True) or clears (False) the KeyFast check box: value editors step by 10."""
        self._command("keyfast", "on" if checked else "off")

    def utc(self, when):
        """Sets the host clock (``"YYYY-MM-DD HH:MM:SS"`` or a ``datetime``; 1970 to 2099); it runs on from there."""
        self._command("utc", *_utc_words(when))

    # --- Time ---------------------------------------------------------------

    def wait(self, duration):
        """Lets virtual time pass: ``"250ms"``, ``"2s"``, ``"1.5s"``, ``"10m"``, ``"2h"`` (at most 1000 hours), or a number of seconds.

        Ctrl+C stops a long wait with ``KeyboardInterrupt``; the instrument is
        left at the event point it had reached and takes the next call.
        """
        self._command("wait", duration if isinstance(duration, str) else _seconds_word(duration))

    def passes(self, count):
        """Lets ``count`` event points (main-loop passes while on) go by."""
        self._command("passes", count)

    def frame_ms(self, ms):
        """Sets the frame period: one pass or splash frame is ``ms`` milliseconds of virtual time (default 20)."""
        self._command("frame-ms", ms)

    # --- Reading the instrument --------------------------------------------------

    def __getitem__(self, name):
        """The value ``expect`` compares: ``inst["MainZone"]``, ``inst["UtcTime.Hour"]``, ``inst["LocalOffsetHours[31]"]``.

        Numbers are ``int``; ``ScreenHandler`` (the screen routine's name),
        ``Power`` (``"off"``, ``"splash"`` or ``"on"``) and ``Label15`` are ``str``.
        An unknown name raises :class:`UnknownName` (a ``KeyError`` and a
        ``ValueError``) with the runner's message.
        """
        if not isinstance(name, str):
            raise TypeError("a name is a string, not %r" % (name,))
        ok, value = self._core.read(name)
        if not ok:
            raise UnknownName(value)
        return value if name in _WORD_NAMES else int(value)

    def get(self, name, default=None):
        """``inst[name]``, or ``default`` for a name ``expect`` does not take."""
        try:
            return self[name]
        except UnknownName:
            return default

    def values(self):
        """Every name of :func:`names` with its value, as a dict."""
        return {name: self[name] for name in names()}

    def expect(self, name, value):
        """The script's ``expect NAME VALUE``: raises ``AssertionError`` (``expected NAME VALUE, got ACTUAL``) when they differ."""
        self._command("expect", name, *str(value).split(" "))

    @property
    def power(self):
        """``"off"``, ``"splash"`` or ``"on"``."""
        return self["Power"]

    @property
    def lamp(self):
        """The warning lamp's colour word, as ``expect Lamp`` compares it."""
        return self["Lamp"]

    @property
    def label15(self):
        """The text beside the track bar (the sensor count)."""
        return self["Label15"]

    @property
    def screen(self):
        """The screen routine's name (``ScreenHandler``)."""
        return self["ScreenHandler"]

    @property
    def virtual_ms(self):
        """Virtual time since program start, in milliseconds."""
        return self._core.virtual_ms

    @property
    def event_points(self):
        """Event points since program start: passes, splash frames and idle frames."""
        return self._core.event_points

    @property
    def host_utc(self):
        """What the host clock reads now, as a ``datetime`` in UTC (to the millisecond)."""
        ms = self._core.host_utc_ms
        return _datetime.datetime(1970, 1, 1, tzinfo=_datetime.timezone.utc) + _datetime.timedelta(milliseconds=ms)

    @property
    def sensor_position(self):
        """Where the temperature track bar stands (0 to 4096)."""
        return self._core.track_bar

    @property
    def calibrate_checked(self):
        """Whether the Calibrate check box is checked."""
        return self._core.calibrate

    @property
    def keyfast_checked(self):
        """Whether the KeyFast check box is checked."""
        return self._core.keyfast

    # --- The display ---------------------------------------------------------------

    def frame(self):
        """The frame last rendered: ``bytes`` of 64 rows of 114 pixels, one byte a pixel, 1 lit and 0 unlit."""
        return self._core.frame()

    def frame_array(self):
        """The frame last rendered as a numpy array of shape (64, 114), ``uint8``, 1 lit (needs numpy)."""
        import numpy

        return numpy.frombuffer(self._core.frame(), dtype=numpy.uint8).reshape(HEIGHT, WIDTH).copy()

    def frame_text(self):
        """The frame last rendered as 64 lines of 114 characters, ``#`` lit and ``.`` unlit."""
        return frame_text(self._core.frame())

    def snap(self, path, scale=2):
        """Writes the frame last rendered to ``path``: ``.pbm``, ``.png`` (``scale`` 1 to 8 times as large) or ``.txt``.

        Missing folders are made. ``OSError`` when it cannot be written.
        """
        path = _os.fspath(path)
        if str(path).endswith(".png"):
            self._command("snap", path, "%sx" % (scale,))
        else:
            if scale != 2:
                raise ValueError("only a .png picture takes a scale, not %s" % path)
            self._command("snap", path)

    def expect_frame(self, path, ignore=()):
        """Compares the frame last rendered with a reference PBM (114 x 64).

        ``ignore`` is a list of boxes ``(x0, y0, x1, y1)``, inclusive corners, left
        out of the comparison. A difference raises ``AssertionError`` with the
        runner's report and writes ``NAME.actual.pbm`` and ``NAME.diff.png`` beside
        the reference; a missing reference raises ``FileNotFoundError``.
        """
        path = _os.fspath(path)
        if not _os.path.exists(path):
            raise FileNotFoundError(2, "the reference frame does not exist", path)
        words = ["expect-frame", path]
        if ignore:
            words.append("ignore")
            for box in ignore:
                box = tuple(box)
                if len(box) != 4:
                    raise ValueError("an ignore box is four numbers, X0 Y0 X1 Y1, not %r" % (box,))
                words.extend(str(v) for v in box)
        self._command(*words)

    def _text_words(self, x, y, text, centred, double, inverse, small):
        flags = [f for f, on in (("double", double), ("inverse", inverse), ("small", small)) if on]
        quoted = '"' + str(text).replace("\\", "\\\\").replace('"', '\\"') + '"'
        return ["expect-text-centred" if centred else "expect-text", x, y] + flags + [quoted]

    def expect_text(self, x, y, text, centred=False, double=False, inverse=False, small=False):
        """The script's ``expect-text``: is exactly this text at (x, y) of the frame last rendered?

        ``centred`` takes x as the centre; ``double``, ``inverse`` and ``small``
        choose double height, inverse video and the small font. A mismatch
        raises ``AssertionError`` with the cell strips of the text and of the
        frame; a bad text (1 to 31 characters of codes 32 to 127) ``ValueError``.
        """
        self._command(*self._text_words(x, y, text, centred, double, inverse, small))

    def text_at(self, x, y, text, centred=False, double=False, inverse=False, small=False):
        """The same check as :meth:`expect_text`, as a bool."""
        try:
            self.expect_text(x, y, text, centred, double, inverse, small)
        except AssertionError:
            return False
        return True

    def movie(self, path, scale=2):
        """Starts recording every frame that changes into an animated GIF, until :meth:`movie_end`."""
        self._command("movie", _os.fspath(path), "%sx" % (scale,))

    def movie_end(self):
        """Finishes the movie :meth:`movie` started."""
        self._command("movie", "end")

    # --- Coverage -------------------------------------------------------------------

    def coverage(self):
        """What the instrument has done since program start, against its own tables.

        The same structure ``tmx5 run --coverage FILE`` writes as JSON: ``screens``
        (passes spent on each screen routine), ``pages``, ``transitions``, ``keys``
        (screen and key pairs that reached a screen routine), ``fields``,
        ``conditions`` (the notable events, each seen or not), ``values`` (each
        variable's lowest and highest value against its range) and ``summary``
        (``[covered, total]`` for each group).
        """
        import json

        return json.loads(self._core.coverage_json())

    def coverage_line(self):
        """The one-line summary ``tmx5 run --coverage`` prints (``coverage: screens 1/12, ...``)."""
        return self._core.coverage_line()

    def coverage_html(self, path, title="tmx5 coverage"):
        """Writes the coverage as one self-contained HTML page (the screen graph and what was never done)."""
        try:
            self._core.coverage_html(_os.fspath(path), title)
        except ValueError as e:
            raise OSError(str(e)) from None

    # --- Saved states ----------------------------------------------------------------

    def save_state(self, path=None):
        """The state-file text of the instrument and its host; with ``path``, also writes it there.

        Not during the splash (``ValueError``). ``OSError`` when the file cannot be written.
        """
        ok, text = self._core.state_text()
        if not ok:
            raise ValueError(text)
        if path is not None:
            self._command("save-state", _os.fspath(path))
        return text

    def load_state(self, state):
        """Puts a saved state back: the text :meth:`save_state` returned, or the path of a state file.

        The instrument goes on as it did after the save (a powered-on state
        resumes its main loop without the splash). A bad state raises
        ``ValueError`` naming its line and changes nothing; a file that cannot be
        read raises ``OSError``.
        """
        if isinstance(state, str) and "\n" in state:
            import tempfile

            with tempfile.TemporaryDirectory(prefix="tmx5-state-") as folder:
                path = _os.path.join(folder, "state")
                with open(path, "w", encoding="utf-8") as f:
                    f.write(state)
                self._load_state_file(path, "<state>")
            return
        path = _os.fspath(state)
        with open(path, "rb"):
            pass  # OSError (FileNotFoundError, PermissionError...) for a file that cannot be read
        self._load_state_file(path, path)

    def _load_state_file(self, path, shown):
        try:
            self._command("load-state", path)
        except ValueError as e:
            raise ValueError(str(e).replace(path, shown)) from None
