"""The pytest plugin of the tmx5 module.

pytest loads it by itself once the tmx5 package is installed or on the path
(its ``pytest11`` entry point); ``-p tmx5.pytest_plugin`` loads it explicitly
and ``-p no:tmx5.pytest_plugin`` keeps it out.

- The fixture ``tmx5_instrument``: a fresh :class:`tmx5.Instrument` for each
  test, at program start, closed after the test.
- When a test that uses it fails, the instrument's state (``tmx5.state``; none
  during the splash) and its frame as a 2x PNG (``tmx5-frame.png``) are written
  into the test's ``tmp_path``, and the report shows the frame as text (``#``
  lit, ``.`` unlit) and where the files went.
- ``--tmx5-utc "YYYY-MM-DD HH:MM:SS"`` starts every instrument's host clock
  there; ``--tmx5-artifacts DIR`` also copies a failed test's files into
  ``DIR/<test id>/``.
"""

import os
import re
import shutil

import pytest

import tmx5

_STATE = "tmx5.state"
_PICTURE = "tmx5-frame.png"


def pytest_addoption(parser):
    group = parser.getgroup("tmx5", "TMX-5 instrument")
    group.addoption("--tmx5-utc", metavar="UTC", default=None,
                    help='start each tmx5_instrument\'s host clock at "YYYY-MM-DD HH:MM:SS" (1970 to 2099)')
    group.addoption("--tmx5-artifacts", metavar="DIR", default=None,
                    help="also copy a failed test's instrument state and frame into DIR/<test id>/")


def pytest_configure(config):
    utc = config.getoption("--tmx5-utc", None)
    if utc is not None:
        # Checked once here, so that a bad date is one usage error, not a failure per test.
        try:
            tmx5.Instrument(utc=utc).close()
        except ValueError as e:
            raise pytest.UsageError("--tmx5-utc: %s" % e) from None
        except RuntimeError:
            pass  # an instrument is open already; each test will say so


@pytest.fixture
def tmx5_instrument(request, tmp_path):
    """A fresh TMX-5 at program start (powered off), closed after the test."""
    inst = tmx5.Instrument(utc=request.config.getoption("--tmx5-utc"))
    request.node._tmx5 = (inst, tmp_path)
    try:
        yield inst
    finally:
        inst.close()


def _folder_name(nodeid):
    return re.sub(r"[^A-Za-z0-9_.-]+", "_", nodeid).strip("_") or "test"


def _write_artifacts(item, inst, tmp_path):
    """Writes the state and the frame; returns the report's text."""
    lines = []
    written = []
    try:
        inst.save_state(str(tmp_path / _STATE))
        written.append(tmp_path / _STATE)
    except (ValueError, OSError) as e:
        lines.append("no state written: %s" % e)
    try:
        inst.snap(str(tmp_path / _PICTURE), scale=2)
        written.append(tmp_path / _PICTURE)
    except (ValueError, OSError) as e:
        lines.append("no frame written: %s" % e)
    folder = item.config.getoption("--tmx5-artifacts")
    if folder:
        target = os.path.join(folder, _folder_name(item.nodeid))
        os.makedirs(target, exist_ok=True)
        for path in written:
            shutil.copy(str(path), target)
        written += [os.path.join(target, os.path.basename(str(p))) for p in written]
    lines.extend("wrote %s" % p for p in written)
    lines.append("power %s, screen %s, virtual time %d ms; the frame last rendered:"
                 % (inst.power, inst.screen, inst.virtual_ms))
    lines.append(inst.frame_text().rstrip("\n"))
    return "\n".join(lines)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    # The instrument is still open here: the fixture closes it at teardown.
    if report.when != "call" or not report.failed:
        return
    held = getattr(item, "_tmx5", None)
    if held is None or held[0].closed:
        return
    inst, tmp_path = held
    try:
        text = _write_artifacts(item, inst, tmp_path)
    except Exception as e:  # the report must not hide the test's own failure
        text = "could not write the instrument's state and frame: %r" % (e,)
    report.sections.append(("tmx5 instrument", text))
