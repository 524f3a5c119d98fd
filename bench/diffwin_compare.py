#!/usr/bin/env python3
"""Times the diff windows of diffwin-uibench beside GNU diff and diff3.

    bench/diffwin_compare.py [--bench BUILD/bench/diffwin-uibench]
        [--before OTHER/diffwin-uibench] [--lines N] [--rounds R] [--work DIR]

Cases, on files of N lines (default 1,000,000) written once by the bench:
  two     the two-file window; peer `diff LEFT RIGHT`
  ignore  the same window and files with "ignore case" and "ignore text"
          on (empty ignore list); peer `diff -i LEFT RIGHT`
  three   the three-file window; peer `diff3 LEFT BASE RIGHT`

Each round runs, for every case, the older build (--before), this build and
the peer once, one after the other, so that a change of the machine's load
hits them alike. Time: the bench's own "open" (engine + window shown and
painted) and the peer's wall time; peak memory: each process's maximum
resident size (/usr/bin/time -f %M, which for diff3 covers the diff it
runs). The table gives the medians of the rounds and the median of the
ratios within each round. With --before, the rows of every pane of both
builds are compared once per case (--dump) and reported as "same" or
"DIFFERENT".
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run_timed(cmd, work):
    """Runs cmd; returns (wall seconds, peak MiB, stdout)."""
    tfile = os.path.join(work, "time.txt")
    start = time.perf_counter()
    p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", tfile] + cmd, stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, text=True)
    wall = time.perf_counter() - start
    if p.returncode not in (0, 1):
        sys.exit("failed (%d): %s" % (p.returncode, " ".join(cmd)))
    with open(tfile) as f:
        peak = int(f.read().split()[-1]) / 1024
    return wall, peak, p.stdout


def bench_open(out):
    for line in out.splitlines():
        if line.startswith("open "):
            return float(line.split()[1]) / 1000
    sys.exit("no open time in:\n" + out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bench", default=os.path.join(HERE, "..", "build", "bench", "diffwin-uibench"))
    ap.add_argument("--before")
    ap.add_argument("--lines", type=int, default=1000000)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--work")
    ap.add_argument("--cases", default="two,ignore,three")
    a = ap.parse_args()
    work = a.work or tempfile.mkdtemp(prefix="qvl-diffwin-")
    cases = a.cases.split(",")
    flags = {"two": [], "ignore": ["--ignore"], "three": ["--three"]}
    dirs = {c: os.path.join(work, "three" if c == "three" else "two") for c in cases}
    peers = {
        "two": lambda d: ["diff", d + "/left.txt", d + "/right.txt"],
        "ignore": lambda d: ["diff", "-i", d + "/left.txt", d + "/right.txt"],
        "three": lambda d: ["diff3", d + "/left.txt", d + "/base.txt", d + "/right.txt"],
    }
    builds = [("before", a.before)] if a.before else []
    builds.append(("now", a.bench))
    checks = {}
    for c in cases:
        cmd = [a.bench, str(a.lines), "--dir", dirs[c]] + flags[c]
        if a.before:
            dumps = []
            for name, binary in builds:
                dump = os.path.join(work, "%s-%s.rows" % (c, name))
                subprocess.run([binary, str(a.lines), "--dir", dirs[c], "--dump", dump] + flags[c],
                               stdout=subprocess.DEVNULL, check=True)
                dumps.append(dump)
            same = subprocess.run(["cmp", "-s"] + dumps).returncode == 0
            checks[c] = "same" if same else "DIFFERENT"
            for d in dumps:
                os.remove(d)
        else:
            subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
    runs = {}  # (case, tool) -> list of (seconds, MiB)
    for r in range(a.rounds):
        for c in cases:
            for name, binary in builds:
                _, peak, out = run_timed([binary, str(a.lines), "--dir", dirs[c]] + flags[c], work)
                runs.setdefault((c, name), []).append((bench_open(out), peak))
            wall, peak, _ = run_timed(peers[c](dirs[c]), work)
            runs.setdefault((c, "peer"), []).append((wall, peak))
        print("round %d of %d done (load %.1f)" % (r + 1, a.rounds, os.getloadavg()[0]), file=sys.stderr)

    for (c, tool), xs in sorted(runs.items()):
        print("%s %s: %s" % (c, tool, " ".join("%.3f s/%.0f MiB" % x for x in xs)), file=sys.stderr)

    def med(c, tool, i):
        return statistics.median(x[i] for x in runs[(c, tool)])

    def ratio(c, tool, other, i):
        return statistics.median(x[i] / y[i] for x, y in zip(runs[(c, tool)], runs[(c, other)]))

    peer_name = {"two": "GNU diff", "ignore": "GNU diff -i", "three": "GNU diff3"}
    print("| case | build | open s | peak MiB | time / peer | memory / peer | rows |")
    print("|---|---|---|---|---|---|---|")
    for c in cases:
        for name, _ in builds:
            print("| %s | %s | %.3f | %.0f | %.2f | %.2f | %s |" % (
                c, name, med(c, name, 0), med(c, name, 1), ratio(c, name, "peer", 0),
                ratio(c, name, "peer", 1), checks.get(c, "-") if name == "now" else ""))
        print("| %s | %s | %.3f | %.0f | 1 | 1 | |" % (c, peer_name[c], med(c, "peer", 0), med(c, "peer", 1)))
    if "two" in cases and "ignore" in cases:
        for name, _ in builds:
            print("%s: ignore / two, time %.2f, memory %.2f" % (
                name, statistics.median(x[0] / y[0] for x, y in zip(runs[("ignore", name)], runs[("two", name)])),
                statistics.median(x[1] / y[1] for x, y in zip(runs[("ignore", name)], runs[("two", name)]))))


if __name__ == "__main__":
    main()
