#!/usr/bin/env bash
# Kills the settings save loop (tests/profiles/saveloop.cpp) with SIGKILL at random
# moments, KILLS times (default 250), and checks after every kill that the settings file
# parses and holds one whole state, never an older one than before. The test suite runs
# the same check with 20 kills; this is the long run.
#
#   bench/profiles/save-kill.sh [KILLS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${TTT_BUILD_DIR:-$root/build}"
kills="${1:-250}"
test_bin="$build/tests/test_profiles"
[[ -x "$test_bin" && -x "$build/tests/ttt_saveloop" ]] || cmake --build "$build" --target test_profiles ttt_saveloop
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
start=$(date +%s.%N)
TTT_SAVE_KILLS="$kills" "$test_bin" killedWhileSaving
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v k="$kills" 'BEGIN { printf "%d kills in %.1f s (%.0f ms each)\n", k, e - s, (e - s) * 1000 / k }'
