#!/usr/bin/env bash
# Builds the Debian package from the build folder into a temporary folder and checks it with
# lintian: no error and no warning. Argument: the build folder.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
package="$(ls "$work"/*.deb)"
# Only error and warning tags fail the test; information tags (hardening notes) are allowed.
# Its status is 1 when it finds errors, 2 when it cannot check at all.
status=0
lintian --tag-display-limit 0 "$package" >"$work/lintian.log" 2>&1 || status=$?
if [ "$status" -gt 1 ]; then
    cat "$work/lintian.log"
    echo "FAIL: lintian could not check $(basename "$package")" >&2
    exit 1
fi
if grep -E '^[EW]: ' "$work/lintian.log"; then
    echo "FAIL: lintian finds errors or warnings in $(basename "$package")" >&2
    exit 1
fi
echo "lintian finds no error and no warning in $(basename "$package")."
