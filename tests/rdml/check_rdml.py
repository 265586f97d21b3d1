#!/usr/bin/env python3
"""Checks an RDML file with the RDML consortium's own library, rdmlpython.

Usage: check_rdml.py RDMLPYTHON_DIR FILE.rdml

Validates the file against its schema, then runs the consortium's amplification analysis
(Run.linRegPCR) on every run as the file was written. Prints one line per run:
<run id> <reactions> <targets> <ntc reactions> <mean PCR efficiency of each target, sorted>
and exits 1 when the file is invalid or an analysis fails.
"""
import sys

sys.path.insert(0, sys.argv[1])
import rdml  # noqa: E402

doc = rdml.Rdml(sys.argv[2])
problems = [line for line in doc.validate().splitlines() if "\tFalse\t" in line]
if problems:
    print("invalid:", "; ".join(problems[:5]))
    sys.exit(1)
for experiment in doc.experiments():
    for run in experiment.runs():
        results = run.linRegPCR(updateRDML=False, saveResultsList=True)["resultsList"]
        header, rows = results[0], results[1:]
        target = header.index("target")
        sample_type = header.index("sample type")
        efficiency = header.index("PCR eff")
        per_target = {row[target]: row[efficiency] for row in rows}
        ntc = sum(1 for row in rows if row[sample_type] == "ntc")
        print(run["id"], len(rows), len(per_target), ntc,
              " ".join("%.3f" % float(per_target[t]) for t in sorted(per_target)))
