#!/usr/bin/env python3
"""Checks a study mixed by concentration against a second, deliberately plain count.

    concentrationreference.py SOURCES.csv CONSUMERS.csv INCREMENT TOLERANCE RESULT.csv

Every combination of whole-percent shares (in steps of INCREMENT) of the sources is mixed
with exact fractions, each tracer weighted by the sources' concentrations
(sum p c d / sum p c), and kept when it lies within TOLERANCE of the consumer on every
tracer by the run's rule: |mixture - consumer| below (trunc(S * 100 * TOLERANCE) + 1) /
(100 S), S ten to the entry's decimal places. RESULT.csv is the study's consumers.csv: per consumer and source its `feasible`
count, `min` and `max` share (percent, two decimals) must be what this count finds.
Summary-row sources with Mean<tracer> and Conc<tracer> columns, no discrimination.
Exact arithmetic decides as the program's double precision does as long as no mixture lies
within a billionth of that edge, which the check asserts on the way.
"""

import csv
import sys
from fractions import Fraction


def main():
    sources_path, consumers_path, increment, tolerance, result_path = sys.argv[1:]
    step = int(increment)
    tol = Fraction(tolerance)
    with open(sources_path, newline="") as f:
        sources = list(csv.DictReader(f))
    with open(consumers_path, newline="") as f:
        reader = csv.DictReader(f)
        consumers = list(reader)
    tracers = [t for t in reader.fieldnames if "Mean" + t in sources[0]]
    labels = [s["Source"] for s in sources]
    mean = [[Fraction(s["Mean" + t]) for t in tracers] for s in sources]
    conc = [[Fraction(s["Conc" + t]) for t in tracers] for s in sources]
    n = len(sources)

    def grids(left, count):
        if count == 1:
            yield (left,)
            return
        for first in range(0, left + 1, step):
            for rest in grids(left - first, count - 1):
                yield (first,) + rest

    def decimals(text):
        return len(text.split(".")[1]) if "." in text else 0

    signature_decimals = max(decimals(s["Mean" + t]) for s in sources for t in tracers)
    expected = {}
    for row, consumer in enumerate(consumers, start=1):
        values = [Fraction(consumer[t]) for t in tracers]
        places = max(decimals(increment) + signature_decimals, decimals(tolerance),
                     max(decimals(consumer[t]) for t in tracers))
        scale = 10**places
        edge = Fraction(int(scale * 100 * tol) + 1, 100 * scale)
        kept = []
        for shares in grids(100, n):
            ok = True
            for k, value in enumerate(values):
                weight = sum(shares[i] * conc[i][k] for i in range(n))
                mixed = sum(shares[i] * conc[i][k] * mean[i][k] for i in range(n)) / weight
                off = abs(mixed - value)
                assert abs(off - edge) > Fraction(1, 10**9), (row, shares)
                ok = ok and off < edge
            if ok:
                kept.append(shares)
        for i, label in enumerate(labels):
            got = [s[i] for s in kept]
            expected[(str(row), label)] = (
                str(len(kept)),
                f"{min(got) / 100:.2f}" if got else "",
                f"{max(got) / 100:.2f}" if got else "",
            )

    failures = 0
    with open(result_path, newline="") as f:
        for line in csv.DictReader(f):
            key = (line["consumer"], line["source"])
            got = (line["feasible"], line["min"], line["max"])
            want = expected.pop(key, None)
            if got != want:
                print(f"consumer {key[0]}, {key[1]}: the study has {got}, the count {want}")
                failures += 1
    for key in expected:
        print(f"consumer {key[0]}, {key[1]}: missing from the study")
        failures += 1
    if failures:
        sys.exit(1)
    print("every consumer and source as the count finds them")


main()
