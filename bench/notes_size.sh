#!/usr/bin/env bash
# Times the notes pad with 10 MB of notes (MEGABYTES), in lines of names and in lines of paths:
# the start with them (store read, window start, first painting), the close that saves them, and
# the peak memory of the whole process. RUNS rounds each (default 5); prints medians.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
megabytes=${MEGABYTES:-10}
runs=${RUNS:-5}

build_targets spurwerk-notes-size
make_work_folder notes
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work" XDG_RUNTIME_DIR="$work"

for lines in short paths; do
    "$build_dir/bench/spurwerk-notes-size" "$megabytes" "$lines" store
    for ((run = 0; run < runs; run++)); do
        /usr/bin/time -f "peak %M" "$build_dir/bench/spurwerk-notes-size" "$megabytes" "$lines" 2>&1
    done | python3 -c '
import statistics, sys
times, peaks = {}, []
for line in sys.stdin:
    words = line.split()
    if words[0] == "peak":
        peaks.append(int(words[1]) / 1024)
    else:
        for name, value in zip(words[::2], words[1::2]):
            times.setdefault(name, []).append(float(value))
read, load, show, close = (statistics.median(times[name]) for name in ("read", "load", "show", "close"))
print(f"{sys.argv[1]} MB of {sys.argv[2]} lines, median of {len(peaks)}: "
      f"start {read + load + show:.2f} s (read {read:.2f}, window {load:.2f}, painting {show:.2f}), "
      f"close {close:.2f} s, peak memory {statistics.median(peaks):.0f} MB")
' "$megabytes" "$lines"
done
