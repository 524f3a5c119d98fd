#!/usr/bin/env bash
# The first fetch of a basket into a folder that already holds the same
# bytes: COUNT files of 10 KB of random bytes (each COUNT given, default
# 1,000 and 4,000) lie on a local FTP server (pyftpdlib on 127.0.0.1, vsftpd
# with FTP_SERVER=vsftpd, pure-ftpd with FTP_SERVER=pure-ftpd) and in two
# local folders. `ftp-basket get` fetches them as one basket through the
# transfer engine into one folder (items with no transfer on record: each
# local file is compared with the server's before anything replaces it);
# `lftp -e "mirror ..."` fetches them into the other. The local copies are
# newer than the server's, so lftp's mirror takes every file again. Both
# rows of a size run in one session on one server; LFTP_FIRST=1 runs lftp's
# row first. Each row's RETR commands are counted in the server's transfer
# log. Every copy is compared with the originals before the table is printed.
#   bench/ftp_get_over_copies.sh [BUILD-DIR] [COUNT...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 4000)
tool="$build/bench/ftp-basket"
source bench/ftp_bench_lib.sh

mkdir -p "$work/server"
export FTP_LOG="$work/transfers.log"
: >"$FTP_LOG"
chmod 666 "$FTP_LOG"
start_ftp_server "$work/server"
r=$remote_root

# The transfers the server logged since the line given.
retrs_since() {
  tail -n +"$(($1 + 1))" "$FTP_LOG" | grep -c -E ' RETR |DOWNLOAD|"GET ' || true
}
log_lines() { wc -l <"$FTP_LOG"; }

ratio() { python3 -c "print('%.2f' % ($1 / $2))"; }
echo "| first fetch over copies, ${FTP_SERVER:-pyftpdlib}${NO_MDTM:+ refusing MDTM}${LFTP_FIRST:+, lftp first} | transfer engine s (x lftp) | RETR | lftp mirror s | RETR |"
echo "|---|---|---|---|---|"
for count in "${counts[@]}"; do
  set_dir="$work/set$count"
  mkdir -p "$set_dir/files" "$work/server/get$count" "$set_dir/engine" "$set_dir/lftp"
  python3 - "$set_dir/files" "$count" <<'PYEOF'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(os.path.join(folder, "file%04d.dat" % i), "wb") as f:
        f.write(os.urandom(10 * 1024))
PYEOF
  cp "$set_dir"/files/* "$work/server/get$count/"
  touch -d '-1 hour' "$work/server/get$count"/*
  [ -n "${FTP_SERVER:-}" ] && chown -R qvltest: "$work/server/get$count"
  cp "$set_dir"/files/* "$set_dir/engine/"
  cp "$set_dir"/files/* "$set_dir/lftp/"
  run_engine() {
    local at
    at=$(log_lines)
    e_time=$(seconds "$tool" get 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$set_dir/engine/" "$r/get$count/" \
      --names-from="$set_dir/files")
    sleep 1
    e_retr=$(retrs_since "$at")
  }
  run_lftp() {
    local at
    at=$(log_lines)
    l_time=$(seconds lftp_run "mirror $r/get$count $set_dir/lftp")
    sleep 1
    l_retr=$(retrs_since "$at")
  }
  if [ -n "${LFTP_FIRST:-}" ]; then run_lftp; run_engine; else run_engine; run_lftp; fi
  for d in engine lftp; do
    diff -rq "$set_dir/files" "$set_dir/$d" >/dev/null || { echo "copy in $d differs" >&2; exit 1; }
  done
  echo "| $count files of 10 KB | $e_time ($(ratio "$e_time" "$l_time")x) | $e_retr | $l_time | $l_retr |"
done
