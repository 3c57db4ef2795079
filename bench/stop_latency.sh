#!/usr/bin/env bash
# How long a run through the main window goes on after a confirmed stop or a close in the middle
# of a large file (see stop_latency.cpp): writes its two files into bench/tree/stop when missing
# (4 GiB of data, and 64 GiB of holes with a data extent at every MiB), runs RUNS rounds of each
# (default 9) and prints the median and the largest latency.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-9}

build_targets spurwerk-stop-latency
make_work_folder stop
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work" XDG_RUNTIME_DIR="$work"
"$build_dir/bench/spurwerk-stop-latency" bench/tree/stop "$runs" 2> >(grep -v 'does not support' >&2)
