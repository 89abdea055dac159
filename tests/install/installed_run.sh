#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed tree: the programs in
# bin/, the program's own library where the installed program finds it, a three-second
# recording made by the installed runner from an unrelated working folder with its event log
# in the user's state folder, the desktop files as the desktop validators see them, and the
# manual pages against the programs. Arguments: the build folder, the private library folder
# and the application id, as the install rules name them.
set -euo pipefail
build="$1"
libdir="$2"
app_id="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

expect_file() {
    [ -f "$prefix/$1" ] || fail "not installed: $1"
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

expect_file bin/kestrova_headless
[ -x "$prefix/bin/kestrova_headless" ] || fail "kestrova_headless is not executable"
if [ -f "$build/bin/kestrova_zizizada" ]; then expect_file bin/kestrova_zizizada; fi
expect_file "$libdir/libplanewright.so"
[ ! -e "$prefix/bin/libplanewright.so" ] || fail "libplanewright.so lies in bin/"
expect_file "share/applications/$app_id.desktop"
expect_file "share/metainfo/$app_id.metainfo.xml"
expect_file "share/icons/hicolor/scalable/apps/$app_id.svg"
for size in 48 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
    if [ -f "$png" ]; then
        # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
        [ "$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] ||
            fail "$png is not $size x $size"
    else
        fail "no ${size}x${size} icon"
    fi
done
programs=(kestrova_headless)
if [ -f "$build/bin/kestrova_zizizada" ]; then programs+=(kestrova_zizizada); fi
for program in "${programs[@]}"; do expect_file "share/man/man1/$program.1.gz"; done
expect_file share/doc/kestrova-zizizada/examples/kestrova-headless.service
expect_file share/doc/kestrova-zizizada/copyright
expect_file share/doc/kestrova-zizizada/changelog.gz

desktop-file-validate "$prefix/share/applications/$app_id.desktop" || fail "desktop file"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >"$work/as.log" ||
    { cat "$work/as.log"; fail "metainfo file"; }
for program in "${programs[@]}"; do
    page="$prefix/share/man/man1/$program.1.gz"
    [ -f "$page" ] || continue
    man_warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l \
        "$page" 2>&1 >/dev/null)"
    [ -z "$man_warnings" ] || fail "$program man page: $man_warnings"
done
# The runner's manual names exactly the options its --help names.
options() { grep -oE -- '--[a-z]([a-z-]*[a-z])?' | sort -u | tr '\n' ' '; }
help_options="$("$prefix/bin/kestrova_headless" --help | options)"
man_options="$(gzip -dc "$prefix/share/man/man1/kestrova_headless.1.gz" | sed 's/\\-/-/g' | options)"
[ "$help_options" = "$man_options" ] ||
    fail "--help names '$help_options', the man page '$man_options'"

# The installed runner, from another folder, with settings and logs of its own: it must find
# libplanewright.so and the codec libraries without the build tree.
mkdir -p "$work/elsewhere" "$work/home"
(cd "$work/elsewhere" && env -u KZ_UPDATE_HOST HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_STATE_HOME="$work/home/.local/state" "$prefix/bin/kestrova_headless" --seconds 3 \
    --file x.ogg >"$work/run.log" 2>&1) || { cat "$work/run.log"; fail "installed run"; }
ogg="$work/elsewhere/x.ogg"
if [ -s "$ogg" ]; then
    streams="$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$ogg" | sort | tr '\n' ' ')"
    [ "$streams" = "theora vorbis " ] || fail "recording holds '$streams', not theora and vorbis"
    duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$ogg")"
    awk -v d="$duration" 'BEGIN { exit !(d >= 2.5 && d <= 3.5) }' ||
        fail "recording lasts $duration s, not about 3"
else
    cat "$work/run.log"
    fail "no recording"
fi

# The event log of that run lies in the user's state folder, none beside the program.
state_logs="$work/home/.local/state/kestrova-zizizada/logs"
event_log="$(ls "$state_logs"/kestrova_headless\ *.log 2>/dev/null | head -n 1)"
if [ -n "$event_log" ]; then
    [ "$(head -n 1 "$event_log" | cut -d, -f3-)" = $'100,"Feed kestrova_headless started"\r' ] ||
        fail "the event log does not start with its start record"
    [ "$(tail -n 1 "$event_log" | cut -d, -f3-)" = $'101,"Feed kestrova_headless stopped"\r' ] ||
        fail "the event log does not end with its end record"
else
    fail "no event log in $state_logs"
fi
[ ! -e "$prefix/bin/logs" ] || fail "an event log folder was made beside the installed program"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "Installed tree in order; the installed runner recorded $duration s of Theora and Vorbis."
