"""Argument binding and the conversion of Python values, for every kind of parameter."""

import fractions

import numpy as np
import pytest

import orvane_core as oc
from conftest import run_python

RECT = oc.Rect(0, 0, 1, 1)


def config(**overrides):
    args = dict(model_name="m", supported_vitals=["hr"], fps_target=30.0, input_size=40,
                n_inputs=4, roi_method="face")
    args.update(overrides)
    return oc.SessionConfig(**args)


def metadata(count):
    return oc.BufferMetadata("id", RECT, count, 0.0, 0.0)


class Floaty:
    def __float__(self):
        return 2.5


class Indexy:
    def __index__(self):
        return 7


class TestBindingNormal:
    def test_positional_and_keyword_forms_agree(self):
        by_position = oc.Rect(1, 2, 3, 4)
        by_keyword = oc.Rect(height=4, width=3, y=2, x=1)
        mixed = oc.Rect(1, 2, height=4, width=3)
        for r in (by_keyword, mixed):
            assert (r.x, r.y, r.width, r.height) == (by_position.x, by_position.y,
                                                      by_position.width, by_position.height)

    def test_optional_parameters_default_and_accept_none(self):
        c = oc.SessionConfig("m", ["hr"], 30.0, 40, 4, "face")
        assert c.return_waveforms is None and c.estimate_rolling_vitals is None
        c = oc.SessionConfig("m", ["hr"], 30.0, 40, 4, "face", None, None)
        assert c.return_waveforms is None and c.estimate_rolling_vitals is None
        c = oc.SessionConfig("m", ["hr"], 30.0, 40, 4, "face", estimate_rolling_vitals=False,
                             return_waveforms=[])
        assert c.return_waveforms == [] and c.estimate_rolling_vitals is False


class TestBindingErrors:
    @pytest.mark.parametrize("call, message", [
        (lambda s: oc.Rect(1, 2, 3),
         "Rect.__new__() missing 1 required positional argument: 'height'"),
        (lambda s: oc.Rect(1, 2),
         "Rect.__new__() missing 2 required positional arguments: 'width' and 'height'"),
        (lambda s: oc.Rect(),
         "Rect.__new__() missing 4 required positional arguments: 'x', 'y', 'width', and 'height'"),
        (lambda s: oc.Rect(1, 2, 3, 4, 5),
         "Rect.__new__() takes 4 positional arguments but 5 were given"),
        (lambda s: oc.get_vital_info("hr", "x"),
         "get_vital_info() takes 1 positional arguments but 2 were given"),
        (lambda s: s.reset(1), "Session.reset() takes 0 positional arguments but 1 was given"),
        (lambda s: oc.find_peaks(*range(10)),
         "find_peaks() takes from 3 to 9 positional arguments but 10 were given"),
        (lambda s: oc.SessionConfig(*range(9)),
         "SessionConfig.__new__() takes from 6 to 8 positional arguments but 9 were given"),
        (lambda s: oc.Rect(1, 2, 3, 4, z=1),
         "Rect.__new__() got an unexpected keyword argument 'z'"),
        (lambda s: oc.Rect(1, 2, 3, x=4), "Rect.__new__() got multiple values for argument 'x'"),
        (lambda s: s.process(),
         "Session.process() missing 2 required positional arguments: 'input' and 'mode'"),
        (lambda s: oc.estimate_rate_from_detections(fs=30.0),
         "estimate_rate_from_detections() missing 1 required positional argument: 'sequences'"),
        (lambda s: oc.BufferPlanner(),
         "BufferPlanner.__new__() missing 1 required positional argument: 'config'"),
    ])
    def test_binding_messages(self, session, call, message):
        with pytest.raises(TypeError) as e:
            call(session)
        assert str(e.value) == message
        assert e.value.__cause__ is None

    def test_binding_is_checked_before_conversion(self):
        # The first argument is of the wrong kind, but the count is wrong too.
        with pytest.raises(TypeError, match=r"^Rect.__new__\(\) missing 1 required"):
            oc.Rect("a", 2, 3)

    @pytest.mark.parametrize("call, argument, inner", [
        (lambda: config(supported_vitals="abc"), "supported_vitals",
         "'str' object cannot be converted to 'Sequence'"),
        (lambda: config(model_name=None), "model_name", "'NoneType' object cannot be converted to 'str'"),
        (lambda: config(fps_target="30"), "fps_target", "must be real number, not str"),
        (lambda: config(estimate_rolling_vitals=1), "estimate_rolling_vitals",
         "'int' object cannot be converted to 'bool'"),
        (lambda: oc.compute_buffer_config(RECT), "config",
         "'Rect' object cannot be converted to 'SessionConfig'"),
        (lambda: metadata(1.0), "count", "'float' object cannot be interpreted as an integer"),
        (lambda: oc.SessionInput(None, {1: oc.SignalInput([], [])}, []), "signals",
         "'int' object cannot be converted to 'str'"),
        (lambda: oc.SessionInput(None, {"ppg": [1.0]}, []), "signals",
         "'list' object cannot be converted to 'SignalInput'"),
        (lambda: oc.SessionInput(None, [], []), "signals", "'list' object cannot be converted to 'dict'"),
        (lambda: oc.SessionInput(RECT, {}, []), "face", "'Rect' object cannot be converted to 'FaceInput'"),
        (lambda: oc.FaceInput("abcd", []), "coordinates", "'str' object cannot be converted to 'Sequence'"),
        (lambda: oc.FaceInput(["abcd"], []), "coordinates", "'str' object cannot be converted to 'Sequence'"),
        (lambda: oc.SignalInput([1.0, "2"], []), "data", "must be real number, not str"),
        (lambda: oc.SignalInput({1.0, 2.0}, []), "data", "'set' object cannot be converted to 'Sequence'"),
        (lambda: oc.BufferPlanner(oc.BufferPlanner), "config",
         "'type' object cannot be converted to 'BufferConfig'"),
    ])
    def test_wrong_kind_is_named_with_the_original_as_cause(self, call, argument, inner):
        with pytest.raises(TypeError) as e:
            call()
        assert str(e.value) == f"argument '{argument}': {inner}"
        assert type(e.value.__cause__) is TypeError
        assert str(e.value.__cause__) == inner

    def test_conversion_stops_at_first_failing_parameter(self):
        with pytest.raises(TypeError, match="^argument 'x'"):
            oc.Rect("x", "y", 1, 1)


class TestNumbers:
    @pytest.mark.parametrize("value, stored", [
        (0.1, float(np.float32(0.1))),  # rounded to single precision
        (3, 3.0),
        (np.float64(2.25), 2.25),
        (np.int64(5), 5.0),
        (Floaty(), 2.5),
        (fractions.Fraction(1, 4), 0.25),
        (Indexy(), 7.0),
        (1e300, float("inf")),
    ])
    def test_f32_accepts_what_float_accepts(self, value, stored):
        assert config(fps_target=value).fps_target == stored

    def test_f64_keeps_double_precision(self):
        assert oc.BufferMetadata("b", RECT, 1, 0.1, 1e300).created_at == 0.1
        assert oc.BufferMetadata("b", RECT, 1, 0.1, 1e300).last_seen == 1e300

    @pytest.mark.parametrize("value", [0, 4294967295, np.uint32(7), Indexy(), True])
    def test_u32_range(self, value):
        assert metadata(value).count == int(value)

    @pytest.mark.parametrize("value", [-1, 4294967296, 2**100, -(2**100)])
    def test_u32_out_of_range_is_overflow_error_unwrapped(self, value):
        with pytest.raises(OverflowError) as e:
            metadata(value)
        assert str(e.value) == "out of range integral type conversion attempted"

    @pytest.mark.parametrize("value", [0, 2**64 - 1, np.uint64(2**64 - 1)])
    def test_u64_range(self, value):
        assert config(input_size=value).input_size == int(value)

    @pytest.mark.parametrize("value", [-1, 2**64])
    def test_u64_out_of_range_is_interpreters_overflow_error(self, value):
        with pytest.raises(OverflowError) as e:
            config(n_inputs=value)
        assert "argument" not in str(e.value)

    @pytest.mark.parametrize("value", [4.0, "4", None])
    def test_integers_refuse_non_integers(self, value):
        with pytest.raises(TypeError, match="^argument 'input_size': "):
            config(input_size=value)


class TestBooleans:
    @pytest.mark.parametrize("value, stored", [
        (True, True), (False, False), (np.bool_(True), True), (np.bool_(False), False),
    ])
    def test_bools_and_numpy_bools(self, value, stored):
        assert config(estimate_rolling_vitals=value).estimate_rolling_vitals is stored
        assert oc.moving_average_window_for_cutoff(30.0, 3.0, value) == (3 if stored else 4)

    @pytest.mark.parametrize("value", [1, 0, 1.0, "True", np.int8(1), [True]])
    def test_non_bools_are_refused(self, value):
        with pytest.raises(TypeError, match="^argument 'force_odd': "):
            oc.moving_average_window_for_cutoff(30.0, 3.0, value)


class TestSequences:
    @pytest.mark.parametrize("value, stored", [
        ([1, 2.5], [1.0, 2.5]),
        ((1, 2.5), [1.0, 2.5]),
        (range(3), [0.0, 1.0, 2.0]),
        (np.array([1, 2], dtype=np.int16), [1.0, 2.0]),
        (np.array([0.1, 2], dtype=np.float64), [float(np.float32(0.1)), 2.0]),
        (np.arange(6, dtype=np.float32)[::2], [0.0, 2.0, 4.0]),
        (np.arange(6, dtype=np.float32)[::-1], [5.0, 4.0, 3.0, 2.0, 1.0, 0.0]),
        (np.array([1.5, -2], dtype=">f4"), [1.5, -2.0]),
        ([], []),
    ])
    def test_list_of_f32_from_any_sequence(self, value, stored):
        assert oc.SignalInput(value, []).data == stored

    def test_list_of_f64_keeps_double_precision(self):
        stamps = [0.1, 1e10 + 0.5]
        assert oc.SessionInput(None, {}, stamps).timestamp == stamps
        assert oc.SessionInput(None, {}, np.array(stamps)).timestamp == stamps

    def test_list_of_lists_from_nested_lists_and_2d_arrays(self):
        boxes = np.arange(8, dtype=np.float32).reshape(2, 4)
        assert oc.FaceInput(boxes, [1, 1]).coordinates == boxes.tolist()
        assert oc.FaceInput([(1, 2), []], []).coordinates == [[1.0, 2.0], []]

    @pytest.mark.parametrize("value", ["abc", b"ab", {"a": 1}, 3, None])
    def test_strings_and_non_sequences_are_refused_as_lists_of_strings(self, value):
        if isinstance(value, bytes):  # a sequence, but of ints
            match = "^argument 'supported_vitals': 'int' object cannot be converted to 'str'$"
        else:
            match = "^argument 'supported_vitals': "
        with pytest.raises(TypeError, match=match):
            config(supported_vitals=value)

    def test_value_is_a_snapshot(self):
        data = [1.0, 2.0]
        signal = oc.SignalInput(data, data)
        data.append(3.0)
        assert signal.data == [1.0, 2.0]


class TestArrays:
    """One-dimensional float32 arrays of the signal functions, read in place."""

    @pytest.mark.parametrize("make", [
        lambda a: a,
        lambda a: a.view(type("Sub", (np.ndarray,), {})),  # subclasses qualify
        lambda a: np.asarray(a, dtype="<f4"),
        lambda a: np.concatenate([[7], a]).astype(np.float32)[1:],  # offset view, contiguous
        lambda a: np.frombuffer(b"\0" + a.tobytes(), dtype=np.float32, offset=1),  # misaligned
    ], ids=["plain", "subclass", "explicit-little-endian", "offset-view", "misaligned"])
    def test_accepted_arrays_read_the_same_samples(self, make):
        signal = np.sin(2 * np.pi * 1.2 * np.arange(300) / 30).astype(np.float32)
        assert oc.estimate_heart_rate(make(signal), 30.0) == oc.estimate_heart_rate(signal, 30.0)
        assert oc.find_peaks(make(signal), 30.0, True) == oc.find_peaks(signal, 30.0, True)

    @pytest.mark.parametrize("value", [
        [0.0, 1.0],
        (0.0, 1.0),
        np.zeros(4, dtype=np.float64),
        np.zeros(4, dtype=np.float16),
        np.zeros(4, dtype=">f4"),
        np.zeros((2, 2), dtype=np.float32),
        np.zeros((), dtype=np.float32),
        np.float32(1.0),
        "abcd",
    ], ids=["list", "tuple", "float64", "float16", "big-endian", "2-D", "0-D", "scalar", "str"])
    def test_other_values_are_refused_naming_the_argument(self, value):
        with pytest.raises(TypeError, match="^argument 'signal': .* cannot be converted to "
                                            r"'ndarray\[float32, 1-D\]'$"):
            oc.find_peaks(value, 30.0, True)

    def test_strided_array_is_not_contiguous(self):
        strided = np.arange(20, dtype=np.float32)[::2]
        with pytest.raises(TypeError) as e:
            oc.find_peaks(strided, 30.0, True)
        assert str(e.value) == "The given array is not contiguous"
        assert e.value.__cause__ is None

    def test_contiguity_is_checked_after_every_conversion(self):
        strided = np.arange(20, dtype=np.float32)[::2]
        with pytest.raises(TypeError, match="^argument 'metric_name'"):
            oc.estimate_hrv_metric(strided, 30.0, 5, strided)
        with pytest.raises(TypeError, match="^The given array is not contiguous$"):
            oc.estimate_hrv_metric(np.zeros(10, np.float32), 30.0, "sdnn", strided)

    def test_without_numpy_arrays_raise_import_error_and_lists_still_convert(self):
        code = (
            "import sys\n"
            "sys.modules['numpy'] = None  # makes 'import numpy' fail\n"
            "import orvane_core as oc\n"
            "assert oc.SignalInput((1, 2.5), [0]).data == [1.0, 2.5]\n"
            "assert oc.moving_average_window_for_cutoff(30.0, 3.0, True) == 3\n"
            "try:\n"
            "    oc.find_peaks([0.0], 30.0, True)\n"
            "except ImportError:\n"
            "    print('ImportError')\n"
        )
        assert run_python(code) == "ImportError\n"
