#!/usr/bin/env bash
# The remote browser on a folder of 10,000 entries and the recursive
# collection of a tree of 2,000 files in 50 folders, against pyftpdlib on
# 127.0.0.1, beside lftp's mirror of the same tree (a dry run that only
# lists, and a real one that also fetches).
#   bench/remote_browse.sh [BUILD-DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
tool="$build/bench/remote-browse-uibench"
source bench/ftp_bench_lib.sh

python3 - "$work/server" <<'PY'
import os, sys
root = sys.argv[1]
big = os.path.join(root, "big")
os.makedirs(big)
for i in range(100):
    os.makedirs(os.path.join(big, "dir%03d" % i))
for i in range(9900):
    open(os.path.join(big, "file%05d.txt" % i), "w").close()
tree = os.path.join(root, "tree")
for d in range(50):
    sub = os.path.join(tree, "part%d" % (d % 5), "dir%02d" % d) if d >= 5 else os.path.join(tree, "part%d" % d)
    os.makedirs(sub, exist_ok=True)
    for f in range(40):
        with open(os.path.join(sub, "f%02d.c" % f), "w") as fh:
            fh.write("x\n")
PY

start_ftp_server "$work/server"

"$tool" 127.0.0.1 "$port" bench bench-pw /big/ /tree/ "$runs"

seconds() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  python3 -c "print('%.0f ms' % (($t1 - $t0) * 1000))"
}
echo
echo "| lftp on the same tree | time |"
echo "|---|---|"
for r in $(seq "$runs"); do
  echo "| mirror --dry-run /tree/ (lists only), run $r | $(seconds lftp_run "mirror --dry-run /tree/ $work/dry") |"
done
for r in $(seq "$runs"); do
  rm -rf "$work/back"
  echo "| mirror /tree/ (lists and fetches 2,000 files), run $r | $(seconds lftp_run "mirror /tree/ $work/back") |"
done
