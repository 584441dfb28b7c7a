#!/usr/bin/env bash
# Resident memory around speaker tests (see memory.cpp), measured in a build without
# sanitizers (build-bench/, or TTT_BENCH_BUILD_DIR), which this script configures once.
#
#   bench/speakertest/run.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${TTT_BENCH_BUILD_DIR:-$root/build-bench}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTTT_SANITIZE=OFF -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" --parallel 2 --target ToneTuningTool ttt_data_files headset-emulator bench-speakertest-memory
"$build/bench/speakertest-memory/bench-speakertest-memory" "${1:-3}" 2>/dev/null
