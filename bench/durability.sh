#!/usr/bin/env bash
# How much of a recording survives a crash, and what the file output costs in write calls:
#
#   bench/durability.sh [kill-seconds ...]      (default 8 20; BUILD_DIR selects the build,
#                                                KZ_HEADLESS another runner binary)
#
# For each kill point: a 30 s recording with the default settings, killed with SIGKILL after
# that many seconds, then the seconds of video and of audio ffmpeg still decodes from it.
# Then one 60 s recording: the write calls that reached the recording per minute (strace),
# the count whole 16 KiB buffers alone would need for the same bytes, and the runner's CPU
# seconds (a separate run without strace).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
runner="${KZ_HEADLESS:-$build/bin/kestrova_headless}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Default settings: an empty store.
export XDG_CONFIG_HOME="$work/config"
kills=("$@")
[ ${#kills[@]} -gt 0 ] || kills=(8 20)

decoded_seconds() {  # file, a or v
    local file="$1" kind="$2" time
    time=$(ffmpeg -v quiet -threads 1 -i "$file" -map "0:$kind" -f null - -stats 2>&1 |
        tr '\r' '\n' | sed -n 's/.*time=\([0-9:.]*\).*/\1/p' | tail -1)
    awk -F: -v t="$time" 'BEGIN { split(t, p, ":"); printf "%.2f", p[1] * 3600 + p[2] * 60 + p[3] }'
}

for at in "${kills[@]}"; do
    "$runner" --seconds 30 --file "$work/killed.ogg" >"$work/run.log" 2>&1 &
    pid=$!
    sleep "$at"
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null || true
    video=$(decoded_seconds "$work/killed.ogg" v)
    audio=$(decoded_seconds "$work/killed.ogg" a)
    awk -v at="$at" -v v="$video" -v a="$audio" -v b="$(stat -c %s "$work/killed.ogg")" \
        'BEGIN { printf "killed after %2d s: %6.2f s video, %6.2f s audio decoded (%.2f s / %.2f s lost), %d bytes\n", at, v, a, at - v, at - a, b }'
done

strace -f -y -qq -e trace=write,fdatasync,fsync -o "$work/trace" \
    "$runner" --seconds 60 --file "$work/minute.ogg" >/dev/null 2>&1
bytes=$(stat -c %s "$work/minute.ogg")
writes=$(grep -c "write([0-9]*<$work/minute.ogg>" "$work/trace" || true)
syncs=$(grep -c "sync([0-9]*<$work/minute.ogg>" "$work/trace" || true)
/usr/bin/time -f "%U %S" -o "$work/time" "$runner" --seconds 60 --file "$work/cpu.ogg" >/dev/null 2>&1
read -r user sys <"$work/time"
awk -v b="$bytes" -v w="$writes" -v s="$syncs" -v u="$user" -v y="$sys" \
    'BEGIN { printf "60 s recording: %d bytes, %d write calls (whole 16 KiB buffers alone: %d), %d syncs; runner CPU %.2f s user + %.2f s system\n", b, w, int((b + 16383) / 16384), s, u, y }'
