"""Arbitrary Python values through every callable, and a long loop that must not leak.

Every function, constructor, method and attribute setter is called with values drawn either
from what its parameter expects (so that calls reach the library) or from anything at all,
bound positionally, by keyword, with extra or missing arguments. The only outcomes allowed are
a result or TypeError, ValueError, OverflowError or MemoryError; a crash ends the test run.
"""

import math
import resource
import sys

import hypothesis.extra.numpy as hnp
import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import orvane_core as oc

ALLOWED = (TypeError, ValueError, OverflowError, MemoryError)

# Complex arrays given where floats are expected convert through numpy's own __float__.
pytestmark = pytest.mark.filterwarnings("ignore:Casting complex values")

# Integers: small ones, and the edges of the u32/u64 ranges. Counts between the allocatable
# limit of the rolling functions (2^28) and 2^31 are left out: they are valid and would
# allocate gigabytes of output.
ints = st.one_of(
    st.integers(-3, 400),
    st.sampled_from([-1, -(2**63), 2**31, 2**32 - 1, 2**32, 2**40, 2**63, 2**64 - 1, 2**64, 2**100]))
floats = st.one_of(st.floats(), st.floats(-1e3, 1e3), st.sampled_from([0.0, -0.0, 30.0, 1e-30]))
names = st.sampled_from(["heart_rate", "hr", "respiratory_rate", "ppg", "ppg_waveform", "resp",
                         "hrv_sdnn", "sdnn", "RMSSD", "lfhf", "stress_index", "pnn50", "sd1sd2",
                         "ie_ratio", "sbp", "dbp", "map", "abp", "pwa", "spo2", "", "x"])


def float_lists(max_size=40):
    return st.lists(floats, max_size=max_size)


float32_arrays = st.one_of(
    hnp.arrays(np.float32, st.integers(0, 400), elements=st.floats(width=32)),
    hnp.arrays(np.float32, st.integers(0, 400),
               elements=st.floats(-2, 2, width=32)),  # plausible signals
    st.builds(lambda n: np.sin(np.arange(n, dtype=np.float32) * np.float32(0.25)),
              st.integers(0, 2000)))

any_arrays = st.one_of(
    float32_arrays,
    hnp.arrays(st.sampled_from([np.float64, np.int16, np.bool_, np.dtype(">f4"), np.complex64]),
               hnp.array_shapes(min_dims=0, max_dims=2, max_side=6)),
    st.builds(lambda a: a[::2], float32_arrays))

rects = st.builds(oc.Rect, floats, floats, floats, floats)
buffer_metadata = st.builds(oc.BufferMetadata, st.text(max_size=3), rects,
                            st.integers(0, 2**32 - 1), floats, floats)
signal_inputs = st.builds(oc.SignalInput, float_lists(), float_lists())
face_inputs = st.builds(oc.FaceInput, st.lists(float_lists(6), max_size=20), float_lists(20))
session_inputs = st.builds(
    oc.SessionInput, st.none() | face_inputs, st.dictionaries(names, signal_inputs, max_size=3),
    float_lists())
session_configs = st.builds(
    oc.SessionConfig, st.text(max_size=4), st.lists(names, max_size=4), floats,
    st.integers(0, 2**64 - 1), st.integers(0, 2**64 - 1), st.text(max_size=4),
    st.none() | st.lists(names, max_size=3), st.none() | st.booleans())
buffer_configs = st.builds(oc.compute_buffer_config, session_configs)
modes = st.sampled_from([oc.InferenceMode.Stream, oc.InferenceMode.File])
waveform_modes = st.one_of(st.sampled_from(["Incremental", "Global", "Windowed", "x"]),
                           st.tuples(st.sampled_from(["Windowed", "y"]), floats))
roi_methods = st.one_of(st.sampled_from(["face", "forehead", "upper_body", "upper_body_cropped",
                                         "Face"]), st.tuples(floats, floats, floats, floats))
detections = st.one_of(st.lists(st.lists(floats, max_size=30), max_size=4),
                       st.lists(st.lists(st.floats(0, 400), max_size=30).map(sorted), max_size=3))

records = st.one_of(rects, buffer_metadata, signal_inputs, face_inputs, session_inputs,
                    session_configs, buffer_configs, modes,
                    st.sampled_from(list(oc.BufferActionType.__dict__[n]
                                         for n in ("Create", "KeepAlive", "Ignore"))))
scalars = st.one_of(st.none(), st.booleans(), ints, floats, st.text(max_size=6),
                    st.binary(max_size=6), st.sampled_from([np.bool_(True), np.float32(1.5),
                                                            np.int64(3), np.uint32(5), object()]))
anything = st.recursive(
    st.one_of(scalars, any_arrays, records),
    lambda inner: st.one_of(st.lists(inner, max_size=4), st.tuples(inner, inner),
                            st.tuples(inner, inner, inner, inner),
                            st.dictionaries(st.text(max_size=4), inner, max_size=3)),
    max_leaves=12)

# Callable -> its parameters in order, each with the values it is meant to receive.
FUNCTIONS = {
    "estimate_heart_rate": [("signal", float32_arrays), ("fs", floats)],
    "estimate_respiratory_rate": [("signal", float32_arrays), ("fs", floats)],
    "estimate_rate_from_detections": [("sequences", detections), ("fs", floats),
                                      ("timestamps", st.none() | float_lists()),
                                      ("confidence", st.none() | float_lists())],
    "estimate_rolling_rate_from_detections": [
        ("sequences", detections), ("fs", floats), ("vital_name", names), ("total_frames", ints),
        ("timestamps", st.none() | float_lists()), ("confidence", st.none() | float_lists())],
    "estimate_hrv_metric": [("signal", float32_arrays), ("fs", floats), ("metric_name", names),
                            ("confidence", float32_arrays), ("rate_hint", st.none() | floats)],
    "estimate_hrv_metric_from_detections": [
        ("sequences", detections), ("fs", floats), ("metric_name", names),
        ("timestamps", st.none() | float_lists()), ("confidence", st.none() | float_lists())],
    "estimate_rolling_hrv_metric_from_detections": [
        ("sequences", detections), ("fs", floats), ("metric_name", names), ("total_frames", ints),
        ("timestamps", st.none() | float_lists()), ("confidence", st.none() | float_lists())],
    "find_peaks": [("signal", float32_arrays), ("fs", floats), ("refine", st.booleans()),
                   ("rate_hint", st.none() | floats), ("min_rate", floats), ("max_rate", floats),
                   ("detection_threshold", floats), ("window_cycles", floats),
                   ("max_rate_change", floats)],
    "calculate_roi": [("face", rects), ("method", roi_methods),
                      ("detector", st.sampled_from(["default", "Vision", "x"])),
                      ("container", st.none() | st.tuples(floats, floats)),
                      ("force_even", st.booleans())],
    "get_vital_info": [("vital_id", names | st.text(max_size=6))],
    "compute_buffer_config": [("config", session_configs)],
    "detrend_lambda_for_cutoff": [("fs", floats), ("cutoff", floats)],
    "moving_average_window_for_cutoff": [("fs", floats), ("cutoff_hz", floats),
                                         ("force_odd", st.booleans())],
}
CONSTRUCTORS = {
    "Rect": [("x", floats), ("y", floats), ("width", floats), ("height", floats)],
    "SignalInput": [("data", float_lists()), ("confidence", float_lists())],
    "FaceInput": [("coordinates", st.lists(float_lists(6))), ("confidence", float_lists())],
    "SessionInput": [("face", st.none() | face_inputs),
                     ("signals", st.dictionaries(names, signal_inputs, max_size=3)),
                     ("timestamp", float_lists())],
    "SessionConfig": [("model_name", st.text()), ("supported_vitals", st.lists(names)),
                      ("fps_target", floats), ("input_size", ints), ("n_inputs", ints),
                      ("roi_method", st.text()), ("return_waveforms", st.none() | st.lists(names)),
                      ("estimate_rolling_vitals", st.none() | st.booleans())],
    "BufferMetadata": [("id", st.text()), ("roi", rects), ("count", ints),
                       ("created_at", floats), ("last_seen", floats)],
    "Session": [("config", session_configs)],
    "BufferPlanner": [("config", buffer_configs)],
}
METHODS = {
    ("Session", "process"): (session_configs, [("input", session_inputs), ("mode", waveform_modes)]),
    ("Session", "reset"): (session_configs, []),
    ("BufferPlanner", "evaluate_target"): (buffer_configs, [
        ("target_roi", rects), ("timestamp", floats),
        ("active_buffers", st.lists(buffer_metadata, max_size=4))]),
    ("BufferPlanner", "poll"): (buffer_configs, [
        ("active_buffers", st.lists(buffer_metadata, max_size=4)), ("current_time", floats),
        ("mode", modes), ("has_state", st.booleans()), ("flush", st.booleans())]),
}
# Instances whose attributes are written.
INSTANCES = {
    "Rect": rects, "SignalInput": signal_inputs, "FaceInput": face_inputs,
    "SessionInput": session_inputs, "SessionConfig": session_configs,
    "BufferMetadata": buffer_metadata, "BufferConfig": buffer_configs,
    "VitalInfo": st.just(None).map(lambda _: oc.get_vital_info("hr")),
    "BufferAction": st.builds(lambda r: oc.BufferPlanner(oc.compute_buffer_config(
        oc.SessionConfig("m", [], 30.0, 40, 4, "face"))).evaluate_target(r, 0.0, []), rects),
}

QUICK = settings(max_examples=150, deadline=None,
                 suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])


def call_with(data, fn, params):
    """Draws a value per parameter (meant or arbitrary), an argument shape, and calls."""
    values = [data.draw(st.one_of(meant, anything) if data.draw(st.booleans()) else meant)
              for _, meant in params]
    n_positional = data.draw(st.integers(0, len(values)))
    # Some parameters after the positional ones are left out (a missing-argument error when
    # required).
    keyword = {name: v for (name, _), v in list(zip(params, values))[n_positional:]
               if data.draw(st.integers(0, 7)) > 0}
    if data.draw(st.integers(0, 9)) == 0:
        keyword[data.draw(st.sampled_from(["bogus", params[0][0] if params else "x"]))] = 1
    extra = [data.draw(anything)] if data.draw(st.integers(0, 9)) == 0 else []
    try:
        fn(*values[:n_positional], *extra, **keyword)
    except ALLOWED:
        pass


@pytest.mark.parametrize("name", FUNCTIONS)
@QUICK
@given(data=st.data())
def test_functions(name, data):
    call_with(data, getattr(oc, name), FUNCTIONS[name])


@pytest.mark.parametrize("name", CONSTRUCTORS)
@QUICK
@given(data=st.data())
def test_constructors(name, data):
    call_with(data, getattr(oc, name), CONSTRUCTORS[name])


@pytest.mark.parametrize("cls, method", METHODS, ids=lambda v: str(v))
@QUICK
@given(data=st.data())
def test_methods(cls, method, data):
    config, params = METHODS[(cls, method)]
    obj = getattr(oc, cls)(data.draw(config))
    for _ in range(data.draw(st.integers(1, 3))):  # a session keeps state between calls
        call_with(data, getattr(obj, method), params)


@pytest.mark.parametrize("cls", INSTANCES)
@QUICK
@given(data=st.data())
def test_attribute_writes(cls, data):
    obj = data.draw(INSTANCES[cls])
    name = data.draw(st.sampled_from([n for n in dir(type(obj)) if not n.startswith("_")]))
    try:
        setattr(obj, name, data.draw(anything))
    except (*ALLOWED, AttributeError):
        pass
    with pytest.raises(AttributeError):
        delattr(obj, name)


def under_address_sanitizer():
    with open("/proc/self/maps") as f:
        return "libasan" in f.read()


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize()


def mixed_calls(session, planner, signal, buffers):
    """Thirteen calls over successful and failing paths; every one returns or raises."""
    oc.estimate_heart_rate(signal, 30.0)
    oc.find_peaks(signal, 30.0, True)
    oc.estimate_rolling_rate_from_detections([[0, 30, 60, 90]], 30.0, "heart_rate", 120)
    config = oc.SessionConfig("m", ["hr", "rr"], 30.0, 40, 4, "face", ["ppg_waveform"])
    config.supported_vitals = ["hr"] * 8
    repr(oc.calculate_roi(oc.Rect(1, 2, 3, 4), "upper_body", "vision", (640, 480), True))
    info = oc.get_vital_info("hr")
    (info.emoji, info.min_value, repr(info))
    result = session.process(oc.SessionInput(None, {"ppg": oc.SignalInput(signal[:30], signal[:30])},
                                             np.arange(30) / 30.0), ("Windowed", 2.0))
    (result.vitals, result.waveforms, result.face.coordinates, result.timestamp)
    plan = planner.poll(buffers, 1.0, oc.InferenceMode.Stream, True, False)
    (plan.command.buffer_id, plan.buffers_to_drop)
    for fail in (lambda: oc.SessionConfig("m", "abc", 30.0, 40, 4, "face"),
                 lambda: oc.find_peaks(signal[::2], 30.0, True),
                 lambda: session.process(oc.SessionInput(None, {}, []), ("Sliding", 1)),
                 lambda: oc.BufferMetadata("b", oc.Rect(0, 0, 1, 1), -1, 0.0, 0.0)):
        try:
            fail()
        except ALLOWED:
            pass


def test_long_mixed_loop_keeps_memory_flat():
    signal = np.sin(np.arange(300, dtype=np.float32) * np.float32(0.25))
    session = oc.Session(oc.SessionConfig("m", ["heart_rate"], 30.0, 40, 4, "face",
                                          ["ppg_waveform"]))
    planner = oc.BufferPlanner(oc.compute_buffer_config(
        oc.SessionConfig("m", [], 30.0, 40, 4, "face")))
    buffers = [oc.BufferMetadata(f"b{k}", oc.Rect(k, 0, 10, 10), 50 + k, float(k), 1.0)
               for k in range(4)]
    watched = [signal, buffers, buffers[0], oc.Rect, oc.SessionResult, oc.VitalInfo,
               oc.InferenceMode, oc.BufferActionType]

    for _ in range(500):  # reach the steady state: caches, session history, allocator pools
        mixed_calls(session, planner, signal, buffers)
    refs_before = [sys.getrefcount(o) for o in watched]
    rss_before = resident_bytes()
    calls = 0
    while calls < 100_000:
        mixed_calls(session, planner, signal, buffers)
        calls += 13
    growth = resident_bytes() - rss_before
    assert [sys.getrefcount(o) for o in watched] == refs_before
    if not under_address_sanitizer():  # its quarantine keeps freed memory resident by design
        # Leaking even one small object per call would add several megabytes.
        assert growth < 2 * 1024 * 1024, f"resident memory grew by {growth} bytes"
