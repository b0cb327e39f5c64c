#!/bin/sh
# Writes fresh reference frames for tests/scenarios into a scratch folder, for
# checking before they replace the committed ones:
#   tools/snapframes.sh BUILD/host/tmx5 SCRATCH
#   tools/framecheck.py SCRATCH/frames         # every frame against its layout
#   cp SCRATCH/frames/NAME.pbm tests/scenarios/frames/   # only what was checked
# Each scenario is run with its expect-frame lines turned into snap lines, so
# the frames are the ones the committed scenario compares at the same points.
set -eu
tmx5=$1
scratch=$2
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$scratch/frames"
status=0
for script in "$here"/tests/scenarios/*.tmx; do
    sed 's/^\([[:space:]]*\)expect-frame /\1snap /; s/;[[:space:]]*expect-frame /; snap /g' \
        "$script" > "$scratch/$(basename "$script")"
    "$tmx5" run "$scratch/$(basename "$script")" || status=1
done
exit $status
