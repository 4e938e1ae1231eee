"""What a binding generator and a host check before the first call: the
exported symbols, the interface-description blobs and their checksums, the
contract version, and byte-buffer management."""
import ctypes
import struct

import pytest

from abi import (LIB, OPERATIONS, ByteBuffer, ForeignSlice, blob, blob_symbol, buffer_bytes,
                 dynamic_symbols, fnv_fold, op_suffix)

FUTURE_KINDS = ["u8", "i8", "u16", "i16", "u32", "i32", "u64", "i64", "f32", "f64", "pointer",
                "byte_buffer", "void"]
RECORDS = ["Rect", "FaceInput", "SignalInput", "SessionInput", "SessionConfig", "VitalResult",
           "WaveformResult", "FaceResult", "SessionResult", "VitalInfo", "BufferConfig",
           "BufferMetadata", "BufferAction", "InferenceCommand", "ExecutionPlan"]
ENUMS = ["BufferActionType", "InferenceMode", "FaceDetector", "RoiMethod", "WaveformMode"]
BLOBS = (["HBIND_META_NAMESPACE_ORVANE_CORE"]
         + [f"HBIND_META_ORVANE_CORE_RECORD_{r.upper()}" for r in RECORDS]
         + [f"HBIND_META_ORVANE_CORE_ENUM_{e.upper()}" for e in ENUMS]
         + ["HBIND_META_ORVANE_CORE_INTERFACE_SESSION",
            "HBIND_META_ORVANE_CORE_INTERFACE_BUFFERPLANNER"]
         + [blob_symbol(*op) for op in OPERATIONS])


def expected_exports():
    names = {f"hbind_orvane_core_fn_{op_suffix(*op)}" for op in OPERATIONS}
    names |= {f"hbind_orvane_core_checksum_{op_suffix(*op)}" for op in OPERATIONS}
    names |= {f"hbind_orvane_core_fn_{verb}_{obj}" for verb in ("clone", "free")
              for obj in ("session", "bufferplanner")}
    names |= {f"ffi_orvane_core_bytebuffer_{s}" for s in ("alloc", "from_bytes", "free",
                                                          "reserve")}
    names |= {"ffi_orvane_core_hbind_contract_version"}
    names |= {f"ffi_orvane_core_lib_future_{verb}_{kind}"
              for verb in ("poll", "cancel", "complete", "free") for kind in FUTURE_KINDS}
    return names | set(BLOBS)


def test_exactly_the_interface_is_exported():
    symbols = dynamic_symbols()
    assert len(expected_exports()) == 12 + 12 + 4 + 4 + 1 + 52 + 35
    assert set(symbols) == expected_exports()
    for name in BLOBS:
        kind, size = symbols[name]
        assert kind == "R" and size > 0, name


def test_contract_version():
    assert LIB.ffi_orvane_core_hbind_contract_version() == 26


@pytest.mark.parametrize("op", OPERATIONS, ids=[op_suffix(*o) for o in OPERATIONS])
def test_checksum_is_the_fold_of_the_exported_blob(op):
    checksum = getattr(LIB, "hbind_orvane_core_checksum_" + op_suffix(*op))()
    data = blob(blob_symbol(*op))
    assert checksum == fnv_fold(data)
    # Any byte of the blob counts: one changed letter gives another value.
    changed = bytearray(data)
    changed[-1] ^= 0x20
    assert fnv_fold(bytes(changed)) != checksum


# ---- Blob contents, built here from the element rules ------------------------

def name(s):
    b = s.encode("utf-8")
    return bytes([len(b)]) + b


def doc(s):
    b = s.encode("utf-8")
    return struct.pack("<H", len(b)) + b


MOD = name("orvane_core")
U32, U64, F32, F64, BOOL, STRING, NOTHING = (bytes([c]) for c in (2, 3, 8, 9, 10, 11, 255))
NO_DEFAULT, ABSENT_DEFAULT = b"\x00", b"\x01\x04"


def optional(t): return b"\x0c" + t
def record(n): return b"\x0d" + MOD + name(n)
def enum(n): return b"\x0e" + MOD + name(n)
def obj(n): return b"\x10" + MOD + name(n)
def list_of(t): return b"\x11" + t


def fields(items):
    return bytes([len(items)]) + b"".join(
        name(n) + t + d + doc("") for n, t, d in items)


def args(items):
    return bytes([len(items)]) + b"".join(name(n) + t + NO_DEFAULT for n, t in items)


EXPECTED_BLOBS = {
    "HBIND_META_NAMESPACE_ORVANE_CORE": b"\x06" + name("orvane_core") + name("orvane_core"),
    "HBIND_META_ORVANE_CORE_RECORD_RECT":
        b"\x02" + MOD + name("Rect")
        + fields([(f, F32, NO_DEFAULT) for f in ("x", "y", "width", "height")])
        + doc("A simple bounding box definition."),
    "HBIND_META_ORVANE_CORE_RECORD_SESSIONCONFIG":
        b"\x02" + MOD + name("SessionConfig")
        + fields([("model_name", STRING, NO_DEFAULT),
                  ("supported_vitals", list_of(STRING), NO_DEFAULT),
                  ("return_waveforms", optional(list_of(STRING)), NO_DEFAULT),
                  ("fps_target", F32, NO_DEFAULT), ("input_size", U64, NO_DEFAULT),
                  ("n_inputs", U64, NO_DEFAULT), ("roi_method", STRING, NO_DEFAULT),
                  ("estimate_rolling_vitals", optional(BOOL), ABSENT_DEFAULT)])
        + doc("Configuration for initializing a Orvane session."),
    "HBIND_META_ORVANE_CORE_ENUM_WAVEFORMMODE":
        b"\x03" + MOD + name("WaveformMode") + b"\x00\x00\x03"
        + name("Incremental") + b"\x00" + fields([])
        + doc("Returns only newly added frames, discarding older history.")
        + name("Windowed") + b"\x00" + fields([("seconds", F32, NO_DEFAULT)])
        + doc("Returns a fixed trailing window of data (in seconds).")
        + name("Global") + b"\x00" + fields([])
        + doc("Returns the entire history and disables state pruning.")
        + b"\x00" + doc("Dictates how the session should prune state and yield output waveforms."),
    "HBIND_META_ORVANE_CORE_ENUM_INFERENCEMODE":
        b"\x03" + MOD + name("InferenceMode") + b"\x00\x00\x02"
        + name("Stream") + b"\x00" + fields([]) + doc("")
        + name("File") + b"\x00" + fields([]) + doc("")
        + b"\x00" + doc("Operational paradigm dictating buffer fill limits."),
    "HBIND_META_ORVANE_CORE_INTERFACE_SESSION":
        b"\x04" + MOD + name("Session")
        + doc("A thread-safe, stateful session object for processing continuous frame data "
              "natively across FFI and Wasm."),
    "HBIND_META_ORVANE_CORE_FUNC_COMPUTE_IOU":
        b"\x00" + MOD + name("compute_iou") + b"\x00"
        + args([("a", record("Rect")), ("b", record("Rect"))]) + F32
        + doc("Computes the Intersection over Union (IoU) of two rectangles.\n\n# Arguments\n"
              "* `a` - First rectangle.\n* `b` - Second rectangle.\n\n# Returns\n"
              "The IoU ratio as a float between 0.0 and 1.0."),
    "HBIND_META_ORVANE_CORE_FUNC_GET_VITAL_INFO":
        b"\x00" + MOD + name("get_vital_info") + b"\x00" + args([("vital_id", STRING)])
        + optional(record("VitalInfo")) + doc(""),
    "HBIND_META_ORVANE_CORE_METHOD_BUFFERPLANNER_IS_READY":
        b"\x01" + MOD + name("BufferPlanner") + name("is_ready") + b"\x00"
        + args([("count", U32), ("mode", enum("InferenceMode")), ("has_state", BOOL),
                ("flush", BOOL)]) + BOOL
        + doc("Determines if a specific buffer is actionable based on volume and configuration "
              "constraints."),
    "HBIND_META_ORVANE_CORE_METHOD_SESSION_RESET":
        b"\x01" + MOD + name("Session") + name("reset") + b"\x00" + args([]) + NOTHING
        + doc("Resets the internal state of the session, clearing all historical buffers."),
    "HBIND_META_ORVANE_CORE_CONSTRUCTOR_SESSION_NEW":
        b"\x07" + MOD + name("Session") + name("new") + b"\x00"
        + args([("config", record("SessionConfig"))]) + obj("Session")
        + doc("Creates a new stateful session using the provided configuration.\n\n"
              "# Arguments\n* `config` - The configuration parameters dictating target frame "
              "rate and model metadata.\n\n# Returns\nA new instance of `Session`."),
    "HBIND_META_ORVANE_CORE_CONSTRUCTOR_BUFFERPLANNER_NEW":
        b"\x07" + MOD + name("BufferPlanner") + name("new") + b"\x00"
        + args([("config", record("BufferConfig"))]) + obj("BufferPlanner") + doc(""),
}


@pytest.mark.parametrize("symbol", EXPECTED_BLOBS)
def test_blob_contents(symbol):
    assert blob(symbol) == EXPECTED_BLOBS[symbol]


# ---- Byte buffers ---------------------------------------------------------------

def from_bytes(data: bytes) -> ByteBuffer:
    raw = (ctypes.c_uint8 * max(len(data), 1)).from_buffer_copy(data or b"\0")
    return LIB.ffi_orvane_core_bytebuffer_from_bytes(
        ForeignSlice(len(data), ctypes.cast(raw, ctypes.POINTER(ctypes.c_uint8))), None)


def test_empty_buffers_hold_no_allocation():
    empty_slice = LIB.ffi_orvane_core_bytebuffer_from_bytes(ForeignSlice(0, None), None)
    for buf in (LIB.ffi_orvane_core_bytebuffer_alloc(0, None), from_bytes(b""), empty_slice):
        assert (buf.capacity, buf.len) == (0, 0)
        LIB.ffi_orvane_core_bytebuffer_free(buf, None)


def test_alloc_is_zero_filled_and_from_bytes_copies():
    buf = LIB.ffi_orvane_core_bytebuffer_alloc(10, None)
    assert (buf.capacity, buf.len) == (10, 10) and buffer_bytes(buf) == bytes(10)
    LIB.ffi_orvane_core_bytebuffer_free(buf, None)
    source = (ctypes.c_uint8 * 3)(1, 2, 3)
    buf = LIB.ffi_orvane_core_bytebuffer_from_bytes(
        ForeignSlice(3, ctypes.cast(source, ctypes.POINTER(ctypes.c_uint8))), None)
    source[0] = 9  # the host's bytes stay the host's
    assert (buf.len, buffer_bytes(buf)) == (3, b"\x01\x02\x03")
    LIB.ffi_orvane_core_bytebuffer_free(buf, None)


@pytest.mark.parametrize("initial, additional", [(b"hello", 100), (b"", 7), (b"abc", 0)])
def test_reserve_keeps_contents_and_adds_room(initial, additional):
    buf = LIB.ffi_orvane_core_bytebuffer_reserve(from_bytes(initial), additional, None)
    assert buf.len == len(initial) and buf.capacity >= len(initial) + additional
    assert buffer_bytes(buf) == initial
    if buf.capacity:  # the new room is writable
        ctypes.memset(buf.data, 0x55, buf.capacity)
    LIB.ffi_orvane_core_bytebuffer_free(buf, None)
