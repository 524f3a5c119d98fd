#!/usr/bin/env python3
"""Where the conversion job's time goes, by stage.

Reads `perf script` output of a run recorded with call graphs
(perf record -F 999 --call-graph dwarf,32768 ...) on stdin and prints the share
of the samples (CPU time over all threads) that each stage takes:
reading, splitting (cutting parts, CR LF), matching, building the result,
writing (write, flush, rename), page faults and the rest (start-up, thread
hand-over, copies of whole texts, the allocator).

Each sample goes to the stage named by the innermost frame of its stack that
names one (a page fault, the kernel's read or write path, or one of the
engine's functions); opening a file counts with the stage that opens it.
"""
import re
import sys

KERNEL = [
    ("page faults", re.compile(r"^(asm_exc_page_fault|exc_page_fault|do_user_addr_fault|handle_mm_fault)$")),
    ("writing", re.compile(r"^(ksys_write|vfs_write|__x64_sys_write|__x64_sys_fsync|do_fsync|"
                           r"ksys_sync_file_range|__x64_sys_sync_file_range|__x64_sys_rename|"
                           r"do_renameat2|__x64_sys_syncfs)$")),
    ("reading", re.compile(r"^(ksys_read|vfs_read|__x64_sys_read)$")),
]
USER = [
    ("matching", re.compile(r"MatchWildPattern|MatchPiece|FindToken|FindLiteral|FindTypeCardStart|"
                            r"GrabTypeCard|WildFind|FindMinimalSpan|memmem|two_way|critical_factorization")),
    ("building the result", re.compile(r"CReplaceTemplate::Build|BuildReplacement|ApplyReplaceTags|"
                                       r"HasTagOpening|ExpandCounterTags|ExpandAlignTags|"
                                       r"FillWildSymbolsInOrder|ParseSignedNumber|ReplaceFrom|"
                                       r"ApplyPieceRange|FindReplacePass")),
    ("splitting, CR LF", re.compile(r"ExpandLoneLineFeeds|DropCrOfLineBreaks|memrchr")),
    ("reading", re.compile(r"ReadFileForConversion|CPartReader::")),
    ("writing", re.compile(r"WriteBytes|WriteAll|CSafeWriter|WriteFileReplacing|CWriteGroup|CPartsPass::WritePart")),
]
ORDER = ["reading", "splitting, CR LF", "matching", "building the result", "writing",
         "page faults", "other"]


def classify(frames):
    for f in frames:  # innermost first: the first frame that names a stage decides
        for stage, rx in KERNEL:
            if rx.match(f):
                return stage
        for stage, rx in USER:
            if rx.search(f):
                return stage
    return "other"


def main():
    # --per RUNS FREQ: also print the CPU time of one run (samples / FREQ / RUNS).
    per = None
    if len(sys.argv) == 4 and sys.argv[1] == "--per":
        per = (int(sys.argv[2]), float(sys.argv[3]))
    counts = {s: 0 for s in ORDER}
    frames = []
    in_sample = False
    total = 0
    for line in sys.stdin:
        if not line.strip():
            if in_sample:
                counts[classify(frames)] += 1
                total += 1
            frames, in_sample = [], False
            continue
        if not line.startswith((" ", "\t")):
            in_sample = True
            continue
        parts = line.strip().split(None, 1)
        if len(parts) == 2:
            sym = re.sub(r"\+0x[0-9a-f]+ \(.*\)$", "", parts[1])
            sym = re.sub(r" \(.*\)$", "", sym)
            frames.append(sym)
    if in_sample:
        counts[classify(frames)] += 1
        total += 1
    print("samples %d" % total)
    if per:
        print("CPU per run %.3f s" % (total / per[1] / per[0]))
    for s in ORDER:
        print("%-20s %5.1f%%" % (s, 100.0 * counts[s] / max(total, 1)))


if __name__ == "__main__":
    main()
