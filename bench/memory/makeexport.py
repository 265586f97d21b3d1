#!/usr/bin/python3
"""Writes a LightCycler 480 raw export of WELLS wells and CYCLES cycles (one channel) to FILE.

Usage: makeexport.py FILE WELLS CYCLES [--channels N] [--sample-chars N] [--repeat-plate]
Wells past the 384 of a plate are named on from row Q (Q1..Q24, R1, ..., AA1, ...), unless
--repeat-plate names them after the plate's wells again (each then comes back to its row).
Sample names are N characters long (default 23).
"""
import argparse


def well(index):
    row, col = divmod(index, 24)
    letters = ""
    row += 1
    while row:
        row, rest = divmod(row - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return "%s%d" % (letters, col + 1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("wells", type=int)
    parser.add_argument("cycles", type=int)
    parser.add_argument("--channels", type=int, default=1)
    parser.add_argument("--sample-chars", type=int, default=23)
    parser.add_argument("--repeat-plate", action="store_true")
    args = parser.parse_args()
    with open(args.file, "w", newline="") as f:
        f.write("Raw Data \t\tExperiment - memory bench (Run on LCS480 1.5.0.39)\r\n")
        channels = ["%d-%d" % (465 + 45 * k, 510 + 45 * k) for k in range(args.channels)]
        f.write("SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t%s\r\n" % "\t".join(channels))
        for w in range(args.wells):
            name = well(w % 384 if args.repeat_plate else w)
            sample = ("Sample_%07d_" % (w + 1)).ljust(args.sample_chars, "x")
            lines = []
            for c in range(1, args.cycles + 1):
                readings = "\t".join("%d.%02d" % (15 + c % 20 + k, (w + c) % 100) for k in range(args.channels))
                lines.append("%s\t%s\t2\t3\t%d\t%d\t71.64\t%s\r\n" % (name, sample, c, 691600 + 78000 * c, readings))
            f.write("".join(lines))


if __name__ == "__main__":
    main()
