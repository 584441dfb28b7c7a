#!/usr/bin/env bash
# CPU of the program while the spectrum animates (see cpu.cpp), in a build without
# sanitizers (build-bench/, or TTT_BENCH_BUILD_DIR), on an X display (xvfb-run when
# there is none).
#
#   bench/spectrum/run.sh [SECONDS] [FRAMES_PER_SECOND]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${TTT_BENCH_BUILD_DIR:-$root/build-bench}"
# Configured every time: a bench folder added since the last run must be picked up.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTTT_SANITIZE=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --parallel 2 --target ToneTuningTool ttt_data_files headset-emulator headset-emulator-ctl bench-spectrum-cpu
export TTT_BIN_DIR="$build/bin"
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$build/bench/bench-spectrum-cpu" "$@"
fi
exec "$build/bench/bench-spectrum-cpu" "$@"
