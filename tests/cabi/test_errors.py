"""Arguments that fail to convert: status 2, the exact message, the zero
result, and nothing converted after the first failure."""
import pytest
from hypothesis import given, settings, strategies as st

from abi import (CallFailed, buffer_config, f32, face_detector, fn, i32, inference_mode,
                 option, rect, roi_method, session_config, session_input, string, take,
                 u64, waveform_mode)

GOOD_RECT = rect(0, 0, 10, 10)
NO_F32 = option(f32, None)


def roi_args(**override):
    args = dict(face=GOOD_RECT, method=roi_method("Face"), detector=face_detector("Default"),
                container_width=NO_F32, container_height=NO_F32, force_even=0)
    args.update(override)
    return list(args.values())


@pytest.fixture(scope="module")
def session():
    handle = fn("constructor_session_new", session_config(supported_vitals=["heart_rate"]))
    yield handle
    fn("free_session", handle)


@pytest.fixture(scope="module")
def planner():
    handle = fn("constructor_bufferplanner_new", buffer_config(16, 4, 150, 900, 3))
    yield handle
    fn("free_bufferplanner", handle)


def failure(name, *args):
    with pytest.raises(CallFailed) as info:
        fn(name, *args)
    assert info.value.code == 2
    return info.value


# (entry point, arguments, message); object handles are filled in by the test.
CASES = {
    "rect_15_bytes": ("func_compute_iou", [GOOD_RECT[:15], GOOD_RECT],
                      "Failed to convert arg 'a': not enough bytes remaining in buffer (3 < 4)"),
    "rect_17_bytes": ("func_compute_iou", [GOOD_RECT + b"\0", GOOD_RECT],
                      "Failed to convert arg 'a': junk data left in buffer after lifting "
                      "(count: 1)"),
    "second_argument_named": ("func_compute_iou", [GOOD_RECT, b""],
                              "Failed to convert arg 'b': not enough bytes remaining in buffer "
                              "(0 < 4)"),
    "first_failure_wins": ("func_is_contained", [b"", b"", 0.5],
                           "Failed to convert arg 'inner': not enough bytes remaining in buffer "
                           "(0 < 4)"),
    "waveform_mode_4": ("method_session_process", ["SESSION", session_input([]), i32(4)],
                        "Failed to convert arg 'mode': Invalid WaveformMode enum value: 4"),
    "waveform_mode_negative": ("method_session_process", ["SESSION", session_input([]), i32(-1)],
                               "Failed to convert arg 'mode': Invalid WaveformMode enum value: "
                               "-1"),
    "waveform_payload_missing": ("method_session_process", ["SESSION", session_input([]), i32(2)],
                                 "Failed to convert arg 'mode': not enough bytes remaining in "
                                 "buffer (0 < 4)"),
    "roi_method_6": ("func_calculate_roi", roi_args(method=i32(6)),
                     "Failed to convert arg 'method': Invalid RoiMethod enum value: 6"),
    "custom_payload_short": ("func_calculate_roi",
                             roi_args(method=i32(5) + f32(0) + f32(0) + f32(0)),
                             "Failed to convert arg 'method': not enough bytes remaining in "
                             "buffer (0 < 4)"),
    "face_detector_0": ("func_calculate_roi", roi_args(detector=i32(0)),
                        "Failed to convert arg 'detector': Invalid FaceDetector enum value: 0"),
    "inference_mode_3": ("method_bufferplanner_is_ready", ["PLANNER", 4, i32(3), 0, 0],
                         "Failed to convert arg 'mode': Invalid InferenceMode enum value: 3"),
    "option_tag_2": ("func_calculate_roi", roi_args(container_width=b"\x02" + f32(1)),
                     "Failed to convert arg 'container_width': unexpected tag byte for Option"),
    "option_payload_missing": ("func_calculate_roi", roi_args(container_height=b"\x01"),
                               "Failed to convert arg 'container_height': not enough bytes "
                               "remaining in buffer (0 < 4)"),
    "bool_argument_2": ("func_calculate_roi", roi_args(force_even=2),
                        "Failed to convert arg 'force_even': unexpected byte for Boolean"),
    "has_state_2": ("method_bufferplanner_is_ready", ["PLANNER", 4, inference_mode("Stream"), 2, 0],
                    "Failed to convert arg 'has_state': unexpected byte for Boolean"),
    "flush_minus_1": ("method_bufferplanner_poll",
                      ["PLANNER", i32(0), 0.0, inference_mode("File"), 0, -1],
                      "Failed to convert arg 'flush': unexpected byte for Boolean"),
    "nested_bool_2": ("func_compute_buffer_config",
                      [session_config()[:-1] + b"\x01\x02"],
                      "Failed to convert arg 'config': unexpected byte for Boolean"),
    "string_length_ffffffff": ("func_compute_buffer_config",
                               [b"\xff\xff\xff\xff" + session_config()[5:]],
                               "Failed to convert arg 'config': out of range integral type "
                               "conversion attempted"),
    "negative_list_count": ("method_session_process",
                            ["SESSION", b"\x00" + i32(0) + i32(-2), waveform_mode("Global")],
                            "Failed to convert arg 'input': out of range integral type "
                            "conversion attempted"),
    # A forged count far beyond the bytes present fails on the first missing
    # item instead of allocating for two billion of them.
    "forged_huge_count": ("method_session_process",
                          ["SESSION", b"\x00" + i32(0) + i32(0x7FFFFFFF) + bytes(8),
                           waveform_mode("Global")],
                          "Failed to convert arg 'input': not enough bytes remaining in buffer "
                          "(0 < 8)"),
    "string_longer_than_buffer": ("func_compute_buffer_config", [i32(100) + b"abc"],
                                  "Failed to convert arg 'config': not enough bytes remaining in "
                                  "buffer (3 < 100)"),
    "u64_short": ("func_compute_buffer_config",
                  [string("m") + i32(0) + b"\x00" + f32(30) + u64(1)[:5]],
                  "Failed to convert arg 'config': not enough bytes remaining in buffer (5 < 8)"),
}


@pytest.mark.parametrize("name, args, message", CASES.values(), ids=CASES.keys())
def test_conversion_failure(session, planner, name, args, message):
    handles = {"SESSION": session, "PLANNER": planner}
    args = [fn("clone_session" if a == "SESSION" else "clone_bufferplanner", handles[a])
            if isinstance(a, str) else a for a in args]
    err = failure(name, *args)
    assert err.message == message
    assert err.value in (None, 0, 0.0) or (err.value.capacity, err.value.len) == (0, 0)
    if hasattr(err.value, "data"):
        assert not err.value.data


def config_with_model_name(raw: bytes):
    return string(raw) + session_config()[len(string("m")):]


def expected_utf8_reason(raw: bytes):
    """The reason for invalid UTF-8, derived from Python's own strict decoder:
    it reports the same maximal invalid prefix, and 'unexpected end of data'
    exactly when the input ends inside a sequence that was valid so far."""
    try:
        raw.decode("utf-8")
        return None
    except UnicodeDecodeError as e:
        if e.reason == "unexpected end of data":
            return f"incomplete utf-8 byte sequence from index {e.start}"
        return f"invalid utf-8 sequence of {e.end - e.start} bytes from index {e.start}"


@pytest.mark.parametrize("raw, reason", [
    (b"\xff", "invalid utf-8 sequence of 1 bytes from index 0"),
    (b"ok\x80", "invalid utf-8 sequence of 1 bytes from index 2"),
    (b"\xc0\xaf", "invalid utf-8 sequence of 1 bytes from index 0"),          # overlong
    (b"\xe0\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"),      # overlong
    (b"\xed\xa0\x80", "invalid utf-8 sequence of 1 bytes from index 0"),      # surrogate
    (b"\xf4\x90\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"),  # > U+10FFFF
    (b"a\xe2\x82\x41", "invalid utf-8 sequence of 2 bytes from index 1"),
    (b"\xf0\x9f\x98\x41", "invalid utf-8 sequence of 3 bytes from index 0"),
    (b"ab\xe2\x82", "incomplete utf-8 byte sequence from index 2"),
    (b"\xf0\x9f\x98", "incomplete utf-8 byte sequence from index 0"),
    (b"\xc3", "incomplete utf-8 byte sequence from index 0"),
])
def test_invalid_utf8_in_a_string_field(raw, reason):
    assert expected_utf8_reason(raw) == reason  # the oracle agrees with the table
    err = failure("func_compute_buffer_config", config_with_model_name(raw))
    assert err.message == "Failed to convert arg 'config': " + reason


@settings(max_examples=400, deadline=None)
@given(st.binary(max_size=12) | st.text(max_size=6).map(lambda s: s.encode("utf-8")))
def test_utf8_validation_agrees_with_a_strict_decoder(raw):
    reason = expected_utf8_reason(raw)
    if reason is None:
        fn("func_compute_buffer_config", config_with_model_name(raw))
    else:
        err = failure("func_compute_buffer_config", config_with_model_name(raw))
        assert err.message == "Failed to convert arg 'config': " + reason


def test_top_level_string_is_taken_as_raw_bytes():
    # The vital id is not length-prefixed and not validated: odd bytes are
    # simply an unknown id.
    assert take(fn("func_get_vital_info", b"\xff\xfe")) == b"\x00"
    assert take(fn("func_get_vital_info", b"")) == b"\x00"
