#!/usr/bin/env bash
# CPU of a whole recording (Theora + Vorbis into one Ogg file): kestrova_headless --fast beside
# a GStreamer pipeline that encodes the same pictures with the same encoder settings, at the
# default settings (640x480 captured at 30 fps, Theora at 15 fps) and at 1280x720 and 30 fps.
#
#   bench/whole_run.sh   (BUILD_DIR selects the build; LONG, SHORT, PAIRS, RT_LONG, RT_SHORT the runs)
#
# The CPU per media second is that of a LONG-second run minus a SHORT-second run, divided by
# the difference, so start-up does not count; start-up is what the SHORT run costs beyond that
# (CPU seconds and page faults). Runs go in alternated pairs (ours first, then GStreamer's
# first) and the ratio is the median over PAIRS pairs. CPU is user + system time of the whole
# process; context switches are voluntary + involuntary, per media second. On a loaded machine
# the pairs scatter: read the median. ffmpeg is measured once per size, for reference.
# In --fast runs most context switches are the runner's and the synthetic sources' own polls,
# so they are also given for real-time runs (RT_LONG minus RT_SHORT seconds), as a capture
# device would pace them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
long="${LONG:-20}"
short="${SHORT:-4}"
pairs="${PAIRS:-3}"
rt_long="${RT_LONG:-8}"
rt_short="${RT_SHORT:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
conf="$work/config/Hadrel Forge/Palunet.conf"
mkdir -p "$(dirname "$conf")"

# The encoder settings every peer gets: Theora at 1000 kbit/s with quality 10, libtheora's
# fastest speed level (2), frame dropping with capped reservoir; Vorbis quality -0.06 at
# 22050 Hz mono from 44100 Hz stereo. GStreamer's theoraenc treats quality and bitrate as
# exclusive and keeps the last one set, so quality must come first or the bitrate (and with it
# libtheora's rate control, about an eighth of its work) is switched off. Our encoder keeps
# libtheora's default key-frame granule shift (6), which caps the 90 frames between key frames
# at 64, so GStreamer gets 64 as well.
#
# The peers read the very frames our encoder takes (bench/pattern_frames, from the runner's own
# test pattern): output frame n is the first captured frame timed after n / FPS less a
# millisecond, as the video processor chooses.

# Runs a command; prints "cpu faults switches rss_kib".
measure() {
    /usr/bin/time -f "%U %S %R %w %c %M" -o "$work/time" "$@" >"$work/out" 2>&1 || {
        echo "failed: $*" >&2
        tail -5 "$work/out" >&2
        return 1
    }
    awk '{ printf "%.3f %d %d %d\n", $1 + $2, $3, $4 + $5, $6 }' "$work/time"
}

# ours SECONDS [realtime]
ours() {
    local pace=(--fast)
    [ "${2:-}" = realtime ] && pace=()
    measure "$build/bin/kestrova_headless" "${pace[@]}" --seconds "$1" --file "$work/k.ogg" \
        --capture-size "$size" --capture-fps 30 --capture-audio 44100:2
}

gstreamer() {
    local frames=$(($1 * fps))
    measure gst-launch-1.0 -q \
        filesrc location="$work/pattern.bgr" blocksize=$((width * height * 3)) num-buffers="$frames" \
        ! rawvideoparse width="$width" height="$height" format=bgr framerate="$fps/1" ! videoconvert \
        ! theoraenc quality=10 bitrate=1000 speed-level=2 keyframe-freq=64 keyframe-force=64 \
          drop-frames=true cap-overflow=true cap-underflow=true \
        ! oggmux name=mux ! filesink location="$work/g.ogg" \
        audiotestsrc num-buffers=$(($1 * 100)) samplesperbuffer=441 \
        ! "audio/x-raw,format=S16LE,rate=44100,channels=2" ! audioconvert ! audioresample \
        ! "audio/x-raw,rate=22050,channels=1" ! vorbisenc quality=-0.06 ! mux.
}

ffmpeg_run() {
    measure ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s "$size" -r "$fps" \
        -i "$work/pattern.bgr" -f lavfi -i "sine=frequency=1000:sample_rate=44100:duration=$1" \
        -t "$1" -pix_fmt yuv420p -c:v libtheora -b:v 1000k -g 64 \
        -ac 1 -ar 22050 -c:a libvorbis -q:a -0.6 "$work/f.ogg"
}

# Per media second and start-up from a long and a short run ("cpu faults switches rss" each).
# Prints "cpu_per_s startup_cpu startup_faults switches_per_s rss_kib".
per_second() {
    awk -v l="$long" -v s="$short" -v a="$1" -v b="$2" 'BEGIN {
        split(a, L, " "); split(b, S, " "); d = l - s
        cpu = (L[1] - S[1]) / d; faults = (L[2] - S[2]) / d
        printf "%.4f %.3f %d %.0f %d\n", cpu, S[1] - s * cpu, S[2] - s * faults, (L[3] - S[3]) / d, L[4] }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for config in "640x480 15" "1280x720 30"; do
    read -r size fps <<<"$config"
    width="${size%x*}"
    height="${size#*x}"
    printf '[Zizizada]\nTheora\\FPS=%s\n' "$fps" >"$conf"
    "$build/bin/pattern_frames" "$width" "$height" 30 "$fps" "$long" >"$work/pattern.bgr"
    echo "$size captured at 30 fps, Theora at $fps fps; runs of $long s and $short s of media:"
    : >"$work/ratios"
    for pair in $(seq 1 "$pairs"); do
        if [ $((pair % 2)) -eq 1 ]; then
            ol=$(ours "$long"); os=$(ours "$short"); gl=$(gstreamer "$long"); gs=$(gstreamer "$short")
        else
            gl=$(gstreamer "$long"); gs=$(gstreamer "$short"); ol=$(ours "$long"); os=$(ours "$short")
        fi
        read -r o_cpu o_start o_faults o_cs o_rss < <(per_second "$ol" "$os")
        read -r g_cpu g_start g_faults g_cs g_rss < <(per_second "$gl" "$gs")
        ratio=$(awk -v o="$o_cpu" -v g="$g_cpu" 'BEGIN { printf "%.3f", (g > 0) ? o / g : 0 }')
        echo "$ratio" >>"$work/ratios"
        printf '  pair %d: kestrova %.4f, gstreamer %.4f CPU s per media s, ratio %s\n' \
            "$pair" "$o_cpu" "$g_cpu" "$ratio"
        printf '          start-up: kestrova %.3f CPU s, %d page faults; gstreamer %.3f CPU s, %d page faults\n' \
            "$o_start" "$o_faults" "$g_start" "$g_faults"
        printf '          context switches per media s: kestrova %s, gstreamer %s; peak RSS MiB: kestrova %.1f, gstreamer %.1f\n' \
            "$o_cs" "$g_cs" "$(echo "$o_rss / 1024" | bc -l)" "$(echo "$g_rss / 1024" | bc -l)"
    done
    echo "  median ratio (kestrova / gstreamer): $(median <"$work/ratios")"
    read -r _ _ _ rt_cs _ < <(long="$rt_long" short="$rt_short" per_second \
        "$(ours "$rt_long" realtime)" "$(ours "$rt_short" realtime)")
    echo "  real time: kestrova $rt_cs context switches per media s"
    read -r f_cpu _ < <(per_second "$(ffmpeg_run "$long")" "$(ffmpeg_run "$short")")
    echo "  ffmpeg (libtheora at its default speed level 1): $f_cpu CPU s per media s"
    rm -f "$work/pattern.bgr"
done
