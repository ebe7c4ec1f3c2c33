#!/usr/bin/env python3
"""Works out the expected summary.csv of examples/batch without the program.

A second, deliberately plain implementation: exact fractions for the corrections, whole
numbers of thousandths for the mixing arithmetic, every combination of whole percent shares of the four sources, and the
statistics of each source's feasible shares by the totals file's rules (levels of one
percent, nearest-rank percentiles, mean and standard deviation rounded half away from zero,
the sum of squares kept in single precision). Run it from the repository's top folder:

    python3 tests/core/workflows/independent_summary.py > examples/batch/expected-summary.csv

With --check FILE it compares its result with FILE instead and fails when they differ
(the test suite runs it so against examples/batch/expected-summary.csv).

Exact arithmetic decides as the program's single-precision search does here because every
difference is a whole number of thousandths (checked on the way), far from the line the
search draws at 0.1501.
"""

import csv
import io
import math
import struct
import sys
from decimal import ROUND_HALF_UP, Decimal
from fractions import Fraction

FOLDER = "examples/batch/"
INCREMENT = 1
TOLERANCE = Fraction("0.15")


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def read_sources():
    with open(FOLDER + "sources.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    return [(r["source"], Fraction(r["d13C"]), Fraction(r["d15N"])) for r in rows]


def read_tef():
    # Semicolons and decimal commas: d13C;SD d13C;d15N;SD d15N
    with open(FOLDER + "tef.csv", newline="") as f:
        lines = [line.strip() for line in f if line.strip()]
    values = lines[1].split(";")
    return Fraction(values[0].replace(",", ".")), Fraction(values[2].replace(",", "."))


def read_mixtures():
    with open(FOLDER + "mixtures.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    return [(r["mixture"], Fraction(r["d13C"]), Fraction(r["d15N"])) for r in rows]


def rounded(value, places):
    """Exact binary value rounded half away from zero, in the program's number style."""
    text = str(Decimal(value).quantize(Decimal(1).scaleb(-places), rounding=ROUND_HALF_UP))
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    if text in ("0", "-0"):
        return "0"
    if text.startswith("0."):
        text = text[1:]
    elif text.startswith("-0."):
        text = "-" + text[2:]
    return text


def statistics(histogram, observations):
    levels = [f32(b / 100) for b in range(101)]
    total = 0.0
    for b in range(101):
        total += levels[b] * histogram[b]
    mean = total / observations
    r1 = max(1, math.floor(0.01 * observations + 0.5))
    r50 = math.floor(0.5 * observations + 0.5)
    r99 = math.floor(0.99 * observations + 0.5)
    cumulative = 0
    minimum = maximum = p1 = p50 = p99 = None
    squares = 0.0
    for b in range(101):
        count = histogram[b]
        if count:
            maximum = levels[b]
            if minimum is None:
                minimum = levels[b]
        cumulative += count
        if p1 is None and cumulative >= r1:
            p1 = levels[b]
        if p50 is None and cumulative >= r50:
            p50 = levels[b]
        if p99 is None and cumulative >= r99:
            p99 = levels[b]
        squares = f32(squares + count * (levels[b] - mean) ** 2)
    sd = f32(math.sqrt(squares / (observations - 1))) if observations > 1 else None
    return [
        rounded(mean, 3),
        rounded(minimum, 2),
        rounded(p1, 2),
        rounded(p50, 2),
        rounded(p99, 2),
        rounded(maximum, 2),
        rounded(sd, 3) if sd is not None else "",
    ]


def main():
    tef_c, tef_n = read_tef()
    sources = [(name, c + tef_c, n + tef_n) for name, c, n in read_sources()]
    buffer = io.StringIO(newline="")
    out = csv.writer(buffer, lineterminator="\n")
    out.writerow(["mixture", "source", "feasible_count", "mean", "minimum", "p1", "p50",
                  "p99", "maximum", "sd"])
    # Whole numbers of thousandths: a share in percent times a signature in tenths.
    def tenths(value):
        assert (value * 10).denominator == 1, value
        return int(value * 10)

    signatures = [(tenths(c), tenths(n)) for _, c, n in sources]
    tolerance = TOLERANCE * 1000
    assert tolerance.denominator == 1
    for label, mix_c, mix_n in read_mixtures():
        # The program's search truncates the difference in hundredths of a percent, so it
        # draws the line at 0.1501. Every difference here is a whole number of thousandths,
        # at least 0.0009 from that line: far more than its single-precision rounding
        # (about 1e-5 at these values).
        mixture = (tenths(mix_c) * 100, tenths(mix_n) * 100)
        histograms = [[0] * 101 for _ in sources]
        observations = 0
        for a in range(0, 101, INCREMENT):
            for b in range(0, 101 - a, INCREMENT):
                for c in range(0, 101 - a - b, INCREMENT):
                    shares = (a, b, c, 100 - a - b - c)
                    if all(
                        abs(sum(p * s[k] for p, s in zip(shares, signatures)) - mixture[k])
                        <= tolerance
                        for k in (0, 1)
                    ):
                        observations += 1
                        for j, p in enumerate(shares):
                            histograms[j][p // INCREMENT] += 1
        for j, (name, _, _) in enumerate(sources):
            figures = statistics(histograms[j], observations) if observations else [""] * 7
            out.writerow([label, name, observations] + figures)
    text = buffer.getvalue()
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        with open(sys.argv[2], newline="") as f:
            expected = f.read()
        if expected != text:
            sys.stderr.write("expected summary differs from the independent result:\n" + text)
            sys.exit(1)
        return
    sys.stdout.write(text)


main()
