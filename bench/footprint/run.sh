#!/usr/bin/env bash
# The footprint bench (footprint.cpp) and the show-after-tray timing (reshow.cpp), measured in
# an optimised build without sanitizers (build-bench/, or TTT_BENCH_BUILD_DIR), under Xvfb with
# a tray host (trayer) so that the programs hide into a tray as on a desktop.
#
#   bench/footprint/run.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${TTT_BENCH_BUILD_DIR:-$root/build-bench}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTTT_SANITIZE=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --parallel 2 --target ToneTuningTool ttt_data_files headset-emulator headset-emulator-ctl \
    bench-footprint bench-footprint-bare bench-footprint-reshow
export TTT_BIN_DIR="$build/bin"
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    trayer --edge top --align right --widthtype request --expand true --transparent false >/dev/null 2>&1 &
    tray=$!
    sleep 1
    status=0
    "$1/bench/bench-footprint" || status=$?
    "$1/bench/footprint-reshow/bench-footprint-reshow" 2>/dev/null || status=$?
    kill $tray
    exit $status
' _ "$build"
