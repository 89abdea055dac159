#!/usr/bin/env bash
# Checks that two builds record the same media: a --fast recording of the test pattern and tone
# from each, decoded, compared frame by frame (framemd5 of the video and of the audio).
#
#   bench/same_output.sh BUILD_BEFORE BUILD_AFTER [seconds] [WxH] [fps]
#
# Defaults: 10 s at 640x480 captured at 30 fps, with the stored settings at their defaults.
# A run stops within a few milliseconds of its length, so the two may differ by a frame at the
# end: the frames both have are compared, except the last two of each stream (the end of the
# stream, whose last audio block depends on where the run stopped).
# Prints the counts and "same" or the first differing lines; exits 1 on a difference.
set -euo pipefail
before="${1:?build directory before}"
after="${2:?build directory after}"
seconds="${3:-10}"
size="${4:-640x480}"
fps="${5:-30}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"

record() {
    local build="$1" name="$2"
    "$build/bin/kestrova_headless" --fast --seconds "$seconds" --file "$work/$name.ogg" \
        --capture-size "$size" --capture-fps "$fps" --capture-audio 44100:2 >/dev/null
    for stream in v a; do
        # The checksums alone: the header names the input file.
        ffmpeg -v error -threads 1 -i "$work/$name.ogg" -map "0:$stream" -f framemd5 - |
            grep -v '^#' >"$work/$name.$stream.md5"
    done
}

record "$before" before
record "$after" after
status=0
for stream in v a; do
    label=$([ "$stream" = v ] && echo video || echo audio)
    lines_before=$(wc -l <"$work/before.$stream.md5")
    lines_after=$(wc -l <"$work/after.$stream.md5")
    common=$(( (lines_before < lines_after ? lines_before : lines_after) - 2 ))
    head -n "$common" "$work/before.$stream.md5" >"$work/b"
    head -n "$common" "$work/after.$stream.md5" >"$work/a"
    if [ "$common" -gt 0 ] && cmp -s "$work/b" "$work/a"; then
        echo "$label: same in the first $common frames ($lines_before and $lines_after decoded)"
    else
        echo "$label: DIFFERENT ($lines_before and $lines_after decoded)"
        diff "$work/b" "$work/a" | head -6 || true
        status=1
    fi
done
exit $status
