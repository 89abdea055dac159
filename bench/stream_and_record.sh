#!/usr/bin/env bash
# What recording a broadcast costs: CPU per media second of kestrova_headless --fast
# broadcasting alone, beside the same broadcast that also records to a file from the same
# encoding (--stream --file). The server is a loopback sink that lets the source in and
# discards what it sends, so only our side is measured.
#
#   bench/stream_and_record.sh   (BUILD_DIR selects the build; LONG, SHORT, PAIRS the runs)
#
# The CPU per media second is that of a LONG-second run minus a SHORT-second run, divided by
# the difference, so start-up does not count. Runs go in alternated pairs; CPU is user +
# system time of the whole process. The default settings (640x480 captured at 30 fps, Theora
# at 15 fps).
set -euo pipefail
work="$(mktemp -d)"
build="${BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}"
long="${LONG:-20}" short="${SHORT:-4}" pairs="${PAIRS:-3}"
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/config/Hadrel Forge"
: >"$work/config/Hadrel Forge/Palunet.conf"

# The sink: every connection gets its request line answered with 200 and is read to its end.
python3 - "$work/port" <<'PY' &
import socket, sys, threading
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", 0))
server.listen(8)
open(sys.argv[1], "w").write(str(server.getsockname()[1]))
def serve(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return
        data += chunk
    conn.sendall(b"HTTP/1.0 200 OK\r\n\r\n")
    while conn.recv(65536):
        pass
while True:
    conn, _ = server.accept()
    threading.Thread(target=serve, args=(conn,), daemon=True).start()
PY
sink=$!
trap 'kill $sink; rm -rf "$work"' EXIT
while [ ! -s "$work/port" ]; do sleep 0.1; done
port="$(cat "$work/port")"

# Runs the runner; prints its CPU seconds.
run() {
    local seconds="$1"
    shift
    /usr/bin/time -f "%U %S" -o "$work/time" "$build/bin/kestrova_headless" --fast \
        --seconds "$seconds" --stream --server 127.0.0.1 --port "$port" --mount /bench.ogg \
        --user source --password x "$@" >"$work/out" 2>&1 || {
        echo "failed: $*" >&2
        tail -5 "$work/out" >&2
        return 1
    }
    # A broadcast that left pages out did less work: the figure would flatter it.
    if grep -q "pages are left out" "$work/out"; then echo "pages were left out: $*" >&2; fi
    awk '{ printf "%.3f\n", $1 + $2 }' "$work/time"
}

per_second() {
    awk -v l="$long" -v s="$short" -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (a - b) / (l - s) }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
: >"$work/alone"
: >"$work/both"

echo "runs of $long s and $short s of media, 640x480 at 30 fps captured, Theora at 15 fps:"
for pair in $(seq 1 "$pairs"); do
    if [ $((pair % 2)) -eq 1 ]; then
        sl=$(run "$long"); ss=$(run "$short")
        bl=$(run "$long" --file "$work/copy.ogg"); bs=$(run "$short" --file "$work/copy.ogg")
    else
        bl=$(run "$long" --file "$work/copy.ogg"); bs=$(run "$short" --file "$work/copy.ogg")
        sl=$(run "$long"); ss=$(run "$short")
    fi
    stream=$(per_second "$sl" "$ss")
    both=$(per_second "$bl" "$bs")
    echo "$stream" >>"$work/alone"
    echo "$both" >>"$work/both"
    printf '  pair %d: streaming %s, streaming and recording %s CPU s per media s (%+.1f%%)\n' \
        "$pair" "$stream" "$both" "$(awk -v a="$stream" -v b="$both" 'BEGIN { print (b - a) * 100 / a }')"
done
echo "  median: streaming $(median <"$work/alone"), streaming and recording $(median <"$work/both") CPU s per media s"
