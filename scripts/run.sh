#!/usr/bin/env bash
# Installs what is missing, builds and starts Spurwerk; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/src/spurwerk "$@"
