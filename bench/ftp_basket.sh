#!/usr/bin/env bash
# A basket of 1,000 files of 10 KB sent to and fetched from a local FTP server
# (pyftpdlib on 127.0.0.1, vsftpd with FTP_SERVER=vsftpd, pure-ftpd with
# FTP_SERVER=pure-ftpd) through the program's transfer engine, beside lftp's
# mirror on the same files and server. Prints a Markdown table, times and
# their ratio to lftp's. KB=n makes the files n KB each (a file of more than
# one data block, 64 KB, sent over a file of the user's goes through a
# temporary name). The "replace" row sends the files again over the engine's
# copies. The row "a basket sent before" sends the files once untimed, gives
# the items the records of that send as a restarted program reads them, and
# times the same basket sent again (the look at the server's copies before
# overwriting them included), beside lftp's `mirror -R --transfer-all` over
# its own copies.
# BEFORE_TOOL=path/to/an/older/ftp-basket adds its rows (FTPUpdate=Yes; its
# row "a basket sent before" where it knows --sent-before).
# LFTP_FIRST=1 runs lftp's two rows before the engine's (to rotate the order
# between runs). OTHER_OWNER=1 puts one file of root's beside the engine's
# folder's files before the timed rows, so that its listing tells owners
# apart and the row "again over its copies" sends each file of more than one
# block through a temporary name (vsftpd or pure-ftpd, run as root).
#   [KB=10] bench/ftp_basket.sh [BUILD-DIR] [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-1000}
kb=${KB:-10}
tool="$build/bench/ftp-basket"
source bench/ftp_bench_lib.sh

mkdir -p "$work/files" "$work/server/engine" "$work/server/engine-plain" "$work/server/lftp" \
         "$work/server/before" "$work/server/engine-sent" "$work/server/before-sent" \
         "$work/server/engine-status" "$work/server/before-status" "$work/back-engine" \
         "$work/back-engine-plain" "$work/back-lftp" "$work/back-before"
python3 - "$work/files" "$count" "$kb" <<'EOF'
import os, sys
folder, count, kb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(count):
    with open(os.path.join(folder, "file%04d.dat" % i), "wb") as f:
        f.write(os.urandom(kb * 1024))
EOF

start_ftp_server "$work/server"

# One untimed round first: the first transfers after the server starts are
# slower, whichever row would take them.
mkdir -p "$work/server/warm"
[ -n "${FTP_SERVER:-}" ] && chown qvltest: "$work/server/warm"
r=$remote_root
other=zz-other-owner.dat
if [ -n "${OTHER_OWNER:-}" ]; then
  [ -n "${FTP_SERVER:-}" ] || { echo "OTHER_OWNER needs FTP_SERVER=vsftpd or pure-ftpd" >&2; exit 1; }
  echo other >"$work/server/engine/$other"
  chown root:root "$work/server/engine/$other"
fi
"$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/warm/" --no-update >/dev/null

if [ -n "${LFTP_FIRST:-}" ]; then
  l_put=$(seconds lftp_run "mirror -R $work/files $r/lftp")
  l_get=$(seconds lftp_run "mirror $r/lftp $work/back-lftp")
fi
e_put=$(seconds "$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/engine/")
e_get=$(seconds "$tool" get 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/back-engine/" "$r/engine/" \
  --names-from="$work/files")
p_put=$(seconds "$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/engine-plain/" --no-update)
p_get=$(seconds "$tool" get 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/back-engine-plain/" "$r/engine-plain/" \
  --names-from="$work/files" --no-update)
# Again over the engine's copies: each file takes the place of one.
e_again=$(seconds "$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/engine/")
if [ -z "${LFTP_FIRST:-}" ]; then
  l_put=$(seconds lftp_run "mirror -R $work/files $r/lftp")
  l_get=$(seconds lftp_run "mirror $r/lftp $work/back-lftp")
fi
# A basket sent before, sent again; lftp sends every file again over its copies.
if [ -n "${LFTP_FIRST:-}" ]; then
  l_all=$(seconds lftp_run "mirror -R --transfer-all $work/files $r/lftp")
fi
e_sent=$("$tool" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/engine-sent/" --sent-before |
  sed -n 's/.* in \([0-9.]*\) s$/\1/p')
if [ -z "${LFTP_FIRST:-}" ]; then
  l_all=$(seconds lftp_run "mirror -R --transfer-all $work/files $r/lftp")
fi
# "Get status of remote files" on a basket sent before (no lftp row: lftp has no such check).
e_status=$("$tool" status 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/engine-status/" \
  --sent-before | sed -n 's/.* in \([0-9.]*\) s$/\1/p')
copies="server/engine back-engine server/engine-plain back-engine-plain server/lftp back-lftp server/engine-sent"
copies="$copies server/engine-status"
if [ -n "${BEFORE_TOOL:-}" ]; then
  b_put=$(seconds "$BEFORE_TOOL" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/before/")
  b_get=$(seconds "$BEFORE_TOOL" get 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/back-before/" \
    "$r/before/" --names-from="$work/files")
  copies="$copies server/before back-before"
  if { "$BEFORE_TOOL" 2>&1 || true; } | grep -q -- --sent-before; then
    b_sent=$("$BEFORE_TOOL" put 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" "$r/before-sent/" \
      --sent-before | sed -n 's/.* in \([0-9.]*\) s$/\1/p')
    b_status=$("$BEFORE_TOOL" status 127.0.0.1 "$port" "$ftp_user" "$ftp_pass" "$work/files/" \
      "$r/before-status/" --sent-before | sed -n 's/.* in \([0-9.]*\) s$/\1/p')
    copies="$copies server/before-sent server/before-status"
  fi
fi

for d in $copies; do
  diff -rq -x "$other" "$work/files" "$work/$d" >/dev/null || { echo "copy in $d differs" >&2; exit 1; }
done

ratio() { python3 -c "print('%.2f' % ($1 / $2))"; }
row() { echo "| $1 | $2 (${3}x) | $4 (${5}x) |"; }
echo "| $count files of $kb KB, one connection, ${FTP_SERVER:-pyftpdlib}${NO_MDTM:+ refusing MDTM}${OTHER_OWNER:+, a file of root's in the engine's folder}${LFTP_FIRST:+, lftp first} | send s (x lftp) | fetch s (x lftp) |"
echo "|---|---|---|"
[ -n "${BEFORE_TOOL:-}" ] &&
  row "before: FTPUpdate=Yes, a listing after each item" "$b_put" "$(ratio "$b_put" "$l_put")" \
      "$b_get" "$(ratio "$b_get" "$l_get")"
row "transfer engine (FTPUpdate=Yes: one listing per folder)" "$e_put" "$(ratio "$e_put" "$l_put")" \
    "$e_get" "$(ratio "$e_get" "$l_get")"
echo "| transfer engine, again over its copies (FTPUpdate=Yes) | $e_again ($(ratio "$e_again" "$l_put")x) | |"
row "transfer engine (FTPUpdate=No)" "$p_put" "$(ratio "$p_put" "$l_put")" "$p_get" "$(ratio "$p_get" "$l_get")"
row "lftp mirror -R / mirror" "$l_put" "1.00" "$l_get" "1.00"
[ -n "${b_sent:-}" ] &&
  echo "| before: a basket sent before, again (x lftp --transfer-all) | $b_sent ($(ratio "$b_sent" "$l_all")x) | |"
echo "| transfer engine, a basket sent before, again (x lftp --transfer-all) | $e_sent ($(ratio "$e_sent" "$l_all")x) | |"
echo "| lftp mirror -R --transfer-all over its copies | $l_all (1.00x) | |"
[ -n "${b_status:-}" ] && echo "| before: Get status of remote files, a basket sent before | $b_status | |"
echo "| Get status of remote files, a basket sent before | $e_status | |"
