#!/usr/bin/env bash
# A search's memory with the desktop's index, and what checking every record costs. On the share
# of TEXT_FILES (default 200,000) small text-like files (make-cad-tree --text), whose records are
# as large as the files: the peak memory (maximum resident set) of --from-index, of
# --from-index --levels 4 and of an indexed run. On the benchmark's CAD tree of CAD_FILES (default
# 3,000) files and on the text tree: an indexed run of this build against the programs in the
# build directory BEFORE (another version, optional), in alternating rounds, median of the
# per-round ratios. Each program keeps an index of its own, as their layouts may differ.
#
# Usage: [BEFORE=OTHER_BUILD_DIR] bench/index_memory_figures.sh   (RUNS rounds, default 9)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

files=${TEXT_FILES:-200000}
cad_files=${CAD_FILES:-3000}
runs=${RUNS:-9}
text=WELLE_0815
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (package time)" >&2; exit 1; }

build_targets spurwerk-find spurwerk-index make-cad-tree
use_tree "cad-$cad_files" "$cad_files"
cad_tree=$tree
use_tree "text-$files" --text "$files"
text_tree=$tree
make_work_folder index-memory

programs=("$build_dir/src")
[ -n "${BEFORE:-}" ] && programs+=("$BEFORE/src")
# PROGRAM COMMAND ARGUMENTS...: the command of that program (0: this build), with its own index
with_index() {
    local program=$1 command=$2
    shift 2
    XDG_CACHE_HOME=$work/cache$program "${programs[$program]}/$command" "$@"
}
for program in "${!programs[@]}"; do
    with_index "$program" spurwerk-index update --settle 0 "$cad_tree" "$text_tree" >/dev/null 2>&1
    for tree in "$cad_tree" "$text_tree"; do
        cmp <("${programs[0]}/spurwerk-find" --no-index --type asm "$text" "$tree" | sort) \
            <(with_index "$program" spurwerk-find --type asm "$text" "$tree" 2>/dev/null | sort) ||
            { echo "${programs[$program]}: the indexed run differs from the scan" >&2; exit 1; }
    done
done
echo "index of both trees: $(stat -c %s "$work/cache0/spurwerk/index.sqlite") bytes"

# PROGRAM ARGUMENTS...: the peak memory of spurwerk-find
max_rss_kb() {
    /usr/bin/time -v env XDG_CACHE_HOME="$work/cache$1" "${programs[$1]}/spurwerk-find" "${@:2}" \
        2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }'
}
for program in "${!programs[@]}"; do
    echo "${programs[$program]}: max RSS on the text tree:" \
         "--from-index $(max_rss_kb "$program" --from-index --type asm "$text" "$text_tree") KB," \
         "--from-index --levels 4 $(max_rss_kb "$program" --from-index --levels 4 --type asm "$text" "$text_tree") KB," \
         "indexed run $(max_rss_kb "$program" --type asm "$text" "$text_tree") KB (goal < 65,536 KB)"
done

[ ${#programs[@]} -eq 2 ] || exit 0
# PROGRAM COMMAND ARGUMENTS...: "elapsed processor" seconds of the command; on a shared machine
# the processor time varies less than the time that passes
seconds() {
    local program=$1
    shift
    XDG_CACHE_HOME="$work/cache$program" python3 -c '
import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
used = resource.getrusage(resource.RUSAGE_CHILDREN)
print(time.monotonic() - start, used.ru_utime + used.ru_stime)' "${programs[$program]}/$@"
}
for tree in "$cad_tree" "$text_tree"; do
    : >"$work/elapsed"
    : >"$work/processor"
    for ((round = 0; round < runs; ++round)); do
        # which goes first alternates, so that neither always finds the other's pages warm
        if ((round % 2 == 0)); then
            read -r before_e before_p < <(seconds 1 spurwerk-find --type asm "$text" "$tree")
            read -r now_e now_p < <(seconds 0 spurwerk-find --type asm "$text" "$tree")
        else
            read -r now_e now_p < <(seconds 0 spurwerk-find --type asm "$text" "$tree")
            read -r before_e before_p < <(seconds 1 spurwerk-find --type asm "$text" "$tree")
        fi
        python3 -c "print(round($now_e / $before_e, 4))" >>"$work/elapsed"
        python3 -c "print(round($now_p / $before_p, 4))" >>"$work/processor"
    done
    echo "$(basename "$tree"): indexed run, this build / BEFORE, median of $runs rounds:" \
         "elapsed $(median <"$work/elapsed"), processor $(median <"$work/processor") (goal <= 1.03)"
done
