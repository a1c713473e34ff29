#!/usr/bin/env python3
"""Writes the benchmark sources into a scratch folder.

  gen.py DIR [MEGABYTES] [--big]

a_capacity.s   2800 constants, 2000 instructions with 1000 labels and forward jumps,
               4997 data items naming constants
b_collide.s    3899 distinct names of one byte sum (permutations of one string),
               each defined in .SYMBOL and used as a data item
c_comments.s   about MEGABYTES MB of comment lines, then a small program
d_mixed.s      about MEGABYTES MB of blank lines, lines of spaces and tabs and indented
               comments, then a small program
d_irregular.s  the same kinds of line as d_mixed, in a random order (seeded) with random runs
               of blank lines, about MEGABYTES MB, then a small program
e_line10.s     one line of 10 MB; e_line20.s the same line at 20 MB
tiny.s         a small program, the memory baseline
line1g.s       with --big: one line of 1 GiB
"""
import itertools
import os
import random
import sys

SMALL = ".SYMBOL N 10\n.CODE 0\n:LOOP ADD R1 R1 #1\n      JMP LOOP\n.DATA 10\n      5 N\n.END\n"


def write(path, text):
    with open(path, "w", newline="\n") as f:
        f.write(text)


def capacity():
    out = [".SYMBOL"]
    out += [f"C{k} {k}" for k in range(2800)]
    out.append(".CODE 0")
    for k in range(1000):
        out.append(f"        JT R1 L{k}")
        out.append(f":L{k}    ADD R{k % 32} R{(k + 1) % 32} #C{k}")
    out.append(".DATA 1000")
    out += [f"C{k % 2800}" for k in range(4997)]
    out.append(".END")
    return "\n".join(out) + "\n"


def collide():
    names = ["".join(p) for p in itertools.islice(itertools.permutations("ABCDEFGH"), 3899)]
    return (".SYMBOL\n" + "".join(f"{n} {k}\n" for k, n in enumerate(names)) + ".CODE 0\n.DATA 0\n"
            + "".join(f"{n}\n" for n in names) + ".END\n")


def filler(path, size, lines):
    block = "".join(lines) * 1000
    with open(path, "w", newline="\n") as f:
        written = 0
        while written < size:
            f.write(block)
            written += len(block)
        f.write(SMALL)


MIXED_LINES = ["\n", "    \t  \t\n", "    ; ADD R1 R2 #3\n", "\t; JMP LOOP\n", "   \n"]


def irregular(path, size):
    rng = random.Random(20261209)
    with open(path, "w", newline="\n") as f:
        written = 0
        while written < size:
            chunk = []
            for _ in range(4096):
                if rng.random() < 0.2:
                    chunk.append(rng.choice(["\n", "   \n", "\t\n"]) * rng.randint(1, 12))
                else:
                    chunk.append(rng.choice(MIXED_LINES))
            block = "".join(chunk)
            f.write(block)
            written += len(block)
        f.write(SMALL)


def long_line(size):
    head = ".SYMBOL N 1 .CODE 0 RET R1 .DATA 0 " + "N " * 4997
    pad = " \t" * ((size - len(head)) // 2)
    return head + pad + ".END\n"


def main():
    out = sys.argv[1]
    mb = int(sys.argv[2]) if len(sys.argv) > 2 and sys.argv[2] != "--big" else 100
    big = "--big" in sys.argv[2:]
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "tiny.s"), SMALL)
    write(os.path.join(out, "a_capacity.s"), capacity())
    write(os.path.join(out, "b_collide.s"), collide())
    filler(os.path.join(out, "c_comments.s"), mb << 20,
           ["; a comment line that explains the code below it in some detail\n"])
    filler(os.path.join(out, "d_mixed.s"), mb << 20, MIXED_LINES)
    irregular(os.path.join(out, "d_irregular.s"), mb << 20)
    write(os.path.join(out, "e_line10.s"), long_line(10 << 20))
    write(os.path.join(out, "e_line20.s"), long_line(20 << 20))
    if big:
        big_line(os.path.join(out, "line1g.s"), 1 << 30)


def big_line(path, size):
    head = ".SYMBOL N 1 .CODE 0 RET R1 .DATA 0 N "
    block = " \t" * (1 << 19)
    with open(path, "w", newline="\n") as f:
        f.write(head)
        written = len(head)
        while written + len(block) <= size - 5:
            f.write(block)
            written += len(block)
        f.write(" " * (size - 5 - written) + ".END\n")


if __name__ == "__main__":
    main()
