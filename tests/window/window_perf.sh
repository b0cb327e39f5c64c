#!/bin/sh
# Measures the running window under Xvfb and takes the screenshot for the
# documentation. Not a test: run it by hand on an otherwise idle machine.
#
#   sh tests/window/window_perf.sh BUILD/host/tmx5 [SCREENSHOT.png]
#
# Prints: time from start to the window on screen with its face painted,
# time from the ON click to the first splash frame on screen, the splash's
# length as seen on screen, processor use of tmx5 (and of the X server) over
# 10 s on the first home page, and tmx5's resident memory there.
set -u
TMX5=$1
SHOT=${2:-}

if [ "${TMX5_PERF_INSIDE:-}" != 1 ]; then
    TMX5_PERF_INSIDE=1
    export TMX5_PERF_INSIDE
    exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$TMX5" "$SHOT"
fi
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
TMP=$(mktemp -d)
trap 'kill "$PID" 2>/dev/null; rm -rf "$TMP"' EXIT

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Processor time of a process in clock ticks (user + system).
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Grey level of window pixel X,Y, 0..255.
grey() { # X Y
    import -window "$W" -crop "1x1+$1+$2" -depth 8 -format '%[fx:int(255*intensity)]' info: 2>/dev/null
}

T0=$(now_ms)
"$TMX5" >/dev/null 2>&1 &
PID=$!
# xdotool's own --sync polls only twice a second; poll faster.
W=
while [ -z "$W" ]; do
    W=$(xdotool search --onlyvisible --name "^Solvanta TMX-5$" 2>/dev/null | head -n 1)
done
# The face is painted once the black face shows beside the display.
while [ "$(grey 20 150)" -gt 100 ] 2>/dev/null; do :; done
T1=$(now_ms)
echo "window on screen with its face: $((T1 - T0)) ms after start"

# The splash's first frame lights pixels in the display's left half (the
# model name slides in from the left edge); the home page's header row at
# the display's top edge marks the splash's end.
xdotool mousemove --window "$W" 88 352 click 1
T2=$(now_ms)
while :; do
    import -window "$W" -crop 228x128+40+92 +repage "$TMP/d.png" 2>/dev/null
    dark=$(convert "$TMP/d.png" -threshold 50% -negate -format '%[fx:int(mean*w*h)]' info: 2>/dev/null)
    [ "${dark:-0}" -gt 0 ] && break
done
T3=$(now_ms)
echo "first splash frame on screen: $((T3 - T2)) ms after the ON click (one capture takes ~50 ms)"
# The splash has reached its last picture by frame 53 and holds it until
# frame 80; its end on screen is when that picture gives way to the home page.
printf 'on\nwait 1500ms\nsnap %s\n' "$TMP/last-splash.pbm" | "$TMX5" run --allow-any-path - >/dev/null
seen=0
while :; do
    import -window "$W" -crop 228x128+40+92 +repage "$TMP/d.png" 2>/dev/null
    convert "$TMP/d.png" -sample 114x64! -colorspace Gray -threshold 50% "$TMP/d.pbm"
    d=$(compare -metric AE "$TMP/d.pbm" "$TMP/last-splash.pbm" null: 2>&1 | cut -d' ' -f1)
    if [ "$d" = 0 ]; then seen=1; elif [ $seen = 1 ]; then break; fi
done
T4=$(now_ms)
echo "splash seen on screen for about $((T4 - T3)) ms"
rm -f "$TMP/d.png"

sleep 3
XPID=$(pgrep -n Xvfb)
A=$(ticks "$PID")
XA=$(ticks "$XPID")
sleep 10
B=$(ticks "$PID")
XB=$(ticks "$XPID")
HZ=$(getconf CLK_TCK)
percent() { awk -v t="$1" -v hz="$HZ" 'BEGIN { printf "%.1f", t / hz / 10 * 100 }'; }
echo "processor use on the home page over 10 s: tmx5 $(percent $((B - A)))% of one core, Xvfb $(percent $((XB - XA)))%"
echo "resident memory: $(awk '/VmRSS/ {print $2, $3}' "/proc/$PID/status"), peak $(awk '/VmHWM/ {print $2, $3}' "/proc/$PID/status")"

if [ -n "$SHOT" ]; then
    import -window "$W" "$SHOT" && echo "screenshot: $SHOT"
fi
kill "$PID" 2>/dev/null
wait "$PID" 2>/dev/null

# Flat out: ON at --speed fastest, 10 s on the home page, then the window
# reports (TMX5_WINDOW_STATS) how much virtual time ran and how often the
# display was painted.
TMX5_WINDOW_STATS=1 "$TMX5" --speed fastest 2>"$TMP/fast.log" &
PID=$!
W=
while [ -z "$W" ]; do
    W=$(xdotool search --onlyvisible --name "^Solvanta TMX-5$" 2>/dev/null | head -n 1)
done
xdotool mousemove --window "$W" 88 352 click 1
A=$(ticks "$PID")
sleep 10
B=$(ticks "$PID")
kill -TERM "$PID"
wait "$PID"
echo "fastest, 10 s: tmx5 $(percent $((B - A)))% of one core"
sed 's/^/fastest: /' "$TMP/fast.log"
