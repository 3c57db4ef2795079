#!/usr/bin/env bash
# The office index on one machine: a PostgreSQL server of the script's own (Unix socket only),
# spurwerk-indexd on the share-like tree of SMALL_FILES (default 200,000) small files, and
# DESKTOPS (default 20) spurwerk-find --from-index asking it at once, ROUNDS (default 10) times:
# the median and 99th percentile of their answers, beside one asking alone and beside as many
# runs that only start (--help); how long a file added, changed or removed
# takes to be in the answer; and how long the indexer takes to catch up after 1 % of the files
# changed, against reading those files.
#
# Usage: bench/office_index_figures.sh      (as root the server runs as "nobody")
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

files=${SMALL_FILES:-200000}
desktops=${DESKTOPS:-20}
rounds=${ROUNDS:-10}
text=WELLE_0815
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
[ -x "$bin/initdb" ] || { echo "needs the PostgreSQL server (scripts/setup.sh installs it)" >&2; exit 1; }

build_targets spurwerk-find spurwerk-indexd make-cad-tree
find_tool=$build_dir/src/spurwerk-find
indexd=$build_dir/src/spurwerk-indexd
use_tree "small-$files" --small "$files"
make_work_folder office
as_server=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$work"
    as_server=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
"${as_server[@]}" "$bin/initdb" -D "$work/data" -A trust -U spurwerk --no-sync >/dev/null
"${as_server[@]}" "$bin/pg_ctl" -D "$work/data" -l "$work/log" -w -s \
    -o "-k $work -c listen_addresses=''" start
indexer=
mounted=
stop_all() {
    [ -n "$indexer" ] && kill "$indexer" 2>/dev/null && wait "$indexer" 2>/dev/null
    [ -n "$mounted" ] && umount "$mounted"
    "${as_server[@]}" "$bin/pg_ctl" -D "$work/data" -m fast -w -s stop || true
    rm -rf "$work"
}
trap stop_all EXIT
export SPURWERK_INDEX_DB="host=$work dbname=postgres user=spurwerk"
now() { date +%s.%N; }
since() { python3 -c "print(round($(now) - $1, 3))"; }
from_index() { "$find_tool" --from-index --type asm "$text" "$tree" 2>"$work/note"; }

start=$(now)
"$indexd" "$tree" 2>"$work/indexd.log" &
indexer=$!
until from_index >/dev/null && grep -q "caught up" "$work/note"; do sleep 0.2; done
echo "first sweep until the index answers: $(since "$start") s"
cmp <(from_index | sort) <("$find_tool" --no-index --type asm "$text" "$tree" | sort) ||
    { echo "the office index's answer differs from the scan's" >&2; exit 1; }
echo "both find $(from_index | wc -l) files"

# For the text, which a third of the assemblies hold, and for a part name that few hold, as most
# where-used questions ask
rare=$( (find "$tree" -type f -name '*.asm*' | sort | head -200 |
    xargs grep -aoh 'LAGER_[0-9]\{4\}' || true) | awk 'NR == 1')
echo "$rare: $("$find_tool" --no-index --type asm "$rare" "$tree" | wc -l) files"
# One desktop alone, then DESKTOPS at once ROUNDS times; last the same for a program that only
# starts (--help): what twenty starts on this machine cost whatever the server answers.
ask() {
python3 - "$work/data/postmaster.pid" "$desktops" "$rounds" "$@" <<'PY'
import resource, subprocess, sys, time, threading, statistics
server, desktops, rounds, command = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
def processor_seconds():
    # the server's ended processes (its connections, autovacuum) and the desktops'
    with open(server) as pid, open(f"/proc/{int(pid.readline())}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    desktops = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (int(fields[13]) + int(fields[14])) / 100, desktops.ru_utime + desktops.ru_stime
what = " ".join(command[1:-1]) if len(command) > 2 else command[1]
failed = []  # a desktop that ran out of the server's deadline answers fast, and wrongly
def run():
    start = time.monotonic()
    if subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
        failed.append(command)
    return time.monotonic() - start
alone = statistics.median(run() for _ in range(3))
failed.clear()
times = []
def ask():
    times.append(run())
before = processor_seconds()
for _ in range(rounds):
    threads = [threading.Thread(target=ask) for _ in range(desktops)]
    for t in threads: t.start()
    for t in threads: t.join()
after = processor_seconds()
server_ms, desktop_ms = ((a - b) * 1000 / len(times) for a, b in zip(after, before))
times.sort()
p99 = times[min(len(times) - 1, int(round(0.99 * len(times))) - 1)]
print(f"{what}: alone {alone*1000:.0f} ms; {desktops} at once, {len(times)} answers: median "
      f"{statistics.median(times)*1000:.0f} ms (goal < 100), 99th percentile {p99*1000:.0f} ms (goal < 300)"
      + (f"; {len(failed)} of them failed" if failed else "")
      + f"; processor per answer: server {server_ms:.0f} ms, desktop {desktop_ms:.0f} ms")
PY
}
for asked in "$text" "$rare"; do ask "$find_tool" --from-index --type asm "$asked" "$tree"; done
ask "$find_tool" --help

# One desktop that mounts the share elsewhere (as root: a bind mount of the tree): the rare name
# through the mapping against the same question on the server's path, alternating, the run
# without the walk and the answer from the index alone.
if [ "$(id -u)" -eq 0 ] && mkdir "$work/mnt" && mount --bind "$tree" "$work/mnt"; then
    mounted=$work/mnt
    python3 - "$find_tool" "$rare" "$tree" "$work/mnt" "$rounds" <<'PY'
import os, subprocess, sys, time, statistics
find, rare, tree, mounted, rounds = sys.argv[1:4] + [sys.argv[4], int(sys.argv[5])]
mapped = dict(os.environ, SPURWERK_INDEX_MAP=f"{tree}={mounted}")
def run(options, folder, environment):
    start = time.monotonic()
    done = subprocess.run([find, *options, "--type", "asm", rare, folder], env=environment,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    took = time.monotonic() - start
    note = done.stderr.decode()
    assert "office index" in note and "not used" not in note, note
    return took
for options, what in (([], "a run"), (["--from-index"], "--from-index")):
    server, desktop = [], []
    for _ in range(max(rounds, 5)):
        server.append(run(options, tree, os.environ))
        desktop.append(run(options, mounted, mapped))
    s, d = statistics.median(server), statistics.median(desktop)
    print(f"{what} for {rare} through the mapping: {d*1000:.0f} ms, on the server's path "
          f"{s*1000:.0f} ms: {d / s:.2f} x (goal <= 1.1)")
PY
fi

# Seconds until the answer holds (or lacks) the file.
until_seen() {
    local start=$1 file=$2 want=$3
    while true; do
        # grep reads to the end: with -q the finder would die of SIGPIPE, and pipefail lie
        if from_index | grep -xF "$file" >/dev/null; then [ "$want" = in ] && break
        else [ "$want" = out ] && break; fi
        sleep 0.02
    done
    since "$start"
}
folder=$(find "$tree" -mindepth 1 -maxdepth 2 -type d | sed -n 5p)
added=$folder/office_bench_neu.asm.1
start=$(now); printf 'xx %s yy\n' "$text" >"$added"
echo "a file added: in the answer after $(until_seen "$start" "$added" in) s (goal < 2)"
changed=$(from_index | sed -n 7p)
start=$(now); printf 'nothing here\n' >"$changed"
echo "a file changed: out of the answer after $(until_seen "$start" "$changed" out) s (goal < 2)"
start=$(now); rm "$added"
echo "a file removed: out of the answer after $(until_seen "$start" "$added" out) s (goal < 2)"

# 1 % of the files rewritten: until the indexer caught up, against reading them
sleep 2
find "$tree" -type f -name '*.asm*' | shuf -n $((files / 100)) --random-source=<(yes) >"$work/changed"
start=$(now)
while read -r file; do printf ' %s ' "$text" >>"$file"; done <"$work/changed"
written=$(now)
# the first stamp of the indexer's catch-up after the last write, asked every 20 ms in one
# session: a psql started each time cost the machine as much processor as the indexer
caught_up=$(while sleep 0.02; do
    echo "SELECT extract(epoch FROM caught_up) FROM spurwerk_watches WHERE extract(epoch FROM caught_up) > $written;"
done | command psql -X -At "$SPURWERK_INDEX_DB" | head -1) || true
read_start=$(now); xargs -d '\n' cat <"$work/changed" >/dev/null; read_time=$(since "$read_start")
python3 -c "
w, c, r = $written - $start, $caught_up - $written, $read_time
print(f'{$files // 100} files changed in {w:.2f} s; caught up {c:.2f} s after the last write;'
      f' reading them {r:.2f} s; ratio {c / r:.1f} (goal <= 1.2)')"
