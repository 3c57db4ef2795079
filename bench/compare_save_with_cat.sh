#!/usr/bin/env bash
# Times saving 100,000 hits to whatsfound.txt against cat writing the same bytes, with hyperfine:
# the saving program as a whole (it reads the list as cat reads its input) and, in the program, the
# save alone. Prints the medians and their ratios to cat's. HITS and RUNS change the list's length
# and the rounds.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
hits=${HITS:-100000}
runs=${RUNS:-31}

build_targets spurwerk-save-hits
make_work_folder save
mkdir "$work/saved" "$work/copied"
# paths as deep and as long as a CAD share's (about 60 bytes)
awk -v n="$hits" 'BEGIN { for (i = 0; i < n; i++)
    printf "/cad/konstruktion/projekt_%03d/baugruppen/getriebe_%06d.asm.%d\n", i % 300, i, i % 17 }' \
    >"$work/list"
"$build_dir/bench/spurwerk-save-hits" "$work/list" "$work/saved"
cp "$work/saved/whatsfound.txt" "$work/reference"

hyperfine --warmup 3 --runs "$runs" --export-json "$work/times.json" \
    -n save "$build_dir/bench/spurwerk-save-hits $work/list $work/saved" \
    -n cat "cat $work/reference > $work/copied/whatsfound.txt" >/dev/null
cmp "$work/saved/whatsfound.txt" "$work/reference"
cmp "$work/copied/whatsfound.txt" "$work/reference"
alone=$("$build_dir/bench/spurwerk-save-hits" "$work/list" "$work/saved" "$runs")

python3 - "$work/times.json" "$(stat -c %s "$work/reference")" "$alone" <<'PY'
import json, statistics, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
save, cat = (statistics.median(results[name]["times"]) for name in ("save", "cat"))
alone = float(sys.argv[3])
print(f"{int(sys.argv[2]) / 1e6:.1f} MB: cat {cat * 1000:.1f} ms; "
      f"saving program {save * 1000:.1f} ms ({save / cat:.2f} x cat); "
      f"the save alone {alone * 1000:.1f} ms ({alone / cat:.2f} x cat)")
PY
