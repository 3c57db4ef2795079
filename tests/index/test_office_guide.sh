#!/usr/bin/env bash
# Runs the commands of docs/office-index.md in order, so that the guide cannot go stale: the
# shell blocks (those not marked "guide-test: skip"), with the guide's paths put into a temporary
# folder, the file server's PostgreSQL a private one (peer and password logins as Debian's), its
# indexer's system user "nobody", and the desktop's share a bind mount of the server's folder.
# Usage: test_office_guide.sh GUIDE PROGRAM_FOLDER   (exit 77: cannot run here)
set -euo pipefail
guide=$(realpath "$1")
programs=$(cd "$2" && pwd)

skip() {
    echo "test_office_guide: skipped: $*"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "needs root (users, a bind mount)"
id postgres >/dev/null 2>&1 || skip "no system user postgres (scripts/setup.sh installs PostgreSQL)"
pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$pg_bin/initdb" ] || skip "no PostgreSQL server installed"

work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
    if [ -f "$work/indexd.pid" ]; then
        kill "$(cat "$work/indexd.pid")" 2>/dev/null || true
    fi
    umount "$work/mnt/cad" 2>/dev/null || true
    setpriv --reuid=postgres --regid=postgres --clear-groups \
        "$pg_bin/pg_ctl" -D "$work/pg/data" -m fast -w -s stop 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# postgres and nobody must reach the programs and their working folder, wherever the checkout lies
mkdir "$work/bin"
cp "$programs/spurwerk-find" "$programs/spurwerk-index" "$programs/spurwerk-indexd" "$work/bin/"
programs=$work/bin
cd "$work"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/pg" "$work/sock" "$work/home" "$work/srv/cad/baugruppen" "$work/mnt/cad"
chown postgres:postgres "$work/pg" "$work/sock"
printf 'xx WELLE_0815 yy' >"$work/srv/cad/baugruppen/getriebe_12.asm.3"
chmod -R a+rX "$work/srv"

as_postgres() {
    setpriv --reuid=postgres --regid=postgres --clear-groups "$@"
}
# The server as Debian makes it: peer logins through the socket, passwords over the network.
as_postgres "$pg_bin/initdb" -D "$work/pg/data" -U postgres --auth-local=peer \
    --auth-host=scram-sha-256 -E UTF8 --locale=C --no-sync >/dev/null
as_postgres mkdir "$work/pg/data/conf.d"
server_options="-k $work/sock -p $port -c listen_addresses=127.0.0.1 -c fsync=off"
as_postgres "$pg_bin/pg_ctl" -D "$work/pg/data" -l "$work/pg/log" -w -s -o "$server_options" start

# The desktop's share: the server's folder under another path.
mount --bind "$work/srv/cad" "$work/mnt/cad" || skip "a bind mount is refused here"

# The guide's shell blocks, in order, with its names made the test's.
script=$work/guide.sh
awk '
    /^<!-- guide-test: skip -->/ { skip = 1; next }
    /^```sh$/ { inside = 1; next }
    /^```$/ && inside { inside = 0; skip = 0; next }
    inside && !skip { print }
    !inside && NF { skip = skip && /^<!--/ }
' "$guide" | sed \
    -e "s|/etc/postgresql/15/main|$work/pg/data|g" \
    -e "s|/etc/default/spurwerk-indexd|$work/default-spurwerk-indexd|g" \
    -e "s|/srv/cad|$work/srv/cad|g" \
    -e "s|/mnt/cad|$work/mnt/cad|g" \
    -e "s|192.168.10.0/24|127.0.0.1/32|g" \
    -e "s|cad-server:5432:|127.0.0.1:$port:|g" \
    -e "s|host=cad-server|host=127.0.0.1|g" \
    -e "s|-u spurwerk-indexd |-u nobody |g" \
    -e "s|spurwerk  spurwerk-indexd  spurwerk_indexer|spurwerk  nobody  spurwerk_indexer|g" \
    >"$script"
grep -q 'spurwerk-indexd.service' "$script" || { echo "the guide starts no indexer" >&2; exit 1; }

# What the script's sudo, systemctl and journalctl do here.
cat >"$work/prelude.sh" <<PRELUDE
set -euo pipefail
export PATH="$programs:\$PATH" HOME="$work/home" PGHOST="$work/sock" PGPORT="$port"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME SPURWERK_INDEX_DB SPURWERK_INDEX_MAP
sudo() {
    if [ "\$1" = -u ]; then
        local user=\$2
        shift 2
        setpriv --reuid="\$user" --regid="\$(id -g "\$user")" --clear-groups "\$@"
    else
        "\$@"
    fi
}
systemctl() {
    case "\$*" in
    "restart postgresql")
        setpriv --reuid=postgres --regid=postgres --clear-groups "$pg_bin/pg_ctl" \
            -D "$work/pg/data" -l "$work/pg/log" -w -s -o "$server_options" restart ;;
    "enable --now spurwerk-indexd.service")
        # as the service file runs it: its user, its environment file, the folders as arguments
        grep -q '^EnvironmentFile=/etc/default/spurwerk-indexd$' "$(dirname "$guide")/../data/spurwerk-indexd.service.in"
        ( set -a; . "$work/default-spurwerk-indexd"; set +a
          exec setpriv --reuid=nobody --regid=nogroup --clear-groups spurwerk-indexd \$SPURWERK_FOLDERS
        ) >"$work/indexd.log" 2>&1 &
        echo \$! >"$work/indexd.pid"
        # as an administrator waits for the journal to tell of the first sweep, and a moment more
        for _ in \$(seq 300); do
            setpriv --reuid=nobody --regid=nogroup --clear-groups env XDG_CACHE_HOME="$work" \
                spurwerk-index status --index-db "dbname=spurwerk user=spurwerk_indexer" \
                >/dev/null 2>&1 && return 0
            command sleep 0.1
        done
        echo "the indexer did not catch up:" >&2; cat "$work/indexd.log" >&2; return 1 ;;
    *) echo "systemctl \$* is not part of the guide's test" >&2; return 1 ;;
    esac
}
journalctl() {
    cat "$work/indexd.log"
}
PRELUDE

output=$work/output
if ! (cd "$work/home" && bash -c ". '$work/prelude.sh'; set -x; . '$script'") >"$output" 2>&1; then
    echo "test_office_guide: a command of the guide failed:" >&2
    cat "$output" >&2
    exit 1
fi
# the desktop through its mapping: the share's path, answered by the office index
for expected in "(here $work/mnt/cad)" "office index current" \
    "$work/mnt/cad/baugruppen/getriebe_12.asm.3" "answered from the office index"; do
    if ! grep -qF -- "$expected" "$output"; then
        echo "test_office_guide: not in the output: $expected" >&2
        cat "$output" >&2
        exit 1
    fi
done
echo "test_office_guide: every command of the guide ran"
