#!/usr/bin/env bash
# A basket of 1,000 files of 10 KB sent to and fetched from a local FTP server
# (pyftpdlib on 127.0.0.1) through the program's transfer engine, beside
# lftp's mirror on the same files and server. Prints a Markdown table.
#   bench/ftp_basket.sh [BUILD-DIR] [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-1000}
tool="$build/bench/ftp-basket"
source bench/ftp_bench_lib.sh

mkdir -p "$work/files" "$work/server/engine" "$work/server/engine-plain" "$work/server/lftp" \
         "$work/back-engine" "$work/back-engine-plain" "$work/back-lftp"
python3 - "$work/files" "$count" <<'EOF'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(os.path.join(folder, "file%04d.dat" % i), "wb") as f:
        f.write(os.urandom(10240))
EOF

start_ftp_server "$work/server"

seconds() { # runs a command, prints its wall time in seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null
  t1=$(date +%s.%N)
  python3 -c "print('%.2f' % ($t1 - $t0))"
}

e_put=$(seconds "$tool" put 127.0.0.1 "$port" bench bench-pw "$work/files/" /engine/)
e_get=$(seconds "$tool" get 127.0.0.1 "$port" bench bench-pw "$work/back-engine/" /engine/ \
  --names-from="$work/files")
p_put=$(seconds "$tool" put 127.0.0.1 "$port" bench bench-pw "$work/files/" /engine-plain/ --no-update)
p_get=$(seconds "$tool" get 127.0.0.1 "$port" bench bench-pw "$work/back-engine-plain/" /engine-plain/ \
  --names-from="$work/files" --no-update)
l_put=$(seconds lftp_run "mirror -R $work/files /lftp")
l_get=$(seconds lftp_run "mirror /lftp $work/back-lftp")

for d in server/engine back-engine server/engine-plain back-engine-plain server/lftp back-lftp; do
  diff -rq "$work/files" "$work/$d" >/dev/null || { echo "copy in $d differs" >&2; exit 1; }
done

echo "| $count files of 10 KB, one connection | send (s) | fetch (s) |"
echo "|---|---|---|"
echo "| transfer engine (FTPUpdate=Yes: a listing after each item) | $e_put | $e_get |"
echo "| transfer engine (FTPUpdate=No) | $p_put | $p_get |"
echo "| lftp mirror -R / mirror | $l_put | $l_get |"
