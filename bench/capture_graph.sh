#!/usr/bin/env bash
# CPU seconds per second of media for real-time recordings through the capture graph: the
# "Test Pattern" and "Test Tone" devices through the GStreamer pipeline into the encoder
# (kestrova_headless --video-device/--audio-device/--video-mode), beside a GStreamer
# pipeline doing the same capture and encoding work, and the ratio of the two. Modes:
#
#   pattern     the pattern in BGR, 640x480 at 30 fps, Theora at 30 fps (the RGB path)
#   yuy2-480    the YUY2 640x480 camera mode, default settings (Theora at 15 fps)
#   yuy2-720    the YUY2 1280x720 camera mode, Theora at 30 fps
#   mjpg-720    the MJPEG 1280x720 camera mode, Theora at 30 fps
#
# The peer is a GStreamer pipeline fed by our very "Test Pattern" and "Test Tone" devices
# (bench/peer_pipeline: same threads, same elements, same frames and samples), so the two sides
# differ only in what follows the devices. It captures as a pipeline would: behind a queue, so
# that the camera works beside the encoder as a real one does and as ours does on its own
# thread (on the device's thread, the camera's work could never overlap the encoder's, which on
# two cores costs the side where it does up to a tenth more CPU); then jpegdec, videoconvert to
# I420, videorate where Theora runs slower, into theoraenc, vorbisenc and oggmux with our
# default encoder settings. The queue holds up to a second and does not leak: oggmux holds the
# pictures back until the live sound catches up, and with a queue of 4 frames the device's ring
# fills meanwhile and a sixth of the frames at 720p are lost, which would spare the peer their
# encoding. The devices' own part is measured alone as well (both devices into fakesinks) and
# taken off both sides for the plumbing ratio, which is what a real camera and microphone,
# costing nothing to either side, would show.
# With a JPEG camera the peer does less than we do: videoconvert hands jpegdec's full-range
# planes to theoraenc as they are (white records as 255, black as 1), where ours turns them into
# the video range Theora is read in (235 and 16).
# A JPEG camera's frames are measured with jpegdec after them too: the limit starts from decoded
# planes, so ours is also shown as a multiple of it without the devices and the decoding.
#
# Each mode runs PAIRS alternated pairs (ours, then the peer) and reports medians. Also per
# mode: the limit, libtheora and libvorbis alone encoding the same planes and samples at the
# same settings (bench/encode_limit, fed the camera's own frames and turning them into the
# run's planes untimed), and our CPU as a multiple of it; the anonymous resident
# memory (RssAnon, the largest sample, every 2 s) and the peak resident size (/usr/bin/time %M)
# of each side, with RssAnon every 10 s to show it stays flat.
#
#   bench/capture_graph.sh [seconds-of-media] [modes...]   (default 20, all modes)
#   PAIRS=3, BUILD_DIR selects the build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
seconds="${1:-20}"
shift || true
modes=("${@:-pattern yuy2-480 yuy2-720 mjpg-720}")
read -r -a modes <<<"${modes[*]}"
pairs="${PAIRS:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/config/Hadrel Forge"

# Runs a command; prints "cpu_seconds peak_rss_kib max_rss_anon_kib", and leaves its RssAnon in
# MiB, every 10 s, in $work/trace.
measure() {
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >"$work/out" 2>&1 &
    local pid=$! child="" anon=0 now tick=0
    : >"$work/trace"
    while kill -0 "$pid" 2>/dev/null; do
        [ -z "$child" ] && child=$(pgrep -P "$pid" | head -1 || true)
        if [ -n "$child" ]; then
            now=$(awk '/RssAnon/ { print $2 }' "/proc/$child/status" 2>/dev/null || echo 0)
            now=${now:-0}
            [ "$now" -gt "$anon" ] && anon=$now
            [ $((tick % 5)) -eq 2 ] && echo -n "$((now / 1024)) " >>"$work/trace"
        fi
        tick=$((tick + 1))
        sleep 2
    done
    wait "$pid" || {
        echo "failed: $*" >&2; tail -5 "$work/out" >&2; exit 1
    }
    awk -v anon="$anon" '{ print $1 + $2, $3, anon }' "$work/time"
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# mode -> width height camera-format theora-fps
mode_params() {
    case "$1" in
        pattern) echo "640 480 BGR 30" ;;
        yuy2-480) echo "640 480 YUY2 15" ;;
        yuy2-720) echo "1280 720 YUY2 30" ;;
        mjpg-720) echo "1280 720 MJPG 30" ;;
        *) echo "unknown mode $1" >&2; exit 2 ;;
    esac
}

# The test device's camera elements, which turn the pattern into the camera's format.
camera_elements() {
    case "$1" in
        BGR) echo "" ;;
        YUY2) echo "! videoconvert ! video/x-raw,format=YUY2,colorimetry=bt601" ;;
        MJPG) echo "! videoconvert ! video/x-raw,format=I420,colorimetry=1:4:0:0 ! jpegenc" ;;
    esac
}

ours() {  # width height format
    local mode=()
    [ "$3" != BGR ] && mode=(--video-mode "$3 $1x$2@30/1")
    measure "$build/bin/kestrova_headless" --seconds "$seconds" --file "$work/k.ogg" \
        --video-device "Test Pattern" --audio-device "Test Tone" "${mode[@]}"
}

peer() {  # width height format theora-fps
    local decode="" rate=""
    [ "$3" = MJPG ] && decode="! jpegdec"
    [ "$4" != 30 ] && rate="! videorate ! video/x-raw,framerate=$4/1"
    measure "$build/bin/peer_pipeline" "$3" "$1" "$2" "$seconds" \
        "queue name=vin max-size-buffers=0 max-size-bytes=0 max-size-time=1000000000 $decode \
         ! videoconvert ! video/x-raw,format=I420 $rate \
         ! theoraenc quality=10 bitrate=1000 speed-level=2 keyframe-freq=64 keyframe-force=64 \
           drop-frames=true cap-overflow=true cap-underflow=true \
         ! oggmux name=mux ! filesink location=$work/g.ogg" \
        "audioconvert name=ain ! audioresample ! audio/x-raw,rate=22050,channels=1 \
         ! vorbisenc quality=-0.06 ! mux."
}

devices() {  # width height format [decoder]: the two devices alone (and the decoder), as in a run
    local video="fakesink name=vin"
    [ -n "${4:-}" ] && video="$4 name=vin ! fakesink"
    measure "$build/bin/peer_pipeline" "$3" "$1" "$2" "$seconds" "$video" "fakesink name=ain"
}

# The frames a run encodes, at the Theora rate, in the form its capture delivers them: the
# pattern's BGR, or the camera's frames (decoded, for JPEG) as the tap takes them.
limit_frames() {  # width height format theora-fps
    local decode=""
    [ "$3" = MJPG ] && decode="! jpegdec"
    if [ "$3" = BGR ]; then
        "$build/bin/pattern_frames" "$1" "$2" 30 "$4" "$seconds"
        return
    fi
    # shellcheck disable=SC2046
    "$build/bin/pattern_frames" "$1" "$2" 30 "$4" "$seconds" |
        gst-launch-1.0 -q fdsrc fd=0 blocksize=$(($1 * $2 * 3)) \
            ! rawvideoparse width="$1" height="$2" format=bgr framerate="$4/1" \
            $(camera_elements "$3") $decode ! fdsink fd=1
}

limit_form() {
    case "$1" in
        BGR) echo bgr ;;
        YUY2) echo yuy2 ;;
        MJPG) echo j420 ;;
    esac
}

for mode in "${modes[@]}"; do
    read -r width height format fps <<<"$(mode_params "$mode")"
    printf '[Zizizada]\nTheora\\FPS=%s\n' "$fps" >"$work/config/Hadrel Forge/Palunet.conf"
    o_cpu="" p_cpu="" o_anon="" p_anon="" o_rss="" p_rss="" pair_ratios=""
    for _ in $(seq "$pairs"); do
        read -r c r a <<<"$(ours "$width" "$height" "$format")"
        o_cpu+="$c " o_rss+="$r " o_anon+="$a "
        o_trace=$(cat "$work/trace")
        read -r c r a <<<"$(peer "$width" "$height" "$format" "$fps")"
        # The two runs of a pair follow each other: their own ratio is spared the machine's
        # slower drifts, which move the two medians apart.
        pair_ratios+="$(awk -v o="${o_cpu%% }" -v p="$c" 'BEGIN { n = split(o, v, " "); print v[n] / p }') "
        p_cpu+="$c " p_rss+="$r " p_anon+="$a "
        p_trace=$(cat "$work/trace")
    done
    dd_cpu=0
    read -r d_cpu _ _ <<<"$(devices "$width" "$height" "$format")"
    # A JPEG camera's frames must be decoded before any encoder sees planes; the limit starts
    # from decoded planes, so the decoding is shown apart as well.
    [ "$format" = MJPG ] && read -r dd_cpu _ _ <<<"$(devices "$width" "$height" "$format" jpegdec)"
    # The limit's own CPU time varies by a fifth from run to run here: the median of as many
    # runs as pairs.
    limits=""
    for _ in $(seq "$pairs"); do
        limit_frames "$width" "$height" "$format" "$fps" |
            "$build/bin/encode_limit" "$width" "$height" "$fps" "$seconds" \
                "$(limit_form "$format")" >"$work/limit"
        read -r one _ _ <"$work/limit"
        limits+="$one "
    done
    limit=$(median <<<"$limits")
    awk -v mode="$mode" -v w="$width" -v h="$height" -v f="$format" -v fps="$fps" -v t="$seconds" \
        -v oc="$(median <<<"$o_cpu")" -v pc="$(median <<<"$p_cpu")" -v dc="$d_cpu" -v ddc="$dd_cpu" \
        -v pr="$(median <<<"$pair_ratios")" \
        -v orss="$(median <<<"$o_rss")" -v prss="$(median <<<"$p_rss")" \
        -v oa="$(median <<<"$o_anon")" -v pa="$(median <<<"$p_anon")" -v lim="$limit" \
        -v all_o="$o_cpu" -v all_p="$p_cpu" -v ot="$o_trace" -v pt="$p_trace" -v n="$pairs" \
        -v all_l="$limits" 'BEGIN {
        printf "%s: %s %dx%d at 30 fps, Theora at %d fps, %d s of media in real time, median of %d pairs\n",
            mode, f, w, h, fps, t, n
        printf "  ours          %6.3f CPU s per media s   (runs: %s)\n", oc / t, all_o
        printf "  GStreamer     %6.3f CPU s per media s   (runs: %s)\n", pc / t, all_p
        printf "  ratio         %6.3f (median of the pairs\047 own ratios %6.3f)\n", oc / pc, pr
        if (dc > 0) {
            printf "  the devices alone (camera and tone) %6.3f CPU s per media s;\n", dc / t
            printf "  without them: ours %6.3f, GStreamer %6.3f, ratio %6.3f\n",
                (oc - dc) / t, (pc - dc) / t, (oc - dc) / (pc - dc)
        }
        printf "  limit (libtheora + libvorbis alone) %6.3f CPU s per media s (runs: %s); ours / limit %5.2f",
            lim, all_l, oc / t / lim
        if (dc > 0) printf " (without the devices %5.2f)", (oc - dc) / t / lim
        printf "\n"
        if (ddc > 0) {
            printf "  the devices and jpegdec alone %6.3f CPU s per media s (jpegdec %6.3f); ours without them / limit %5.2f\n",
                ddc / t, (ddc - dc) / t, (oc - ddc) / t / lim
        }
        printf "  RssAnon       ours %6.1f MiB, GStreamer %6.1f MiB, ratio %4.2f (goal 1.25)\n",
            oa / 1024, pa / 1024, oa / pa
        printf "  peak RSS      ours %6.1f MiB, GStreamer %6.1f MiB\n", orss / 1024, prss / 1024
        printf "  RssAnon every 10 s (MiB), last pair: ours %s; GStreamer %s\n", ot, pt
    }'
done
