#!/bin/sh
# The command-line job itself (the program started with -input=...), timed
# beside perl and sd on the same work, the literal `request` -> `REQUEST`:
#   1. file mode: a log of MB megabytes (default 50) written to a new output
#      file, after another program (dd) has written a file of PENDING
#      megabytes (default 1024): once after `sync` has put it on the disk,
#      once while it is still unwritten in the page cache (it is removed
#      after each run of the case);
#   2. folder mode: a tree of COUNT files of 10 KB (default 5,000, in folders
#      of 500) converted in place, beside `perl -pi` over a copy of the tree.
# Each round runs every program once on each case (paired runs, so that a
# change of load hits them alike; their order turns from round to round);
# the table gives the median wall time and the median CPU time (user +
# system, /usr/bin/time) of the rounds. With
# BEFORE set to another build folder, its job runs in every round as well
# and its outputs are compared with this build's ("same as before"); every
# output is compared with perl's ("same as perl").
#
#   bench/convert_job.sh [BUILD-DIR] [RUNS]
#   BEFORE=other/build   MB=50   PENDING=1024   COUNT=5000
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-5}
mb=${MB:-50}
pending=${PENDING:-1024}
count=${COUNT:-5000}
before=${BEFORE:+$(cd "$BEFORE" && pwd)}
work=$(mktemp -d /tmp/qvl-convert-job.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

# The library file: one library of one macro, request -> REQUEST.
sed 's/^x$/request/; s/^---x---$/REQUEST/' "$here/../tests/data/convert/sample_library_block.txt" |
    sed '1i ~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, ' > "$work/lib.txt"
"$build/bench/convert-speed" --make "$mb" "$work/log.txt"
"$build/bench/convert-speed" --make tree "$work/master" "$count"

# Which programs run: name and the build it comes from.
progs="now:$build"
[ -n "$before" ] && progs="before:$before $progs"

# timed NAME CASE COMMAND...: runs the command under /usr/bin/time and
# appends "CASE NAME wall cpu" to the results.
timed() {
    name=$1 case=$2
    shift 2
    t0=$(date +%s%N)
    /usr/bin/time -f "%U %S" -o "$work/time" "$@" > "$work/stdout" 2> "$work/stderr" ||
        { echo "$name failed on $case:"; cat "$work/stderr"; exit 1; }
    t1=$(date +%s%N)
    awk -v c="$case" -v n="$name" -v ns=$((t1 - t0)) \
        '{ printf "%s|%s|%.3f|%.2f\n", c, n, ns / 1e9, $1 + $2 }' "$work/time" >> "$work/results"
}

# job NAME BUILD CASE INPUT [OUTPUT]: the job of that build, timed, with a
# work area of its own.
job() {
    out=${5:+,-output=$5}
    timed "job $1" "$3" env QVL_ROOT="$work/root-$1" "$2/quorvellian" \
        "-input=$4$out,-libfile=$work/lib.txt,-libind=0,-default=y"
}

check() {  # check WHAT A B
    if cmp -s "$2" "$3" 2>/dev/null || diff -r -q "$2" "$3" > /dev/null 2>&1; then :; else
        echo "$1" >> "$work/differs"
    fi
}

: > "$work/results"
: > "$work/differs"
# rotated R WORD...: the words, starting with the (R mod count)th: the order
# of the programs changes from round to round, so that none always runs
# first (just after the trees are made) or last.
rotated() {
    r=$1
    shift
    n=$#
    i=0
    for w in "$@"; do
        [ "$i" -ge $((r % n)) ] && printf '%s ' "$w"
        i=$((i + 1))
    done
    i=0
    for w in "$@"; do
        [ "$i" -lt $((r % n)) ] && printf '%s ' "$w"
        i=$((i + 1))
    done
}
for r in $(seq "$runs"); do
    for state in synced pending; do
        case=$state
        for p in $progs; do
            rm -f "$work/out-${p%%:*}.txt"
        done
        rm -f "$work/perl.txt" "$work/sd.txt"
        # Both states have the other program's file in the page cache: after
        # sync it is on the disk; else it is still waiting for it, written
        # anew before each program (a program that flushes the whole file
        # system writes it), and removed unwritten after it.
        sync
        if [ "$state" = synced ]; then
            dd if=/dev/zero of="$work/pending" bs=1M count="$pending" status=none
            sync
        fi
        for p in $(rotated "$r" $progs perl sd); do
            if [ "$state" = pending ]; then
                dd if=/dev/zero of="$work/pending" bs=1M count="$pending" status=none
            else
                sync  # what the program before wrote
            fi
            case $p in
            perl) timed "perl -pe" "$case" sh -c "perl -pe 's/request/REQUEST/g' '$work/log.txt' > '$work/perl.txt'" ;;
            sd) timed "sd" "$case" sh -c "sd -s request REQUEST < '$work/log.txt' > '$work/sd.txt'" ;;
            *) job "${p%%:*}" "${p#*:}" "$case" "$work/log.txt" "$work/out-${p%%:*}.txt" ;;
            esac
            [ "$state" = pending ] && rm -f "$work/pending"
        done
        rm -f "$work/pending"
        for p in $progs; do
            check "job ${p%%:*} ($case) differs from perl" "$work/out-${p%%:*}.txt" "$work/perl.txt"
        done
        [ -n "$before" ] && check "job now ($case) differs from before" "$work/out-now.txt" "$work/out-before.txt"
        check "sd ($case) differs from perl" "$work/sd.txt" "$work/perl.txt"
    done
    # Folder mode: each program over a fresh copy of the tree, each after
    # sync (nothing of the others' left to write).
    for p in $progs; do
        rm -rf "$work/tree-${p%%:*}"
        cp -a "$work/master" "$work/tree-${p%%:*}"
    done
    rm -rf "$work/tree-perl"
    cp -a "$work/master" "$work/tree-perl"
    (cd "$work/tree-perl" && find . -type f | sort > "$work/files")
    for p in $(rotated "$r" $progs perl); do
        sync
        case $p in
        perl) timed "perl -pi" folder sh -c "cd '$work/tree-perl' && xargs perl -pi -e 's/request/REQUEST/g' < '$work/files'" ;;
        *) job "${p%%:*}" "${p#*:}" folder "$work/tree-${p%%:*}" ;;
        esac
    done
    for p in $progs; do
        check "job ${p%%:*} (folder) differs from perl" "$work/tree-${p%%:*}" "$work/tree-perl"
    done
    [ -n "$before" ] && check "job now (folder) differs from before" "$work/tree-now" "$work/tree-before"
done

echo "The literal request -> REQUEST; $mb MB log, $count files of 10 KB; medians of $runs paired runs"
echo "(load average at the end: $(cut -d' ' -f1-3 /proc/loadavg))"
echo
median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "| case | program | wall s (x perl) | CPU s, user + system (x perl) |"
echo "|---|---|---|---|"
for case in synced pending folder; do
    label=$case
    [ "$case" = synced ] && label="$mb MB file, after sync"
    [ "$case" = pending ] && label="$mb MB file, $pending MB of another program unwritten"
    [ "$case" = folder ] && label="folder mode, $count files"
    grep "^$case|perl" "$work/results" > "$work/sel"
    pwall=$(cut -d'|' -f3 "$work/sel" | median)
    pcpu=$(cut -d'|' -f4 "$work/sel" | median)
    { for p in $progs; do echo "job ${p%%:*}"; done; printf 'perl -pe\nperl -pi\nsd\n'; } | while read -r name; do
        grep -F "$case|$name|" "$work/results" > "$work/sel" || continue
        wall=$(cut -d'|' -f3 "$work/sel" | median)
        cpu=$(cut -d'|' -f4 "$work/sel" | median)
        echo "| $label | $name | $wall ($(echo "$wall $pwall" | awk '{ printf "%.2f", $1 / $2 }')) |" \
            "$cpu ($(echo "$cpu $pcpu" | awk '{ printf "%.2f", ($2 > 0) ? $1 / $2 : 0 }')) |"
    done
done
echo
# The job's time with the other program's data pending against its time
# after sync: the ratio of the medians, and the median of each round's ratio.
for p in $progs; do
    name="job ${p%%:*}"
    grep -F "synced|$name|" "$work/results" | cut -d'|' -f3 > "$work/a"
    grep -F "pending|$name|" "$work/results" | cut -d'|' -f3 > "$work/b"
    echo "$name, pending / after sync: $(paste "$work/b" "$work/a" | awk '{ print $1 / $2 }' | median)" \
        "(median of the rounds' ratios; ratio of the medians $(echo "$(median < "$work/b") $(median < "$work/a")" | awk '{ printf "%.3f", $1 / $2 }'))"
done
echo
if [ -s "$work/differs" ]; then sort -u "$work/differs"; else echo "Every output is the same as perl's${before:+ and as before}."; fi
