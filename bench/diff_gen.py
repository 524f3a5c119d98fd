#!/usr/bin/env python3
"""Inputs for comparing qvl-diff with GNU diff.

diff_gen.py code N SEED OUT        N lines that look like source code
diff_gen.py edit IN RATE SEED OUT  a copy of IN with RATE of its lines
                                   changed, deleted or preceded by an
                                   inserted line (a third each)
diff_gen.py reverse IN OUT         IN with its lines in reverse order
diff_gen.py change IN SEED OUT [AT] a copy of IN with one line changed (line
                                   AT, a fraction of the lines: 0.5 the middle)
diff_gen.py pick N K SEED OUT      N lines drawn from K distinct texts
diff_gen.py repick IN RATE K SEED OUT  like edit, but a changed or inserted
                                   line is drawn from the K texts of pick
diff_gen.py same N OUT [TEXT]      N lines that all read "same" (or TEXT)
diff_gen.py insert IN OUT [TEXT]   IN with one line ("inserted", or TEXT)
                                   inserted in its middle
diff_gen.py blocks N B SEED OUT    N lines: one block of B numbered lines
                                   repeated, every 997th line changed
diff_gen.py number N OUT          N lines "line K"
diff_gen.py log N SEED OUT         N lines that look like a server log
diff_gen.py prefix IN TEXT OUT     IN with TEXT before every line (no line in
                                   common with IN)
diff_gen.py texts N K WIDTH RATE RUN EOL SEED LEFT RIGHT
                                   N lines drawn from K distinct texts of 10
                                   to WIDTH bytes (LEFT), and a copy with
                                   RATE of its lines edited (RIGHT): runs of
                                   1 to RUN lines changed (to texts of their
                                   own or to other lines of the K), deleted,
                                   or inserted before the line; EOL is "lf" or
                                   "crlf"
diff_gen.py blanks N K SHARE INSERTS SEED LEFT RIGHT
                                   N lines, each blank with chance SHARE,
                                   else drawn from K distinct texts of 10
                                   to 40 bytes (LEFT), and a copy with
                                   INSERTS blank lines inserted, each
                                   before a run of two or more blank lines,
                                   spread over the middle four fifths
                                   (RIGHT)
diff_gen.py near IN SEED OUT SHAPE [AT]
                                   a copy of IN (any bytes) with an edit
                                   people make, around line AT (a fraction
                                   of the lines; drawn at random where
                                   left out): SHAPE "delete" (one line
                                   deleted), "delete-blank" (the nearest
                                   blank line deleted), "delete-unique"
                                   (the nearest line found once deleted),
                                   "block:N" (N lines in a row changed),
                                   "edits:K:SPAN" (K edits, each a line
                                   changed, deleted or inserted, within
                                   SPAN lines)
"""
import random
import sys

WORDS = ["value", "count", "index", "buffer", "result", "name", "item", "list",
         "node", "left", "right", "text", "line", "size", "offset", "total",
         "state", "flag", "path", "file", "entry", "key", "data", "temp"]


def code_lines(n, rng):
    lines = []
    depth = 1
    for k in range(n):
        r = rng.random()
        if r < 0.08:
            lines.append("")
        elif r < 0.12:
            depth = max(1, depth - 1)
            lines.append("    " * depth + "}")
        elif r < 0.16:
            lines.append("    " * depth + "if (%s_%d > %d) {" % (rng.choice(WORDS), rng.randrange(50), rng.randrange(100)))
            depth = min(6, depth + 1)
        elif r < 0.18:
            lines.append("    " * depth + "return %s;" % rng.choice(WORDS))
        elif r < 0.19:
            lines.append("    " * depth + "break;")
        else:
            lines.append("    " * depth + "%s_%d = %s(%s_%d, %d); // %d" % (
                rng.choice(WORDS), rng.randrange(1000), rng.choice(WORDS),
                rng.choice(WORDS), rng.randrange(1000), rng.randrange(10000), k))
    return lines


def texts_pair(n, k, width, rate, run, eol, seed, left_path, right_path):
    rng = random.Random(seed)
    texts = []
    for t in range(k):
        head = "%s %d " % (rng.choice(WORDS), t)
        size = max(len(head), rng.randint(10, max(10, width)))
        texts.append((head + "".join(rng.choice("abcdefghij klmnop=;,") for _ in range(size)))[:size])
    left = [texts[rng.randrange(k)] for _ in range(n)]
    right = []
    k_ = 0
    while k_ < n:
        r = rng.random()
        if r >= rate:
            right.append(left[k_])
            k_ += 1
            continue
        length = rng.randint(1, run)
        what = rng.randrange(4)
        if what == 0:  # deleted run
            k_ += length
        elif what == 1:  # inserted run
            right.extend(texts[rng.randrange(k)] if rng.random() < 0.5 else "inserted %d %d" % (k_, j)
                         for j in range(length))
        elif what == 2:  # changed to texts of their own
            right.extend(line + " /* changed %d */" % (k_ + j) for j, line in enumerate(left[k_:k_ + length]))
            k_ += length
        else:  # changed to other lines of the K
            right.extend(texts[rng.randrange(k)] for _ in left[k_:k_ + length])
            k_ += length
    sep = "\r\n" if eol == "crlf" else "\n"
    for path, lines in ((left_path, left), (right_path, right)):
        with open(path, "w", newline="") as f:
            f.write(sep.join(lines) + sep)


def blanks_pair(n, k, share, inserts, seed, left_path, right_path):
    rng = random.Random(seed)
    texts = []
    for t in range(k):
        head = "%s %d " % (rng.choice(WORDS), t)
        size = max(len(head), rng.randint(10, 40))
        texts.append((head + "".join(rng.choice("abcdefghij klmnop=;,") for _ in range(size)))[:size])
    left = ["" if rng.random() < share else texts[rng.randrange(k)] for _ in range(n)]
    right = list(left)
    # From the last place back, so that the places before stay where they are.
    for part in reversed(range(inserts)):
        lo = n // 10 + part * (n * 8 // 10) // inserts
        at = rng.randrange(lo, lo + (n * 8 // 10) // inserts)
        while not (left[at] == "" and left[at + 1] == "" and left[at - 1] != ""):
            at += 1
        right.insert(at, "")
    for path, lines in ((left_path, left), (right_path, right)):
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")


def near_copy(src, seed, out, shape, at):
    rng = random.Random(seed)
    with open(src, "rb") as f:
        lines = f.read().split(b"\n")
    last = lines.pop()  # what follows the last line feed (usually nothing)
    n = len(lines)
    k = int(n * at) if at is not None else rng.randrange(n // 10, n - n // 10)
    if shape == "delete":
        del lines[k]
    elif shape in ("delete-blank", "delete-unique"):
        if shape == "delete-blank":
            fits = lambda j: lines[j].strip(b"\r") == b""
        else:
            counts = {}
            for line in lines:
                counts[line] = counts.get(line, 0) + 1
            fits = lambda j: counts[lines[j]] == 1
        j = k
        while not fits(j):
            j += 1
        del lines[j]
    elif shape.startswith("block:"):
        size = int(shape.split(":")[1])
        for j in range(k, min(n, k + size)):
            lines[j] = lines[j] + b" /* changed %d */" % j
    elif shape.startswith("edits:"):
        _, count, span = shape.split(":")
        places = sorted(rng.sample(range(k, min(n, k + int(span))), int(count)), reverse=True)
        for j in places:
            what = rng.randrange(3)
            if what == 0:
                lines[j] = lines[j] + b" /* changed %d */" % j
            elif what == 1:
                del lines[j]
            else:
                lines.insert(j, b"inserted %d" % j)
    else:
        sys.exit(__doc__)
    with open(out, "wb") as f:
        f.write(b"\n".join(lines) + b"\n" + last)


def main():
    kind = sys.argv[1]
    if kind == "near":
        near_copy(sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5],
                  float(sys.argv[6]) if len(sys.argv) > 6 else None)
        return
    if kind == "blanks":
        n, k, share, inserts, seed = int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6])
        blanks_pair(n, k, share, inserts, seed, sys.argv[7], sys.argv[8])
        return
    if kind == "texts":
        n, k, width, rate, run = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]), int(sys.argv[6])
        texts_pair(n, k, width, rate, run, sys.argv[7], int(sys.argv[8]), sys.argv[9], sys.argv[10])
        return
    if kind == "code":
        n, seed, out = int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
        lines = code_lines(n, random.Random(seed))
    elif kind == "edit":
        src, rate, seed, out = sys.argv[2], float(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
        rng = random.Random(seed)
        with open(src) as f:
            base = f.read().split("\n")[:-1]
        lines = []
        for k, line in enumerate(base):
            r = rng.random()
            if r < rate / 3:
                continue
            if r < 2 * rate / 3:
                lines.append(line + " /* changed %d */" % k)
            elif r < rate:
                lines.append("inserted %d" % k)
                lines.append(line)
            else:
                lines.append(line)
    elif kind == "repick":
        src, rate, k, seed, out = sys.argv[2], float(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
        rng = random.Random(seed)
        with open(src) as f:
            base = f.read().split("\n")[:-1]
        lines = []
        for line in base:
            r = rng.random()
            if r < rate / 3:
                continue
            if r < 2 * rate / 3:
                other = line
                while other == line:
                    other = "log entry %d" % rng.randrange(k)
                lines.append(other)
            elif r < rate:
                lines.append("log entry %d" % rng.randrange(k))
                lines.append(line)
            else:
                lines.append(line)
    elif kind == "change":
        src, seed, out = sys.argv[2], int(sys.argv[3]), sys.argv[4]
        rng = random.Random(seed)
        with open(src) as f:
            lines = f.read().split("\n")[:-1]
        k = rng.randrange(len(lines)) if len(sys.argv) < 6 else int(len(lines) * float(sys.argv[5]))
        lines[k] = lines[k] + " /* changed */"
    elif kind == "pick":
        n, k, seed, out = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
        rng = random.Random(seed)
        lines = ["log entry %d" % rng.randrange(k) for _ in range(n)]
    elif kind == "same":
        n, out = int(sys.argv[2]), sys.argv[3]
        lines = [sys.argv[4] if len(sys.argv) > 4 else "same"] * n
    elif kind == "insert":
        src, out = sys.argv[2], sys.argv[3]
        with open(src) as f:
            lines = f.read().split("\n")[:-1]
        lines.insert(len(lines) // 2, sys.argv[4] if len(sys.argv) > 4 else "inserted")
    elif kind == "blocks":
        n, b, seed, out = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
        rng = random.Random(seed)
        lines = ["line %d of the block" % (k % b) for k in range(n)]
        for k in range(rng.randrange(997), n, 997):
            lines[k] = "changed %d" % k
    elif kind == "number":
        n, out = int(sys.argv[2]), sys.argv[3]
        lines = ["line %d" % k for k in range(n)]
    elif kind == "log":
        n, seed, out = int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
        rng = random.Random(seed)
        levels = ["INFO", "INFO", "INFO", "DEBUG", "WARN", "ERROR"]
        lines = []
        t = 1700000000
        for k in range(n):
            t += rng.randrange(3)
            lines.append("2026-12-%02d %02d:%02d:%02d %s [worker-%d] %s %s=%d" % (
                1 + t // 86400 % 28, t // 3600 % 24, t // 60 % 60, t % 60,
                rng.choice(levels), rng.randrange(16), rng.choice(WORDS),
                rng.choice(WORDS), rng.randrange(100000)))
    elif kind == "prefix":
        src, text, out = sys.argv[2], sys.argv[3], sys.argv[4]
        with open(src) as f:
            lines = [text + line for line in f.read().split("\n")[:-1]]
    elif kind == "reverse":
        src, out = sys.argv[2], sys.argv[3]
        with open(src) as f:
            lines = f.read().split("\n")[:-1]
        lines.reverse()
    else:
        sys.exit(__doc__)
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
