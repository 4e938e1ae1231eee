"""Session from Python: batches from NumPy arrays, WaveformMode forms, refused batches."""

import numpy as np
import pytest

import orvane_core as oc
from conftest import FS, sinusoid

DISCLAIMER = (
    "The provided values are estimates and should be interpreted according to the provided "
    "confidence scores. The Orvane API is not a medical device and its estimates are not "
    "intended for any medical purposes.")


def batch(start, n, signals=None, face=True):
    t = (start + np.arange(n)) / FS
    ones = np.ones(n, np.float32)
    faces = oc.FaceInput(np.tile(np.float32([10, 20, 100, 120]), (n, 1)), ones) if face else None
    return oc.SessionInput(faces, signals or {}, t)


class TestSessionNormal:
    def test_synthetic_pulse_and_breathing_end_to_end(self):
        cfg = oc.SessionConfig("synthetic", ["heart_rate", "respiratory_rate"], FS, 40, 4, "face",
                               return_waveforms=["ppg_waveform", "respiratory_waveform"])
        session = oc.Session(cfg)
        seconds = 40
        pulse, breath = sinusoid(1.2, seconds), sinusoid(0.25, seconds)
        conf = np.full(len(pulse), 0.9, np.float32)
        step = int(FS)  # one-second batches, as a host streams them
        for k in range(0, len(pulse), step):
            window = slice(k, k + step)
            signals = {"ppg": oc.SignalInput(pulse[window], conf[window]),
                       "resp": oc.SignalInput(breath[window], conf[window])}
            result = session.process(batch(k, step, signals), "Incremental")
        assert isinstance(result, oc.SessionResult)
        assert result.message == DISCLAIMER
        hr, rr = result.vitals["heart_rate"], result.vitals["respiratory_rate"]
        assert (hr.unit, rr.unit) == ("bpm", "bpm")
        assert hr.value == pytest.approx(72.0, abs=0.5) and hr.confidence > 0.5
        assert rr.value == pytest.approx(15.0, abs=0.5) and rr.confidence > 0.5
        assert hr.note and "synthetic" in hr.note
        # Incremental: only the newest batch's frames come back.
        assert len(result.timestamp) == step and result.fps == pytest.approx(FS, rel=1e-3)
        assert set(result.waveforms) == {"ppg_waveform", "respiratory_waveform"}
        ppg = result.waveforms["ppg_waveform"]
        assert len(ppg.data) == len(ppg.confidence) == step
        assert ppg.confidence == pytest.approx([0.9] * step)
        assert result.face.coordinates == [[10.0, 20.0, 100.0, 120.0]] * step
        assert result.rolling_vitals is None

        # Windowed and Global reach back over the stored history.
        assert len(session.process(batch(0, 0), ("Windowed", 5)).timestamp) == 150
        whole = session.process(batch(0, 0), "Global")
        assert len(whole.timestamp) == seconds * FS
        assert whole.waveforms["ppg_waveform"].note.startswith("Global estimate of PPG Waveform")

        session.reset()
        assert session.process(batch(0, 0), "Global").timestamp == []

    def test_rolling_vitals_under_global(self):
        cfg = oc.SessionConfig("m", ["heart_rate"], FS, 40, 4, "face", None, True)
        n = int(20 * FS)
        signals = {"ppg": oc.SignalInput(sinusoid(1.2, 20), np.ones(n, np.float32))}
        result = oc.Session(cfg).process(batch(0, n, signals), "Global")
        series = result.rolling_vitals["heart_rate"]
        assert isinstance(series, oc.WaveformResult) and len(series.data) == n

    @pytest.mark.parametrize("mode", ["Incremental", "Global", ("Windowed", 5), ("Windowed", 5.0),
                                      ("Windowed", np.float32(2)), ("Windowed", True)])
    def test_accepted_modes(self, session, mode):
        result = session.process(batch(0, 3), mode)
        assert len(result.timestamp) == 3 and result.message == DISCLAIMER

    def test_input_without_face_or_signals(self, session):
        result = session.process(oc.SessionInput(None, {}, [0.0, 0.033]), "Incremental")
        assert result.face.coordinates == [[0.0, 0.0, 0.0, 0.0]] * 2
        assert result.face.confidence == [0.0, 0.0]

    def test_input_is_copied(self, session):
        inp = batch(0, 3)
        session.process(inp, "Incremental")
        assert len(inp.timestamp) == 3 and inp.face is not None


class TestSessionWrong:
    @pytest.mark.parametrize("mode, message", [
        ("global", "Invalid WaveformMode string"),
        ("Windowed", "Invalid WaveformMode string"),
        ("", "Invalid WaveformMode string"),
        (("Windowed",), "WaveformMode must be a string or ('Windowed', seconds)"),
        (["Windowed", 5], "WaveformMode must be a string or ('Windowed', seconds)"),
        (("Windowed", "5"), "WaveformMode must be a string or ('Windowed', seconds)"),
        (("Windowed", 5, 1), "WaveformMode must be a string or ('Windowed', seconds)"),
        ((5, "Windowed"), "WaveformMode must be a string or ('Windowed', seconds)"),
        (None, "WaveformMode must be a string or ('Windowed', seconds)"),
        (("Sliding", 5), "Invalid WaveformMode tuple"),
        (("windowed", 5), "Invalid WaveformMode tuple"),
    ])
    def test_mode_refusals(self, session, mode, message):
        with pytest.raises(ValueError) as e:
            session.process(batch(0, 3), mode)
        assert str(e.value) == message and e.value.__cause__ is None

    def test_length_mismatch_is_answered_in_the_result_and_stores_nothing(self, session):
        t = [100.0 + k / FS for k in range(10)]
        bad = oc.SessionInput(oc.FaceInput([[0, 0, 1, 1]] * 10, [1.0] * 9), {}, t)
        result = session.process(bad, "Incremental")
        assert result.message == "Length mismatch: face.confidence has length 9, expected 10"
        assert result.vitals == {} and result.waveforms == {} and result.timestamp == []
        assert result.face is None and result.fps == FS
        assert session.process(batch(0, 0), "Global").timestamp == []

    def test_input_must_be_a_session_input(self, session):
        with pytest.raises(TypeError, match="^argument 'input': 'dict' object cannot be converted "
                                            "to 'SessionInput'$"):
            session.process({}, "Incremental")
