#!/usr/bin/env bash
# CPU seconds per second of media for a real-time recording through the capture graph: the
# "Test Pattern" and "Test Tone" devices through the GStreamer pipeline into the encoder
# (kestrova_headless --video-device/--audio-device), beside a gst-launch-1.0 pipeline doing the
# same capture and encoding work (the same pattern paced to the clock, a live tone, theoraenc,
# vorbisenc and oggmux), and the ratio of the two. One run each, 640x480 at 30 fps. Also the
# peak resident memory of each (/usr/bin/time %M) and its resident size every 10 s, to show
# whether it stays flat over the run.
#
#   bench/capture_graph.sh [seconds-of-media]     (default 30; BUILD_DIR selects the build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
seconds="${1:-30}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

export XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/config/Hadrel Forge"
printf '[Zizizada]\nTheora\\FPS=30\n' >"$work/config/Hadrel Forge/Palunet.conf"

# Runs a command; prints "cpu_seconds peak_rss_kib", and leaves its resident size in MiB,
# sampled every 10 s, in $work/trace.
measure() {
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >"$work/out" 2>&1 &
    local pid=$! child
    : >"$work/trace"
    sleep 1
    child=$(pgrep -P "$pid" | head -1)
    while kill -0 "$pid" 2>/dev/null; do
        awk '/VmRSS/ { printf "%d ", $2 / 1024 }' "/proc/$child/status" >>"$work/trace" 2>/dev/null
        sleep 10
    done
    wait "$pid" || {
        echo "failed: $*" >&2; tail -5 "$work/out" >&2; exit 1
    }
    awk '{ print $1 + $2, $3 }' "$work/time"
}

# The very frames our encoder takes from the pattern (bench/pattern_frames).
"$build/bin/pattern_frames" 640 480 30 30 "$seconds" >"$work/pattern.bgr"
ours=$(measure "$build/bin/kestrova_headless" --seconds "$seconds" --file "$work/k.ogg" \
    --video-device "Test Pattern" --audio-device "Test Tone")
ours_trace=$(cat "$work/trace")
# The peer: the same frames paced to the pipeline clock (identity sync), a live tone, the same
# encoder settings as bench/whole_run.sh (quality before bitrate: theoraenc keeps the last).
peer=$(measure gst-launch-1.0 -q \
    filesrc location="$work/pattern.bgr" \
    ! rawvideoparse width=640 height=480 format=bgr framerate=30/1 ! identity sync=true \
    ! videoconvert \
    ! theoraenc quality=10 bitrate=1000 speed-level=2 keyframe-freq=64 keyframe-force=64 \
      drop-frames=true cap-overflow=true cap-underflow=true \
    ! oggmux name=mux ! filesink location="$work/g.ogg" \
    audiotestsrc is-live=true wave=sine freq=1000 num-buffers=$((seconds * 100)) \
      samplesperbuffer=441 \
    ! "audio/x-raw,format=S16LE,rate=44100,channels=2" ! audioconvert ! audioresample \
    ! "audio/x-raw,rate=22050,channels=1" ! vorbisenc quality=-0.06 ! mux.)
peer_trace=$(cat "$work/trace")
awk -v o="$ours" -v p="$peer" -v t="$seconds" -v ot="$ours_trace" -v pt="$peer_trace" 'BEGIN {
    split(o, ours, " "); split(p, peer, " ")
    printf "640x480, 30 fps, %d s of media in real time:\n", t
    printf "  capture graph + encoder  %6.3f CPU s per media s (%6.2f s CPU), peak RSS %5.1f MiB\n",
        ours[1] / t, ours[1], ours[2] / 1024
    printf "  gst-launch-1.0           %6.3f CPU s per media s (%6.2f s CPU), peak RSS %5.1f MiB\n",
        peer[1] / t, peer[1], peer[2] / 1024
    printf "  ratio                    %6.2f CPU, %4.2f peak RSS\n", ours[1] / peer[1], ours[2] / peer[2]
    printf "  RSS every 10 s (MiB): ours %s; gst-launch %s\n", ot, pt
}'
