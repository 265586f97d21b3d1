#!/usr/bin/env python3
"""The RDML consortium's melt curve analysis (rdmlpython's Run.meltCurveAnalysis) of an RDML file:
each reaction's main peak, the one that accounts for the largest share of the normalised curve's
fall (its "Fluor").

    consortium_melt.py RDMLPYTHON_DIR FILE.rdml
        prints well, main peak temperature, its share and its height (TSV) of every reaction
    consortium_melt.py check RDMLPYTHON_DIR MORVANE_CONVERT WORKDIR RAWFILE_OR_FOLDER...
        checks morvane-convert against it on each raw export with a melt program: a --melt-peaks
        peak on all but 5% of the wells with a clear peak (a share at least a fifth of the plate's
        90th percentile, controls included), the main peak within 0.5 degrees of the consortium's
        on at least 95% of the wells where both find one, the RDML's meltTemp the printed main
        peak, and the RDES melting table imported by rdmlpython with every melt reading of the RDML

Exit status 77 (a skipped test) when rdmlpython or the Python modules it needs are missing.
"""
import hashlib
import os
import pathlib
import subprocess
import sys
import types
import zipfile

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


def main_peaks(rdml, path, target=None):
    """{well: (temperature, share, height)} of the reactions of `target` (every one for None) in the
    file's first run; (None, 0, 0) without a peak."""
    run = rdml.Rdml(path).experiments()[0].runs()[0]
    table = run.meltCurveAnalysis(saveResultsList=True)["resultsList"]
    peaks = {}
    for row in table[1:]:
        if row[0] == "--":  # a target's average row
            continue
        if target is not None and row[4] != target:
            continue
        best = (None, 0.0, 0.0)
        # The peaks of a reaction stand in blocks of nine columns from column 17: temperature,
        # width, Fluor (its share of the fall), its factor, deltaH, its factor, H, its factor and
        # a gap.
        for at in range(17, len(row) - 6, 9):
            if isinstance(row[at], float) and row[at + 2] > best[1]:
                best = (row[at], row[at + 2], row[at + 6])
        peaks[row[1]] = best
    return peaks


def clear_peaks(theirs):
    """The wells whose main peak's share is at least a fifth of the plate's 90th percentile."""
    shares = sorted(share for tm, share, _h in theirs.values() if tm is not None)
    if not shares:
        return []
    least = shares[min(len(shares) - 1, int(0.9 * len(shares)))] / 5
    return [w for w, (tm, share, _h) in theirs.items() if tm is not None and share >= least]


def melt_data(root, columns):
    """{(well, target): (meltTemp text or None, {temperature: reading})} of an RDML root element."""
    data = {}
    for react in root.iter("{*}react"):
        number = int(react.get("id")) - 1
        well = chr(ord("A") + number // columns) + str(number % columns + 1)
        for d in react.findall("{*}data"):
            points = {float(p.find("{*}tmp").text): float(p.find("{*}fluor").text)
                      for p in d.findall("{*}mdp")}
            tm = d.find("{*}meltTemp")
            if points:
                data[(well, d.find("{*}tar").get("id"))] = (None if tm is None else tm.text, points)
    return data


def convert(tool, *args):
    done = subprocess.run([tool, "-q", *args], capture_output=True, text=True)
    return done.returncode, done.stdout, done.stderr


def check_file(rdml, tool, work, raw):
    """Problems found with one raw export; None when it has no melt program."""
    from lxml import etree
    status, printed, said = convert(tool, "--melt-peaks", raw)
    if status != 0:
        if "no melt program" in said or "not a raw data export" in said or "sample list" in said:
            return None
        return [f"--melt-peaks failed: {said.strip()}"]
    channel = convert(tool, "--list-channels", raw)[1].split("\n")[0]
    mine = {}
    for line in printed.splitlines():
        well, _sample, tms = line.split("\t")
        mine[well] = tms.split(";") if tms else []
    problems = []

    rdml_file = os.path.join(work, "melt.rdml")
    if convert(tool, "--overwrite", "-o", rdml_file, raw)[0] != 0:
        return ["the RDML could not be written"]
    theirs = main_peaks(rdml, rdml_file, channel)
    clear = clear_peaks(theirs)
    missed = [w for w in clear if not mine.get(w)]
    both = [w for w, (tm, _s, _h) in theirs.items() if tm is not None and mine.get(w)]
    near = [w for w in both if abs(float(mine[w][0]) - theirs[w][0]) <= 0.5]
    print(f"{raw}: a peak on {len(clear) - len(missed)} of {len(clear)} wells with a clear peak; the main peak "
          f"within 0.5 degrees of the consortium's on {len(near)} of {len(both)} wells where both find one")
    if len(missed) > 0.05 * len(clear):
        problems.append(f"no peak on {len(missed)} of {len(clear)} wells with a clear peak: "
                        f"{[(w, theirs[w][0]) for w in missed][:10]}")
    if len(near) < 0.95 * len(both):
        problems.append(f"only {len(near)} of {len(both)} main peaks agree: "
                        f"{[(w, mine[w], theirs[w][0]) for w in both if w not in near][:10]}")

    columns = 12 if max(int(w[1:]) for w in mine) <= 12 else 24
    with zipfile.ZipFile(rdml_file) as archive:
        written = melt_data(etree.fromstring(archive.read("rdml_data.xml")), columns)
    if not written:
        problems.append("the RDML holds no melt readings")
    for (well, target), (tm, _points) in written.items():
        if target == channel and tm != (mine[well][0] if mine.get(well) else None):
            problems.append(f"{well}: meltTemp {tm}, --melt-peaks {mine.get(well)}")

    tsv = os.path.join(work, "melt.tsv")
    if convert(tool, "--overwrite", "-o", tsv, raw)[0] != 0:
        return problems + ["the RDES tables could not be written"]
    imported = rdml.Rdml()
    imported.new_experiment("e")
    imported.get_experiment(byid="e").new_run("r")
    run = imported.get_experiment(byid="e").get_run(byid="r")
    run["pcrFormat_rows"], run["pcrFormat_columns"] = str(columns * 2 // 3), str(columns)
    run.import_table(imported, os.path.join(work, "melt_melting.tsv"), "melt")
    read_back = melt_data(imported._node, columns)
    for key, (tm, points) in written.items():
        if key not in read_back or read_back[key][1] != points:
            problems.append(f"{key}: the melting table does not give back the RDML's {len(points)} melt readings")
        elif key[1] == channel and read_back[key][0] != (";".join(mine[key[0]]) or None):
            problems.append(f"{key}: Tm {read_back[key][0]} in the melting table, --melt-peaks {mine[key[0]]}")
    return problems


def check(directory, tool, work, paths):
    if not os.path.isdir(directory):
        print(f"{directory} is absent: the comparison with the consortium's melt analysis was skipped")
        return SKIP
    rdml = load_rdml(directory)
    try:
        import lxml  # noqa: F401
        import numpy  # noqa: F401
        import scipy  # noqa: F401
    except ImportError as error:
        print(f"{error}: the comparison with the consortium's melt analysis was skipped")
        return SKIP
    os.makedirs(work, exist_ok=True)
    files = []
    for path in paths:
        files += sorted(map(str, pathlib.Path(path).glob("*.txt"))) if os.path.isdir(path) else [path]
    checked = 0
    failed = 0
    seen = set()
    for raw in files:
        # The same export may lie in more than one of the folders.
        content = hashlib.sha256(pathlib.Path(raw).read_bytes()).digest() if os.path.isfile(raw) else None
        if content is None or content in seen:
            continue
        seen.add(content)
        problems = check_file(rdml, tool, work, raw)
        if problems is None:
            continue
        checked += 1
        failed += bool(problems)
        for problem in problems[:20]:
            print(f"{raw}: {problem}")
    print(f"{checked - failed} passed, {failed} failed")
    return 1 if failed or not checked else 0


if __name__ == "__main__":
    if len(sys.argv) >= 6 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]))
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    for well, (temperature, share, height) in main_peaks(load_rdml(sys.argv[1]), sys.argv[2]).items():
        print(f"{well}\t{'' if temperature is None else f'{temperature:.3f}'}\t{share:.4f}\t{height:.5f}")
