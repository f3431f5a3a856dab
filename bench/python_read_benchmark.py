#!/usr/bin/python3
"""The Python module's read beside the route it replaces: the converter, then pandas.read_csv
of its output, given the count of the file's lines (not timed: the fastest case of that
route, where the count is known). Each route runs in a Python process of its own, start-up included, in turn
with the other, RUNS times; the best and median seconds and the peak memory of each.

usage: PYTHONPATH=<module dir> python_read_benchmark.py CONVERTER FILE [RUNS]
"""

import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROUTES = {
    "ctp.read": """
import convert_time_pressure as ctp
r = ctp.read(FILE)
n = len(r.value)
""",
    "converter, then pandas.read_csv": """
import subprocess, pandas as pd
subprocess.run([CONVERTER, FILE, OUT, COUNT], check=True, stdout=subprocess.DEVNULL)
d = pd.read_csv(OUT, sep=r"\\s+", names=["s", "p"])
n = len(d)
""",
}
# Prints the route's readings and the peak resident memory, in kB, of it and its children.
FOOTER = """
import resource
peak = max(resource.getrusage(w).ru_maxrss for w in (resource.RUSAGE_SELF, resource.RUSAGE_CHILDREN))
print(n, peak)
"""


def run(code, converter, path, out):
    start = time.perf_counter()
    done = subprocess.run(
        [sys.executable, "-c", code + FOOTER],
        check=True, capture_output=True, text=True,
        env=dict(os.environ, FILE=path),
    )
    seconds = time.perf_counter() - start
    n, peak_kb = (int(x) for x in done.stdout.split())
    return seconds, n, peak_kb


def main():
    converter, path = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    with open(path, "rb") as f:
        count = sum(block.count(b"\n") for block in iter(lambda: f.read(1 << 20), b""))
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "out.dat")
        header = "import os\nFILE = os.environ['FILE']\nCONVERTER = %r\nCOUNT = %r\nOUT = %r\n" % (
            converter, str(count), out)
        times = {name: [] for name in ROUTES}
        peaks = {name: 0 for name in ROUTES}
        counts = set()
        for _ in range(runs):
            for name, code in ROUTES.items():
                seconds, n, peak_kb = run(header + code, converter, path, out)
                times[name].append(seconds)
                peaks[name] = max(peaks[name], peak_kb)
                counts.add(n)
                if os.path.exists(out):
                    os.remove(out)
    assert len(counts) == 1, counts
    base = min(times["converter, then pandas.read_csv"])
    print("%d readings, %s, best of %d in turn, Python start-up included" % (counts.pop(), path, runs))
    print("%-34s %8s %8s %8s %8s" % ("route", "best s", "median s", "peak MB", "speed-up"))
    for name in ROUTES:
        print("%-34s %8.3f %8.3f %8.0f %7.1fx" % (name, min(times[name]), statistics.median(times[name]),
                                                peaks[name] / 1024, base / min(times[name])))


if __name__ == "__main__":
    main()
