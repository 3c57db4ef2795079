#!/usr/bin/env bash
# Installs what is missing, builds Spurwerk's program alone (the tests and benchmarks are
# scripts/test.sh's) and starts it; arguments go to the program, which starts in the caller's
# folder (a file argument searches that folder's assemblies).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" spurwerk
exec "$root/build/src/spurwerk" "$@"
