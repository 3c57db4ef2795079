#!/usr/bin/env bash
# The where-used index against a scan, on the share-like tree of SMALL_FILES (default 200,000)
# small files that bench/compare_with_grep.sh small searches too: an indexed run against a scan
# with the tree's data in memory and dropped from it, --from-index alone and with --levels 4, the
# first update against a scan that reads every file, an update after 1 % of the files changed
# against the walk and reading those files, the index's size and a search's memory; and the
# indexed run against a scan on CAD_FILES (default 20,000) files of the benchmark's CAD tree,
# where files are larger.
#
# Usage: bench/index_figures.sh        (RUNS rounds, default 5; SMALL_FILES, CAD_FILES files)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

files=${SMALL_FILES:-200000}
cad_files=${CAD_FILES:-20000}
runs=${RUNS:-5}
text=WELLE_0815
for tool in vmtouch /usr/bin/time python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool (bench/compare_with_grep.sh installs it)" >&2; exit 1; }
done

build_targets spurwerk-find spurwerk-index make-cad-tree
find_tool=$build_dir/src/spurwerk-find
index_tool=$build_dir/src/spurwerk-index
use_tree "cad-$cad_files" "$cad_files"
cad_tree=$tree
use_tree "small-$files" --small "$files"
make_work_folder index
export XDG_CACHE_HOME=$work/cache

# Seconds the command takes, its output dropped.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    python3 -c "print(round($end - $start, 4))"
}
ratio() { python3 -c "print(round($1 / $2, 3))"; }

scan() { "$find_tool" --no-index --type asm "$text" "$tree"; }
indexed() { "$find_tool" --type asm "$text" "$tree"; }
# no name holds ".none": the walk alone
walk() { "$find_tool" --no-index --type none "$text" "$tree"; }
# a text no file holds, in every file: each is read to its end
read_everything() { "$find_tool" --no-index --type '*' QX_NOWHERE_9 "$tree"; }

# each round a first update into an empty index against a scan that reads every file
read_everything >/dev/null || true
: >"$work/first"
for ((round = 0; round < runs; ++round)); do
    rm -rf "$XDG_CACHE_HOME/spurwerk"
    first_update=$(seconds "$index_tool" update --settle 0 "$tree")
    full_read=$(seconds read_everything)
    echo "first update $first_update s, reading every file $full_read s" >&2
    ratio "$first_update" "$full_read" >>"$work/first"
done
echo "first update / a scan that reads every file: median $(median <"$work/first") (goal <= 2)"
"$index_tool" status
indexed_bytes=$(python3 -c "import os
print(sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk('$tree') for f in fs))")
index_bytes=$(stat -c %s "$XDG_CACHE_HOME/spurwerk/index.sqlite")
echo "index size: $index_bytes bytes for $indexed_bytes indexed bytes;" \
     "ratio $(ratio "$index_bytes" "$indexed_bytes") (goal <= 0.10)"

cmp <(scan | sort) <(indexed 2>/dev/null | sort) || { echo "the indexed run differs" >&2; exit 1; }
echo "both find $(scan | wc -l) files"

# Median of per-round ratios indexed/scan, before_each run before every timed command.
compare_runs() {
    local before_each=$1 round scan_seconds indexed_seconds
    : >"$work/ratios"
    for ((round = 0; round < runs; ++round)); do
        $before_each
        scan_seconds=$(seconds scan)
        $before_each
        indexed_seconds=$(seconds indexed)
        echo "$scan_seconds $indexed_seconds" >>"$work/times"
        ratio "$indexed_seconds" "$scan_seconds" >>"$work/ratios"
    done
    median <"$work/ratios"
}
nothing() { :; }
drop_tree() { vmtouch -q -e "$tree"; }
echo "indexed/scan, warm: $(compare_runs nothing) (goal <= 0.4)"
small_tree=$tree
tree=$cad_tree
"$index_tool" update --settle 0 "$tree" >/dev/null
cmp <(scan | sort) <(indexed 2>/dev/null | sort) || { echo "the indexed run differs" >&2; exit 1; }
echo "the CAD tree of $cad_files files: indexed/scan, warm: $(compare_runs nothing);" \
     "file data dropped from memory: $(compare_runs drop_tree)"
tree=$small_tree
echo "indexed/scan, file data dropped from memory: $(compare_runs drop_tree) (goal <= 0.15)"
vmtouch -q -t "$tree"

: >"$work/alone"
: >"$work/levels"
for ((round = 0; round < runs; ++round)); do
    seconds "$find_tool" --from-index --type asm "$text" "$tree" >>"$work/alone"
    seconds "$find_tool" --from-index --levels 4 --type asm "$text" "$tree" >>"$work/levels"
done
echo "--from-index: median $(median <"$work/alone") s (goal < 0.1)"
echo "--from-index --levels 4: median $(median <"$work/levels") s (goal < 0.2)"

# 1 % of the files rewritten with other bytes of another size
find "$tree" -type f | awk 'NR % 100 == 0' >"$work/changed"
while IFS= read -r file; do printf ' WELLE_0815 ' >>"$file"; done <"$work/changed"
walk_seconds=$(seconds walk)
# what no update can do without: every file's size, times and inode, as GNU find looks them up
look_up_every_file() { find "$tree" -type f -printf '%s %T@ %C@ %i\n'; }
look_up_seconds=$(seconds look_up_every_file)
read_changed() { xargs -d '\n' cat <"$work/changed"; }
read_seconds=$(seconds read_changed)
update_seconds=$(seconds "$index_tool" update --settle 0 "$tree")
echo "update after $(wc -l <"$work/changed") files changed: $update_seconds s; the walk" \
     "$walk_seconds s, reading those files $read_seconds s; ratio to walk + 1.2 x read:" \
     "$(python3 -c "print(round($update_seconds / ($walk_seconds + 1.2 * $read_seconds), 3))") (goal <= 1);" \
     "a walk that looks up every file (find -printf) $look_up_seconds s, ratio to it + 1.2 x read:" \
     "$(python3 -c "print(round($update_seconds / ($look_up_seconds + 1.2 * $read_seconds), 3))")"
cmp <(scan | sort) <(indexed 2>/dev/null | sort) || { echo "the indexed run differs" >&2; exit 1; }

max_rss_kb() { /usr/bin/time -f %M "$find_tool" --type asm "$text" "$@" 2>&1 >/dev/null | tail -1; }
echo "max RSS of an indexed search: whole tree $(max_rss_kb "$tree") KB," \
     "one folder of it $(max_rss_kb "$(dirname "$(head -1 "$work/changed")")") KB"
