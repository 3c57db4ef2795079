#!/usr/bin/env bash
# Checks the built Debian package (scripts/package.sh runs this): installing it turns on no
# systemd unit, for any user or the system, and it holds every program and manual page.
set -euo pipefail
package=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

dpkg-deb --control "$package" "$work/control"
# debhelper writes "deb-systemd-helper [--user] enable UNIT" for a unit it enables
for script in "$work"/control/{preinst,postinst,prerm,postrm}; do
    [ -f "$script" ] || continue
    if enabling=$(grep -E 'deb-systemd-helper( --[a-z]+)* enable ' "$script"); then
        fail "$(basename "$script") enables a unit: $enabling"
    fi
done
contents=$(dpkg-deb --contents "$package" | awk '{print $6}')
if grep -E '^\./etc/systemd/' <<<"$contents"; then
    fail "the package links units into /etc/systemd"
fi
for program in spurwerk spurwerk-find spurwerk-index spurwerk-indexd spurwerk-open-with; do
    grep -qx "./usr/bin/$program" <<<"$contents" || fail "no /usr/bin/$program"
    grep -qx "./usr/share/man/man1/$program.1.gz" <<<"$contents" || fail "no $program(1)"
done
for unit in user/spurwerk-index.timer user/spurwerk-index.service system/spurwerk-indexd.service; do
    grep -qx "./usr/lib/systemd/$unit" <<<"$contents" || fail "no /usr/lib/systemd/$unit"
done

[ "$failed" -eq 0 ] && echo "package: all checks passed"
[ "$failed" -eq 0 ]
