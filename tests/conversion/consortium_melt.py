#!/usr/bin/env python3
"""The RDML consortium's melt curve analysis (rdmlpython's Run.meltCurveAnalysis) of an RDML file:
each reaction's main peak, the one whose -dF/dT of the normalised curve is highest.

    consortium_melt.py RDMLPYTHON_DIR FILE.rdml   prints well, peak temperature and height (TSV)

Exit status 77 (a skipped test) when rdmlpython or the Python modules it needs are missing.
"""
import sys
import types

SKIP = 77


def load_rdml(directory):
    # rdmlpython imports matplotlib only to draw its amplification plots; the melt analysis does
    # without it, so a stand-in will do where it is not installed.
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        for name in ["matplotlib", "matplotlib.backends", "matplotlib.backends.backend_svg", "matplotlib.figure"]:
            sys.modules[name] = types.ModuleType(name)
        sys.modules["matplotlib.backends.backend_svg"].FigureCanvasSVG = None
        sys.modules["matplotlib.figure"].Figure = None
    sys.path.insert(0, directory)
    try:
        import rdml
    except ImportError as error:
        print(f"rdmlpython cannot be loaded from {directory} ({error}): skipped")
        sys.exit(SKIP)
    return rdml


def main_peaks(rdml, path):
    """{well: (temperature, height)} of every reaction of the file's first run; (None, 0) without a peak."""
    run = rdml.Rdml(path).experiments()[0].runs()[0]
    table = run.meltCurveAnalysis(saveResultsList=True)["resultsList"]
    peaks = {}
    for row in table[1:]:
        if row[0] == "--":  # a target's average row
            continue
        best = (None, 0.0)
        # The peaks of a reaction stand in blocks of nine columns from column 17: temperature,
        # width, fluorescence, its share, deltaH, its share, H, its share and a gap.
        for at in range(17, len(row) - 6, 9):
            if isinstance(row[at], float) and row[at + 6] > best[1]:
                best = (row[at], row[at + 6])
        peaks[row[1]] = best
    return peaks


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    for well, (temperature, height) in main_peaks(load_rdml(sys.argv[1]), sys.argv[2]).items():
        print(f"{well}\t{'' if temperature is None else f'{temperature:.3f}'}\t{height:.5f}")
