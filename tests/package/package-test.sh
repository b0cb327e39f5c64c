#!/usr/bin/env bash
# Packs the build folder into a .deb with CPack, unpacks it with dpkg-deb into
# a scratch root under the build folder and checks what a user gets: the
# program runs from there, the menu entry, metadata and icons are valid and
# complete, the manual page renders cleanly and names every command of
# --help, the control fields are filled in, and lintian finds no error.
#   package-test.sh BUILD_DIR SCRATCH_PARENT APP_ID HAVE_WINDOW(0|1)
set -uo pipefail
build=$1 scratch_parent=$2 app_id=$3 window=$4

work=$(mktemp -d "$scratch_parent/scratch.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
debs=("$work"/out/tmx5_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single tmx5_*_amd64.deb" >&2; exit 1; }
deb=${debs[0]}
root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x" >&2; exit 1; }

# Control fields: the version is the program's own; the dependencies come from
# the binary's libraries.
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
[ "$(basename "$deb")" = "tmx5_${version}_amd64.deb" ] || fail "file name $(basename "$deb") for version $version"
[[ $depends == *libc6* && $depends == *libstdc++6* ]] || fail "Depends lacks the C and C++ libraries: '$depends'"
if [ "$window" = 1 ]; then
  [[ $depends == *libqt6widgets6* ]] || fail "Depends lacks Qt 6 Widgets: '$depends'"
fi
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "no long Description"

# The program from the unpacked root.
tmx5=$root/usr/bin/tmx5
out=$("$tmx5" --version) || fail "tmx5 --version exits $?"
[[ $out == "tmx5 $version "* ]] || fail "tmx5 --version says '$out', the package is $version"
if readelf -S "$tmx5" | grep -q '\.symtab'; then fail "tmx5 is not stripped"; fi
examples=$root/usr/share/doc/tmx5/examples
for script in demo.tmx tour.tmx; do
  [ -f "$examples/$script" ] || fail "example $script not installed"
done
# As the README runs it: the examples folder is read-only once installed.
"$tmx5" run --out "$work/frames" "$examples/demo.tmx" >"$work/demo.out" 2>&1 ||
  { cat "$work/demo.out" >&2; fail "tmx5 run demo.tmx"; }
[ -s "$work/frames/frames/demo-menu.png" ] || fail "tmx5 run demo.tmx wrote no frames"

# The Python module, from the unpacked root as Debian's python3 finds it once
# installed: it imports, runs the firmware, and pytest finds its plugin.
pydir=$root/usr/lib/python3/dist-packages
if [ -d "$pydir/tmx5" ]; then
  [[ $depends == *python3* ]] || fail "Depends lacks python3: '$depends'"
  out=$(PYTHONPATH=$pydir /usr/bin/python3 -c 'import tmx5
with tmx5.Instrument(utc="2026-06-21 14:30:00") as inst:
    inst.on(); inst.wait("2s"); inst.key("cw")
    print(tmx5.__version__, tmx5.FIRMWARE_VERSION, inst.screen, inst["HomePage"], inst["UtcTime.Hour"])' 2>&1) ||
    fail "import tmx5 from the package: $out"
  [ "$out" = "$version 1.06 HomeScreen 1 14" ] || fail "the packaged module says '$out'"
  for so in "$pydir"/tmx5/_tmx5*.so; do
    if readelf -S "$so" | grep -q '\.symtab'; then fail "$(basename "$so") is not stripped"; fi
  done
  PYTHONPATH=$pydir /usr/bin/python3 -m pytest --help -p no:cacheprovider >"$work/pytest-help.txt" 2>&1
  grep -q -- --tmx5-utc "$work/pytest-help.txt" || fail "pytest does not find the packaged plugin"
fi

# The manual page: renders without a groff warning and names every option and
# script command that --help names.
page=$root/usr/share/man/man1/tmx5.1.gz
if [ ! -f "$page" ]; then
  fail "no manual page"
else
  # -wall leaves out undefined macros (mac); man --warnings checks those.
  zcat "$page" | groff -man -Tutf8 -P-cbou -wall -wmac >"$work/man.txt" 2>"$work/man.err"
  [ -s "$work/man.err" ] && { cat "$work/man.err" >&2; fail "groff warns about the manual page"; }
  grep -q '^NAME' "$work/man.txt" && grep -q '^SYNOPSIS' "$work/man.txt" || fail "manual page lacks NAME or SYNOPSIS"
  # groff prints a hyphen and a minus as U+2010 and U+2212; the names use '-'.
  sed -i 's/\xe2\x80\x90/-/g; s/\xe2\x88\x92/-/g' "$work/man.txt"
  "$tmx5" --help >"$work/help.txt" || fail "tmx5 --help exits $?"
  # Options are the words that start with - or --; the script commands start
  # the lines indented by two spaces between the script intro and the exit
  # statuses.
  names=$( (grep -oE -- '(^|[ [|])--?[a-z][a-z-]*' "$work/help.txt" | sed -E 's/^[ [|]//'
    grep -q 'tmx5 run' "$work/help.txt" && echo run
    sed -n '/One command per line/,/^Exit status/p' "$work/help.txt" | grep -E '^  [a-z]' | awk '{print $1}') |
    sort -u)
  [ "$(echo "$names" | wc -l)" -ge 10 ] || fail "found only these names in --help: $names"
  for name in $names; do
    grep -qE -- "(^|[^a-z-])$name([^a-z-]|\$)" "$work/man.txt" || fail "manual page does not name '$name'"
  done
fi

# Menu entry, icons and AppStream metadata.
if [ "$window" = 1 ]; then
  desktop=$root/usr/share/applications/tmx5.desktop
  desktop-file-validate "$desktop" || fail "desktop-file-validate tmx5.desktop"
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$root/usr/bin/$exec_name" ] || fail "the menu entry starts '$exec_name', which the package lacks"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  for size in 32 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
    # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
    dims=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "icon $icon at ${size}x${size} is '$dims'"
  done
  metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
  appstreamcli validate --no-net --pedantic "$metainfo" >"$work/as.log" 2>&1 ||
    { cat "$work/as.log" >&2; fail "appstreamcli validate $app_id.metainfo.xml"; }
  grep -q "<launchable type=\"desktop-id\">tmx5.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch tmx5.desktop"
  latest=$(grep -m1 -o '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
  [ "$latest" = "$version" ] || fail "metainfo's latest release is $latest, the package is $version"
fi

# Debian's own checks; warnings are allowed, errors are not.
zcat "$root/usr/share/doc/tmx5/changelog.gz" | head -1 | grep -qF "tmx5 ($version)" ||
  fail "packaging/changelog does not start with version $version"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian finds errors"; }
else
  echo "lintian not installed: skipped" >&2
fi

[ $failures -eq 0 ] && echo "package: $(basename "$deb") checked"
exit $((failures > 0))
