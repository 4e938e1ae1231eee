"""Regenerates the bundled 30 Hz excerpt of BIDMC record 18 from the raw data.

Development-time only: needs NumPy, pandas and SciPy (bench/requirements-peers.txt)
and the BIDMC folder of the shared recordings. The example itself reads the
files written here with the standard library and NumPy alone.

    build/venv/bin/python examples/data/make_bidmc_30hz.py [--data DIR]

Writes, next to this script:
  bidmc_18_30hz.csv.gz     time_s, ppg, resp at 30 Hz (480 s)
  bidmc_18_numerics.csv    the bedside monitor's 1 Hz numerics: time_s, hr, pulse, resp
  bidmc_18_breaths.csv     breath marks of both annotators in seconds: ann1_s, ann2_s
"""
from __future__ import annotations

import argparse
import gzip
import sys
from pathlib import Path

RECORD = "18"
SOURCE_FS = 125
TARGET_FS = 30
# 125 Hz * 6 / 25 = 30 Hz
UP, DOWN = 6, 25

HERE = Path(__file__).resolve().parent
DEFAULT_DATA = HERE.parents[2] / "shared" / "data" / "bidmc"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=DEFAULT_DATA,
                        help=f"BIDMC folder (default {DEFAULT_DATA})")
    args = parser.parse_args()
    try:
        import numpy as np
        import pandas as pd
        from scipy.signal import resample_poly
    except ImportError as exc:
        print(f"missing package ({exc.name}); install with:\n"
              "  build/venv/bin/python -m pip install -r bench/requirements-peers.txt",
              file=sys.stderr)
        return 2
    signals_path = args.data / f"bidmc_{RECORD}_Signals.csv.gz"
    if not signals_path.exists():
        print(f"BIDMC data not found at {args.data} (expected {signals_path.name}); "
              "pass --data DIR", file=sys.stderr)
        return 2

    # Columns are in each record's own order: select them by name.
    signals = pd.read_csv(signals_path)
    ppg = resample_poly(signals["PLETH"].to_numpy(np.float64), UP, DOWN, padtype="line")
    resp = resample_poly(signals["RESP"].to_numpy(np.float64), UP, DOWN, padtype="line")
    n = min(len(ppg), len(resp))
    with gzip.open(HERE / f"bidmc_{RECORD}_30hz.csv.gz", "wt", compresslevel=9,
                   newline="") as out:
        out.write("time_s,ppg,resp\n")
        for i in range(n):
            # Time is exact in n / 30; the source values carry 5 significant digits.
            out.write(f"{i / TARGET_FS:.4f},{ppg[i]:.5g},{resp[i]:.5g}\n")

    numerics = pd.read_csv(args.data / f"bidmc_{RECORD}_Numerics.csv")
    with open(HERE / f"bidmc_{RECORD}_numerics.csv", "w", newline="") as out:
        out.write("time_s,hr,pulse,resp\n")
        for row in numerics.itertuples(index=False):
            t, hr, pulse, rr = row[0], row[1], row[2], row[3]
            out.write(f"{t:g},{hr:g},{pulse:g},{rr:g}\n")

    breaths = pd.read_csv(args.data / f"bidmc_{RECORD}_Breaths.csv")
    with open(HERE / f"bidmc_{RECORD}_breaths.csv", "w", newline="") as out:
        out.write("ann1_s,ann2_s\n")
        for a1, a2 in zip(breaths["ann1"], breaths["ann2"]):
            # Marks are sample numbers at the original 125 Hz.
            out.write(f"{a1 / SOURCE_FS:.3f},{a2 / SOURCE_FS:.3f}\n")
    print(f"wrote {n} samples at {TARGET_FS} Hz of record {RECORD} to {HERE}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
