#!/usr/bin/env bash
# Installs what is missing, builds and starts Spurwerk; arguments go to the program, which starts
# in the caller's folder (a file argument searches that folder's assemblies).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
exec "$root/build/src/spurwerk" "$@"
