#!/usr/bin/env python3
"""Quickstart: a real ICU recording fed to a Session as a live host would.

The bundled recording (BIDMC record 18, see examples/data/README.md) holds a
finger PPG and an impedance respiration signal at 30 Hz, standing in for the
per-frame pulse and respiratory waveforms of a camera model. The example

1. streams it to a Session in one-second batches ("Incremental" calls, so the
   session keeps only its last minute) and prints heart rate, respiratory
   rate and HRV as they evolve, next to the bedside monitor's own numbers;
2. reviews the whole recording with one "Global" call that also returns
   rolling (per-frame) vitals, and compares them with the monitor;
3. writes a PNG of the waveforms and the rolling rates when matplotlib is
   installed (optional: python -m pip install matplotlib).

Needs only the orvane_core module; no NumPy or SciPy.

    build/venv/bin/python examples/quickstart.py [--out PNG] [--every SECONDS]
"""
from __future__ import annotations

import argparse
import csv
import gzip
import math
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
DATA = HERE / "data"
RECORD = "bidmc_18"
DEFAULT_PNG = HERE.parent / "build" / "quickstart" / f"{RECORD}_vitals.png"

FPS = 30.0
MODEL_NAME = "bidmc-reference"
RATE_VITALS = ["heart_rate", "respiratory_rate"]
HRV_VITALS = ["hrv_sdnn", "hrv_rmssd", "hrv_pnn50", "hrv_lfhf", "hrv_sd1sd2"]
WAVEFORMS = ["ppg_waveform", "respiratory_waveform"]
# Respiratory rate from the hand-marked breaths is averaged over the same
# span as the session's respiratory window.
BREATH_WINDOW_S = 30.0

try:
    import orvane_core as oc
except ImportError as exc:  # pragma: no cover - depends on the machine
    sys.exit(f"The orvane_core module is not importable ({exc}).\n"
             "Build and install it first:  bash scripts/quickstart.sh\n"
             "or: build/venv/bin/python -m pip install --no-build-isolation "
             "-Cbuild-dir=build/python .")


# ---------------------------------------------------------------- loading

def load_recording() -> dict:
    """Reads the bundled files; missing values (NaN) are kept as NaN."""
    signals = DATA / f"{RECORD}_30hz.csv.gz"
    if not signals.exists():
        sys.exit(f"Bundled recording missing: {signals}\n"
                 "Regenerate it with examples/data/make_bidmc_30hz.py.")
    rec: dict = {"t": [], "ppg": [], "resp": []}
    with gzip.open(signals, "rt", newline="") as f:
        for row in csv.DictReader(f):
            rec["t"].append(float(row["time_s"]))
            rec["ppg"].append(float(row["ppg"]))
            rec["resp"].append(float(row["resp"]))
    with open(DATA / f"{RECORD}_numerics.csv", newline="") as f:
        # One row per second: time_s -> (monitor HR, PULSE, RESP).
        rec["monitor"] = {int(float(r["time_s"])): (float(r["hr"]), float(r["pulse"]),
                                                     float(r["resp"]))
                          for r in csv.DictReader(f)}
    with open(DATA / f"{RECORD}_breaths.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    rec["breaths"] = [sorted(float(r[k]) for r in rows if r[k] not in ("", "nan", "NaN"))
                      for k in ("ann1_s", "ann2_s")]
    return rec


def confidence_of(samples: list[float]) -> list[float]:
    """A host has no model confidence here: 1 for a sample, 0 for a gap (NaN)."""
    return [0.0 if math.isnan(x) else 1.0 for x in samples]


def annotated_rr(breaths: list[list[float]], t_end: float) -> float:
    """Breaths per minute from the hand marks in (t_end - 30 s, t_end], both
    annotators averaged; NaN when neither has two intervals there."""
    rates = []
    for marks in breaths:
        inside = [b for b in marks if t_end - BREATH_WINDOW_S < b <= t_end]
        if len(inside) >= 3:
            rates.append(60.0 * (len(inside) - 1) / (inside[-1] - inside[0]))
    return sum(rates) / len(rates) if rates else math.nan


# ---------------------------------------------------------------- session

def make_config(rolling: bool) -> "oc.SessionConfig":
    return oc.SessionConfig(
        MODEL_NAME,
        RATE_VITALS + HRV_VITALS + WAVEFORMS,
        FPS,
        72,       # input_size: edge of one model frame, pixels (not read by the session)
        4,        # n_inputs: frames per inference (not read by the session)
        "face",   # roi_method the model was trained with
        return_waveforms=WAVEFORMS,
        estimate_rolling_vitals=rolling,
    )


def batch_input(rec: dict, lo: int, hi: int) -> "oc.SessionInput":
    ppg, resp = rec["ppg"][lo:hi], rec["resp"][lo:hi]
    signals = {
        "ppg_waveform": oc.SignalInput(ppg, confidence_of(ppg)),
        "respiratory_waveform": oc.SignalInput(resp, confidence_of(resp)),
    }
    # No face boxes in this recording: face is None and the session stores
    # an empty box with confidence 0 per frame.
    return oc.SessionInput(None, signals, rec["t"][lo:hi])


def check(result: "oc.SessionResult") -> None:
    if not result.message.startswith("The provided values are estimates"):
        sys.exit(f"Session refused the batch: {result.message}")


CELL = 14


def cell(vitals: dict, vid: str) -> str:
    v = vitals.get(vid)
    if v is None:
        return "-".rjust(CELL - 4) + " " * 4
    value = f"{v.value:7.1f}" if abs(v.value) >= 10 else f"{v.value:7.2f}"
    return f"{value} {v.confidence:4.2f}".rjust(CELL)


def stream(rec: dict, every_s: int) -> "oc.SessionResult":
    """Feeds the recording second by second and prints a line every few seconds."""
    session = oc.Session(make_config(rolling=False))
    ids = RATE_VITALS + HRV_VITALS
    infos = [oc.get_vital_info(vid) for vid in ids]
    print(f"Streaming {len(rec['t']) / FPS:.0f} s of {RECORD} at {FPS:.0f} Hz in "
          "one-second batches. Each cell: value and confidence; '-': no estimate yet.")
    print("    t " + "".join(f"{i.short_name + ' ' + i.unit:>{CELL}}" for i in infos)
          + "   monitor HR  RR  annotated RR")
    frames, step = len(rec["t"]), int(FPS)
    calls, spent, result = 0, 0.0, None
    for lo in range(0, frames, step):
        hi = min(lo + step, frames)
        batch = batch_input(rec, lo, hi)
        t0 = time.perf_counter()
        result = session.process(batch, "Incremental")
        spent += time.perf_counter() - t0
        calls += 1
        check(result)
        if hi - lo < step:
            continue  # a trailing part-second: processed, but not a new line
        second = int(round(rec["t"][hi - 1] + 1 / FPS))
        if second % every_s == 0:
            hr, _, rr = rec["monitor"].get(second, (math.nan,) * 3)
            ann = annotated_rr(rec["breaths"], second)
            print(f"{second:5d} s" + "".join(cell(result.vitals, vid) for vid in ids)
                  + f"   {hr:10.0f} {rr:3.0f} {ann:13.1f}")
    print(f"{calls} process calls, {1000 * spent / calls:.2f} ms per call on average.\n")
    print("Latest values as the session reports them:")
    for vid in ids:
        v = result.vitals.get(vid)
        if v is not None:
            print(f"  {vid:<17} {v.value:8.2f} {v.unit:<5} confidence {v.confidence:.2f}  "
                  f"{v.note}")
    return result


def review(rec: dict) -> "oc.SessionResult":
    """One Global call over the whole recording, with rolling vitals."""
    session = oc.Session(make_config(rolling=True))
    t0 = time.perf_counter()
    result = session.process(batch_input(rec, 0, len(rec["t"])), "Global")
    spent = time.perf_counter() - t0
    check(result)
    print(f"\nReview: one Global call over {len(result.timestamp)} frames took "
          f"{spent:.2f} s (whole-recording estimates and rolling series).")
    for vid in RATE_VITALS + HRV_VITALS:
        v = result.vitals.get(vid)
        if v is not None:
            print(f"  {vid:<17} {v.value:8.2f} {v.unit:<5} confidence {v.confidence:.2f}  "
                  f"{v.note}")
    return result


def agreement(rec: dict, result: "oc.SessionResult") -> dict:
    """Mean absolute difference of the rolling rates from the references,
    sampled once per second where both exist."""
    rolling = result.rolling_vitals or {}
    pairs: dict = {"HR vs monitor HR": [], "RR vs monitor RESP": [],
                   "RR vs annotated breaths": []}
    hr = rolling.get("heart_rate")
    rr = rolling.get("respiratory_rate")
    for i, t in enumerate(result.timestamp):
        if i % int(FPS):
            continue
        m_hr, _, m_rr = rec["monitor"].get(int(round(t)), (math.nan,) * 3)
        if hr is not None:
            pairs["HR vs monitor HR"].append((hr.data[i], m_hr))
        if rr is not None:
            pairs["RR vs monitor RESP"].append((rr.data[i], m_rr))
            pairs["RR vs annotated breaths"].append((rr.data[i], annotated_rr(rec["breaths"], t)))
    out = {}
    print("\nRolling rates against the references (per minute, once per second):")
    for name, pts in pairs.items():
        diffs = [abs(a - b) for a, b in pts if not (math.isnan(a) or math.isnan(b))]
        if diffs:
            out[name] = sum(diffs) / len(diffs)
            print(f"  {name:<25} mean |difference| {out[name]:5.2f} over {len(diffs)} s")
    if rr is not None:
        print(f"  ({rr.note})")
    return out


# ---------------------------------------------------------------- plot

def plot(rec: dict, result: "oc.SessionResult", path: Path) -> None:
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("\nmatplotlib is not installed, so no plot was drawn. To get it:\n"
              "  build/venv/bin/python -m pip install matplotlib\n"
              "then run this example again.")
        return
    ts = result.timestamp
    fig, axes = plt.subplots(4, 1, figsize=(11, 11), constrained_layout=True)
    fig.suptitle(f"orvane_core on BIDMC record 18 at {FPS:.0f} Hz (one Global call)")

    def excerpt(ax, wid, t0, t1, colour, title, marks=None):
        w = result.waveforms.get(wid)
        if w is None:
            ax.set_title(f"{title}: not returned")
            return
        sel = [i for i, t in enumerate(ts) if t0 <= t <= t1]
        ax.plot([ts[i] for i in sel], [w.data[i] for i in sel], color=colour, lw=1)
        for m in marks or []:
            if t0 <= m <= t1:
                ax.axvline(m, color="grey", lw=0.6, ls=":")
        ax.set_title(f"{title}, {t1 - t0:.0f} s excerpt ({w.unit})")
        ax.set_xlabel("time (s)")

    excerpt(axes[0], "ppg_waveform", 200, 215, "#E62100", "PPG waveform as returned")
    excerpt(axes[1], "respiratory_waveform", 180, 240, "#00A3FC",
            "Respiratory waveform as returned (dotted: breaths marked by annotator 1)",
            rec["breaths"][0])

    rolling = result.rolling_vitals or {}
    mon_t = sorted(rec["monitor"])
    for ax, vid, col, label, refs in (
        (axes[2], "heart_rate", 0, "Heart rate",
         [("monitor HR (ECG)", 0, "k"), ("monitor PULSE (PPG)", 1, "0.6")]),
        (axes[3], "respiratory_rate", 2, "Respiratory rate",
         [("monitor RESP", 2, "k")]),
    ):
        for name, k, colour in refs:
            ax.plot(mon_t, [rec["monitor"][t][k] for t in mon_t], color=colour, lw=1, label=name)
        if vid == "respiratory_rate":
            grid = [float(t) for t in mon_t]
            ax.plot(grid, [annotated_rr(rec["breaths"], t) for t in grid], color="g", lw=1,
                    label="hand-marked breaths (30 s)")
        series = rolling.get(vid)
        if series is not None:
            ax.plot(ts, series.data, color="#E62100" if col == 0 else "#00A3FC", lw=1.5,
                    label=f"orvane_core rolling {label.lower()}")
            ax.set_ylabel(series.unit)
        ax.set_title(f"{label}: rolling estimate against the bedside monitor")
        ax.set_xlabel("time (s)")
        ax.legend(loc="lower right", fontsize=8)
    path.parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(path, dpi=75)
    print(f"\nPlot written to {path}")


def main() -> int:
    parser = argparse.ArgumentParser(description="Feeds a real recording to an orvane_core "
                                     "Session and prints the vitals.")
    parser.add_argument("--out", type=Path, default=DEFAULT_PNG, help="PNG path for the plot")
    parser.add_argument("--every", type=int, default=10, help="print a line every N seconds")
    args = parser.parse_args()
    started = time.perf_counter()
    rec = load_recording()
    stream(rec, max(1, args.every))
    result = review(rec)
    agreement(rec, result)
    plot(rec, result, args.out)
    print(f"\nDone in {time.perf_counter() - started:.1f} s. {result.message}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
