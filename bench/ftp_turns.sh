#!/usr/bin/env bash
# The transfer engine and lftp side by side in turns on one server: COUNT
# files of 10 KB (default 1,000), TURNS turns (default 4), the order of the
# two tools swapped from turn to turn, each turn into folders of its own.
# Each tool in a turn: a send into an empty folder, the same send again over
# its copies (lftp `mirror -R --transfer-all`), a fetch into an empty local
# folder; the engine also sends a basket sent before (`put --sent-before`,
# its own time of the second send), set against lftp's send over its copies.
# Prints per row the median time and the median of the per-turn ratios to
# lftp's row, [lowest-highest ratio]. Server as in bench/ftp_bench_lib.sh
# (FTP_SERVER, NO_MDTM).
#   [TURNS=4] bench/ftp_turns.sh [BUILD-DIR] [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-1000}
turns=${TURNS:-4}
tool="$build/bench/ftp-basket"
source bench/ftp_bench_lib.sh

mkdir -p "$work/files" "$work/server/warm"
python3 - "$work/files" "$count" <<'EOF'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(os.path.join(folder, "file%04d.dat" % i), "wb") as f:
        f.write(os.urandom(10 * 1024))
EOF
start_ftp_server "$work/server"
r=$remote_root
owner() { [ -z "${FTP_SERVER:-}" ] || chown qvltest: "$@"; }
owner "$work/server/warm"
"$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/warm/" --no-update >/dev/null
rm -rf "$work/server/warm"

: >"$work/times"
for turn in $(seq "$turns"); do
  t=$work/server/t$turn
  mkdir -p "$t/engine" "$t/sent" "$work/back-engine$turn" "$work/back-lftp$turn"
  owner "$t" "$t/engine" "$t/sent"
  engine() {
    local put again get sent
    put=$(seconds "$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/t$turn/engine/")
    again=$(seconds "$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/t$turn/engine/")
    get=$(seconds "$tool" get 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/back-engine$turn/" \
      "$r/t$turn/engine/" --names-from="$work/files")
    sync
    sent=$("$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/t$turn/sent/" --sent-before |
      sed -n 's/.* in \([0-9.]*\) s$/\1/p')
    echo "$turn engine $put $again $get $sent" >>"$work/times"
  }
  lftp_turn() {
    local put again get
    put=$(seconds lftp_run "mirror -R $work/files $r/t$turn/lftp")
    again=$(seconds lftp_run "mirror -R --transfer-all $work/files $r/t$turn/lftp")
    get=$(seconds lftp_run "mirror $r/t$turn/lftp $work/back-lftp$turn")
    echo "$turn lftp $put $again $get $again" >>"$work/times"
  }
  if [ $((turn % 2)) = 1 ]; then engine; lftp_turn; else lftp_turn; engine; fi
  for d in server/t$turn/engine server/t$turn/sent server/t$turn/lftp back-engine$turn back-lftp$turn; do
    diff -rq "$work/files" "$work/$d" >/dev/null || { echo "copy in $d differs" >&2; exit 1; }
  done
  rm -rf "$t" "$work/back-engine$turn" "$work/back-lftp$turn"
done

python3 - "$work/times" "$count" "${FTP_SERVER:-pyftpdlib}${NO_MDTM:+ refusing MDTM}" "$turns" <<'EOF'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
by = {(r[0], r[1]): [float(x) for x in r[2:]] for r in rows}
turns = sorted({r[0] for r in rows}, key=int)
names = ["into an empty folder", "again over its copies", "fetch into an empty folder",
         "a basket sent before, again"]
print("| %s files of 10 KB, %s, %s turns: s, median (x lftp) [range] | engine | lftp |" % (sys.argv[2], sys.argv[3], sys.argv[4]))
print("|---|---|---|")
for k, name in enumerate(names):
    e = [by[(t, "engine")][k] for t in turns]
    l = [by[(t, "lftp")][k] for t in turns]
    ratios = [a / b for a, b in zip(e, l)]
    peer = "`mirror -R --transfer-all`" if k in (1, 3) else ("`mirror`" if k == 2 else "`mirror -R`")
    print("| %s | %.2f (%.2fx) [%.2f-%.2f] | %.2f %s |" % (name, statistics.median(e), statistics.median(ratios),
          min(ratios), max(ratios), statistics.median(l), peer))
EOF
