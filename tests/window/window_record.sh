#!/bin/sh
# Records a session in the real window and replays it headless.
#
#   window_record.sh TMX5 WORKDIR
#
# Starts `tmx5 --record` under xvfb-run and works it with xdotool the way a
# user would: ON, knob clicks, the face's buttons, the wheel, the keyboard,
# both check boxes and the track bar. SIGTERM then closes the window, which
# ends the recording with the state the window showed as expect lines.
# `tmx5 run` must replay the recording with every expectation holding, and
# must fail once the recording's last knob step is taken out, so the expect
# lines are known to check something. Every action is followed by a pause of
# at least 300 ms, so each input has been taken before the next one comes.
#
# Exit 0 passed, 1 failed, 77 skipped (xvfb-run or xdotool missing).
set -u

TMX5=$1
WORK=$2

for tool in xvfb-run xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

fail() {
    echo "FAIL: $*"
    [ -f "$WORK/session.tmx" ] && sed 's/^/  | /' "$WORK/session.tmx"
    exit 1
}

if [ "${TMX5_RECORD_INSIDE:-}" != 1 ]; then
    mkdir -p "$WORK" || exit 1
    rm -f "$WORK"/*.tmx "$WORK"/*.log
    # Without a display the file named by --record is left as it was.
    echo "kept" >"$WORK/kept.tmx"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$TMX5" --record "$WORK/kept.tmx" >/dev/null 2>&1
    code=$?
    [ $code = 2 ] || fail "--record without a display exited $code, not 2"
    [ "$(cat "$WORK/kept.tmx")" = kept ] || fail "--record without a display touched its file"
    TMX5_RECORD_INSIDE=1
    export TMX5_RECORD_INSIDE
    exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$TMX5" "$WORK"
fi

# From here on we are inside the X server. The window must use it.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# A file that cannot be created is refused before the window opens.
"$TMX5" --record "$WORK/no-such-folder/x.tmx" >/dev/null 2>"$WORK/refused.log"
code=$?
[ $code = 2 ] || fail "--record into a missing folder exited $code, not 2"
grep -q "cannot record to $WORK/no-such-folder/x.tmx" "$WORK/refused.log" ||
    fail "--record into a missing folder said: $(cat "$WORK/refused.log")"
# A device is no file to record into: refused before the window opens.
timeout 20 "$TMX5" --record /dev/full >/dev/null 2>"$WORK/full.log"
code=$?
[ $code = 2 ] || fail "--record /dev/full exited $code, not 2"
grep -q "cannot record to /dev/full: not a regular file" "$WORK/full.log" ||
    fail "--record /dev/full said: $(cat "$WORK/full.log")"
# A recording that cannot be written (a full disk) says so, ends the program
# with 1 and keeps the older recording of that name.
echo "# older" >"$WORK/old.tmx"
# (Its messages go to a pipe, which the file size limit leaves alone.)
said=$( (ulimit -f 0 && timeout 20 "$TMX5" --record "$WORK/old.tmx" >/dev/null; echo "exit $?") 2>&1)
case $said in *"exit 1") ;; *) fail "--record on a full disk did not exit 1: $said" ;; esac
case $said in *"cannot write $WORK/old.tmx: File too large"*) ;; *) fail "--record on a full disk said: $said" ;; esac
[ "$(cat "$WORK/old.tmx")" = "# older" ] || fail "--record on a full disk damaged the older recording"

REC=$WORK/session.tmx
"$TMX5" --record "$REC" >"$WORK/tmx5.log" 2>&1 &
PID=$!
trap 'kill "$PID" 2>/dev/null' EXIT

W=$(timeout 30 xdotool search --sync --onlyvisible --name "^Solvanta TMX-5$" | head -n 1)
[ -n "$W" ] || fail "the window did not appear"

pause() { sleep "${1:-0.4}"; }
click() { # X Y [BUTTON]: a click (or a wheel notch, buttons 4 and 5) at client X Y
    xdotool mousemove --window "$W" "$1" "$2" click "${3:-1}"
    pause
}
key() { # KEYSYM: a key pressed on the window, which has the keyboard focus
    xdotool key "$1"
    pause
}

click 88 352 # ON
pause 3      # the splash lasts 1.6 s
click 28 297 # Clockwise: the stopwatch page
click 89 259 # F1 there starts the stopwatch
click 150 150 5 # wheel down over the display: anticlockwise, back to the zone page
click 221 258 # F2 there: the previous second zone
click 154 270 # MENU: the main menu
xdotool windowfocus --sync "$W" 2>/dev/null || true
key Right # clockwise: DISPLAY SETUP
click 380 64 # Calibrate: the menu gains its service entries
key Right # PRESET TIMER
click 150 150 4 # wheel up over the display: SET ALARM
click 590 24 # on the track bar's groove, right of its handle: one page up
key Right # the track bar has the keyboard now: one step up
click 20 20 # on the face: the window takes the keyboard back
key Return # MENU: ALARM TIME, hours
key Up # clockwise: one hour later
key Return # MENU: the minutes
click 490 64 # KeyFast: ten minutes a step
key Right # clockwise: ten minutes later
pause 1

kill -TERM "$PID"
tries=0
while kill -0 "$PID" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -ge 100 ] && fail "tmx5 did not end after SIGTERM"
    sleep 0.1
done
wait "$PID"
code=$?
trap - EXIT
[ $code = 0 ] || fail "tmx5 --record ended with exit code $code after SIGTERM; its output: $(cat "$WORK/tmx5.log")"

# --- What was recorded ------------------------------------------------------
[ -s "$REC" ] || fail "nothing was recorded"
# One command a line: inputs delivered at one event point share a line.
grep -v '^#' "$REC" | tr ';' '\n' | sed 's/^ *//' >"$WORK/commands.txt"
# The host clock, set at the first whole second of virtual time.
grep -Eq '^utc [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$' "$WORK/commands.txt" ||
    fail "the recording does not set the host clock"
keys=$(grep '^key ' "$WORK/commands.txt" | cut -d' ' -f2 | tr '\n' ' ')
[ "$keys" = "cw left ccw right menu cw cw cw menu cw menu cw " ] || fail "recorded keys: $keys"
[ "$(grep -c '^on$' "$WORK/commands.txt")" = 1 ] || fail "ON is not recorded once"
[ "$(grep -c '^calibrate on$' "$WORK/commands.txt")" = 1 ] || fail "the Calibrate check box is not recorded once"
[ "$(grep -c '^keyfast on$' "$WORK/commands.txt")" = 1 ] || fail "the KeyFast check box is not recorded once"
[ "$(grep -c '^sensor ' "$WORK/commands.txt")" -ge 2 ] || fail "the track bar's click and key are not both recorded"
grep -q '^expect ScreenHandler AlarmTimeScreen$' "$REC" || fail "the recording does not end on ALARM TIME"
grep -q '^expect AlarmHour 1$' "$REC" || fail "the recorded state has the alarm hour wrong"
grep -q '^expect AlarmMinute 10$' "$REC" || fail "the recorded state has the alarm minute wrong"
grep -q '^expect StopwatchRunning 1$' "$REC" || fail "the recorded state has the stopwatch stopped"
grep -q '^expect Power on$' "$REC" || fail "the recorded state is not powered on"

# --- The replay -------------------------------------------------------------
"$TMX5" run "$REC" >"$WORK/replay.log" 2>&1 || fail "the replay failed: $(cat "$WORK/replay.log")"

[ -s "$WORK/session.last.pbm" ] || fail "the last frame was not written beside the recording"

# Without the last knob step the state differs, and the replay must say so.
last=$(grep -n '^key cw$' "$REC" | tail -n 1 | cut -d: -f1)
sed "${last}d" "$REC" >"$WORK/short.tmx"
"$TMX5" run "$WORK/short.tmx" >"$WORK/short.log" 2>&1
code=$?
[ $code = 1 ] || fail "a replay without the last knob step exited $code, not 1"
grep -q 'expected ' "$WORK/short.log" ||
    fail "a replay without the last knob step said: $(cat "$WORK/short.log")"

# --- A recording from a loaded state ---------------------------------------------
# tmx5 --load-state S --record R records from S: R's first line loads the
# state written beside it, and the replay ends where the window did.
printf '%s\n' "on" "wait 3s" "key menu" "wait 500ms" "save-state $WORK/menu.state" |
    "$TMX5" run --allow-any-path - >/dev/null || fail "tmx5 run could not save a state"
LREC=$WORK/loaded.tmx
"$TMX5" --load-state "$WORK/menu.state" --record "$LREC" >"$WORK/loaded.log" 2>&1 &
PID=$!
trap 'kill "$PID" 2>/dev/null' EXIT
W=$(timeout 30 xdotool search --sync --onlyvisible --name "^Solvanta TMX-5$" | head -n 1)
[ -n "$W" ] || fail "the window did not appear with --load-state"
pause 1
xdotool windowfocus --sync "$W" 2>/dev/null || true
key Right # clockwise in the main menu
pause 1
kill -TERM "$PID"
wait "$PID"
code=$?
trap - EXIT
[ $code = 0 ] || fail "tmx5 --load-state --record ended with $code: $(cat "$WORK/loaded.log")"
grep -v '^#' "$LREC" | head -n 1 | grep -qx 'load-state loaded.start.state' ||
    fail "the recording from a loaded state does not load it first: $(cat "$LREC")"
[ -s "$WORK/loaded.start.state" ] || fail "the state the recording starts from was not written"
grep -q '^key cw$' "$LREC" || fail "the recording from a loaded state has no key: $(cat "$LREC")"
grep -q '^expect ScreenHandler MainMenuScreen$' "$LREC" || fail "the recording does not end in the main menu"
"$TMX5" run "$LREC" >"$WORK/loaded-replay.log" 2>&1 ||
    fail "the recording from a loaded state does not replay: $(cat "$WORK/loaded-replay.log")"

echo "PASS: a recorded window session replays headless to the same state"
exit 0
