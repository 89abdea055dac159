#!/usr/bin/env bash
# CPU seconds per second of media for a whole recording (Theora + Vorbis into one Ogg file):
# kestrova_headless --fast beside a GStreamer pipeline and ffmpeg, with the same libtheora and
# libvorbis settings, in one run on this machine. Also the peak resident memory of each.
#
#   bench/whole_run.sh [seconds-of-media]     (default 30; BUILD_DIR selects the build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
seconds="${1:-30}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The stored settings of the runner: defaults, at 30 frames per second.
export XDG_CONFIG_HOME="$work/config"
"$build/bin/kestrova_zizizada" >/dev/null
sed -i 's/^Theora\\FPS=.*/Theora\\FPS=30/' "$work/config/Hadrel Forge/Palunet.conf"
# The settings the peers get: bitrate 1000 kbit/s, quality 10, the fastest speed level (2 in
# libtheora 1.1), a key frame at least every 90 frames, frame dropping with capped reservoir;
# Vorbis quality -0.06 at 22050 Hz mono from 44100 Hz stereo. FFmpeg's libtheora wrapper has no
# option for the speed level or the rate-control flags: it encodes at libtheora's default speed
# level 1 with frame dropping and overflow capping only, so it does more work than the others.
#
# The peers encode the same pictures as the runner's encoder (eight bars, a moving square, a
# white frame every second), made once beforehand and read from a raw file, so that the
# encoder's work is alike; a still picture would cost libtheora far less than ours (see
# bench/pattern_file.sh).

measure() {
    local name="$1" output="$2"
    shift 2
    /usr/bin/time -f "%U %S %M %e" -o "$work/time" "$@" >"$work/out" 2>&1 || {
        echo "$name failed:"; tail -5 "$work/out"; return
    }
    read -r user sys rss elapsed <"$work/time"
    # Frames the decoder sees (dropped frames are empty packets and not counted) and length.
    read -r frames length < <(ffprobe -v error -select_streams v -count_packets \
        -show_entries stream=nb_read_packets:format=duration -of csv=p=0 "$output" | paste -s -d ' ')
    awk -v n="$name" -v u="$user" -v s="$sys" -v m="$rss" -v e="$elapsed" -v t="$seconds" \
        -v f="$frames" -v l="$length" \
        'BEGIN { printf "  %-10s %6.3f CPU s per media s   (%6.2f s CPU, %5.2f s wall, peak RSS %6.1f MiB, %4d coded frames in %5.2f s)\n", n, (u + s) / t, u + s, e, m / 1024, f, l }'
}

. "$root/bench/pattern_file.sh"

for size in 640x480 1280x720; do
    width="${size%x*}"
    height="${size#*x}"
    make_pattern "$size"
    echo "$size, 30 fps, $seconds s of media:"
    measure kestrova "$work/k.ogg" "$build/bin/kestrova_headless" --fast --seconds "$seconds" \
        --file "$work/k.ogg" --capture-size "$size" --capture-fps 30 --capture-audio 44100:2
    measure gstreamer "$work/g.ogg" gst-launch-1.0 -q \
        filesrc location="$work/pattern.bgr" \
        ! rawvideoparse width="$width" height="$height" format=bgr framerate=30/1 ! videoconvert \
        ! theoraenc bitrate=1000 quality=10 speed-level=2 keyframe-freq=90 keyframe-force=90 \
          drop-frames=true cap-overflow=true cap-underflow=true \
        ! oggmux name=mux ! filesink location="$work/g.ogg" \
        audiotestsrc num-buffers=$((seconds * 100)) samplesperbuffer=441 \
        ! "audio/x-raw,format=S16LE,rate=44100,channels=2" ! audioconvert ! audioresample \
        ! "audio/x-raw,rate=22050,channels=1" ! vorbisenc quality=-0.06 ! mux.
    measure ffmpeg "$work/f.ogg" ffmpeg -v error -y \
        -f rawvideo -pix_fmt bgr24 -s "$size" -r 30 -i "$work/pattern.bgr" \
        -f lavfi -i "sine=frequency=1000:sample_rate=44100:duration=$seconds" \
        -pix_fmt yuv420p -c:v libtheora -b:v 1000k -g 90 \
        -ac 1 -ar 22050 -c:a libvorbis -q:a -0.6 "$work/f.ogg"
    rm -f "$work/pattern.bgr"
done
