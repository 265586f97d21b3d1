#!/usr/bin/env python3
"""Times morvane-convert against the pandas + openpyxl reference (lc480_to_xlsx.py) on the same
real 384-well export, side by side: the two alternate, several runs each, every run writing a
new workbook. Prints the median and best wall time of each, the ratio of the medians, each one's
median CPU time (user + system) and peak memory (maximum resident set size of the process). Exits 1
when morvane-convert misses its targets: at least 45 times faster than the reference in wall time,
at most 40 MB.

    bench/reference/compare.py [--runs N] [--converter PATH] [--raw FILE]

Needs Debian's python3-pandas and python3-openpyxl; installs python3-pandas when it is missing
and this runs as root. Runs itself under Debian's interpreter, which those packages serve.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
# Debian's interpreter, which the Debian packages serve (a python3 earlier on PATH may lack them).
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable

TARGET_RATIO = 45.0
TARGET_PEAK_MB = 40.0


def ensure_pandas():
    if subprocess.run([PYTHON, "-c", "import pandas, openpyxl"], capture_output=True).returncode == 0:
        return
    if os.geteuid() != 0:
        sys.exit("the reference needs python3-pandas and python3-openpyxl: apt-get install python3-pandas python3-openpyxl")
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "update", "-qq"], check=True, env=env)
    subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", "python3-pandas", "python3-openpyxl"],
                   check=True, env=env)


def run_once(command):
    """Wall seconds, CPU seconds (user + system) and peak resident set size (MB) of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    error = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if process.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({process.returncode}):\n{error}")
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0  # ru_maxrss: kilobytes


def same_readings(ours, reference):
    """Both workbooks hold the same wells and readings (the sheet layouts differ slightly)."""
    import openpyxl

    a = openpyxl.load_workbook(ours, read_only=True).active
    b = openpyxl.load_workbook(reference, read_only=True).active
    rows_a = [r for r in a.iter_rows(values_only=True) if r and r[0] not in (None, "")]
    rows_b = [r for r in b.iter_rows(values_only=True)]
    if len(rows_a) != len(rows_b):
        return False
    for ra, rb in zip(rows_a[1:], rows_b[1:]):
        if ra[0] != rb[0] or [v for v in ra[2:] if v not in (None, "")] != list(rb[2:]):
            return False
    return True


def main():
    if os.path.realpath(sys.executable) != os.path.realpath(PYTHON):
        os.execv(PYTHON, [PYTHON, os.path.abspath(__file__)] + sys.argv[1:])
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--converter", default=os.path.join(ROOT, "build", "dev", "src", "cli", "morvane-convert"))
    parser.add_argument("--raw", default=os.path.join(ROOT, "tests", "data", "lc480_384_nrd1_calibration.txt"))
    args = parser.parse_args()
    if not os.access(args.converter, os.X_OK):
        sys.exit(f"{args.converter} not found: build it first (cmake --preset dev && cmake --build --preset dev "
                 "--target morvane-convert) or give --converter")
    ensure_pandas()

    work = tempfile.mkdtemp(prefix="morvane-compare-")
    try:
        ours_out = os.path.join(work, "morvane.xlsx")
        ref_out = os.path.join(work, "reference.xlsx")
        ours_cmd = [args.converter, "-q", "--sheet", "raw data", "-o", ours_out, args.raw]
        ref_cmd = [PYTHON, os.path.join(HERE, "lc480_to_xlsx.py"), args.raw, ref_out]
        times = {"morvane-convert": [], "reference": []}
        cpu = {"morvane-convert": [], "reference": []}
        peaks = {"morvane-convert": [], "reference": []}
        run_once(ref_cmd)  # warm the page cache and the interpreter's files
        for _ in range(args.runs):
            for name, command, out in (("reference", ref_cmd, ref_out), ("morvane-convert", ours_cmd, ours_out)):
                if os.path.exists(out):
                    os.remove(out)
                elapsed, used, peak = run_once(command)
                times[name].append(elapsed)
                cpu[name].append(used)
                peaks[name].append(peak)
        if not same_readings(ours_out, ref_out):
            sys.exit("the two workbooks do not hold the same readings")
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print(f"{os.path.basename(args.raw)}, {os.path.getsize(args.raw) / 1e6:.1f} MB, {args.runs} runs each")
    print(f"{'':16} {'median':>10} {'best':>10} {'CPU median':>11} {'peak memory':>12}")
    for name in ("reference", "morvane-convert"):
        print(f"{name:16} {statistics.median(times[name]) * 1000:8.1f}ms {min(times[name]) * 1000:8.1f}ms "
              f"{statistics.median(cpu[name]) * 1000:9.1f}ms {max(peaks[name]):9.1f} MB")
    ratio = statistics.median(times["reference"]) / statistics.median(times["morvane-convert"])
    cpu_ratio = statistics.median(cpu["reference"]) / statistics.median(cpu["morvane-convert"])
    peak = max(peaks["morvane-convert"])
    print(f"morvane-convert is {ratio:.1f} times faster (target: {TARGET_RATIO:.0f}; in CPU time {cpu_ratio:.1f}); "
          f"peak memory {peak:.1f} MB (target: at most {TARGET_PEAK_MB:.0f} MB)")
    return 0 if ratio >= TARGET_RATIO and peak <= TARGET_PEAK_MB else 1


if __name__ == "__main__":
    sys.exit(main())
