#!/usr/bin/env bash
# Configures and builds Spurwerk in ./build (Release unless BUILD_TYPE says otherwise): every
# target, with the tests and benchmarks, or only the TARGETs given (scripts/run.sh builds the one
# program it starts). SANITIZE=ON builds with AddressSanitizer and UndefinedBehaviorSanitizer into
# ./build-sanitize.
set -euo pipefail
cd "$(dirname "$0")/.."

build_type=${BUILD_TYPE:-Release}
sanitize=${SANITIZE:-OFF}
build_dir=build
[ "$sanitize" = ON ] && build_dir=build-sanitize
targets=()
for target in "$@"; do
    targets+=(--target "$target")
done

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE="$build_type" -DSPURWERK_SANITIZE="$sanitize" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" "${targets[@]}"
