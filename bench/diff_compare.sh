#!/bin/sh
# Compares qvl-diff with GNU diff (normal and --minimal) on generated inputs
# ("0.1% edited": 0.1% of the lines changed, deleted or preceded by an
# inserted line, a third each):
#   1. 1,000,000 source-like lines against a copy with 0.1% edited
#   2. two unrelated 20,000-line files
#   3. a file against its reverse (100,000 and 1,000,000 lines)
#   4. 1,000,000 lines drawn from 1,000 distinct texts against a copy with
#      0.1% edited (lines that repeat a lot)
#   5. 1,000,000 lines drawn from only 2 distinct texts, against a copy with
#      0.1% edited, and against another such file
#   6. 1,000,000 numbered lines and 1,000,000 log lines, each against a copy
#      with 0.1% edited
#   7. 400,000 and 1,000,000 lines that all read "same" against the same
#      with one line inserted in the middle
#   8. one block of 50 lines repeated to 1,000,000 lines with a line of its
#      own every 997 lines, against a copy with 0.1% edited
#   9. 1,000,000 and 2,000,000 lines drawn from 20 distinct texts, each
#      against a copy with 0.1% edited (how the time grows with the lines)
#  10. the source-like lines of 1. against a copy with one line changed, and
#      the 1,000,000 lines of 9. against a copy with 0.1% edited by lines of
#      the same 20 texts
# With SET=shapes the inputs are instead the shapes of the goal beside GNU
# diff, each made by several generators and settings (diff_gen.py texts:
# lines drawn from 20 texts of 10 to 40, 200 or 10 bytes, 0.3%, 0.01% or 2%
# edited in runs of 1, 50 or 5 lines, LF or CR LF; 0.5M to 4M lines; the
# same settings drawn from 2 texts, and the first from 200):
#  11. lines drawn from a few texts at 0.5M, 1M, 2M and 4M lines, seven
#      settings each
#  12. 1M source-like lines (LF and CR LF) and 1M log lines, each against a
#      copy with one line changed
#  13. the same files against an identical copy
#  14. the same files against a copy with a text before every line (no
#      line in common)
#  15. near copies: 1M source-like lines against a copy with the middle line
#      changed and with a line (or a blank line) inserted in the middle,
#      1M copies of one line
#      of 40 bytes with one inserted, 1M numbered lines with the middle one
#      changed
# With SET=edits the inputs are the edits people make to a file, each made
# by diff_gen.py near from real source (the system's C headers under
# /usr/include, then Perl modules and Python modules, each file once,
# concatenated; source-like lines of diff_gen.py after them where they hold
# fewer than 4M lines) at 0.5M, 1M, 2M and 4M lines, and from 1M
# source-like and log lines of diff_gen.py:
#  16. one line deleted, the nearest blank line deleted, the nearest line
#      found once deleted
#  17. 17, 20 or 40 lines in a row changed
#  18. 2 to 5 edits (a line changed, deleted or inserted) within 100 to 300
#      lines
# With SET=blanks the inputs are files of few distinct lines with blank
# lines inserted, each before a run of blank lines (diff_gen.py blanks), at
# 0.3M, 1M, 2M and 4M lines:
#  19. lines drawn from 50 texts and a fifth blank, one blank inserted
#  20. lines drawn from 5,000 texts and a fifth blank, three inserted
#  21. half of the lines blank, the others from 50 texts, one inserted
# With SET=little the inputs are files that share little but blank lines,
# and one file against itself with other line ends:
#  22. the system's C headers (/usr/include, each file once, concatenated)
#      against lines drawn from 50 texts, a fifth blank (diff_gen.py
#      blanks), at 0.2M, 0.8M and 1.5M lines each, and 1.09M lines of
#      headers against 1.5M lines of 50 texts
#  23. 0.8M lines of 50 texts against 0.8M lines of 50 other texts, each a
#      fifth blank
#  24. the 1M source-like lines of 1. (50 MB, LF) against the same with CR
#      LF line ends
# The tools run side by side: each round runs every tool once on the input,
# and the table shows the median wall time of the rounds, the highest peak
# memory (/usr/bin/time -v) and the number of unchanged lines each found.
# Inputs go to a temporary folder (or $1). With CHECK set to another
# qvl-diff (say, a build from before a change), its report on each input is
# compared with this one's and the table says "same" or "DIFFERENT". With
# BEFORE set to another qvl-diff, that one runs in every round as well
# (before, now and diff side by side under the same load).
#
#   bench/diff_compare.sh [WORKDIR]
#   QVL_DIFF=path/to/qvl-diff  TIMEOUT=seconds per run (120)
#   REPEAT=N  rounds per input (5); the median time is shown
#   ONLY=NAME  run only the input of that name (e.g. 1M-0.1%-edited)
#   SET=shapes  the goal shapes above instead of inputs 1 to 10
#   SET=edits  the edits above instead of inputs 1 to 10
#   SET=blanks  the blank lines inserted above instead of inputs 1 to 10
#   SET=little  the files that share little above instead of inputs 1 to 10
#   NO_MINIMAL=1  leave diff --minimal out
#   CHECK=path/to/other/qvl-diff  compare the reports
#   BEFORE=path/to/other/qvl-diff  time it too, in the same rounds
#   QVL_ARGS="--ignore-case"  options for every qvl-diff run (also BEFORE
#     and CHECK); DIFF_ARGS="-i" options for diff
set -eu
here=$(cd "$(dirname "$0")" && pwd)
qvl=${QVL_DIFF:-$here/../build/bench/qvl-diff}
limit=${TIMEOUT:-120}
repeat=${REPEAT:-5}
work=${1:-$(mktemp -d /tmp/qvl-diff-bench.XXXXXX)}
mkdir -p "$work"
# The runs' own outputs (reports, times) go to a folder of this run's, so
# that several runs may share one folder of inputs.
runs=$(mktemp -d /tmp/qvl-diff-runs.XXXXXX)
trap 'rm -rf "$runs"' EXIT
gen="python3 $here/diff_gen.py"

[ -f "$work/big.txt" ] || $gen code 1000000 1 "$work/big.txt"
pairs_shapes=""
if [ "${SET:-}" = shapes ]; then
    for n in 500000 1000000 2000000 4000000; do
        m=$((n / 1000))k
        for setting in "a 20 40 0.003 1 lf 51" "b 20 200 0.0001 50 crlf 52" "c 20 10 0.02 5 lf 53" \
                       "a 2 40 0.003 1 lf 54" "a 200 40 0.003 1 lf 55" "b 2 200 0.0001 50 crlf 56" \
                       "c 2 10 0.02 5 lf 57"; do
            set -- $setting
            [ -f "$work/t$2$1-$m-r.txt" ] ||
                $gen texts $n $2 $3 $4 $5 $6 $7 "$work/t$2$1-$m-l.txt" "$work/t$2$1-$m-r.txt"
            pairs_shapes="$pairs_shapes|$m-$2-texts-$1 t$2$1-$m-l.txt t$2$1-$m-r.txt"
        done
    done
    [ -f "$work/log2.txt" ] || $gen log 1000000 41 "$work/log2.txt"
    [ -f "$work/log2-one.txt" ] || $gen change "$work/log2.txt" 3 "$work/log2-one.txt"
    [ -f "$work/bigcr.txt" ] || sed -e 's/$/\r/' "$work/big.txt" >"$work/bigcr.txt"
    [ -f "$work/bigcr-one.txt" ] || { $gen change "$work/big.txt" 9 "$work/big-one2.txt" &&
                                      sed -e 's/$/\r/' "$work/big-one2.txt" >"$work/bigcr-one.txt"; }
    for f in big log2 bigcr; do
        [ -f "$work/$f-copy.txt" ] || cp "$work/$f.txt" "$work/$f-copy.txt"
        [ -f "$work/$f-prefixed.txt" ] || $gen prefix "$work/$f.txt" "x " "$work/$f-prefixed.txt"
    done
    pairs_shapes="$pairs_shapes|1M-one-line-changed big.txt big-one.txt|1M-one-changed-crlf bigcr.txt bigcr-one.txt"
    pairs_shapes="$pairs_shapes|1M-one-changed-log log2.txt log2-one.txt"
    pairs_shapes="$pairs_shapes|1M-identical big.txt big-copy.txt|1M-identical-crlf bigcr.txt bigcr-copy.txt"
    pairs_shapes="$pairs_shapes|1M-identical-log log2.txt log2-copy.txt"
    pairs_shapes="$pairs_shapes|1M-nothing-common big.txt big-prefixed.txt|1M-nothing-common-crlf bigcr.txt bigcr-prefixed.txt"
    pairs_shapes="$pairs_shapes|1M-nothing-common-log log2.txt log2-prefixed.txt"
    [ -f "$work/big-mid.txt" ] || $gen change "$work/big.txt" 1 "$work/big-mid.txt" 0.5
    [ -f "$work/big-ins.txt" ] || $gen insert "$work/big.txt" "$work/big-ins.txt"
    [ -f "$work/big-blank.txt" ] || $gen insert "$work/big.txt" "$work/big-blank.txt" ""
    [ -f "$work/one40.txt" ] || $gen same 1000000 "$work/one40.txt" "        value_1 = count(index_2, 3); // 4"
    [ -f "$work/one40-ins.txt" ] || $gen insert "$work/one40.txt" "$work/one40-ins.txt"
    [ -f "$work/num.txt" ] || $gen number 1000000 "$work/num.txt"
    [ -f "$work/num-mid.txt" ] || $gen change "$work/num.txt" 1 "$work/num-mid.txt" 0.5
    pairs_shapes="$pairs_shapes|1M-source-middle-changed big.txt big-mid.txt|1M-source-line-inserted big.txt big-ins.txt"
    pairs_shapes="$pairs_shapes|1M-source-blank-inserted big.txt big-blank.txt"
    pairs_shapes="$pairs_shapes|1M-one-text-inserted one40.txt one40-ins.txt|1M-numbered-middle-changed num.txt num-mid.txt"
fi
pairs_edits=""
if [ "${SET:-}" = edits ]; then
    if [ ! -f "$work/real4000k.txt" ]; then
        # Each file once (the first of those of the same bytes), then
        # source-like lines where they hold fewer than 4M lines.
        { find /usr/include -name '*.h' | sort
          find /usr/share/perl /usr/lib/x86_64-linux-gnu/perl -name '*.pm' | sort
          find /usr/lib/python3 -name '*.py' | sort; } 2>/dev/null | tr '\n' '\0' | xargs -0 md5sum |
            awk '!seen[$1]++ { print substr($0, 35) }' | tr '\n' '\0' | xargs -0 cat >"$work/real.all"
        $gen code 4000000 62 "$work/real.code"
        cat "$work/real.code" >>"$work/real.all"
        head -n 4000000 "$work/real.all" >"$work/real4000k.txt"
        rm -f "$work/real.all" "$work/real.code"
    fi
    for n in 500 1000 2000; do
        [ -f "$work/real${n}k.txt" ] || head -n $((n * 1000)) "$work/real4000k.txt" >"$work/real${n}k.txt"
    done
    [ -f "$work/log2.txt" ] || $gen log 1000000 41 "$work/log2.txt"
    # near SOURCE NAME SHAPE AT: the right file SOURCE-NAME.txt and its pair
    near() {
        [ -f "$work/${1%.txt}-$2.txt" ] || $gen near "$work/$1" 61 "$work/${1%.txt}-$2.txt" "$3" "$4"
        pairs_edits="$pairs_edits|$5-$2 $1 ${1%.txt}-$2.txt"
    }
    for n in 500 1000 2000 4000; do
        near real${n}k.txt del delete 0.5 ${n}k-real
        near real${n}k.txt del-blank delete-blank 0.3 ${n}k-real
        near real${n}k.txt del-unique delete-unique 0.7 ${n}k-real
        near real${n}k.txt block20 block:20 0.4 ${n}k-real
        near real${n}k.txt edits5 edits:5:300 0.6 ${n}k-real
    done
    near real1000k.txt block17 block:17 0.2 1000k-real
    near real1000k.txt block40 block:40 0.8 1000k-real
    near real1000k.txt edits2 edits:2:100 0.25 1000k-real
    near real1000k.txt edits3 edits:3:300 0.1 1000k-real
    near big.txt del delete 0.5 1000k-code
    near big.txt block20 block:20 0.4 1000k-code
    near big.txt edits5 edits:5:300 0.6 1000k-code
    near log2.txt del delete 0.5 1000k-log
    near log2.txt edits3 edits:3:200 0.3 1000k-log
fi
pairs_blanks=""
if [ "${SET:-}" = blanks ]; then
    for n in 300000 1000000 2000000 4000000; do
        m=$((n / 1000))k
        for setting in "50 0.2 1 71 fifth" "5000 0.2 3 72 fifth" "50 0.5 1 73 half"; do
            set -- $setting
            [ -f "$work/bl$5$1-$3-$m-r.txt" ] ||
                $gen blanks $n $1 $2 $3 $4 "$work/bl$5$1-$3-$m-l.txt" "$work/bl$5$1-$3-$m-r.txt"
            pairs_blanks="$pairs_blanks|$m-$1-texts-$5-blank-$3-ins bl$5$1-$3-$m-l.txt bl$5$1-$3-$m-r.txt"
        done
    done
fi
pairs_little=""
if [ "${SET:-}" = little ]; then
    if [ ! -f "$work/headers.txt" ]; then
        find /usr/include -name '*.h' | sort | tr '\n' '\0' | xargs -0 md5sum |
            awk '!seen[$1]++ { print substr($0, 35) }' | tr '\n' '\0' | xargs -0 cat >"$work/headers.txt"
    fi
    for n in 200 800 1090 1500; do
        [ -f "$work/headers${n}k.txt" ] || head -n $((n * 1000)) "$work/headers.txt" >"$work/headers${n}k.txt"
    done
    for setting in "200 81" "800 82" "1500 83" "800 84"; do
        set -- $setting
        [ -f "$work/texts50-$1k-$2.txt" ] || $gen blanks $(($1 * 1000)) 50 0.2 0 $2 "$work/texts50-$1k-$2.txt" /dev/null
    done
    [ -f "$work/bigcr.txt" ] || sed -e 's/$/\r/' "$work/big.txt" >"$work/bigcr.txt"
    pairs_little="|200k-headers-50-texts headers200k.txt texts50-200k-81.txt"
    pairs_little="$pairs_little|800k-headers-50-texts headers800k.txt texts50-800k-82.txt"
    pairs_little="$pairs_little|800k-50-texts-50-others texts50-800k-82.txt texts50-800k-84.txt"
    pairs_little="$pairs_little|1.09M-headers-1.5M-texts headers1090k.txt texts50-1500k-83.txt"
    pairs_little="$pairs_little|1.5M-headers-50-texts headers1500k.txt texts50-1500k-83.txt"
    pairs_little="$pairs_little|1M-lf-against-crlf big.txt bigcr.txt"
fi
[ -f "$work/big-edited.txt" ] || $gen edit "$work/big.txt" 0.001 2 "$work/big-edited.txt"
[ -f "$work/a20k.txt" ] || $gen code 20000 3 "$work/a20k.txt"
[ -f "$work/b20k.txt" ] || $gen code 20000 4 "$work/b20k.txt"
[ -f "$work/mid.txt" ] || $gen code 100000 5 "$work/mid.txt"
[ -f "$work/mid-reversed.txt" ] || $gen reverse "$work/mid.txt" "$work/mid-reversed.txt"
[ -f "$work/big-reversed.txt" ] || $gen reverse "$work/big.txt" "$work/big-reversed.txt"
[ -f "$work/rep.txt" ] || $gen pick 1000000 1000 6 "$work/rep.txt"
[ -f "$work/rep-edited.txt" ] || $gen edit "$work/rep.txt" 0.001 7 "$work/rep-edited.txt"
[ -f "$work/two.txt" ] || $gen pick 1000000 2 8 "$work/two.txt"
[ -f "$work/two-edited.txt" ] || $gen edit "$work/two.txt" 0.001 9 "$work/two-edited.txt"
[ -f "$work/num.txt" ] || $gen number 1000000 "$work/num.txt"
[ -f "$work/num-edited.txt" ] || $gen edit "$work/num.txt" 0.001 13 "$work/num-edited.txt"
[ -f "$work/log.txt" ] || $gen log 1000000 14 "$work/log.txt"
[ -f "$work/log-edited.txt" ] || $gen edit "$work/log.txt" 0.001 15 "$work/log-edited.txt"
[ -f "$work/same400k.txt" ] || $gen same 400000 "$work/same400k.txt"
[ -f "$work/same400k-ins.txt" ] || $gen insert "$work/same400k.txt" "$work/same400k-ins.txt"
[ -f "$work/same1m.txt" ] || $gen same 1000000 "$work/same1m.txt"
[ -f "$work/same1m-ins.txt" ] || $gen insert "$work/same1m.txt" "$work/same1m-ins.txt"
[ -f "$work/blk.txt" ] || $gen blocks 1000000 50 11 "$work/blk.txt"
[ -f "$work/blk-edited.txt" ] || $gen edit "$work/blk.txt" 0.001 12 "$work/blk-edited.txt"
[ -f "$work/two-other.txt" ] || $gen pick 1000000 2 10 "$work/two-other.txt"
[ -f "$work/p20.txt" ] || $gen pick 1000000 20 16 "$work/p20.txt"
[ -f "$work/p20-edited.txt" ] || $gen edit "$work/p20.txt" 0.001 17 "$work/p20-edited.txt"
[ -f "$work/p20x2.txt" ] || $gen pick 2000000 20 18 "$work/p20x2.txt"
[ -f "$work/p20x2-edited.txt" ] || $gen edit "$work/p20x2.txt" 0.001 19 "$work/p20x2-edited.txt"
[ -f "$work/big-one.txt" ] || $gen change "$work/big.txt" 21 "$work/big-one.txt"
[ -f "$work/p20-repick.txt" ] || $gen repick "$work/p20.txt" 0.001 20 22 "$work/p20-repick.txt"

# once TOOL LEFT RIGHT COMMAND...: one run; appends "seconds kbytes" to
# $work/TOOL.runs, or "timeout" when it did not finish.
once() {
    tool=$1 left=$2 right=$3
    shift 3
    set +e
    timeout "$limit" /usr/bin/time -v -o "$runs/time.txt" "$@" "$left" "$right" >"$runs/$tool.out" 2>/dev/null
    rc=$?
    set -e
    if [ $rc -eq 124 ] || [ $rc -gt 128 ]; then
        echo timeout >>"$runs/$tool.runs"
        return
    fi
    secs=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$runs/time.txt" |
           awk -F: '{ if (NF == 3) print $1*3600 + $2*60 + $3; else print $1*60 + $2 }')
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$runs/time.txt")
    echo "$secs $kb" >>"$runs/$tool.runs"
}

# row NAME TOOL LABEL TOTAL: the table line of one tool.
row() {
    name=$1 tool=$2 label=$3 total=$4
    if grep -q timeout "$runs/$tool.runs"; then
        printf '%-24s %-22s %10s %10s %12s\n' "$name" "$label" ">${limit}s" "-" "-"
        return
    fi
    med=$(cut -d' ' -f1 "$runs/$tool.runs" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    kb=$(cut -d' ' -f2 "$runs/$tool.runs" | sort -n | tail -1)
    case "$tool" in
        qvl|before) gone=$(grep -c '^[xL] ' "$runs/$tool.out" || true) ;;
        *) gone=$(grep -c '^< ' "$runs/$tool.out" || true) ;;
    esac
    printf '%-24s %-22s %9.2fs %8dMB %12d\n' "$name" "$label" "$med" $((kb / 1024)) $((total - gone))
}

printf '%-24s %-22s %10s %10s %12s\n' "input" "tool" "time" "peak mem" "unchanged"
pairs=""
[ -n "${SET:-}" ] || for pair in "1M-0.1%-edited big.txt big-edited.txt" \
            "20k-unrelated a20k.txt b20k.txt" \
            "100k-reversed mid.txt mid-reversed.txt" \
            "1M-reversed big.txt big-reversed.txt" \
            "1M-1000-texts rep.txt rep-edited.txt" \
            "1M-2-texts-edited two.txt two-edited.txt" \
            "1M-2-texts-unrelated two.txt two-other.txt" \
            "1M-numbered num.txt num-edited.txt" \
            "1M-log log.txt log-edited.txt" \
            "400k-same-inserted same400k.txt same400k-ins.txt" \
            "1M-same-inserted same1m.txt same1m-ins.txt" \
            "1M-50-line-blocks blk.txt blk-edited.txt" \
            "1M-20-texts p20.txt p20-edited.txt" \
            "2M-20-texts p20x2.txt p20x2-edited.txt" \
            "1M-one-line-changed big.txt big-one.txt" \
            "1M-20-texts-same-20 p20.txt p20-repick.txt"; do
    pairs="$pairs|$pair"
done
pairs=${pairs#|}
[ "${SET:-}" != shapes ] || pairs=${pairs_shapes#|}
[ "${SET:-}" != edits ] || pairs=${pairs_edits#|}
[ "${SET:-}" != blanks ] || pairs=${pairs_blanks#|}
[ "${SET:-}" != little ] || pairs=${pairs_little#|}
old_ifs=$IFS
IFS='|'
for pair in $pairs; do
    IFS=$old_ifs
    set -- $pair
    name=$1 left=$work/$2 right=$work/$3
    [ -n "${ONLY:-}" ] && [ "$ONLY" != "$name" ] && continue
    rm -f "$runs/qvl.runs" "$runs/diff.runs" "$runs/minimal.runs" "$runs/before.runs"
    n=0
    while [ $n -lt "$repeat" ]; do
        n=$((n + 1))
        [ -z "${BEFORE:-}" ] || once before "$left" "$right" "$BEFORE" ${QVL_ARGS:-}
        once qvl "$left" "$right" "$qvl" ${QVL_ARGS:-}
        once diff "$left" "$right" diff ${DIFF_ARGS:-}
        [ -n "${NO_MINIMAL:-}" ] || once minimal "$left" "$right" diff --minimal
    done
    total=$(wc -l <"$left")
    [ -z "${BEFORE:-}" ] || row "$name" before "qvl-diff before" "$total"
    row "$name" qvl qvl-diff "$total"
    row "$name" diff diff "$total"
    [ -n "${NO_MINIMAL:-}" ] || row "$name" minimal "diff --minimal" "$total"
    if [ -n "${CHECK:-}" ]; then
        set +e
        timeout "$limit" "$CHECK" ${QVL_ARGS:-} "$left" "$right" >"$runs/check.out" 2>/dev/null
        set -e
        if cmp -s "$runs/check.out" "$runs/qvl.out"; then verdict=same; else verdict=DIFFERENT; fi
        printf '%-24s %-22s %s\n' "$name" "report vs CHECK" "$verdict"
    fi
done
