#!/usr/bin/env bash
# Builds and runs the soak (default 180 s, at most 600): the window on the headset
# emulator under random hot-plug cycles, preset clicks, custom mode edits and spectrum
# streaming, then the settings-file and flatness checks. Not part of CI.
#
#   bench/soak/run.sh [SECONDS] [SEED]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${TTT_BUILD_DIR:-$root/build}"
cmake --build "$build" --parallel 2 --target ttt_soak
export TONETUNINGTOOL_HID_LIBRARY="$build/bin/libheadset-emulator.so"
export QT_QPA_PLATFORM=offscreen
# The sanitizers' quarantine and leak check would only blur the heap figures.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
args=(--seconds "${1:-180}")
[[ -n "${2:-}" ]] && args+=(--seed "$2")
exec "$build/soak/ttt_soak" "${args[@]}"
