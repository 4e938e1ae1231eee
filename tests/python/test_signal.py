"""The signal-processing functions: fixed settings, results and refusals."""

import math

import numpy as np
import pytest

import orvane_core as oc
from conftest import FS, sinusoid


def spectral_confidence(x, fs, resolution_hz, min_rate, max_rate):
    """Independent reference for the spectral rate's confidence: the share of the band's power
    within 5 per minute of the strongest bin, Hann-windowed, zero-padded to a power of two."""
    n = len(x)
    y = (x - x.mean()) * 0.5 * (1 - np.cos(2 * np.pi * np.arange(n) / (n - 1)))
    nfft = 1 << int(math.ceil(math.log2(max(n, int(fs / resolution_hz)))))
    power = np.abs(np.fft.fft(y, nfft)[: nfft // 2]) ** 2
    df = fs / nfft
    lo, hi = int(np.floor(min_rate / 60 / df)), int(np.ceil(max_rate / 60 / df))
    peak = lo + int(np.argmax(power[lo:hi + 1]))
    h = int(np.ceil((1 / 12) / df))
    return power[max(peak - h, lo):min(peak + h, hi) + 1].sum() / power[lo:hi + 1].sum()


def beats(period_frames, count, start=0.0):
    return [[start + k * period_frames for k in range(count)]]


class TestRates:
    @pytest.mark.parametrize("fn, hz, seconds, rate, resolution, band", [
        (oc.estimate_heart_rate, 1.2, 10, 72.0, 0.005, (40, 220)),
        (oc.estimate_respiratory_rate, 0.25, 30, 15.0, 0.01, (3, 60)),
    ])
    def test_sinusoid_rate_and_confidence(self, fn, hz, seconds, rate, resolution, band):
        x = sinusoid(hz, seconds)
        value, confidence = fn(x, FS)
        assert value == pytest.approx(rate, abs=0.05)
        assert confidence == pytest.approx(spectral_confidence(x, FS, resolution, *band), abs=1e-3)

    def test_heart_band_excludes_breathing(self):
        # 0.25 Hz lies below 40 per minute: the heart-rate band never reports it.
        value, _ = oc.estimate_heart_rate(sinusoid(0.25, 30) + 0.2 * sinusoid(1.5, 30), FS)
        assert value == pytest.approx(90.0, abs=0.1)

    @pytest.mark.parametrize("x", [np.zeros(0, np.float32), np.ones(1, np.float32),
                                   np.zeros(300, np.float32)], ids=["empty", "one", "constant"])
    def test_degenerate_signals_give_no_estimate(self, x):
        assert oc.estimate_heart_rate(x, FS) == (0.0, 0.0)
        assert oc.estimate_respiratory_rate(x, FS) == (0.0, 0.0)

    @pytest.mark.parametrize("kwargs, expected", [
        (dict(sequences=[[0, 30, 60, 90]]), (60.0, 1.0)),
        (dict(sequences=[[0, 30], [60, 90]]), (60.0, 1.0)),  # the gap between sequences is no interval
        (dict(sequences=np.array([[0, 30, 60, 90]], np.float32)), (60.0, 1.0)),
        (dict(sequences=[]), (0.0, 0.0)),
        (dict(sequences=[[5]]), (0.0, 0.0)),
        (dict(sequences=[[0, 30, 90]]), (40.0, 0.0)),  # intervals 1 s and 2 s: irregular
        (dict(sequences=[[0, 10, 20]], timestamps=[k / 10 for k in range(30)]), (60.0, 1.0)),
        # Positions are floored to the index of their confidence: 0.9 -> 0, 30.9 -> 30, 60.9 -> 60.
        (dict(sequences=[[0.9, 30.9, 60.9]],
              confidence=[0.5 if k % 30 == 0 else 1.0 for k in range(61)]), (60.0, 0.5)),
        # A negative position takes the confidence of index 0.
        (dict(sequences=[[-0.5, 29.5]], confidence=[0.25] + [1.0] * 29), (60.0, 0.625)),
    ])
    def test_rate_from_detections(self, kwargs, expected):
        value, confidence = oc.estimate_rate_from_detections(fs=FS, **kwargs)
        assert (value, confidence) == pytest.approx(expected, abs=1e-4)


class TestHrv:
    def test_metric_names_are_case_insensitive(self):
        x = sinusoid(1.2, 60)
        conf = np.ones_like(x)
        result = oc.estimate_hrv_metric(x, FS, "SDNN", conf)
        assert isinstance(result, tuple) and len(result) == 2
        assert result == oc.estimate_hrv_metric(x, FS, "sdnn", conf, None)
        assert result[1] > 0.9

    def test_from_detections_of_alternating_intervals(self):
        # Intervals of 0.8 s and 0.9 s alternate: SDNN is 50 ms, RMSSD 100 ms.
        positions, t = [], 0.0
        for k in range(80):
            positions.append(t * FS)
            t += 0.8 if k % 2 == 0 else 0.9
        sdnn, c1 = oc.estimate_hrv_metric_from_detections([positions], FS, "sdnn")
        rmssd, c2 = oc.estimate_hrv_metric_from_detections([positions], FS, "RMSSD")
        assert sdnn == pytest.approx(50.0, rel=0.02) and c1 > 0
        assert rmssd == pytest.approx(100.0, rel=0.02) and c2 > 0

    @pytest.mark.parametrize("call", [
        lambda: oc.estimate_hrv_metric(np.zeros(10, np.float32), FS, "hrv_si",
                                       np.zeros(10, np.float32)),
        lambda: oc.estimate_hrv_metric_from_detections([[0, 30]], FS, "hrv_stress_index"),
        lambda: oc.estimate_hrv_metric_from_detections([[0, 30]], FS, ""),
    ])
    def test_unknown_metric(self, call):
        with pytest.raises(ValueError, match="^Invalid HRV metric$"):
            call()

    def test_confidence_must_be_a_float32_array(self):
        x = np.zeros(10, np.float32)
        with pytest.raises(TypeError, match="^argument 'confidence'"):
            oc.estimate_hrv_metric(x, FS, "sdnn", [1.0] * 10)


class TestRolling:
    def test_rolling_heart_rate_from_regular_beats(self):
        values, confidences = oc.estimate_rolling_rate_from_detections(
            beats(30, 10), FS, "heart_rate", 320)
        assert len(values) == len(confidences) == 320
        assert all(math.isnan(v) for v in values[:150]) and set(confidences[:150]) == {0.0}
        assert values[150:300] == [60.0] * 150 and confidences[150:300] == [1.0] * 150
        assert all(math.isnan(v) for v in values[300:])  # the last beat holds for one span

    def test_rolling_hrv_gives_one_value_per_frame(self):
        values, confidences = oc.estimate_rolling_hrv_metric_from_detections(
            beats(25, 12), FS, "hrv_sdnn", 300)
        assert len(values) == len(confidences) == 300

    @pytest.mark.parametrize("fn", [oc.estimate_rolling_rate_from_detections,
                                    oc.estimate_rolling_hrv_metric_from_detections])
    def test_zero_frames(self, fn):
        name = "heart_rate" if fn is oc.estimate_rolling_rate_from_detections else "hrv_sdnn"
        assert fn([[0, 30]], FS, name, 0) == ([], [])

    @pytest.mark.parametrize("fn, name, message", [
        (oc.estimate_rolling_rate_from_detections, "heartrate", "Unknown vital rate: heartrate"),
        (oc.estimate_rolling_rate_from_detections, "Heart_Rate", "Unknown vital rate: Heart_Rate"),
        (oc.estimate_rolling_rate_from_detections, "ppg_waveform", "No derivations found for vital"),
        (oc.estimate_rolling_hrv_metric_from_detections, "nope", "Unknown HRV metric: nope"),
        (oc.estimate_rolling_hrv_metric_from_detections, "pwa", "No derivations found for metric"),
        (oc.estimate_rolling_hrv_metric_from_detections, "heart_rate", "Invalid HRV metric"),
    ])
    def test_name_refusals(self, fn, name, message):
        with pytest.raises(ValueError) as e:
            fn([[0, 30]], FS, name, 10)
        assert str(e.value) == message

    @pytest.mark.parametrize("fn, name", [
        (oc.estimate_rolling_rate_from_detections, "heart_rate"),
        (oc.estimate_rolling_hrv_metric_from_detections, "hrv_sdnn"),
    ])
    def test_unallocatable_frame_count_is_memory_error(self, fn, name):
        for frames in (2**40, 2**64 - 1):
            with pytest.raises(MemoryError):
                fn([[0, 30]], FS, name, frames)


class TestPeaks:
    def test_sinusoid_peaks_at_quarter_cycles(self):
        # 1.2 Hz at 30 Hz: 25 samples per cycle, maxima at 6.25 + 25 k.
        positions = oc.find_peaks(sinusoid(1.2, 10), FS, True)
        assert len(positions) >= 10
        assert all(abs((p - 6.25) / 25 - round((p - 6.25) / 25)) * 25 < 0.5 for p in positions)

    def test_unrefined_positions_are_whole_samples(self):
        positions = oc.find_peaks(sinusoid(1.2, 10), FS, False)
        assert positions and all(p == int(p) for p in positions)

    def test_defaults_spelled_out_agree(self):
        x = sinusoid(1.2, 10) + 0.3 * sinusoid(0.2, 10)
        assert oc.find_peaks(x, 30.0, True) == oc.find_peaks(
            x, 30.0, True, None, 40.0, 220.0, 0.45, 2.5, 1.0)
        # The keywords reach the detector: a band below the pulse or a high threshold cut peaks.
        assert len(oc.find_peaks(x, 30.0, True, max_rate=50.0)) < len(oc.find_peaks(x, 30.0, True))
        assert oc.find_peaks(x, 30.0, True, detection_threshold=5.0) == []

    def test_empty_signal(self):
        assert oc.find_peaks(np.zeros(0, np.float32), FS, True) == []

    @pytest.mark.parametrize("value", [[0.0] * 10, np.zeros(10, np.float64)])
    def test_signal_must_be_float32_array(self, value):
        with pytest.raises(TypeError, match="^argument 'signal': "):
            oc.find_peaks(value, FS, True)


class TestFilterSizing:
    @pytest.mark.parametrize("args, expected", [
        ((4.0, 0.04), 750.0),
        ((30.0, 0.0), 0.0),
    ])
    def test_detrend_lambda(self, args, expected):
        assert oc.detrend_lambda_for_cutoff(*args) == expected

    @pytest.mark.parametrize("args, expected", [
        ((30.0, 3.0, True), 3),
        ((30.0, 3.0, False), 4),
    ])
    def test_moving_average_window(self, args, expected):
        window = oc.moving_average_window_for_cutoff(*args)
        assert type(window) is int and window == expected

    def test_force_odd_refuses_int(self):
        with pytest.raises(TypeError, match="^argument 'force_odd': "):
            oc.moving_average_window_for_cutoff(30.0, 3.0, 1)
