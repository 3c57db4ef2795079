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
