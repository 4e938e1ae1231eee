"""The C ABI of liborvane_core as a foreign host sees it, through ctypes.

Holds the library handle with every entry point's C signature, calls with a
CallStatus, and an encoder/decoder of the serialised value format written
from the format rules alone (big-endian numbers, i32 lengths and counts,
optional tag bytes, enumeration variants numbered from 1), so that the tests
check the library against an independent reading of the format.
"""
import ctypes
import os
import struct
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
LIB_PATH = os.environ.get("ORVANE_CORE_LIB",
                          str(ROOT / "build/release/src/ffi/liborvane_core.so"))


class ByteBuffer(ctypes.Structure):
    _fields_ = [("capacity", ctypes.c_uint64), ("len", ctypes.c_uint64),
                ("data", ctypes.POINTER(ctypes.c_uint8))]


class ForeignSlice(ctypes.Structure):
    _fields_ = [("len", ctypes.c_int32), ("data", ctypes.POINTER(ctypes.c_uint8))]


class CallStatus(ctypes.Structure):
    _fields_ = [("code", ctypes.c_int8), ("error_message", ByteBuffer)]


_B, _S = ByteBuffer, ctypes.POINTER(CallStatus)
_P, _I8, _U32 = ctypes.c_void_p, ctypes.c_int8, ctypes.c_uint32
_F32, _F64 = ctypes.c_float, ctypes.c_double

# name: (result, argument types), status pointer last where the ABI has one.
SIGNATURES = {
    "hbind_orvane_core_fn_func_calculate_roi": (_B, [_B, _B, _B, _B, _B, _I8, _S]),
    "hbind_orvane_core_fn_func_compute_buffer_config": (_B, [_B, _S]),
    "hbind_orvane_core_fn_func_compute_iou": (_F32, [_B, _B, _S]),
    "hbind_orvane_core_fn_func_get_vital_info": (_B, [_B, _S]),
    "hbind_orvane_core_fn_func_is_contained": (_I8, [_B, _B, _F32, _S]),
    "hbind_orvane_core_fn_constructor_session_new": (_P, [_B, _S]),
    "hbind_orvane_core_fn_method_session_process": (_B, [_P, _B, _B, _S]),
    "hbind_orvane_core_fn_method_session_reset": (None, [_P, _S]),
    "hbind_orvane_core_fn_clone_session": (_P, [_P, _S]),
    "hbind_orvane_core_fn_free_session": (None, [_P, _S]),
    "hbind_orvane_core_fn_constructor_bufferplanner_new": (_P, [_B, _S]),
    "hbind_orvane_core_fn_method_bufferplanner_evaluate_target": (_B, [_P, _B, _F64, _B, _S]),
    "hbind_orvane_core_fn_method_bufferplanner_is_ready": (_I8, [_P, _U32, _B, _I8, _I8, _S]),
    "hbind_orvane_core_fn_method_bufferplanner_poll": (_B, [_P, _B, _F64, _B, _I8, _I8, _S]),
    "hbind_orvane_core_fn_clone_bufferplanner": (_P, [_P, _S]),
    "hbind_orvane_core_fn_free_bufferplanner": (None, [_P, _S]),
    "ffi_orvane_core_bytebuffer_alloc": (_B, [ctypes.c_uint64, _S]),
    "ffi_orvane_core_bytebuffer_from_bytes": (_B, [ForeignSlice, _S]),
    "ffi_orvane_core_bytebuffer_free": (None, [_B, _S]),
    "ffi_orvane_core_bytebuffer_reserve": (_B, [_B, ctypes.c_uint64, _S]),
    "ffi_orvane_core_hbind_contract_version": (_U32, []),
}

# The twelve operations, as (kind, object or None, name): entry point and
# checksum names and blob symbols all follow from these.
OPERATIONS = [
    ("func", None, "calculate_roi"), ("func", None, "compute_buffer_config"),
    ("func", None, "compute_iou"), ("func", None, "get_vital_info"),
    ("func", None, "is_contained"),
    ("constructor", "session", "new"), ("constructor", "bufferplanner", "new"),
    ("method", "session", "process"), ("method", "session", "reset"),
    ("method", "bufferplanner", "evaluate_target"), ("method", "bufferplanner", "is_ready"),
    ("method", "bufferplanner", "poll"),
]


def op_suffix(kind, obj, name):
    return f"{kind}_{obj}_{name}" if obj else f"{kind}_{name}"


def blob_symbol(kind, obj, name):
    return "HBIND_META_ORVANE_CORE_" + op_suffix(kind, obj, name).upper()


def load():
    lib = ctypes.CDLL(LIB_PATH)
    for name, (restype, argtypes) in SIGNATURES.items():
        fn = getattr(lib, name)
        fn.restype, fn.argtypes = restype, argtypes
    for op in OPERATIONS:
        fn = getattr(lib, "hbind_orvane_core_checksum_" + op_suffix(*op))
        fn.restype, fn.argtypes = ctypes.c_uint16, []
    return lib


LIB = load()


# ---- Buffers and calls ----------------------------------------------------

def to_buffer(data: bytes) -> ByteBuffer:
    """A library-allocated buffer holding `data`, as a host passes arguments."""
    raw = (ctypes.c_uint8 * max(len(data), 1)).from_buffer_copy(data or b"\0")
    return LIB.ffi_orvane_core_bytebuffer_from_bytes(
        ForeignSlice(len(data), ctypes.cast(raw, ctypes.POINTER(ctypes.c_uint8))), None)


def buffer_bytes(buf: ByteBuffer) -> bytes:
    return ctypes.string_at(buf.data, buf.len) if buf.len else b""


def take(buf: ByteBuffer) -> bytes:
    """The bytes of a buffer the library returned; frees it."""
    data = buffer_bytes(buf)
    LIB.ffi_orvane_core_bytebuffer_free(buf, None)
    return data


class CallFailed(Exception):
    def __init__(self, code, message, value):
        super().__init__(f"status {code}: {message}")
        self.code, self.message, self.value = code, message, value


def call(name, *args):
    """Calls an entry point with a fresh status; raises CallFailed on failure
    (carrying the returned zero value). Bytes arguments become buffers."""
    status = CallStatus()
    conv = [to_buffer(a) if isinstance(a, (bytes, bytearray)) else a for a in args]
    result = getattr(LIB, name)(*conv, ctypes.byref(status))
    if status.code != 0:
        message = take(status.error_message).decode("utf-8")
        raise CallFailed(status.code, message, result)
    assert status.error_message.len == 0 and status.error_message.capacity == 0
    return result


def fn(name, *args):
    return call("hbind_orvane_core_fn_" + name, *args)


# ---- Encoding (format rules, written independently of the library) ---------

def u32(v): return struct.pack(">I", v)
def i32(v): return struct.pack(">i", v)
def u64(v): return struct.pack(">Q", v)
def f32(v): return struct.pack(">f", v)
def f64(v): return struct.pack(">d", v)
def boolean(v): return b"\x01" if v else b"\x00"


def string(s):
    data = s.encode("utf-8") if isinstance(s, str) else s
    return i32(len(data)) + data


def option(enc, v):
    return b"\x00" if v is None else b"\x01" + enc(v)


def seq(enc, items):
    return i32(len(items)) + b"".join(enc(x) for x in items)


def mapping(enc, entries):
    """entries: dict or list of (key, value) pairs (a list may repeat keys)."""
    pairs = list(entries.items()) if isinstance(entries, dict) else list(entries)
    return i32(len(pairs)) + b"".join(string(k) + enc(v) for k, v in pairs)


def rect(x, y, w, h):
    return f32(x) + f32(y) + f32(w) + f32(h)


def waveform_mode(kind, seconds=None):
    number = {"Incremental": 1, "Windowed": 2, "Global": 3}[kind]
    return i32(number) + (f32(seconds) if kind == "Windowed" else b"")


def roi_method(kind, offsets=None):
    names = ["Face", "Forehead", "UpperBody", "UpperBodyCropped", "Custom"]
    body = b"".join(f32(v) for v in offsets) if kind == "Custom" else b""
    return i32(names.index(kind) + 1) + body


def face_detector(kind):
    return i32({"Default": 1, "AppleVision": 2}[kind])


def inference_mode(kind):
    return i32({"Stream": 1, "File": 2}[kind])


def session_config(model_name="m", supported_vitals=(), return_waveforms=None, fps_target=30.0,
                   input_size=40, n_inputs=4, roi_method_name="face",
                   estimate_rolling_vitals=None):
    return (string(model_name) + seq(string, list(supported_vitals))
            + option(lambda v: seq(string, v), return_waveforms) + f32(fps_target)
            + u64(input_size) + u64(n_inputs) + string(roi_method_name)
            + option(boolean, estimate_rolling_vitals))


def signal_input(data, confidence):
    return seq(f32, data) + seq(f32, confidence)


def session_input(timestamps, signals=(), face=None):
    """signals: dict or pairs of key -> (data, confidence); face: (coords, conf)."""
    face_enc = option(lambda fc: seq(lambda c: seq(f32, c), fc[0]) + seq(f32, fc[1]), face)
    pairs = list(signals.items()) if isinstance(signals, dict) else list(signals)
    return (face_enc + mapping(lambda s: signal_input(*s), pairs) + seq(f64, timestamps))


def buffer_config(min_no_state, min_with_state, stream_max, file_max, overlap):
    return b"".join(u32(v) for v in (min_no_state, min_with_state, stream_max, file_max, overlap))


def buffer_metadata(id, roi, count, created_at, last_seen):
    return string(id) + rect(*roi) + u32(count) + f64(created_at) + f64(last_seen)


# ---- Decoding ---------------------------------------------------------------

class Reader:
    def __init__(self, data: bytes):
        self.data, self.pos = data, 0

    def _take(self, n):
        assert self.pos + n <= len(self.data), "value runs past the buffer"
        out = self.data[self.pos:self.pos + n]
        self.pos += n
        return out

    def _unpack(self, fmt):
        return struct.unpack(fmt, self._take(struct.calcsize(fmt)))[0]

    def u32(self): return self._unpack(">I")
    def i32(self): return self._unpack(">i")
    def u64(self): return self._unpack(">Q")
    def f32(self): return self._unpack(">f")
    def f64(self): return self._unpack(">d")

    def boolean(self):
        b = self._take(1)[0]
        assert b in (0, 1)
        return b == 1

    def string(self):
        return self._take(self.i32()).decode("utf-8")

    def option(self, dec):
        tag = self._take(1)[0]
        assert tag in (0, 1)
        return dec() if tag else None

    def seq(self, dec):
        return [dec() for _ in range(self.i32())]

    def mapping(self, dec):
        return {self.string(): dec() for _ in range(self.i32())}

    def rect(self):
        return (self.f32(), self.f32(), self.f32(), self.f32())

    def done(self):
        assert self.pos == len(self.data), f"{len(self.data) - self.pos} bytes left over"


def decode(data, dec):
    r = Reader(data)
    value = dec(r)
    r.done()
    return value


def vital_info(r):
    return dict(id=r.string(), display_name=r.string(), short_name=r.string(), unit=r.string(),
                color=r.string(), emoji=r.string(), min_value=r.option(r.f32),
                max_value=r.option(r.f32), min_window_seconds=r.option(r.f32),
                preferred_window_seconds=r.option(r.f32))


def waveform_result(r):
    return dict(data=r.seq(r.f32), confidence=r.seq(r.f32), unit=r.string(), note=r.string())


def vital_result(r):
    return dict(value=r.f32(), confidence=r.f32(), unit=r.string(), note=r.string())


def session_result(r):
    face = lambda: dict(coordinates=r.seq(lambda: r.seq(r.f32)), confidence=r.seq(r.f32),
                        note=r.option(r.string))
    return dict(timestamp=r.seq(r.f64), face=r.option(face),
                waveforms=r.mapping(lambda: waveform_result(r)),
                vitals=r.mapping(lambda: vital_result(r)),
                rolling_vitals=r.option(lambda: r.mapping(lambda: waveform_result(r))),
                fps=r.f32(), message=r.string())


def buffer_config_record(r):
    return dict(min_no_state=r.u32(), min_with_state=r.u32(), stream_max=r.u32(),
                file_max=r.u32(), overlap=r.u32())


def buffer_action(r):
    return dict(action=["Create", "KeepAlive", "Ignore"][r.i32() - 1],
                matched_id=r.option(r.string), roi=r.option(r.rect))


def execution_plan(r):
    command = lambda: dict(buffer_id=r.string(), take_count=r.u32(), keep_count=r.u32())
    return dict(command=r.option(command), buffers_to_drop=r.seq(r.string))


# ---- Exported symbols ---------------------------------------------------------

def dynamic_symbols():
    """{name: (type letter, size)} of the defined dynamic symbols (nm -D -S)."""
    out = subprocess.run(["nm", "-D", "--defined-only", "-S", LIB_PATH], check=True,
                         capture_output=True, text=True).stdout
    symbols = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 4:
            symbols[parts[3]] = (parts[2], int(parts[1], 16))
        elif len(parts) == 3:
            symbols[parts[2]] = (parts[1], 0)
    return symbols


def blob(symbol):
    """The bytes of an exported interface-description blob."""
    size = dynamic_symbols()[symbol][1]
    return bytes((ctypes.c_uint8 * size).in_dll(LIB, symbol))


def fnv_fold(data: bytes) -> int:
    h = 0xcbf29ce484222325
    for b in data:
        h = ((h ^ b) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return (h ^ (h >> 16) ^ (h >> 32) ^ (h >> 48)) & 0xFFFF
