#!/usr/bin/env python3
"""The benchmarks' statistics over numbers read one a line from standard input (or the COLUMN-th
blank-separated field of each line; blank lines are skipped).

  stats.py summary [--column N] [--scale F] [--digits D]   "MEDIAN MIN MAX" ("- - -" when empty)
  stats.py median  [--column N] [--scale F] [--digits D]   "MEDIAN" ("-" when empty)
  stats.py sum     [--column N] [--scale F] [--digits D]   "SUM"
  stats.py cell    [--column N] [--scale F] [--digits D]   "M ms", or "M ms (MIN-MAX)" when they differ

The median of an even count is the mean of the middle two. --scale multiplies every number first.
"""

import argparse
import statistics
import sys


def numbers(lines, column, scale):
    values = []
    for line in lines:
        fields = line.split()
        if len(fields) >= column:
            values.append(float(fields[column - 1]) * scale)
    return values


def fmt(value, digits):
    return f"{value:.{digits}f}"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("what", choices=["summary", "median", "sum", "cell"])
    parser.add_argument("--column", type=int, default=1)
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--digits", type=int, default=0)
    args = parser.parse_args(argv)
    values = numbers(sys.stdin, args.column, args.scale)
    if args.what == "sum":
        print(fmt(sum(values), args.digits))
    elif not values:
        print({"summary": "- - -", "median": "-", "cell": "-"}[args.what])
    else:
        median, low, high = (fmt(v, args.digits) for v in (statistics.median(values), min(values), max(values)))
        if args.what == "summary":
            print(median, low, high)
        elif args.what == "median":
            print(median)
        else:
            print(f"{median} ms" if low == high else f"{median} ms ({low}-{high})")


if __name__ == "__main__":
    main()
