#!/usr/bin/env bash
# The fault-injection scenarios of tests/faults with the design's bound: the GUI thread
# never blocked for 100 ms or more (its wait for a CPU taken off, see
# tests/common/eventloopprobe.h). Prints the longest block of each scenario per run.
#
#   bench/faults/run.sh [RUNS]     (default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${TTT_BUILD_DIR:-$root/build}"
runs="${1:-3}"
cmake --build "$build" --parallel 2 --target test_faults
export TONETUNINGTOOL_HID_LIBRARY="$build/bin/libheadset-emulator.so"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
export TTT_FAULTS_BLOCK_LIMIT_MS="${TTT_FAULTS_BLOCK_LIMIT_MS:-100}"
status=0
for run in $(seq "$runs"); do
    echo "== run $run (bound ${TTT_FAULTS_BLOCK_LIMIT_MS} ms)"
    out=$("$build/faults/test_faults" 2>&1) || status=1
    grep -E '^(faults:|FAIL!|Totals)' <<<"$out" | sed -e 's/^faults: /  /' -e 's/^FAIL!  : FaultsTest::/  FAILED /' || true
done
exit $status
