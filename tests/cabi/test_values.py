"""Values crossing the C ABI: the byte format in both directions, and whole
operations (geometry, registry, session, buffer planner) called as a host
would call them."""
import math
import struct

import pytest

from abi import (buffer_config, buffer_config_record, buffer_metadata,
                 buffer_action, decode, execution_plan, f32, face_detector, fn, i32,
                 inference_mode, option, rect, roi_method, session_config, session_input,
                 session_result, string, take, vital_info, waveform_mode)

DISCLAIMER = ("The provided values are estimates and should be interpreted according to the "
              "provided confidence scores. The Orvane API is not a medical device and its "
              "estimates are not intended for any medical purposes.")


@pytest.mark.parametrize("encoded, hex_bytes", [
    (rect(1, 2, 3, 4), "3f800000400000004040000040800000"),
    (waveform_mode("Windowed", 5), "0000000240a00000"),
    (waveform_mode("Global"), "00000003"),
    (string("hr"), "000000026872"),
    (option(f32, None), "00"),
])
def test_encoder_matches_the_published_examples(encoded, hex_bytes):
    # The tests' own encoder must agree with the published byte examples
    # before it can be trusted to feed the library.
    assert encoded.hex() == hex_bytes


def test_rect_lowers_to_the_published_bytes():
    # Custom(0, 0, 0, 0) with the default detector leaves the box unchanged,
    # so the result is the Rect (1, 2, 3, 4) exactly as the library writes it.
    out = fn("func_calculate_roi", rect(1, 2, 3, 4), roi_method("Custom", (0, 0, 0, 0)),
             face_detector("Default"), option(f32, None), option(f32, None), 0)
    assert take(out).hex() == "3f800000400000004040000040800000"


@pytest.mark.parametrize("face, method, detector, container, force_even, expected", [
    ((100, 100, 200, 200), ("Face",), "Default", (None, None), 0, (140, 120, 120, 160)),
    ((100, 100, 200, 200), ("UpperBody",), "AppleVision", (None, None), 0, (65, 26, 270, 432)),
    ((-50, -50, 100, 100), ("Face",), "Default", (640, 480), 0, (0, 0, 30, 40)),
    # One container value alone does not clip.
    ((-50, -50, 100, 100), ("Face",), "Default", (640, None), 0, (-30, -40, 60, 80)),
    ((10.4, 20.5, 61, 43), ("Face",), "Default", (None, None), 1, (23, 25, 36, 34)),
    ((0, 0, 101, 99), ("Custom", (0, 0, 0, 0)), "Default", (None, None), 1, (0, 0, 100, 98)),
])
def test_calculate_roi_arguments_arrive_in_order(face, method, detector, container, force_even,
                                                 expected):
    out = fn("func_calculate_roi", rect(*face), roi_method(*method), face_detector(detector),
             option(f32, container[0]), option(f32, container[1]), force_even)
    got = struct.unpack(">4f", take(out))
    assert got == pytest.approx(expected, abs=1e-4)


@pytest.mark.parametrize("a, b, iou", [
    ((0, 0, 10, 10), (0, 0, 10, 10), 1.0),
    ((0, 0, 10, 10), (5, 5, 10, 10), 25 / 175),
    ((0, 0, 10, 10), (10, 0, 10, 10), 0.0),
])
def test_compute_iou(a, b, iou):
    assert fn("func_compute_iou", rect(*a), rect(*b)) == pytest.approx(iou, abs=1e-6)


@pytest.mark.parametrize("outer, p, contained", [
    ((5, 0, 100, 100), 0.5, 1), ((5, 0, 100, 100), 0.6, 0), ((4, 4, 100, 100), 0.5, 1)])
def test_is_contained_returns_a_bool_byte(outer, p, contained):
    assert fn("func_is_contained", rect(0, 0, 10, 10), rect(*outer), p) == contained


def test_get_vital_info_known_id_lowers_every_field():
    expected = (string("heart_rate") + string("Heart Rate") + string("HR") + string("bpm")
                + string("#E62100") + string(bytes.fromhex("e29da4efb88f"))
                + option(f32, 40.0) + option(f32, 220.0) + option(f32, 5.0) + option(f32, 10.0))
    out = take(fn("func_get_vital_info", b"hr"))  # an alias, as raw UTF-8 bytes
    assert out == b"\x01" + expected


def test_get_vital_info_unknown_id_is_one_absent_byte():
    assert take(fn("func_get_vital_info", b"no_such_vital")) == b"\x00"


def test_waveform_info_has_absent_numbers():
    info = decode(take(fn("func_get_vital_info", b"ppg_waveform")),
                  lambda r: r.option(lambda: vital_info(r)))
    assert info["display_name"] == "PPG Waveform"
    assert [info[k] for k in ("min_value", "max_value", "min_window_seconds",
                              "preferred_window_seconds")] == [None] * 4


def test_compute_buffer_config_decodes_to_the_capacity_rules():
    out = take(fn("func_compute_buffer_config", session_config(input_size=40, n_inputs=4)))
    assert len(out) == 20
    assert decode(out, buffer_config_record) == dict(
        min_no_state=16, min_with_state=4, stream_max=150, file_max=900, overlap=3)


# ---- Objects -------------------------------------------------------------------

class Session:
    """Holds one reference and clones it for every method call, as generated
    host code does."""

    def __init__(self, **config):
        self.handle = fn("constructor_session_new", session_config(**config))

    def process(self, input_bytes, mode_bytes):
        clone = fn("clone_session", self.handle)
        return decode(take(fn("method_session_process", clone, input_bytes, mode_bytes)),
                      session_result)

    def reset(self):
        fn("method_session_reset", fn("clone_session", self.handle))

    def close(self):
        fn("free_session", self.handle)


@pytest.fixture
def hr_session():
    session = Session(model_name="tiny", supported_vitals=["heart_rate"],
                      return_waveforms=["ppg_waveform"], fps_target=30.0)
    yield session
    session.close()


def pulse(seconds, hz=1.2, fps=30.0, start=0.0):
    n = int(seconds * fps)
    ts = [start + i / fps for i in range(n)]
    return ts, [math.sin(2 * math.pi * hz * t) for t in ts]


def test_session_process_round_trip_estimates_a_synthetic_pulse(hr_session):
    ts, ppg = pulse(10.0)
    result = hr_session.process(
        session_input(ts, {"ppg": (ppg, [1.0] * len(ts))}), waveform_mode("Incremental"))
    assert result["message"] == DISCLAIMER
    assert result["timestamp"] == ts
    assert result["fps"] == pytest.approx(30.0, rel=1e-3)
    hr = result["vitals"]["heart_rate"]
    assert hr["value"] == pytest.approx(72.0, abs=2.0)
    assert 0.0 < hr["confidence"] <= 1.0
    assert hr["unit"] == "bpm"
    assert hr["note"] == "Latest estimate of Heart Rate with confidence score using tiny."
    wave = result["waveforms"]["ppg_waveform"]
    assert len(wave["data"]) == len(ts) and wave["confidence"] == [1.0] * len(ts)
    assert result["face"] is not None and result["face"]["note"] is None
    assert result["face"]["coordinates"] == [[0.0] * 4] * len(ts)
    assert result["rolling_vitals"] is None


def test_session_windowed_mode_payload_and_reset(hr_session):
    ts, ppg = pulse(4.0)
    result = hr_session.process(session_input(ts, {"ppg_waveform": (ppg, [0.5] * len(ts))}),
                                waveform_mode("Windowed", 1.0))
    assert result["timestamp"] == ts[-30:]
    hr_session.reset()
    result = hr_session.process(session_input([], {}), waveform_mode("Global"))
    assert result["timestamp"] == [] and result["face"] is None


def test_repeated_map_key_keeps_the_later_entry(hr_session):
    # Short series are returned unprocessed, so the waveform shows exactly
    # which of the two entries was stored.
    signals = [("ppg", ([1.0, 1.0, 1.0], [1.0] * 3)), ("ppg", ([2.0, 3.0, 4.0], [1.0] * 3))]
    result = hr_session.process(session_input([0.0, 0.1, 0.2], signals),
                                waveform_mode("Incremental"))
    assert result["waveforms"]["ppg_waveform"]["data"] == [2.0, 3.0, 4.0]


def test_length_mismatch_is_answered_in_the_result(hr_session):
    ts = [i / 30 for i in range(10)]
    face = ([[0.0, 0.0, 1.0, 1.0]] * 10, [1.0] * 9)
    result = hr_session.process(session_input(ts, {}, face), waveform_mode("Incremental"))
    assert result["message"] == "Length mismatch: face.confidence has length 9, expected 10"
    assert result["vitals"] == {} and result["fps"] == pytest.approx(30.0)


@pytest.fixture
def planner():
    handle = fn("constructor_bufferplanner_new", buffer_config(16, 4, 150, 900, 3))
    yield handle
    fn("free_bufferplanner", handle)


def clone(planner):
    return fn("clone_bufferplanner", planner)


def test_planner_evaluate_target(planner):
    buffers = b"".join([i32(2), buffer_metadata("a", (2, 0, 10, 10), 5, 0.0, 9.0),
                        buffer_metadata("b", (0, 0, 10, 10), 5, 0.0, 0.0)])
    out = fn("method_bufferplanner_evaluate_target", clone(planner), rect(0, 0, 10, 10), 10.0,
             buffers)
    # "b" matches exactly but is stale; "a" overlaps by 0.667.
    assert decode(take(out), buffer_action) == dict(action="KeepAlive", matched_id="a", roi=None)
    out = fn("method_bufferplanner_evaluate_target", clone(planner), rect(0, 0, 10, 10), 10.0,
             i32(0))
    assert decode(take(out), buffer_action) == dict(action="Create", matched_id=None,
                                                    roi=(0.0, 0.0, 10.0, 10.0))


@pytest.mark.parametrize("count, mode, has_state, flush, ready", [
    (3, "Stream", 1, 0, 0), (4, "Stream", 1, 0, 1), (16, "File", 0, 0, 0),
    (16, "File", 0, 1, 1), (900, "File", 0, 0, 1)])
def test_planner_is_ready(planner, count, mode, has_state, flush, ready):
    assert fn("method_bufferplanner_is_ready", clone(planner), count, inference_mode(mode),
              has_state, flush) == ready


def test_planner_poll(planner):
    buffers = b"".join([i32(3), buffer_metadata("A", (0, 0, 1, 1), 50, 1.0, 9.0),
                        buffer_metadata("B", (0, 0, 1, 1), 30, 2.0, 9.0),
                        buffer_metadata("C", (0, 0, 1, 1), 2, 3.0, 9.0)])
    out = fn("method_bufferplanner_poll", clone(planner), buffers, 10.0, inference_mode("Stream"),
             1, 0)
    assert decode(take(out), execution_plan) == dict(
        command=dict(buffer_id="B", take_count=30, keep_count=3), buffers_to_drop=["A"])

