#!/bin/sh
# convert_profile.sh CONVERT-SPEED [RUNS]: where the conversion job's time goes.
# Records each case with perf (call graphs by DWARF with 32 KB of stack, 999 samples a second,
# RUNS runs of the 50 MB log in one recording, one run over the fresh folder
# tree) and prints the share of each stage (bench/convert_stages.py), then the
# CPU time and wall time of the same work from perf stat.
set -e
BIN=$(readlink -f "$1")
RUNS=${2:-5}
HERE=$(dirname "$(readlink -f "$0")")
DIR=$(mktemp -d /tmp/qvl-convert-profile.XXXXXX)
trap 'rm -rf "$DIR"' EXIT
"$BIN" --make 50 "$DIR/log.txt"
for CASE in literal "date swap"; do
    echo "== $CASE, 50 MB"
    perf record -q -F 999 --call-graph dwarf,32768 -o "$DIR/p.data" -- sh -c \
        "for i in \$(seq $RUNS); do \"$BIN\" --engine \"$CASE\" \"$DIR/log.txt\" \"$DIR/out.txt\"; done" \
        >/dev/null 2>&1
    perf script -i "$DIR/p.data" 2>/dev/null | python3 "$HERE/convert_stages.py"
    # The CPU time itself from the task clock (sampling under perf undercounts it).
    perf stat -r "$RUNS" -e task-clock -- "$BIN" --engine "$CASE" "$DIR/log.txt" "$DIR/out.txt" 2>&1 |
        grep -E "task-clock|elapsed"
done
echo "== folder mode, 10,000 x 10 KB (date swap)"
"$BIN" --make tree "$DIR/tree"
sync
perf record -q -F 999 --call-graph dwarf,32768 -o "$DIR/p.data" -- "$BIN" --tree "date swap" "$DIR/tree" \
    >/dev/null 2>&1
perf script -i "$DIR/p.data" 2>/dev/null | python3 "$HERE/convert_stages.py"
rm -rf "$DIR/tree"
"$BIN" --make tree "$DIR/tree"
sync
perf stat -e task-clock -- "$BIN" --tree "date swap" "$DIR/tree" 2>&1 | grep -E "task-clock|elapsed"
