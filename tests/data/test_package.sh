#!/usr/bin/env bash
# Checks the built Debian package (scripts/package.sh runs this): installing it turns on no
# systemd unit, for any user or the system, and it holds every program and manual page.
set -euo pipefail
package=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

# The install script is run as on a machine that never had the package, with stand-ins for
# systemd's helpers that log what they are asked; as the real one, the stand-in takes a unit it
# knows nothing of for one that was enabled, and so enables it unless told not to.
dpkg-deb --control "$package" "$work/control"
mkdir "$work/bin"
cat >"$work/bin/deb-systemd-helper" <<'STANDIN'
#!/bin/sh
echo "$(basename "$0") $*" >>"$HELPER_LOG"
case " $* " in
*" debian-installed "*) exit 1 ;;
esac
exit 0
STANDIN
chmod +x "$work/bin/deb-systemd-helper"
ln -s deb-systemd-helper "$work/bin/deb-systemd-invoke"
ln -s deb-systemd-helper "$work/bin/systemctl"
touch "$work/helper.log"
if [ -f "$work/control/postinst" ]; then
    env -u DPKG_ROOT PATH="$work/bin:$PATH" HELPER_LOG="$work/helper.log" \
        sh "$work/control/postinst" configure
fi
if turned_on=$(grep -E ' (enable|start|restart)( |$)' "$work/helper.log"); then
    fail "installing turns on a unit: $turned_on"
fi
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
