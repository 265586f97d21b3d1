#!/usr/bin/env python3
"""LightCycler 480 raw export to a workbook, as one would write it with pandas and openpyxl:
one program, one row per well, one column per cycle. The reference that morvane-convert is
timed against (see compare.py).

    lc480_to_xlsx.py RAWFILE OUT.xlsx [PROGRAM]
"""
import sys

import pandas as pd


def convert(raw_path, out_path, program=2):
    # Line 1 is the title; line 2 the header (SamplePos SampleName Prog# Seg# Cycle# Time Temp <channel>).
    raw = pd.read_csv(raw_path, sep="\t", skiprows=1, encoding="latin-1")
    reading = raw.columns[7]
    runs = raw[raw["Prog#"] == program]
    wells = runs["SamplePos"].unique()  # the file's order, A1, A2, ...
    table = runs.pivot_table(index="SamplePos", columns="Cycle#", values=reading, aggfunc="last").loc[wells]
    table.insert(0, "sample", runs.groupby("SamplePos")["SampleName"].first().loc[wells])
    table.index.name = "well"
    table.to_excel(out_path, sheet_name="raw data", engine="openpyxl", float_format="%.3f")


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    convert(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) == 4 else 2)
