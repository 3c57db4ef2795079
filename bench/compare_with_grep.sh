#!/usr/bin/env bash
# Times spurwerk-find against GNU grep on the generated CAD tree with a warm cache, checks that
# both find the same files and prints the medians of paired runs, then spurwerk-find's memory.
#
# Settings from the environment: RUNS (paired runs, default 9), FILES (size of the tree,
# default 3000), BUILD_DIR (default build).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-9}
files=${FILES:-3000}
build_dir=${BUILD_DIR:-build}
text=WELLE_0815 # the part name make-cad-tree embeds
out=bench/out
export LC_ALL=C # byte order for sort, byte semantics for grep, a dot in EPOCHREALTIME

if [ ! -x /usr/bin/time ]; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends time
fi

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" --target spurwerk-find make-cad-tree spurwerk-form1-run \
    --parallel "$(nproc)" >/dev/null
spurwerk_find=$build_dir/src/spurwerk-find
form1_run=$build_dir/bench/spurwerk-form1-run

# The tree's name carries the generator's checksum, so a changed generator makes a new tree.
tree=$PWD/bench/tree/cad-$files-$(sha1sum bench/make_cad_tree.cpp | cut -c1-8)
if [ ! -d "$tree" ]; then
    rm -rf bench/tree
    mkdir -p bench/tree
    "$build_dir/bench/make-cad-tree" "$tree.partial" "$files"
    mv "$tree.partial" "$tree"
fi
echo "tree: $tree ($(du -sh "$tree" | cut -f1)), text $text"

# The timed commands. Each prints the paths of its hits, one per line; the first is the
# baseline whose hits the others must match. To add one, write run_<name> and list it here;
# a command that times itself also writes own_seconds_<name>, which then replaces the time
# taken from outside.
commands=(grep spurwerk window)
# Medians of these per-round ratios are printed last.
ratios=(spurwerk/grep window/spurwerk)
run_grep() { grep -rlF --include='*.[aA][sS][mM]*' -- "$text" "$tree"; }
run_spurwerk() { "$spurwerk_find" --type asm "$text" "$tree"; }
# A run through the main window, with criterion "asm"; the program's start-up is no part of it.
run_window() {
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$out/config XDG_RUNTIME_DIR=$out/runtime \
        "$form1_run" "$text" "$tree" 2>"$out/window.log"
}
own_seconds_window() { sed -n 's/^run seconds: //p' "$out/window.log"; }

rm -rf "$out"
mkdir -p "$out" "$out/config"
mkdir -m 700 "$out/runtime"

# Runs one command into $out/<name>.txt, sets last_seconds to the time it took, and fails
# unless it ended normally (0 found, 1 none) and found exactly the baseline's files. The clock is
# bash's own, read without starting a process.
run_checked() {
    local name=$1 status=0 start end
    start=$EPOCHREALTIME
    "run_$name" >"$out/$name.txt" || status=$?
    end=$EPOCHREALTIME
    last_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
    if declare -F "own_seconds_$name" >/dev/null; then
        last_seconds=$("own_seconds_$name")
    fi
    if [ "$status" -gt 1 ]; then
        echo "$name ended with status $status" >&2
        exit 2
    fi
    sort "$out/$name.txt" >"$out/$name.sorted"
    if [ -f "$out/expected.sorted" ] && ! cmp -s "$out/expected.sorted" "$out/$name.sorted"; then
        echo "$name found other files than ${commands[0]} (< ${commands[0]}, > $name):" >&2
        diff "$out/expected.sorted" "$out/$name.sorted" | head -20 >&2
        exit 1
    fi
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One untimed round warms the page cache and fixes the expected set.
for name in "${commands[@]}"; do
    run_checked "$name"
    [ -f "$out/expected.sorted" ] || cp "$out/$name.sorted" "$out/expected.sorted"
done
echo "hits: $(wc -l <"$out/expected.sorted") files"

# Paired runs; the order rotates from round to round so neither command always runs first.
count=${#commands[@]}
printf '%-6s' run
printf ' %10s' "${commands[@]}"
echo ' (seconds)'
declare -A seconds
for ((round = 1; round <= runs; ++round)); do
    for ((i = 0; i < count; ++i)); do
        name=${commands[(round + i) % count]}
        run_checked "$name"
        seconds[$name]=$last_seconds
    done
    printf '%-6s' "$round"
    for name in "${commands[@]}"; do
        printf ' %10s' "${seconds[$name]}"
        echo "${seconds[$name]}" >>"$out/$name.seconds"
    done
    echo
    for ratio in "${ratios[@]}"; do
        awk -v a="${seconds[${ratio%/*}]}" -v b="${seconds[${ratio#*/}]}" \
            'BEGIN { printf "%.4f\n", a / b }' >>"$out/${ratio/\//-}.ratios"
    done
done

for name in "${commands[@]}"; do
    echo "median $name $(median <"$out/$name.seconds") s"
done
for ratio in "${ratios[@]}"; do
    echo "median ratio $ratio $(median <"$out/${ratio/\//-}.ratios")"
done

# Memory: the search holds one chunk and the carry-over, whatever a file's size, so the peak
# with the largest assembly alone is the peak with the smallest one alone.
max_rss_kb() {
    local status=0
    /usr/bin/time -f %M -o "$out/time.txt" "$spurwerk_find" --type asm "$text" "$1" >/dev/null ||
        status=$?
    if [ "$status" -gt 1 ]; then
        echo "spurwerk-find ended with status $status" >&2
        exit 2
    fi
    tail -1 "$out/time.txt"
}
# Prints "size path" of the assembly at one end of the order by size.
assembly_by_size() {
    find "$tree" -type f -iname '*.asm*' -size +0 -printf '%s %p\n' | sort -n | "$1" -1
}
for end in head tail; do
    read -r size path < <(assembly_by_size "$end")
    mkdir -p "$out/$end"
    cp "$path" "$out/$end/"
    echo "max RSS spurwerk-find: $(max_rss_kb "$out/$end") KB with one assembly of $size bytes"
done
echo "max RSS spurwerk-find: $(max_rss_kb "$tree") KB on the whole tree"
