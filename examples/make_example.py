#!/usr/bin/env python3
"""Makes the bundled example: 4000 2-D points drawn from a mixture of three
Gaussians, a 10% sample of them, 300 test points, and the Gaussian kernel
density estimate at every test point computed from all points and from the
sample.  Then, for an evaluation of two methods over sizes and seeds, with
seeds 1 to 3:

- uniform: a uniform sample of 100, 400 or 1600 of the points, written to
  samples/uniform_n<size>_seed<seed>.txt;
- binned: every point moved to the centre of its cell in a grid of 10 x 10,
  20 x 20 or 40 x 40 cells (as many cells as the uniform sample has points),
  the grid shifted by a random fraction of a cell, written to
  samples/binned_n<size>_seed<seed>.txt.

times.tsv holds the seconds each sample's estimate took to make (drawing
or binning, then the estimate at every test point): a line of the sample's
name, a tab and its seconds, as calcGap_report --times reads it.

Standard library only; the same seed gives the same files, but for the
times, which are this machine's.

    python3 examples/make_example.py examples/
"""
import math
import os
import random
import sys
import time

def kde(points, at, bandwidth):
    """Gaussian kernel density estimate at one 2-D location."""
    norm = 1.0 / (len(points) * 2.0 * math.pi * bandwidth * bandwidth)
    total = 0.0
    for x, y in points:
        dx = (at[0] - x) / bandwidth
        dy = (at[1] - y) / bandwidth
        total += math.exp(-0.5 * (dx * dx + dy * dy))
    return norm * total

def scott_bandwidth(points):
    """Scott's rule for two dimensions, from the average spread."""
    n = len(points)
    spread = 0.0
    for axis in (0, 1):
        mean = sum(p[axis] for p in points) / n
        spread += math.sqrt(sum((p[axis] - mean) ** 2 for p in points) / (n - 1))
    return (spread / 2.0) * n ** (-1.0 / 6.0)

def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    rng = random.Random(2026)
    centres = [((-2.0, 0.0), 0.6), ((1.5, 1.0), 0.9), ((0.5, -1.8), 0.4)]
    points = []
    for _ in range(4000):
        (cx, cy), s = rng.choice(centres)
        points.append((rng.gauss(cx, s), rng.gauss(cy, s)))
    sample = rng.sample(points, len(points) // 10)
    tests = [(rng.uniform(-4.0, 4.0), rng.uniform(-4.0, 4.0)) for _ in range(300)]

    # One bandwidth for both estimates, so that the gap measures the sampling.
    bandwidth = scott_bandwidth(points)
    with open(os.path.join(out, "testpoints.txt"), "w") as f:
        for x, y in tests:
            f.write("%.6f %.6f\n" % (x, y))
    for name, source in (("kde_allpts.txt", points), ("kde_sample.txt", sample)):
        write_estimate(os.path.join(out, name), source, tests, bandwidth)

    # Each sample of its own generator, so that adding one changes no other.
    os.makedirs(os.path.join(out, "samples"), exist_ok=True)
    times = []
    for size in (100, 400, 1600):
        for seed in (1, 2, 3):
            start = time.perf_counter()
            drawn = random.Random(1000 * size + seed).sample(points, size)
            name = "samples/uniform_n%d_seed%d.txt" % (size, seed)
            write_estimate(os.path.join(out, name), drawn, tests, bandwidth)
            times.append((name, time.perf_counter() - start))
            start = time.perf_counter()
            cells = binned(points, size, random.Random(-1000 * size - seed))
            name = "samples/binned_n%d_seed%d.txt" % (size, seed)
            write_weighted(os.path.join(out, name), cells, len(points), tests, bandwidth)
            times.append((name, time.perf_counter() - start))
    with open(os.path.join(out, "times.tsv"), "w") as f:
        f.write("sample\tseconds\n")
        for name, seconds in sorted(times):
            f.write("%s\t%.4f\n" % (name, seconds))

def binned(points, size, rng):
    """The points counted in the cells of a square grid of size cells over
    their range, shifted by a random fraction of a cell: each occupied
    cell's centre with its count."""
    side = int(round(math.sqrt(size)))
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    width = (max(xs) - min(xs)) / (side - 1)
    height = (max(ys) - min(ys)) / (side - 1)
    x0 = min(xs) - rng.random() * width
    y0 = min(ys) - rng.random() * height
    counts = {}
    for x, y in points:
        cell = (int((x - x0) / width), int((y - y0) / height))
        counts[cell] = counts.get(cell, 0) + 1
    return [((x0 + (i + 0.5) * width, y0 + (j + 0.5) * height), count)
            for (i, j), count in sorted(counts.items())]

def write_weighted(path, cells, total, tests, bandwidth):
    norm = 1.0 / (total * 2.0 * math.pi * bandwidth * bandwidth)
    with open(path, "w") as f:
        for t in tests:
            density = 0.0
            for (x, y), count in cells:
                dx = (t[0] - x) / bandwidth
                dy = (t[1] - y) / bandwidth
                density += count * math.exp(-0.5 * (dx * dx + dy * dy))
            f.write("%.8g\n" % (norm * density))

def write_estimate(path, source, tests, bandwidth):
    with open(path, "w") as f:
        for t in tests:
            f.write("%.8g\n" % kde(source, t, bandwidth))

if __name__ == "__main__":
    main()
