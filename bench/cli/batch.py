#!/usr/bin/env python3
"""A batch of copies of the real 384-well export converted by one morvane-convert run into one
workbook: 25, 50, 100 and 200 files. Prints the wall time, files per second and peak memory of
each batch, and the cost of adding one more file to a workbook that already holds N sheets,
which shows how the time grows with the batch (each file re-reads and re-writes the growing
workbook, as the window's export does).

    bench/cli/batch.py [--converter PATH] [--raw FILE] [--sizes 25,50,100,200]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def run(command):
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    error = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(command[:6])} ... failed:\n{error}")
    return elapsed, usage.ru_maxrss / 1024.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--converter", default=os.path.join(ROOT, "build", "dev", "src", "cli", "morvane-convert"))
    parser.add_argument("--raw", default=os.path.join(ROOT, "tests", "data", "lc480_384_nrd1_calibration.txt"))
    parser.add_argument("--sizes", default="25,50,100,200")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    if not os.access(args.converter, os.X_OK):
        sys.exit(f"{args.converter} not found: build it first or give --converter")

    work = tempfile.mkdtemp(prefix="morvane-batch-")
    try:
        copies = []
        for i in range(max(sizes)):
            copy = os.path.join(work, f"run{i + 1:03}.txt")
            shutil.copyfile(args.raw, copy)
            copies.append(copy)
        base = [args.converter, "-q", "--sheet", "run"]

        print(f"{'files':>6} {'time':>9} {'files/s':>9} {'per file':>9} {'peak':>9} {'workbook':>9}")
        for n in sizes:
            book = os.path.join(work, f"batch{n}.xlsx")
            elapsed, peak = run(base + ["-o", book] + copies[:n])
            print(f"{n:6} {elapsed:8.2f}s {n / elapsed:9.1f} {elapsed / n * 1000:7.1f}ms {peak:7.1f}MB "
                  f"{os.path.getsize(book) / 1e6:7.1f}MB")

        print("\none more file into a workbook of N sheets (median of 5):")
        print(f"{'N':>6} {'time':>9} {'workbook':>9}")
        for n in [0] + sizes:
            book = os.path.join(work, f"batch{n}.xlsx")
            times = []
            for _ in range(5):
                trial = os.path.join(work, "trial.xlsx")
                if n:
                    shutil.copyfile(book, trial)
                elif os.path.exists(trial):
                    os.remove(trial)
                times.append(run(base + ["-o", trial, copies[0]])[0])
            times.sort()
            size = os.path.getsize(book) / 1e6 if n else 0.0
            print(f"{n:6} {times[2] * 1000:7.1f}ms {size:7.1f}MB")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
