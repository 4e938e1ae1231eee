"""Smoke version of bench/accuracy.py: one real BIDMC record streamed to a
Session, a few windows checked against the monitor, the hand-marked breaths
and the ECG beats. Needs only NumPy and the module; skips when the shared
recordings are not beside the repository."""
from __future__ import annotations

import gzip
from pathlib import Path

import numpy as np
import pytest

import orvane_core as oc

REPO = Path(__file__).resolve().parents[2]
BIDMC = REPO.parent / "shared" / "data" / "bidmc"
RECORD = "18"
SOURCE_FS = 125.0
FS = 30.0
STREAM_S = 90

HRV = ["hrv_sdnn", "hrv_rmssd", "hrv_pnn50", "hrv_lfhf", "hrv_sd1sd2"]
DISCLAIMER_START = "The provided values are estimates"


def resample_to_30hz(x: np.ndarray) -> np.ndarray:
    """125 Hz -> 30 Hz without SciPy: a 4-sample (32 ms) moving average
    against aliasing, then linear interpolation at n / 30 s. PPG and
    respiration carry next to nothing above 10 Hz, so this is enough here."""
    smoothed = np.convolve(x, np.ones(4) / 4, mode="same")
    t_src = np.arange(len(x)) / SOURCE_FS
    t_dst = np.arange(int(t_src[-1] * FS) + 1) / FS
    return np.interp(t_dst, t_src, smoothed).astype(np.float32)


def read_csv(path: Path) -> tuple[list[str], np.ndarray]:
    opener = gzip.open if path.suffix == ".gz" else open
    with opener(path, "rt") as f:
        header = f.readline().strip().split(",")
        table = np.loadtxt(f, delimiter=",", ndmin=2)
    return header, table


@pytest.fixture(scope="module")
def streamed():
    """Streams the first STREAM_S seconds of the record in one-second batches
    and keeps the result after every second."""
    signals = BIDMC / f"bidmc_{RECORD}_Signals.csv.gz"
    if not signals.exists():
        pytest.skip(f"shared BIDMC recordings not found at {BIDMC}")
    header, table = read_csv(signals)
    n_src = int((STREAM_S + 1) * SOURCE_FS)
    ppg = resample_to_30hz(table[:n_src, header.index("PLETH")])
    resp = resample_to_30hz(table[:n_src, header.index("RESP")])
    _, numerics = read_csv(BIDMC / f"bidmc_{RECORD}_Numerics.csv")
    _, breaths = read_csv(BIDMC / f"bidmc_{RECORD}_Breaths.csv")
    _, rpeaks = read_csv(BIDMC / "derived_ecg_rpeaks" / f"bidmc_{RECORD}_ecg_rpeaks_derived.csv")

    config = oc.SessionConfig("bidmc-smoke", ["heart_rate", "respiratory_rate"] + HRV,
                              FS, 72, 4, "face",
                              return_waveforms=["ppg_waveform", "respiratory_waveform"])
    session = oc.Session(config)
    results = {}
    step = int(FS)
    for second in range(STREAM_S):
        lo, hi = second * step, (second + 1) * step
        batch = oc.SessionInput(None, {
            "ppg": oc.SignalInput(ppg[lo:hi], [1.0] * step),
            "resp": oc.SignalInput(resp[lo:hi], [1.0] * step),
        }, (np.arange(lo, hi) / FS).tolist())
        results[second + 1] = session.process(batch, "Incremental")
    return {
        "results": results,
        "monitor_t": numerics[:, 0],
        "monitor_hr": numerics[:, 1],
        "breaths": [np.sort(c[~np.isnan(c)]) / SOURCE_FS for c in breaths.T],
        "rpeaks": rpeaks[:, 1],
    }


def monitor_hr(d, t0, t1):
    sel = (d["monitor_t"] > t0) & (d["monitor_t"] <= t1)
    return float(np.nanmean(d["monitor_hr"][sel]))


def annotated_rr(d, t0, t1):
    rates = []
    for marks in d["breaths"]:
        inside = marks[(marks > t0) & (marks <= t1)]
        rates.append(60.0 * (len(inside) - 1) / (inside[-1] - inside[0]))
    return float(np.mean(rates))


def ecg_intervals_ms(d, t0, t1):
    beats = d["rpeaks"][(d["rpeaks"] > t0) & (d["rpeaks"] <= t1)]
    return np.diff(beats) * 1000.0


def test_every_batch_is_processed_and_returns_its_own_frames(streamed):
    for second, result in streamed["results"].items():
        assert result.message.startswith(DISCLAIMER_START), result.message
        assert len(result.timestamp) == int(FS)
        assert result.waveforms["ppg_waveform"].unit == "unitless"
        assert len(result.waveforms["respiratory_waveform"].data) == int(FS)


@pytest.mark.parametrize("second", [10, 30, 60, 90])
def test_heart_rate_follows_the_monitor(streamed, second):
    # 10 s windows of a clean ICU PPG: the spectral peak lies within a few
    # beats per minute of the monitor's ECG-based numbers.
    vital = streamed["results"][second].vitals["heart_rate"]
    reference = monitor_hr(streamed, second - 10, second)
    assert vital.unit == "bpm"
    assert abs(vital.value - reference) <= 3.0, (vital.value, reference)


@pytest.mark.parametrize("second", [30, 60, 90])
def test_respiratory_rate_follows_the_hand_marked_breaths(streamed, second):
    vital = streamed["results"][second].vitals["respiratory_rate"]
    reference = annotated_rr(streamed, second - 30, second)
    assert abs(vital.value - reference) <= 2.0, (vital.value, reference)


def test_no_vital_before_its_minimum_window(streamed):
    # heart rate needs 5 s, respiratory rate 10 s, SDNN and RMSSD 20 s.
    early = streamed["results"]
    assert "heart_rate" not in early[4].vitals and "heart_rate" in early[5].vitals
    assert "respiratory_rate" not in early[9].vitals
    assert "hrv_sdnn" not in early[19].vitals


def test_beat_interval_metrics_match_the_ecg(streamed):
    # 60 s of PPG against the ECG beats of the same minute. This record's
    # pulse is sharp enough at 30 Hz for refined beat times to agree with the
    # ECG within a few ms (SDNN and RMSSD are about 6 ms here); a unit slip,
    # a lost refinement (33 ms steps) or doubled beats would be far outside.
    vitals = streamed["results"][90].vitals
    nn = ecg_intervals_ms(streamed, 30, 90)
    sdnn = float(np.std(nn, ddof=1))
    rmssd = float(np.sqrt(np.mean(np.diff(nn) ** 2)))
    assert vitals["hrv_sdnn"].unit == "ms"
    assert abs(vitals["hrv_sdnn"].value - sdnn) <= 4.0, (vitals["hrv_sdnn"].value, sdnn)
    assert abs(vitals["hrv_rmssd"].value - rmssd) <= 4.0, (vitals["hrv_rmssd"].value, rmssd)
    assert 0.0 < vitals["hrv_sdnn"].confidence <= 1.0
