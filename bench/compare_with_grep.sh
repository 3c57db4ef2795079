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
export LC_ALL=C # byte order for sort, byte semantics for grep: both compare bytes

if [ ! -x /usr/bin/time ]; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends time
fi

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" --target spurwerk-find make-cad-tree --parallel "$(nproc)" >/dev/null
spurwerk_find=$build_dir/src/spurwerk-find

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
# baseline the others are measured against. To add one, write run_<name> and list it here.
commands=(grep spurwerk)
run_grep() { grep -rlF --include='*.[aA][sS][mM]*' -- "$text" "$tree"; }
run_spurwerk() { "$spurwerk_find" --type asm "$text" "$tree"; }

rm -rf "$out"
mkdir -p "$out"

# Runs one command into $out/<name>.txt and fails unless it ended normally (0 found, 1 none)
# and found exactly the baseline's files.
run_checked() {
    local name=$1 status=0
    "run_$name" >"$out/$name.txt" || status=$?
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

now_ns() { date +%s%N; }

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
        start=$(now_ns)
        run_checked "$name"
        seconds[$name]=$(awk -v ns=$(($(now_ns) - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')
    done
    printf '%-6s' "$round"
    for name in "${commands[@]}"; do
        printf ' %10s' "${seconds[$name]}"
        echo "${seconds[$name]}" >>"$out/$name.seconds"
        [ "$name" = "${commands[0]}" ] || awk -v a="${seconds[$name]}" -v b="${seconds[${commands[0]}]}" \
            'BEGIN { printf "%.4f\n", a / b }' >>"$out/$name.ratios"
    done
    echo
done

for name in "${commands[@]}"; do
    printf 'median %-10s %s s' "$name" "$(median <"$out/$name.seconds")"
    [ "$name" = "${commands[0]}" ] || printf ', median ratio %s/%s %s' "$name" "${commands[0]}" \
        "$(median <"$out/$name.ratios")"
    echo
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
