#!/bin/sh
# End-to-end test of the simulator window in a real X server.
#
#   window_e2e.sh TMX5 WORKDIR
#
# Starts tmx5 under xvfb-run, clicks ON, the knob buttons and the face areas
# with xdotool at the window's control positions, turns the wheel and presses
# an arrow key, and after each step reads the magnified display back with
# ImageMagick's import. Each picture is shrunk to the 114 x 64 display and
# compared with the frame `tmx5 run` draws for the same steps, over the rows
# that do not depend on the clock. Every wait polls with a generous limit.
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
for tool in import convert compare; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: ImageMagick's $tool is not installed"
        exit 1
    fi
done

if [ "${TMX5_E2E_INSIDE:-}" != 1 ]; then
    mkdir -p "$WORK" || exit 1
    rm -f "$WORK"/*.png "$WORK"/*.pbm
    TMX5_E2E_INSIDE=1
    export TMX5_E2E_INSIDE
    exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$TMX5" "$WORK"
fi

# From here on we are inside the X server. The window must use it.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

fail() {
    echo "FAIL: $*"
    exit 1
}

# --- Reference frames from the headless runner ------------------------------
reference() { # NAME SCRIPT...
    name=$1
    shift
    printf '%s\n' "$@" "snap $WORK/ref-$name.pbm" | "$TMX5" run --allow-any-path - >/dev/null ||
        fail "tmx5 run could not draw the $name reference"
}
reference home "on" "wait 3s"
reference stopwatch "on" "wait 3s" "key cw" "wait 500ms"
reference menu "on" "wait 3s" "key cw" "wait 500ms" "key menu" "wait 500ms"

# --- The window -------------------------------------------------------------
"$TMX5" >"$WORK/tmx5.log" 2>&1 &
PID=$!
trap 'kill "$PID" 2>/dev/null' EXIT

W=$(timeout 30 xdotool search --sync --onlyvisible --name "^Solvanta TMX-5$" | head -n 1)
[ -n "$W" ] || fail "the window did not appear"

# Reads the display of the window into $WORK/NAME.pbm (114 x 64, 1 = lit).
capture() {
    import -window "$W" "$WORK/$1-window.png" 2>/dev/null || return 1
    # Image1 lies at 1,1 inside Panel1 at 39,91; the display fills 228 x 128.
    convert "$WORK/$1-window.png" -crop 228x128+40+92 +repage "$WORK/$1-display.png" || return 1
    convert "$WORK/$1-display.png" -sample 114x64! -colorspace Gray -threshold 50% \
        -compress none "$WORK/$1.pbm"
}

# Number of pixels that differ in rows FIRST..FIRST+COUNT-1 of two frames.
rows_differ() { # A B FIRST COUNT
    compare -metric AE "$1[114x$4+0+$3]" "$2[114x$4+0+$3]" null: 2>&1 | cut -d' ' -f1
}

# Polls until the window's display matches the reference over the row
# ranges given as FIRST:COUNT pairs; at most 20 s.
expect_display() { # NAME REFERENCE RANGES...
    name=$1
    ref=$2
    shift 2
    tries=0
    while :; do
        if capture "$name"; then
            ok=1
            for range in "$@"; do
                d=$(rows_differ "$WORK/$name.pbm" "$ref" "${range%%:*}" "${range##*:}")
                [ "$d" = 0 ] || ok=0
            done
            [ $ok = 1 ] && return 0
        fi
        tries=$((tries + 1))
        [ $tries -ge 40 ] && fail "$name: the display does not show what $ref shows (rows $*; see $WORK)"
        sleep 0.5
    done
}

# Colour of one window pixel as R,G,B.
pixel() { # NAME X Y
    convert "$WORK/$1-window.png" -crop "1x1+$2+$3" -depth 8 -format '%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]' info:
}

click() { # X Y [BUTTON]
    xdotool mousemove --window "$W" "$1" "$2" click "${3:-1}"
}

capture before-on || fail "cannot read the window"
[ "$(pixel before-on 154 28)" = "255,0,0" ] || fail "lamp before ON is $(pixel before-on 154 28), not bright red"

click 88 352 # ON
# Home page: the zone name header and the soft-key line do not depend on the
# clock; the times and the second zone's digits do.
expect_display home "$WORK/ref-home.pbm" 0:8 56:8
[ "$(pixel home 154 28)" = "128,0,0" ] || fail "lamp after power-on is $(pixel home 154 28), not dark red"

# Every display pixel must be a whole 2 x 2 block of the window.
convert "$WORK/home-display.png" -sample 114x64! -scale 228x128! "$WORK/home-blocks.png"
[ "$(compare -metric AE "$WORK/home-display.png" "$WORK/home-blocks.png" null: 2>&1 | cut -d' ' -f1)" = 0 ] ||
    fail "the display is not drawn as 2 x 2 blocks"

click 28 297 # Clockwise: the stopwatch page, stopped, below its time header
expect_display stopwatch "$WORK/ref-stopwatch.pbm" 24:40

click 150 150 5 # wheel down over the display: anticlockwise, back home
expect_display home-again "$WORK/ref-home.pbm" 0:8 56:8

xdotool windowfocus --sync "$W" 2>/dev/null || true
xdotool key Right # clockwise again
expect_display stopwatch-again "$WORK/ref-stopwatch.pbm" 24:40

click 89 259 # F1 on the stopwatch page starts it: the lower rows change
tries=0
while :; do
    capture started || fail "cannot read the window"
    [ "$(rows_differ "$WORK/started.pbm" "$WORK/ref-stopwatch.pbm" 24 40)" != 0 ] && break
    tries=$((tries + 1))
    [ $tries -ge 40 ] && fail "F1 did not start the stopwatch"
    sleep 0.5
done

click 154 270 # MENU: the main menu, the whole frame
expect_display menu "$WORK/ref-menu.pbm" 0:64

click 244 352 # OFF: the window keeps the last frame
sleep 1
expect_display after-off "$WORK/ref-menu.pbm" 0:64
kill -0 "$PID" 2>/dev/null || fail "tmx5 ended after OFF"

kill "$PID" 2>/dev/null
wait "$PID" 2>/dev/null

# --- Start time and speed -----------------------------------------------------
# The pixels of a PBM as one line of 0 and 1, whoever wrote it.
bits() { sed '/^#/d' "$1" | tail -n +3 | tr -cd '01'; }
# Candidate frames: the home page at every UTC second of the first ten
# minutes after 12:00:00, from the headless runner.
{
    echo "utc 2030-06-01 12:00:00"
    echo "on"
    i=0
    while [ $i -lt 600 ]; do
        echo "wait 1s"
        echo "snap $WORK/cand-$i.pbm"
        i=$((i + 1))
    done
} | "$TMX5" run --allow-any-path - >/dev/null || fail "tmx5 run could not draw the candidate frames"
i=0
while [ $i -lt 600 ]; do
    echo "$(bits "$WORK/cand-$i.pbm") $i"
    i=$((i + 1))
done >"$WORK/candidates.txt"

start_window() { # OPTIONS...
    "$TMX5" "$@" >"$WORK/tmx5.log" 2>&1 &
    PID=$!
    W=$(timeout 30 xdotool search --sync --onlyvisible --name "^Solvanta TMX-5$" | head -n 1)
    [ -n "$W" ] || fail "the window did not appear with $*"
}

T0=$(date +%s%N)
start_window --utc "2030-06-01 12:00:00" --speed 60
click 88 352 # ON
sleep 4
capture fast || fail "cannot read the window"
T1=$(date +%s%N)
match=$(grep "^$(bits "$WORK/fast.pbm") " "$WORK/candidates.txt" | head -n 1 | cut -d' ' -f2)
[ -n "$match" ] || fail "at 60x the display matches no home page of 12:00 to 12:10 (see $WORK/fast.pbm)"
# The candidate taken after match+1 seconds of virtual time: the splash
# (1.6 s) and match seconds. At 60x that is at most 60 times the wall time
# since the window started, and not much less.
wall=$(((T1 - T0) / 1000000))
virtual=$(((match + 2) * 1000))
[ $virtual -le $((wall * 60 + 2000)) ] || fail "at 60x, $virtual ms of virtual time in $wall ms of wall time"
[ $virtual -ge $(((wall - 2500) * 60)) ] || fail "at 60x, only $virtual ms of virtual time in $wall ms of wall time"
echo "60x: after $wall ms of wall time the display shows the home page of $match s after the splash"

# --- Going back -------------------------------------------------------------------
# Pause (Ctrl+P), back one pass (a point of the session as it was), then
# Ctrl+Left three times: the display shows exactly the frame tmx5 run draws
# three seconds earlier.
xdotool windowfocus --sync "$W" 2>/dev/null || true
xdotool key ctrl+p
xdotool key ctrl+shift+Left
sleep 0.5
capture back-0 || fail "cannot read the window"
m0=$(grep "^$(bits "$WORK/back-0.pbm") " "$WORK/candidates.txt" | head -n 1 | cut -d' ' -f2)
[ -n "$m0" ] || fail "paused and one pass back, the display matches no home page (see $WORK/back-0.pbm)"
xdotool key ctrl+Left ctrl+Left ctrl+Left
sleep 0.5
capture back-3 || fail "cannot read the window"
m3=$(grep "^$(bits "$WORK/back-3.pbm") " "$WORK/candidates.txt" | head -n 1 | cut -d' ' -f2)
[ "$m3" = $((m0 - 3)) ] || fail "three times Ctrl+Left from the home page of $m0 s shows ${m3:-no home page}, not $((m0 - 3)) s"
sleep 1
capture back-still || fail "cannot read the window"
[ "$(bits "$WORK/back-still.pbm")" = "$(bits "$WORK/back-3.pbm")" ] || fail "going back did not pause"
echo "back: the home page of $m0 s, three seconds back the home page of $m3 s, paused"
kill "$PID" 2>/dev/null
wait "$PID" 2>/dev/null

# --- Paused ---------------------------------------------------------------------
start_window --utc "2030-06-01 12:00:00" --paused
capture paused-before || fail "cannot read the window"
click 88 352 # ON: waits for an event point, which never comes while paused
sleep 2
capture paused-after || fail "cannot read the window"
[ "$(bits "$WORK/paused-before.pbm")" = "$(bits "$WORK/paused-after.pbm")" ] ||
    fail "the display changed while paused"
[ "$(pixel paused-after 154 28)" = "255,0,0" ] || fail "the lamp changed while paused"

echo "PASS: window end to end"
exit 0
