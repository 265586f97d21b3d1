#!/usr/bin/env python3
"""Writes the multi-channel and two-segment raw exports of this folder.

No multi-channel export that may be copied is known, so these are made here, laid out as the
instrument writes them: a title line, a header whose channel columns follow "Temp" (with the
trailing tab the instrument leaves), one tab-separated data line per reading, CRLF line ends.
The readings are made up but unique per well, cycle and channel, so that a table that takes a
reading from the wrong column or segment shows it.

    python3 make_fixtures.py            # writes the fixtures beside this script
    python3 make_fixtures.py --bench F  # writes a full three-channel 384-well, 45-cycle export to F
"""

import math
import os
import sys

CHANNELS3 = ["465-510", "533-580", "618-660"]


def wells(rows, cols):
    return [f"{chr(ord('A') + r)}{c + 1}" for r in range(rows) for c in range(cols)]


def reading(well_index, cycle, channel):
    # A sigmoid that rises later for later wells, scaled per channel, plus a well-unique tail.
    rise = 1.0 / (1.0 + math.exp(-(cycle - 20 - well_index % 7)))
    value = (1.5 + channel) * (1 + 9 * rise) + well_index * 0.0001 + cycle * 0.00001
    return f"{value:.5f}"


def title(name):
    return f"Raw Data \t\tExperiment - {name} (Run on LCS480 1.5.1.62)"


def header(channels):
    return "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t" + "\t".join(channels) + "\t"


def line(well, sample, prog, seg, cycle, time, temp, values):
    return "\t".join([well, sample, str(prog), str(seg), str(cycle), str(time), f"{temp:.2f}"] + values)


def export(name, plate, channels, cycles, segments=(2,), melt=True):
    rows, cols = plate
    out = [title(name), header(channels)]
    for i, well in enumerate(wells(rows, cols)):
        sample = f"Sample {i % 24 + 1}" if i % 11 else ""  # some wells without a sample name
        time = 100000
        # Program 1: preincubation, one reading.
        out.append(line(well, sample, 1, 1, 1, time, 95.0, [reading(i, 0, k) for k in range(len(channels))]))
        # Program 2: amplification, read in each of `segments`, interleaved.
        for cycle in range(1, cycles + 1):
            for seg in segments:
                time += 7800
                temp = {1: 95.02, 2: 59.94, 3: 72.01}.get(seg, 60.0) + (cycle % 3) * 0.01
                values = [reading(i + 1000 * (seg - segments[0]), cycle, k) for k in range(len(channels))]
                out.append(line(well, sample, 2, seg, cycle, time, temp, values))
        if melt:
            # Program 3: melt curve, every reading at cycle 1, temperature rising.
            for step in range(6):
                time += 900
                out.append(line(well, sample, 3, 2, 1, time, 65.0 + step * 5.0,
                                [f"{(10 - step) * (k + 1) * 0.9 + i * 0.001:.3f}" for k in range(len(channels))]))
    return "\r\n".join(out) + "\r\n"


def write(path, text):
    with open(path, "w", newline="") as f:
        f.write(text)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) == 3 and sys.argv[1] == "--bench":
        write(sys.argv[2], export("Three colour benchmark", (16, 24), CHANNELS3, 45, melt=False))
        return
    write(os.path.join(here, "lc480_96_dual_colour.txt"),
          export("Dual colour test", (8, 12), CHANNELS3[:2], 40))
    write(os.path.join(here, "lc480_384_three_colour.txt"),
          export("Three colour plate", (16, 24), CHANNELS3, 4, melt=False))
    write(os.path.join(here, "lc480_96_two_segments.txt"),
          export("Two segment run", (8, 12), ["483-533"], 40, segments=(1, 2)))


if __name__ == "__main__":
    main()
