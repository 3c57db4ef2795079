#!/usr/bin/env bash
# spurwerk-open-with starts Spurwerk in the part file's folder with the file argument unchanged.
# A stand-in for the program reports the folder it was started in and its arguments.
set -euo pipefail
starter=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/Teile neu/-x"
cp "$starter" "$work/bin/spurwerk-open-with"
cat >"$work/bin/spurwerk" <<'STANDIN'
#!/bin/sh
printf '%s|%s|%s\n' "$PWD" "$#" "$*"
STANDIN
chmod +x "$work/bin/spurwerk"

check() {
    local expected=$1 got
    shift
    got=$(cd / && "$work/bin/spurwerk-open-with" "$@")
    if [ "$got" != "$expected" ]; then
        echo "spurwerk-open-with $*: expected '$expected', got '$got'" >&2
        exit 1
    fi
}

check "$work/Teile neu/-x|1|$work/Teile neu/-x/4711.prt" "$work/Teile neu/-x/4711.prt"
check "/|1|4711.prt" 4711.prt
check "/|1|" ""
check "/|0|"
check "/|1|/nicht/da/4711.prt" /nicht/da/4711.prt
echo "spurwerk-open-with: all cases passed"
