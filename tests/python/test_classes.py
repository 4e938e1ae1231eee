"""The record, enumeration and object classes."""

import math
import weakref

import numpy as np
import pytest

import orvane_core as oc
from conftest import FS, sinusoid

ALL_CLASSES = [getattr(oc, n) for n in oc.__all__ if isinstance(getattr(oc, n), type)]
NO_CONSTRUCTOR = [oc.SessionResult, oc.WaveformResult, oc.VitalResult, oc.FaceResult,
                  oc.InferenceMode, oc.BufferConfig, oc.BufferActionType, oc.BufferAction,
                  oc.InferenceCommand, oc.ExecutionPlan, oc.VitalInfo]


@pytest.fixture(scope="module")
def result():
    """A result holding a vital, a waveform and face boxes: 10 s of a 1.2 Hz pulse."""
    cfg = oc.SessionConfig("model", ["heart_rate"], FS, 40, 4, "face",
                           return_waveforms=["ppg_waveform"])
    pulse = sinusoid(1.2, 10)
    n = len(pulse)
    ones = np.ones(n, np.float32)
    batch = oc.SessionInput(oc.FaceInput([[1, 2, 3, 4]] * n, ones), {"ppg": oc.SignalInput(pulse, ones)},
                            np.arange(n) / FS)
    r = oc.Session(cfg).process(batch, "Global")
    assert "heart_rate" in r.vitals and "ppg_waveform" in r.waveforms and r.face is not None
    return r


class TestRecordsNormal:
    def test_reads_are_copies(self):
        c = oc.SessionConfig("m", ["hr"], 30.0, 40, 4, "face")
        c.supported_vitals.append("rr")
        assert c.supported_vitals == ["hr"]

        s = oc.SessionInput(oc.FaceInput([[1, 2, 3, 4]], [0.5]), {"ppg": oc.SignalInput([1], [1])},
                            [0.0])
        s.face.confidence = [0.9]
        s.signals["ppg"].data = [5.0]
        s.signals["rr"] = oc.SignalInput([], [])
        assert s.face.confidence == [0.5]
        assert s.signals["ppg"].data == [1.0] and list(s.signals) == ["ppg"]

        m = oc.BufferMetadata("b", oc.Rect(0, 0, 1, 1), 1, 0.0, 0.0)
        m.roi.x = 9
        assert m.roi.x == 0.0

    def test_nested_record_changes_by_read_modify_assign(self):
        s = oc.SessionInput(oc.FaceInput([[1, 2, 3, 4]], [0.5]), {}, [0.0])
        face = s.face
        face.confidence = [0.75]
        s.face = face
        face.confidence = [0.25]  # the assignment copied
        assert s.face.confidence == [0.75]

    def test_writes_convert_by_field_type(self):
        c = oc.SessionConfig("m", ["hr"], 30.0, 40, 4, "face", ["ppg"])
        c.return_waveforms = None
        c.fps_target = 0.1
        c.input_size = np.uint64(2**64 - 1)
        c.supported_vitals = ("a", "b")
        c.estimate_rolling_vitals = np.bool_(True)
        assert c.return_waveforms is None
        assert c.fps_target == float(np.float32(0.1))
        assert c.input_size == 2**64 - 1
        assert c.supported_vitals == ["a", "b"]
        assert c.estimate_rolling_vitals is True

    def test_result_records_read_their_fields(self, result):
        hr = result.vitals["heart_rate"]
        assert isinstance(hr, oc.VitalResult) and hr.unit == "bpm" and 71 < hr.value < 73
        ppg = result.waveforms["ppg_waveform"]
        assert isinstance(ppg, oc.WaveformResult) and len(ppg.data) == len(result.timestamp) == 300
        assert result.face.coordinates[0] == [1.0, 2.0, 3.0, 4.0] and result.face.note is None
        assert result.rolling_vitals is None and isinstance(result.message, str)

    def test_records_compare_and_hash_by_identity(self):
        a, b = oc.Rect(1, 2, 3, 4), oc.Rect(1, 2, 3, 4)
        assert a != b and a == a
        assert len({a: 1, b: 2}) == 2

    @pytest.mark.parametrize("values, text", [
        ((1, 2.345, 3, 4), "Rect(x=1.00, y=2.35, w=3.00, h=4.00)"),
        ((-0.5, 1e6, 0.004, 2.675), "Rect(x=-0.50, y=1000000.00, w=0.00, h=2.67)"),
        ((math.nan, math.inf, -math.inf, -math.nan), "Rect(x=NaN, y=inf, w=-inf, h=NaN)"),
    ])
    def test_rect_representation(self, values, text):
        r = oc.Rect(*values)
        assert repr(r) == text and str(r) == text

    def test_rect_keeps_single_precision_behind_its_text(self):
        assert oc.Rect(1, 2.345, 3, 4).y == float(np.float32(2.345))

    def test_vital_info_representation_is_unescaped(self):
        info = oc.get_vital_info("heart_rate")
        assert repr(info) == str(info) == "VitalInfo(id='heart_rate', name='Heart Rate')"
        info.display_name = "it's"
        assert repr(info) == "VitalInfo(id='heart_rate', name='it's')"

    def test_other_classes_use_the_default_representation(self):
        assert repr(oc.SignalInput([], [])).startswith("<orvane_core.SignalInput object at ")


class TestRecordsWrong:
    def test_failed_write_names_the_attribute_and_leaves_the_field(self):
        c = oc.SessionConfig("m", ["hr"], 30.0, 40, 4, "face")
        with pytest.raises(TypeError) as e:
            c.model_name = None
        assert str(e.value) == "argument 'model_name': 'NoneType' object cannot be converted to 'str'"
        assert isinstance(e.value.__cause__, TypeError)
        assert c.model_name == "m"
        with pytest.raises(OverflowError):
            oc.compute_buffer_config(c).overlap = -1

    def test_deletion_is_refused(self):
        r = oc.Rect(1, 2, 3, 4)
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            del r.x
        assert r.x == 1.0

    def test_no_attribute_dictionary_or_weak_references(self):
        r = oc.Rect(1, 2, 3, 4)
        with pytest.raises(AttributeError):
            r.z = 1
        assert not hasattr(r, "__dict__")
        with pytest.raises(TypeError):
            weakref.ref(r)

    @pytest.mark.parametrize("read", [
        lambda r: r.vitals["heart_rate"], lambda r: r.waveforms["ppg_waveform"],
        lambda r: r.face, lambda r: r,
    ], ids=["VitalResult", "WaveformResult", "FaceResult", "SessionResult"])
    def test_result_records_are_read_only(self, result, read):
        record = read(result)
        name = next(iter(n for n in dir(type(record)) if not n.startswith("_")))
        with pytest.raises(AttributeError):
            setattr(record, name, getattr(record, name))
        with pytest.raises(AttributeError):
            delattr(record, name)

    @pytest.mark.parametrize("cls", ALL_CLASSES, ids=lambda c: c.__name__)
    def test_classes_are_final(self, cls):
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})

    @pytest.mark.parametrize("cls", NO_CONSTRUCTOR, ids=lambda c: c.__name__)
    def test_classes_without_constructor(self, cls):
        for args in [(), (0,)]:
            with pytest.raises(TypeError, match="^No constructor defined$"):
                cls(*args)


class TestEnumerations:
    @pytest.mark.parametrize("member, number, text", [
        (oc.InferenceMode.Stream, 0, "InferenceMode.Stream"),
        (oc.InferenceMode.File, 1, "InferenceMode.File"),
        (oc.BufferActionType.Create, 0, "BufferActionType.Create"),
        (oc.BufferActionType.KeepAlive, 1, "BufferActionType.KeepAlive"),
        (oc.BufferActionType.Ignore, 2, "BufferActionType.Ignore"),
    ])
    def test_members(self, member, number, text):
        assert int(member) == number
        assert member == number and not (member != number)
        assert member == np.int64(number)
        assert member != number + 1
        assert repr(member) == str(member) == text
        assert member == type(member).__dict__[text.split(".")[1]]

    @pytest.mark.parametrize("a, b", [
        (oc.InferenceMode.Stream, oc.InferenceMode.File),
        (oc.InferenceMode.Stream, "Stream"),
        (oc.InferenceMode.Stream, 0.0),
        (oc.InferenceMode.File, oc.BufferActionType.KeepAlive),  # same number, other class
        (oc.InferenceMode.Stream, 2**70),
        (oc.InferenceMode.Stream, None),
    ])
    def test_unequal(self, a, b):
        assert a != b and not (a == b)

    def test_results_carry_new_equal_members(self, planner):
        action = planner.evaluate_target(oc.Rect(0, 0, 10, 10), 0.0, [])
        assert action.action == oc.BufferActionType.Create
        assert action.action is not oc.BufferActionType.Create

    def test_unhashable(self):
        with pytest.raises(TypeError):
            hash(oc.InferenceMode.Stream)
        with pytest.raises(TypeError):
            {oc.BufferActionType.Ignore}

    @pytest.mark.parametrize("op", ["<", "<=", ">", ">="])
    def test_no_ordering(self, op):
        with pytest.raises(TypeError):
            eval(f"a {op} b", {"a": oc.InferenceMode.Stream, "b": oc.InferenceMode.File})


class TestObjects:
    def test_objects_copy_their_configuration(self, buffer_config):
        planner = oc.BufferPlanner(buffer_config)
        buffer_config.stream_max = 10
        big = oc.BufferMetadata("a", oc.Rect(0, 0, 1, 1), 200, 0.0, 0.0)
        plan = planner.poll([big], 0.0, oc.InferenceMode.Stream, True, False)
        assert plan.command.take_count == 150

    def test_adjusted_buffer_config_reaches_a_new_planner(self, buffer_config):
        buffer_config.stream_max = 10
        buffer_config.overlap = 0
        big = oc.BufferMetadata("a", oc.Rect(0, 0, 1, 1), 200, 0.0, 0.0)
        plan = oc.BufferPlanner(buffer_config).poll([big], 0.0, oc.InferenceMode.Stream, True, False)
        assert (plan.command.take_count, plan.command.keep_count) == (10, 0)

    def test_objects_have_no_attributes(self, session):
        with pytest.raises(AttributeError):
            session.config = None
        assert not hasattr(session, "__dict__")

    def test_wrong_configuration_kind(self, config):
        with pytest.raises(TypeError, match="^argument 'config': 'SessionConfig' object cannot be "
                                            "converted to 'BufferConfig'$"):
            oc.BufferPlanner(config)
