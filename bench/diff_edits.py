#!/usr/bin/env python3
"""Edits people make, on real source, beside GNU diff.

diff_edits.py WORKDIR [--rounds N] [--before BIN] [--check BIN] [--qvl BIN]
              [--sizes 500000,1000000,2000000,4000000] [--seed N] [--only NAME]
              [--at LINE] [--kinds delblank,deluniq,close,block]

The inputs are the system's own text: its C headers (/usr/include), then
its Perl modules and its Python library, concatenated in name order
("source", up to the largest size), and the Perl modules alone ("perl",
1M lines). Each is cut to each size and edited four ways, a tenth to nine
tenths into the file (where, and which lines, drawn from SEED, 3 unless
given):
  delblank  one blank line deleted
  deluniq   one line deleted whose text is found nowhere else in the file
  close     2 to 5 edits (deleted, changed, inserted lines) within 300 lines
  block     17 to 20 lines in a row changed
or, named with --kinds, edits beside a line of the same text:
  delrun    one blank line deleted from a run of two or more blank lines
  delthird  the last of three blank lines in a row (no more) deleted
  insrun    one blank line inserted beside a blank line
  delrep    one line deleted (not blank) whose text is also the line's
            right before or after it
  insrep    one line (not blank) inserted beside a copy of itself
or edits far apart:
  deluniq3  three lines deleted 8,500 lines apart, each the nearest line
            from there whose text is found nowhere else in the file
With --at, the edits are made at LINE (the first line of the kind from
there on) instead, and the inputs are named "...-atLINE".
Each round runs BEFORE (when given), qvl-diff and diff once each, in turn;
the table shows the median wall time, the highest peak memory and the
ratios to diff. With --check, that qvl-diff's report and exit status are
compared with this one's on every input ("same" or "DIFFERENT").
"""
import glob
import os
import random
import statistics
import subprocess
import sys
import time
from collections import Counter

HERE = os.path.dirname(os.path.abspath(__file__))
KINDS = ["delblank", "deluniq", "close", "block"]
BESIDE = ["delrun", "delthird", "insrun", "delrep", "insrep"]
APART = ["deluniq3"]


def beside(lines, k, blank):
    """Whether line k's text is the line's before or after it (blank or not)."""
    return (lines[k].strip() == b"") == blank and (lines[k - 1] == lines[k] or lines[k + 1] == lines[k])


def gather(patterns):
    files = []
    for pattern in patterns:
        files += glob.glob(pattern, recursive=True)
    lines = []
    for path in sorted(set(files)):
        try:
            with open(path, "rb") as f:
                lines += f.read().split(b"\n")[:-1]
        except OSError:
            pass
    return lines


def edit(lines, kind, seed, at=None):
    rng = random.Random(seed)
    right = list(lines)
    lo, hi = len(lines) // 10, len(lines) * 9 // 10
    if kind == "delblank":
        if at is not None:
            del right[next(k for k in range(at, len(lines)) if lines[k].strip() == b"")]
        else:
            del right[rng.choice([k for k in range(lo, hi) if lines[k].strip() == b""])]
    elif kind == "deluniq":
        count = Counter(lines)
        k = at
        while True:
            if at is None:
                k = rng.randrange(lo, hi)
            if count[lines[k]] == 1:
                break
            if at is not None:
                k += 1
        del right[k]
    elif kind == "deluniq3":
        count = Counter(lines)
        base = rng.randrange(lo, hi - 20000) if at is None else at
        places = []
        k = base
        for _ in range(3):
            while count[lines[k]] != 1:
                k += 1
            places.append(k)
            k += 8500
        for k in reversed(places):
            del right[k]
    elif kind == "close":
        base = rng.randrange(lo, hi) if at is None else at
        for k in sorted({base + rng.randrange(300) for _ in range(rng.randint(2, 5))}, reverse=True):
            what = rng.randrange(3)
            if what == 0:
                del right[k]
            elif what == 1:
                right[k] += b" /* changed */"
            else:
                right.insert(k, b"inserted %d" % k)
    elif kind == "block":
        k = rng.randrange(lo, hi) if at is None else at
        for j in range(k, k + rng.randint(17, 20)):
            right[j] += b" /* changed %d */" % j
    else:
        if kind == "delthird":
            fits = lambda k: k >= 3 and lines[k].strip() == b"" and lines[k - 2] == lines[k - 1] == lines[k] and \
                lines[k - 3] != lines[k] and lines[k + 1] != lines[k]
        else:
            fits = lambda k: beside(lines, k, kind.endswith("run"))
        if at is not None:
            k = next(k for k in range(max(at, 2), len(lines) - 1) if fits(k))
        else:
            k = rng.choice([k for k in range(lo, hi) if fits(k)])
        if kind.startswith("del"):
            del right[k]
        else:
            right.insert(k, lines[k])
    return right


def write(path, lines):
    if not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(b"\n".join(lines) + b"\n")


def run(cmd, left, right):
    start = time.perf_counter()
    proc = subprocess.Popen(cmd + [left, right], stdout=subprocess.PIPE)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    return time.perf_counter() - start, usage.ru_maxrss / 1024, out, os.waitstatus_to_exitcode(status)


def inputs(work, sizes, seed, at=None, kinds=KINDS):
    """The pairs (name, text, lines, kind, left, right) of the table, in order."""
    pairs = []
    tag = "%d" % seed if at is None else "at%d" % at
    for n in sizes:
        for kind in kinds:
            pairs.append(("source-%dk-%s-%s" % (n // 1000, kind, tag), "source", n, kind))
    for kind in kinds if at is None else []:
        pairs.append(("perl-1000k-%s-%s" % (kind, tag), "perl", 1000000, kind))
    return [(name, text, n, kind, os.path.join(work, "%s-%d.txt" % (text, n)),
             os.path.join(work, "%s-%d-%s-%s.txt" % (text, n, kind, tag))) for name, text, n, kind in pairs]


def make(work, sizes, seed, at=None, kinds=KINDS):
    """Writes the inputs not yet there (in a process of its own: the runs
    measured are then not children of a process that held the texts)."""
    texts = {}
    for name, text, n, kind, left, right in inputs(work, sizes, seed, at, kinds):
        if os.path.exists(left) and os.path.exists(right):
            continue
        if text not in texts:
            perl = ["/usr/share/perl/**/*.p[lm]", "/usr/share/perl/**/*.pod", "/usr/share/perl5/**/*.p[lm]",
                    "/usr/lib/x86_64-linux-gnu/perl*/**/*.p[lm]"]
            texts[text] = gather((["/usr/include/**/*.h"] + perl + ["/usr/lib/python3*/**/*.py"])
                                 if text == "source" else perl)
        lines = texts[text][:n]
        if len(lines) < n:
            continue
        write(left, lines)
        write(right, edit(lines, kind, seed, at))


def main():
    args = sys.argv[1:]
    if not args:
        sys.exit(__doc__)
    if args[0] == "--make":
        make(args[1], [int(n) for n in args[2].split(",")], int(args[3]), None if args[4] == "-" else int(args[4]),
             args[5].split(","))
        return
    work = args.pop(0)
    opts = {"--rounds": "5", "--sizes": "500000,1000000,2000000,4000000", "--seed": "3"}
    while args:
        opts[args[0]] = args[1]
        args = args[2:]
    qvl = opts.get("--qvl", os.path.join(HERE, "..", "build", "bench", "qvl-diff"))
    sizes = [int(n) for n in opts["--sizes"].split(",")]
    os.makedirs(work, exist_ok=True)
    seed = int(opts["--seed"])
    at = int(opts["--at"]) if "--at" in opts else None
    kinds = opts["--kinds"].split(",") if "--kinds" in opts else KINDS
    if any(kind not in KINDS + BESIDE + APART for kind in kinds):
        sys.exit("kinds: " + ",".join(KINDS + BESIDE + APART))
    subprocess.run([sys.executable, os.path.abspath(__file__), "--make", work, opts["--sizes"], str(seed),
                    "-" if at is None else str(at), ",".join(kinds)], check=True)
    tools = ([("before", opts["--before"].split())] if "--before" in opts else []) + [("now", [qvl]), ("diff", ["diff"])]
    head = "| input | " + " | ".join(name for name, _ in tools) + " | now / diff | peak " + \
           " / ".join(name for name, _ in tools) + " (MB) | peak now / diff |" + (" report |" if "--check" in opts else "")
    print(head)
    print("|" + "---|" * (head.count("|") - 1))
    for name, text, n, kind, left, right in inputs(work, sizes, seed, at, kinds):
        if "--only" in opts and opts["--only"] != name:
            continue
        if not os.path.exists(right):
            print("| %s | fewer than %d lines of text on this system |" % (name, n))
            continue
        times = {t: [] for t, _ in tools}
        peaks = {t: 0.0 for t, _ in tools}
        outs = {}
        for _ in range(int(opts["--rounds"])):
            for t, cmd in tools:
                secs, peak, out, code = run(cmd, left, right)
                times[t].append(secs)
                peaks[t] = max(peaks[t], peak)
                outs[t] = (out, code)
        med = {t: statistics.median(times[t]) for t, _ in tools}
        row = "| %s | " % name + " | ".join("%.3f s" % med[t] for t, _ in tools)
        row += " | %.2f | " % (med["now"] / med["diff"]) + " / ".join("%.1f" % peaks[t] for t, _ in tools)
        row += " | %.2f |" % (peaks["now"] / peaks["diff"])
        if "--check" in opts:
            out, code = run(opts["--check"].split(), left, right)[2:]
            row += " %s |" % ("same" if (out, code) == outs["now"] else "DIFFERENT")
        print(row, flush=True)


if __name__ == "__main__":
    main()
