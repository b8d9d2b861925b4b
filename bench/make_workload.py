#!/usr/bin/env python3
"""Writes two value files of N KDE-like values each (8 significant digits,
printed as %.8g), the second a perturbed copy of the first, and an empty
test point file, into the directory given."""
import os
import random
import sys

def main():
    out = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 10_000_000
    rng = random.Random(42)
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "allpts.txt"), "w") as a, \
         open(os.path.join(out, "sample.txt"), "w") as b:
        chunk_a, chunk_b = [], []
        for i in range(n):
            x = rng.lognormvariate(-6.0, 1.5)
            y = x * (1.0 + rng.gauss(0.0, 0.05))
            chunk_a.append("%.8g\n" % x)
            chunk_b.append("%.8g\n" % y)
            if len(chunk_a) == 100_000:
                a.write("".join(chunk_a))
                b.write("".join(chunk_b))
                chunk_a, chunk_b = [], []
        a.write("".join(chunk_a))
        b.write("".join(chunk_b))
    open(os.path.join(out, "testpts.txt"), "w").close()

if __name__ == "__main__":
    main()
