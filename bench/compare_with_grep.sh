#!/usr/bin/env bash
# Times spurwerk-find against GNU grep (and ripgrep) on generated CAD trees, checks that every
# tool finds the same files and prints the medians of paired runs, then spurwerk-find's memory.
#
# Usage: bench/compare_with_grep.sh [warm] [cold] [small] [levels] [share]
#        (warm, cold, small and levels when none is named)
#   warm   the tree of FILES CAD files, in the page cache: grep, spurwerk-find, a run through the
#          main window (its first, and its second in a window that has run once)
#   cold   the same tree, its file data dropped from the page cache before every timed command:
#          grep, spurwerk-find, ripgrep with 8 threads
#   small  a tree of SMALL_FILES small files in the page cache: grep, spurwerk-find
#   levels a tree of FILES CAD files whose assemblies hold each other's names, in the page cache:
#          spurwerk-find --levels LEVELS against one grep per level (bench/grep_levels.py), the
#          where-used window's answer against spurwerk-find, the time of each level, and a level
#          with hundreds of names against one with one name
#   share  the tree of FILES CAD files through a file system that delays every request as a file
#          server across the network does (bench/latency_share.cpp, FUSE; needs root), at each
#          delay of SHARE_DELAYS_US: grep, spurwerk-find, ripgrep with 8 threads
#
# Settings from the environment: RUNS (paired runs, default 9), FILES (size of the CAD tree,
# default 3000), SMALL_FILES (default 200000), LEVELS (default 4), BUILD_DIR (default build),
# SHARE_RUNS (paired runs of the share scenario, default 3: a round at 2 ms takes about 40 s),
# SHARE_DELAYS_US (default "500 1000 2000").
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-9}
files=${FILES:-3000}
small_files=${SMALL_FILES:-200000}
levels=${LEVELS:-4}
share_runs=${SHARE_RUNS:-3}
share_delays_us=${SHARE_DELAYS_US:-500 1000 2000}
source bench/common.sh
text=WELLE_0815 # the part name make-cad-tree embeds
out=bench/out
index_cache=$PWD/bench/tree/index-cache # the share's index, kept beside the trees
export LC_ALL=C # byte order for sort, byte semantics for grep, a dot in EPOCHREALTIME
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(warm cold small levels)

# Installs the Debian packages of the programs named (PROGRAM:PACKAGE), where a program is missing.
need() {
    local missing=() program
    for program in "$@"; do
        command -v "${program%%:*}" >/dev/null || missing+=("${program#*:}")
    done
    [ ${#missing[@]} -eq 0 ] || install_packages "${missing[@]}"
}

install_packages() {
    local as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "$@"
}
need /usr/bin/time:time vmtouch:vmtouch rg:ripgrep python3:python3

build_targets spurwerk-find make-cad-tree spurwerk-form1-run spurwerk-level-cost \
    spurwerk-where-used-run
spurwerk_find=$build_dir/src/spurwerk-find
form1_run=$build_dir/bench/spurwerk-form1-run

# The timed commands. Each prints the paths of its hits, one per line; the first of a scenario
# is the baseline whose hits the others must match. To add one, write run_<name> and list it in
# a scenario; a command that times itself also writes own_seconds_<name>, which then replaces
# the time taken from outside.
run_grep() { grep -rlF --include='*.[aA][sS][mM]*' -- "$text" "$tree"; }
run_spurwerk() { "$spurwerk_find" --no-index --type asm "$text" "$tree"; }
# with an index of the tree made beforehand (make_index), untimed
run_indexed() { XDG_CACHE_HOME=$index_cache "$spurwerk_find" --type asm "$text" "$tree"; }
make_index() {
    rm -rf "$index_cache"
    XDG_CACHE_HOME=$index_cache "$build_dir/src/spurwerk-index" update --settle 0 "$tree" >/dev/null
}
# -a: without it ripgrep passes over files that hold NUL bytes, and so does less work
run_rg() { rg -j8 -a -lF --iglob '*.asm*' -- "$text" "$tree"; }
# A run through the main window, with criterion "asm"; the program's start-up is no part of it.
run_window() {
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$out/config XDG_RUNTIME_DIR=$out/runtime \
        "$form1_run" "$text" "$tree" 2>"$out/window.log"
}
own_seconds_window() { sed -n 's/^run seconds: //p' "$out/window.log"; }
# The window's second run: the first painting of the result panel, once per start, is behind it.
run_window2() {
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$out/config XDG_RUNTIME_DIR=$out/runtime \
        "$form1_run" --second "$text" "$tree" 2>"$out/window2.log"
}
own_seconds_window2() { sed -n 's/^run seconds: //p' "$out/window2.log"; }
# Where-used up to level LEVELS: each prints LEVEL<TAB>PATH per file. The grep way's time is
# that of its greps alone; the names of each level are derived between them, untimed.
run_grep_levels() {
    python3 bench/grep_levels.py "$levels" "$text" '*.[aA][sS][mM]*' "$tree" "$out/by_hand"
    cat "$out/by_hand.levels" >>"$out/by_hand.history"
}
own_seconds_grep_levels() { cat "$out/by_hand.seconds"; }
run_spurwerk_levels() { "$spurwerk_find" --levels "$levels" --type asm "$text" "$tree" | cut -f1,2; }
# The where-used window's answer, offscreen, from the question to the finished tree: it searches
# the drawings too, once, after the levels; only its assemblies are compared.
run_window_levels() {
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$out/config XDG_RUNTIME_DIR=$out/runtime \
        "$build_dir/bench/spurwerk-where-used-run" "$levels" "$text" "$tree" \
        2>"$out/window_levels.log" |
        awk -F'\t' '{ n = split($2, part, "/"); split(part[n], piece, ".")
                       if (tolower(piece[2]) == "asm") print }'
}
# The time until the last level's assemblies were shown, before the drawings were read, is kept
# for the medians printed after the scenario.
own_seconds_window_levels() {
    sed -n "s/^level $levels shown after seconds: //p" "$out/window_levels.log" \
        >>"$out/window_assemblies.seconds"
    sed -n 's/^run seconds: //p' "$out/window_levels.log"
}

# Before each timed command of the cold scenario: the tree's file data leaves the page cache,
# as after a restart, without root (vmtouch drops each file's pages with posix_fadvise).
drop_tree_from_memory() { vmtouch -q -e "$tree"; }
before_each=:

# The share: source_tree served at share_mount by latency-share with delay_us per request. It is
# mounted anew before each timed command, so that no command finds names, attributes or file data
# that the one before left in the kernel's caches; the source tree itself stays in the page cache,
# as a file server's would.
share_mount=
mount_share() {
    [ -n "$share_mount" ] || share_mount=$(mktemp -d "${TMPDIR:-/tmp}/spurwerk-share.XXXXXX")
    "$build_dir/bench/latency-share" "$source_tree" "$share_mount" -o "delay_us=$delay_us"
    tree=$share_mount
}
unmount_share() {
    if [ -n "$share_mount" ] && mountpoint -q "$share_mount"; then
        fusermount3 -u "$share_mount" || fusermount3 -uz "$share_mount"
    fi
}
remount_share() {
    unmount_share
    mount_share
}
# Every way out of the script unmounts the share: an error, the end, Ctrl-C, a kill.
leave() {
    unmount_share
    [ -z "$share_mount" ] || rmdir "$share_mount"
}
trap leave EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs one command into $out/<name>.txt, sets last_seconds to the time it took, and fails
# unless it ended normally (0 found, 1 none) and found exactly the baseline's files. The clock is
# bash's own, read without starting a process.
run_checked() {
    local name=$1 status=0 start end
    "$before_each"
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


# Times the commands of one scenario (commands, ratios) on tree in paired runs and prints the
# medians of the times and of the per-round ratios.
compare() {
    rm -rf "$out"
    mkdir -p "$out" "$out/config"
    mkdir -m 700 "$out/runtime"

    # One untimed round warms the page cache (for the warm scenarios) and fixes the expected set.
    for name in "${commands[@]}"; do
        run_checked "$name"
        [ -f "$out/expected.sorted" ] || cp "$out/$name.sorted" "$out/expected.sorted"
    done
    echo "hits: $(wc -l <"$out/expected.sorted") files"

    # Paired runs; the order rotates from round to round so neither command always runs first.
    local count=${#commands[@]} round i name ratio
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
}

# spurwerk-find's peak memory on a folder, in KB; further arguments are options for it.
max_rss_kb() {
    local folder=$1 status=0
    shift
    /usr/bin/time -f %M -o "$out/time.txt" "$spurwerk_find" "$@" --type asm "$text" "$folder" \
        >/dev/null || status=$?
    if [ "$status" -gt 1 ]; then
        echo "spurwerk-find ended with status $status" >&2
        exit 2
    fi
    tail -1 "$out/time.txt"
}

# Memory: the search holds one chunk and the carry-over, whatever a file's size, so the peak
# with the largest assembly alone is the peak with the smallest one alone.
memory_per_file() {
    local end size path
    for end in head tail; do
        read -r size path < <(find "$tree" -type f -iname '*.asm*' -size +0 -printf '%s %p\n' |
            sort -n | "$end" -1)
        mkdir -p "$out/$end"
        cp "$path" "$out/$end/"
        echo "max RSS spurwerk-find: $(max_rss_kb "$out/$end") KB with one assembly of $size bytes"
    done
}

# Each level's time: spurwerk-find --levels k less --levels k - 1, medians of RUNS rounds, beside
# the time of grep's level k, with the names looked for and the files found at that level; then
# a level with the hundreds of names of level 2 against one with the first of them, on the same
# files.
per_level() {
    local k round start end before=0 mine grep_seconds
    for ((round = 1; round <= runs; ++round)); do
        for ((k = 1; k <= levels; ++k)); do
            start=$EPOCHREALTIME
            "$spurwerk_find" --levels "$k" --type asm "$text" "$tree" >/dev/null || [ $? -eq 1 ]
            end=$EPOCHREALTIME
            awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }' >>"$out/levels$k.seconds"
        done
    done
    printf '%-6s %6s %6s %10s %14s %6s\n' level names files grep spurwerk-find ratio
    for ((k = 1; k <= levels; ++k)); do
        [ -s "$out/levels$k.seconds" ] || break
        mine=$(median <"$out/levels$k.seconds")
        grep_seconds=$(awk -v k="$k" '$1 == k { print $4 }' "$out/by_hand.history" | median)
        awk -v k="$k" -v all="$mine" -v before="$before" -v g="$grep_seconds" \
            '$1 == k && !shown { shown = 1; printf "%-6s %6s %6s %10.4f %14.4f %6.2f\n", k, $2, $3, g, all - before, (all - before) / g }' \
            "$out/by_hand.levels"
        before=$mine
    done
    "$build_dir/bench/spurwerk-level-cost" "$out/by_hand.names.2" "$tree" "$runs"
}

for scenario in "${scenarios[@]}"; do
    echo "== $scenario"
    before_each=:
    case $scenario in
    warm)
        use_tree "cad-$files" "$files"
        commands=(grep spurwerk window window2)
        ratios=(spurwerk/grep window/spurwerk window2/spurwerk)
        compare
        memory_per_file
        ;;
    cold)
        use_tree "cad-$files" "$files"
        before_each=drop_tree_from_memory
        drop_tree_from_memory
        echo "in memory after dropping: $(vmtouch "$tree" | sed -n 's/ *Resident Pages: //p')"
        commands=(grep spurwerk rg)
        ratios=(spurwerk/rg spurwerk/grep)
        compare
        ;;
    small)
        use_tree "small-$small_files" --small "$small_files"
        commands=(grep spurwerk)
        ratios=(spurwerk/grep)
        compare
        ;;
    levels)
        use_tree "levels-$files" --levels "$files"
        commands=(grep_levels spurwerk_levels window_levels)
        ratios=(spurwerk_levels/grep_levels window_levels/spurwerk_levels)
        compare
        echo "median window_levels up to the assemblies of level $levels, before the drawings:" \
            "$(median <"$out/window_assemblies.seconds") s"
        per_level
        echo "max RSS spurwerk-find --levels $levels: $(max_rss_kb "$tree" --levels "$levels") KB"
        ;;
    share)
        need fusermount3:fuse3 pkg-config:pkg-config mountpoint:util-linux
        pkg-config --exists fuse3 || install_packages libfuse3-dev
        build_targets latency-share spurwerk-index
        use_tree "cad-$files" "$files"
        source_tree=$tree
        local_runs=$runs
        runs=$share_runs
        for delay_us in $share_delays_us; do
            echo "-- delay $delay_us us per request"
            unmount_share
            mount_share
            before_each=remount_share
            # the index made through the share, untimed, as the user timer would
            make_index
            commands=(grep spurwerk rg indexed)
            ratios=(spurwerk/rg spurwerk/grep indexed/spurwerk indexed/rg)
            compare
        done
        runs=$local_runs
        ;;
    *)
        echo "unknown scenario $scenario (warm, cold, small, levels or share)" >&2
        exit 2
        ;;
    esac
    echo "max RSS spurwerk-find: $(max_rss_kb "$tree") KB on the whole tree"
done
