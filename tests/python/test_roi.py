"""calculate_roi: ROI methods, detectors, clipping, even sizes and argument forms."""

import numpy as np
import pytest

import orvane_core as oc

FACE = oc.Rect(100, 100, 200, 200)


def box(r):
    return (r.x, r.y, r.width, r.height)


def f32(*values):
    return tuple(float(np.float32(v)) for v in values)


class TestRoiNormal:
    @pytest.mark.parametrize("face, kwargs, expected", [
        (FACE, dict(method="face"), (140, 120, 120, 160)),
        (FACE, dict(method="forehead"), (170, 130, 60, 20)),
        (FACE, dict(method="upper_body"), (50, 60, 300, 320)),
        (FACE, dict(method="upper_body_cropped"), f32(62, 70.9, 276, 284.48)),
        (FACE, dict(method="face", detector="apple_vision"), (146, 107, 108, 216)),
        (FACE, dict(method="upper_body", detector="Apple_Vision"), (65, 26, 270, 432)),
        (FACE, dict(method="face", detector="VISION"), (146, 107, 108, 216)),
        (FACE, dict(method="face", detector="default"), (140, 120, 120, 160)),
        (FACE, dict(method=(0, 0, 0, 0), detector="applevision"), (110, 80, 180, 270)),
        (oc.Rect(100, 100, 100, 100), dict(method="upper_body", container=(150, 150)),
         (75, 80, 75, 70)),
        (oc.Rect(-50, -50, 100, 100), dict(method="face", container=(640, 480)), (0, 0, 30, 40)),
        (oc.Rect(700, 500, 100, 100), dict(method="face", container=(640, 480)), (720, 510, 0, 0)),
        (oc.Rect(10.4, 20.5, 61, 43), dict(method="face", force_even=True), (23, 25, 36, 34)),
        (oc.Rect(0, 0, 101, 99), dict(method=(0, 0, 0, 0), force_even=np.bool_(True)),
         (0, 0, 100, 98)),
        (FACE, dict(method=(0.1, 0.1, 0.1, 0.1)), f32(80, 80, 240, 240)),
        (FACE, dict(method=(np.float32(0.25), 0, 0.25, 0)), (50, 100, 300, 200)),
    ])
    def test_examples(self, face, kwargs, expected):
        assert box(oc.calculate_roi(face, **kwargs)) == pytest.approx(expected, abs=1e-4)

    def test_custom_offsets_keep_left_top_right_bottom_order(self):
        r = oc.calculate_roi(oc.Rect(0, 0, 100, 100), (0.1, 0.2, 0.3, 0.4))
        assert box(r) == pytest.approx((-10, -20, 140, 160), abs=1e-4)

    def test_tuple_subclass_is_a_custom_method(self):
        class Offsets(tuple):
            pass
        assert box(oc.calculate_roi(FACE, Offsets((0, 0, 0, 0)))) == box(FACE)

    def test_result_is_a_new_rect(self):
        r = oc.calculate_roi(FACE, "face")
        assert isinstance(r, oc.Rect) and r is not FACE and FACE.x == 100


class TestRoiWrong:
    @pytest.mark.parametrize("kwargs, message", [
        (dict(method="Face"), "Invalid RoiMethod string"),
        (dict(method=""), "Invalid RoiMethod string"),
        (dict(method=[0.1, 0.1, 0.1, 0.1]), "RoiMethod must be a string or tuple(l,t,r,b)"),
        (dict(method=(0.1, 0.1, 0.1)), "RoiMethod must be a string or tuple(l,t,r,b)"),
        (dict(method=(0.1, 0.1, 0.1, "x")), "RoiMethod must be a string or tuple(l,t,r,b)"),
        (dict(method=(0.1, 0.1, 0.1, 10**400)), "RoiMethod must be a string or tuple(l,t,r,b)"),
        (dict(method=None), "RoiMethod must be a string or tuple(l,t,r,b)"),
        (dict(method=3), "RoiMethod must be a string or tuple(l,t,r,b)"),
        (dict(method="face", detector="mediapipe"), "Invalid FaceDetector string"),
        (dict(method="face", detector=None), "FaceDetector must be a string"),
        (dict(method="face", detector=1), "FaceDetector must be a string"),
    ])
    def test_unknown_names_raise_value_error_unchanged(self, kwargs, message):
        with pytest.raises(ValueError) as e:
            oc.calculate_roi(FACE, **kwargs)
        assert str(e.value) == message
        assert e.value.__cause__ is None

    @pytest.mark.parametrize("kwargs, argument", [
        (dict(face=(0, 0, 1, 1), method="face"), "face"),
        (dict(face=FACE, method="face", container=[640, 480]), "container"),
        (dict(face=FACE, method="face", container=(640, 480, 3)), "container"),
        (dict(face=FACE, method="face", container=(640, "480")), "container"),
        (dict(face=FACE, method="face", force_even=1), "force_even"),
    ])
    def test_wrong_kinds_raise_type_error_naming_the_argument(self, kwargs, argument):
        with pytest.raises(TypeError, match=f"^argument '{argument}': "):
            oc.calculate_roi(**kwargs)
