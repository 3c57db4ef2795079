# Sourced by the benchmark scripts, from the project's root: the release build they time and the
# temporary folder they work in.
build_dir=${BUILD_DIR:-build}

# Configures the release build in build_dir and builds the targets named.
build_targets() {
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build_dir" --target "$@" --parallel "$(nproc)" >/dev/null
}

# Sets work to a new temporary folder named after $1, removed when the script ends.
make_work_folder() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/spurwerk-$1.XXXXXX")
    trap 'rm -rf "$work"' EXIT
}

# Sets tree to the generated tree NAME, made by make-cad-tree [--small|--levels] FOLDER FILES
# when missing. Its name carries the generator's checksum, so a changed generator makes a new tree.
use_tree() {
    local name=$1 options=()
    shift
    if [[ $1 == --* ]]; then
        options=("$1")
        shift
    fi
    tree=$PWD/bench/tree/$name-$(sha1sum bench/make_cad_tree.cpp | cut -c1-8)
    if [ ! -d "$tree" ]; then
        rm -rf "bench/tree/$name"-*
        mkdir -p bench/tree
        "$build_dir/bench/make-cad-tree" "${options[@]}" "$tree.partial" "$1"
        mv "$tree.partial" "$tree"
        # written pages stay in memory until they reach the disk; only then can they be dropped
        sync
    fi
    echo "tree: $tree ($(du -sh "$tree" | cut -f1)), text ${text:-}"
}

# The median of the numbers on standard input, one per line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
