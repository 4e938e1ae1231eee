"""The module object: members, their order, documentation and signatures."""

import inspect

import pytest

import orvane_core as oc
from conftest import run_python

CLASSES = [
    "Session", "SessionConfig", "SessionInput", "SignalInput", "FaceInput", "SessionResult",
    "WaveformResult", "VitalResult", "FaceResult", "Rect", "InferenceMode", "BufferConfig",
    "BufferActionType", "BufferAction", "BufferMetadata", "InferenceCommand", "ExecutionPlan",
    "VitalInfo", "BufferPlanner",
]
FUNCTIONS = [
    "estimate_heart_rate", "estimate_respiratory_rate", "estimate_rate_from_detections",
    "estimate_rolling_rate_from_detections", "estimate_hrv_metric",
    "estimate_hrv_metric_from_detections", "estimate_rolling_hrv_metric_from_detections",
    "find_peaks", "calculate_roi", "get_vital_info", "compute_buffer_config",
    "detrend_lambda_for_cutoff", "moving_average_window_for_cutoff",
]

# Class -> (constructor signature or None, description).
CLASS_DOCS = {
    "Session": ("(config)", "A thread-safe, stateful session object for processing continuous "
                "frame data natively across FFI and Wasm."),
    "SessionConfig": ("(model_name, supported_vitals, fps_target, input_size, n_inputs, "
                      "roi_method, return_waveforms=None, estimate_rolling_vitals=None)",
                      "Configuration for initializing a Orvane session."),
    "SessionInput": ("(face, signals, timestamp)",
                     "The core batch input object submitted to the session engine for processing."),
    "SignalInput": ("(data, confidence)", "A generic wrapper for a single physical signal and its "
                    "corresponding confidence array."),
    "FaceInput": ("(coordinates, confidence)", "Input payload representing tracked face bounding "
                  "boxes over a sequence of frames."),
    "SessionResult": (None, "The final payload aggregated from a session processing tick."),
    "WaveformResult": (None, "Derived continuous waveform data alongside unit metadata."),
    "VitalResult": (None, "Derived scalar physiological value."),
    "FaceResult": (None, "Filtered/smoothed output face coordinates."),
    "Rect": ("(x, y, width, height)", "A simple bounding box definition."),
    "InferenceMode": (None, "Operational paradigm dictating buffer fill limits."),
    "BufferConfig": (None, "Capacity constraints and threshold configuration for buffers."),
    "BufferActionType": (None, "Action to be taken on a target ROI after evaluation."),
    "BufferAction": (None, "The concrete instruction resulting from evaluating a target."),
    "BufferMetadata": ("(id, roi, count, created_at, last_seen)",
                       "Identifiable state metadata attached to a specific processing buffer."),
    "InferenceCommand": (None, "Command returned by the BufferPlanner indicating how many frames "
                         "to extract."),
    "ExecutionPlan": (None, "Aggregated output from the BufferPlanner dictating next steps for "
                      "all buffers."),
    "VitalInfo": (None, "Extracted UI/display properties for a specific vital sign."),
    "BufferPlanner": ("(config)", "Manages the tracking, matching, and lifecycle of video frame "
                      "buffers across a session."),
}

CALLABLE_SIGNATURES = [
    (oc.estimate_heart_rate, "(signal, fs)"),
    (oc.estimate_respiratory_rate, "(signal, fs)"),
    (oc.estimate_rate_from_detections, "(sequences, fs, timestamps=None, confidence=None)"),
    (oc.estimate_rolling_rate_from_detections,
     "(sequences, fs, vital_name, total_frames, timestamps=None, confidence=None)"),
    (oc.estimate_hrv_metric, "(signal, fs, metric_name, confidence, rate_hint=None)"),
    (oc.estimate_hrv_metric_from_detections,
     "(sequences, fs, metric_name, timestamps=None, confidence=None)"),
    (oc.estimate_rolling_hrv_metric_from_detections,
     "(sequences, fs, metric_name, total_frames, timestamps=None, confidence=None)"),
    (oc.find_peaks, "(signal, fs, refine, rate_hint=None, min_rate=40.0, max_rate=220.0, "
                    "detection_threshold=0.45, window_cycles=2.5, max_rate_change=1.0)"),
    (oc.calculate_roi, "(face, method, detector=Ellipsis, container=None, force_even=False)"),
    (oc.get_vital_info, "(vital_id)"),
    (oc.compute_buffer_config, "(config)"),
    (oc.detrend_lambda_for_cutoff, "(fs, cutoff)"),
    (oc.moving_average_window_for_cutoff, "(fs, cutoff_hz, force_odd)"),
    (oc.Session.process, "(self, /, input, mode)"),
    (oc.Session.reset, "(self, /)"),
    (oc.BufferPlanner.evaluate_target, "(self, /, target_roi, timestamp, active_buffers)"),
    (oc.BufferPlanner.poll, "(self, /, active_buffers, current_time, mode, has_state, flush)"),
]


class TestMembers:
    def test_all_lists_classes_then_functions_in_registration_order(self):
        assert oc.__all__ == CLASSES + FUNCTIONS

    def test_namespace_holds_exactly_the_members_in_order(self):
        names = [n for n in vars(oc) if not (n.startswith("__") and n.endswith("__"))]
        assert names == CLASSES + FUNCTIONS

    def test_module_documentation_is_empty(self):
        assert oc.__doc__ == ""

    @pytest.mark.parametrize("name", ["compute_iou", "is_contained"])
    def test_c_abi_only_operations_are_absent(self, name):
        with pytest.raises(AttributeError):
            getattr(oc, name)

    def test_buffer_planner_has_no_is_ready(self):
        assert not hasattr(oc.BufferPlanner, "is_ready")

    @pytest.mark.parametrize("name", CLASSES + FUNCTIONS)
    def test_members_belong_to_the_module(self, name):
        assert getattr(oc, name).__module__ == "orvane_core"

    def test_second_initialisation_raises_import_error(self):
        code = (
            "import importlib, sys\n"
            "import orvane_core\n"
            "del sys.modules['orvane_core']\n"
            "try:\n"
            "    importlib.import_module('orvane_core')\n"
            "except ImportError as e:\n"
            "    print('ImportError:', e)\n"
        )
        assert run_python(code).startswith("ImportError: ")


class TestDocumentation:
    @pytest.mark.parametrize("name", CLASSES)
    def test_class_doc_and_text_signature(self, name):
        signature, description = CLASS_DOCS[name]
        cls = getattr(oc, name)
        assert cls.__doc__ == description
        assert cls.__text_signature__ == signature
        if signature:
            assert str(inspect.signature(cls)) == signature

    @pytest.mark.parametrize("fn, signature", CALLABLE_SIGNATURES,
                             ids=[s[0].__qualname__ for s in CALLABLE_SIGNATURES])
    def test_callable_signature_and_no_further_doc(self, fn, signature):
        assert str(inspect.signature(fn)) == signature
        assert fn.__doc__ is None

    def test_methods_publish_self(self):
        assert oc.Session.process.__text_signature__ == "($self, input, mode)"
        assert oc.BufferPlanner.poll.__text_signature__ == (
            "($self, active_buffers, current_time, mode, has_state, flush)")
