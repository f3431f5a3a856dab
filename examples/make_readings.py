#!/usr/bin/env python3
"""Writes examples/readings.txt: 400 readings of a pressure logger at 15-second intervals,
running over the leap day 2020-02-29 into March. Deterministic: the same file every run."""
import datetime
import math
import pathlib
import random

rng = random.Random(20200229)
start = datetime.datetime(2020, 2, 29, 22, 30, 0)
with open(pathlib.Path(__file__).parent / "readings.txt", "w", newline="\n") as f:
    for i in range(400):
        t = start + datetime.timedelta(seconds=15 * i)
        # Water column over a slow swell, in bar, with sensor noise; four decimals as logged.
        value = 1.0132 + 0.0185 * math.sin(i / 61.0) + rng.gauss(0, 0.0004)
        f.write(f"{t:%Y-%m-%d %H:%M:%S}\t{value:.4f}\n")
