#!/usr/bin/env bash
# CPU seconds and context switches of two builds' real-time recordings through the capture
# graph ("Test Pattern" in a camera mode, "Test Tone"), in alternated pairs, with the medians
# and the median of the pairs' own ratios. For changes too small to show against a peer on a
# noisy machine: both sides pay the same emulated camera.
#
#   bench/two_builds.sh BUILD_BEFORE BUILD_AFTER [pairs] [seconds] [video-mode] [theora-fps]
#
# Defaults: 6 pairs of 20 s, "YUY2 640x480@30/1", Theora at 15 fps.
set -euo pipefail
before="${1:?build directory before}"
after="${2:?build directory after}"
pairs="${3:-6}"
seconds="${4:-20}"
mode="${5:-YUY2 640x480@30/1}"
fps="${6:-15}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/config/Hadrel Forge"
printf '[Zizizada]\nTheora\\FPS=%s\n' "$fps" >"$work/config/Hadrel Forge/Palunet.conf"

# Prints "cpu_seconds context_switches" of one recording.
run() {
    /usr/bin/time -f "%U %S %w %c" -o "$work/time" "$1/bin/kestrova_headless" \
        --seconds "$seconds" --file "$work/k.ogg" --video-device "Test Pattern" \
        --audio-device "Test Tone" --video-mode "$mode" >"$work/out" 2>&1 ||
        { echo "failed: $1" >&2; tail -3 "$work/out" >&2; exit 1; }
    awk '{ printf "%.2f %d\n", $1 + $2, $3 + $4 }' "$work/time"
}

: >"$work/pairs"
for i in $(seq "$pairs"); do
    # Alternated order, so that a drift of the machine falls on both sides.
    if [ $((i % 2)) -eq 1 ]; then
        b=$(run "$before"); a=$(run "$after")
    else
        a=$(run "$after"); b=$(run "$before")
    fi
    echo "$b $a" | tee -a "$work/pairs"
done
python3 - "$work/pairs" "$seconds" <<'PY'
import statistics, sys
rows = [list(map(float, line.split())) for line in open(sys.argv[1])]
t = float(sys.argv[2])
med = lambda i: statistics.median(r[i] for r in rows)
ratio = statistics.median(r[2] / r[0] for r in rows)
print(f"before {med(0) / t:.4f} CPU s per media s, {med(1) / t:.0f} context switches per s")
print(f"after  {med(2) / t:.4f} CPU s per media s, {med(3) / t:.0f} context switches per s")
print(f"after / before: medians {med(2) / med(0):.3f}, median of the pairs' ratios {ratio:.3f}")
PY
