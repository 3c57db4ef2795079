#!/usr/bin/env bash
# Installs what is missing, builds and runs every test (headless, isolated settings).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build_dir=build
[ "${SANITIZE:-OFF}" = ON ] && build_dir=build-sanitize
ctest --test-dir "$build_dir" --output-on-failure --timeout 300
