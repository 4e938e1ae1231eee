"""Vital signs from the outputs of a camera-based neural model."""

from typing import ClassVar, Dict, List, Optional, Sequence, Tuple, Union, final

import numpy as np
import numpy.typing as npt

__all__ = [
    "Session",
    "SessionConfig",
    "SessionInput",
    "SignalInput",
    "FaceInput",
    "SessionResult",
    "WaveformResult",
    "VitalResult",
    "FaceResult",
    "Rect",
    "InferenceMode",
    "BufferConfig",
    "BufferActionType",
    "BufferAction",
    "BufferMetadata",
    "InferenceCommand",
    "ExecutionPlan",
    "VitalInfo",
    "BufferPlanner",
    "estimate_heart_rate",
    "estimate_respiratory_rate",
    "estimate_rate_from_detections",
    "estimate_rolling_rate_from_detections",
    "estimate_hrv_metric",
    "estimate_hrv_metric_from_detections",
    "estimate_rolling_hrv_metric_from_detections",
    "find_peaks",
    "calculate_roi",
    "get_vital_info",
    "compute_buffer_config",
    "detrend_lambda_for_cutoff",
    "moving_average_window_for_cutoff",
]

_Float32Array = npt.NDArray[np.float32]
# "Incremental", "Global" or ("Windowed", seconds).
_WaveformModeArg = Union[str, Tuple[str, float]]
# "face", "forehead", "upper_body", "upper_body_cropped" or (left, top, right, bottom).
_RoiMethodArg = Union[str, Tuple[float, float, float, float]]

@final
class Session:
    """A stateful session that turns batches of model output into vitals, waveforms and face boxes."""

    def __new__(cls, config: SessionConfig) -> Session: ...
    def process(self, input: SessionInput, mode: _WaveformModeArg) -> SessionResult:
        """Merges one batch into the session's history and returns the estimates it supports."""
    def reset(self) -> None:
        """Forgets every stored frame; the configuration stays."""

@final
class SessionConfig:
    """Configuration for initializing a Orvane session."""

    model_name: str
    supported_vitals: List[str]
    return_waveforms: Optional[List[str]]
    fps_target: float
    input_size: int
    n_inputs: int
    roi_method: str
    estimate_rolling_vitals: Optional[bool]
    def __new__(
        cls,
        model_name: str,
        supported_vitals: Sequence[str],
        fps_target: float,
        input_size: int,
        n_inputs: int,
        roi_method: str,
        return_waveforms: Optional[Sequence[str]] = None,
        estimate_rolling_vitals: Optional[bool] = None,
    ) -> SessionConfig: ...

@final
class SessionInput:
    """The core batch input object submitted to the session engine for processing."""

    face: Optional[FaceInput]
    signals: Dict[str, SignalInput]
    timestamp: List[float]
    def __new__(
        cls, face: Optional[FaceInput], signals: Dict[str, SignalInput], timestamp: Sequence[float]
    ) -> SessionInput: ...

@final
class SignalInput:
    """A generic wrapper for a single physical signal and its corresponding confidence array."""

    data: List[float]
    confidence: List[float]
    def __new__(cls, data: Sequence[float], confidence: Sequence[float]) -> SignalInput: ...

@final
class FaceInput:
    """Input payload representing tracked face bounding boxes over a sequence of frames."""

    coordinates: List[List[float]]
    confidence: List[float]
    def __new__(
        cls, coordinates: Sequence[Sequence[float]], confidence: Sequence[float]
    ) -> FaceInput: ...

@final
class SessionResult:
    """The final payload aggregated from a session processing tick."""

    @property
    def timestamp(self) -> List[float]: ...
    @property
    def face(self) -> Optional[FaceResult]: ...
    @property
    def waveforms(self) -> Dict[str, WaveformResult]: ...
    @property
    def vitals(self) -> Dict[str, VitalResult]: ...
    @property
    def rolling_vitals(self) -> Optional[Dict[str, WaveformResult]]: ...
    @property
    def fps(self) -> float: ...
    @property
    def message(self) -> str: ...

@final
class WaveformResult:
    """Derived continuous waveform data alongside unit metadata."""

    @property
    def data(self) -> List[float]: ...
    @property
    def confidence(self) -> List[float]: ...
    @property
    def unit(self) -> str: ...
    @property
    def note(self) -> str: ...

@final
class VitalResult:
    """Derived scalar physiological value."""

    @property
    def value(self) -> float: ...
    @property
    def confidence(self) -> float: ...
    @property
    def unit(self) -> str: ...
    @property
    def note(self) -> str: ...

@final
class FaceResult:
    """Filtered/smoothed output face coordinates."""

    @property
    def coordinates(self) -> List[List[float]]: ...
    @property
    def confidence(self) -> List[float]: ...
    @property
    def note(self) -> Optional[str]: ...

@final
class Rect:
    """A simple bounding box definition."""

    x: float
    y: float
    width: float
    height: float
    def __new__(cls, x: float, y: float, width: float, height: float) -> Rect: ...

@final
class InferenceMode:
    """Operational paradigm dictating buffer fill limits."""

    Stream: ClassVar[InferenceMode]
    File: ClassVar[InferenceMode]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int:
        """The variant number: Stream 0, File 1."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same variant or to its number."""
    def __ne__(self, other: object, /) -> bool:
        """Negation of ==."""

@final
class BufferConfig:
    """Capacity constraints and threshold configuration for buffers."""

    min_no_state: int
    min_with_state: int
    stream_max: int
    file_max: int
    overlap: int

@final
class BufferActionType:
    """Action to be taken on a target ROI after evaluation."""

    Create: ClassVar[BufferActionType]
    KeepAlive: ClassVar[BufferActionType]
    Ignore: ClassVar[BufferActionType]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int:
        """The variant number: Create 0, KeepAlive 1, Ignore 2."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same variant or to its number."""
    def __ne__(self, other: object, /) -> bool:
        """Negation of ==."""

@final
class BufferAction:
    """The concrete instruction resulting from evaluating a target."""

    action: BufferActionType
    matched_id: Optional[str]
    roi: Optional[Rect]

@final
class BufferMetadata:
    """Identifiable state metadata attached to a specific processing buffer."""

    id: str
    roi: Rect
    count: int
    created_at: float
    last_seen: float
    def __new__(
        cls, id: str, roi: Rect, count: int, created_at: float, last_seen: float
    ) -> BufferMetadata: ...

@final
class InferenceCommand:
    """Command returned by the BufferPlanner indicating how many frames to extract."""

    buffer_id: str
    take_count: int
    keep_count: int

@final
class ExecutionPlan:
    """Aggregated output from the BufferPlanner dictating next steps for all buffers."""

    command: Optional[InferenceCommand]
    buffers_to_drop: List[str]

@final
class VitalInfo:
    """Extracted UI/display properties for a specific vital sign."""

    id: str
    display_name: str
    short_name: str
    unit: str
    color: str
    emoji: str
    min_value: Optional[float]
    max_value: Optional[float]
    min_window_seconds: Optional[float]
    preferred_window_seconds: Optional[float]

@final
class BufferPlanner:
    """Manages the tracking, matching, and lifecycle of video frame buffers across a session."""

    def __new__(cls, config: BufferConfig) -> BufferPlanner: ...
    def evaluate_target(
        self, target_roi: Rect, timestamp: float, active_buffers: Sequence[BufferMetadata]
    ) -> BufferAction:
        """Matches a target ROI to the best overlapping live buffer, or asks for a new one."""
    def poll(
        self,
        active_buffers: Sequence[BufferMetadata],
        current_time: float,
        mode: InferenceMode,
        has_state: bool,
        flush: bool,
    ) -> ExecutionPlan:
        """Picks the buffer to run now and lists the buffers to drop."""

def estimate_heart_rate(signal: _Float32Array, fs: float) -> Tuple[float, float]:
    """Heart rate (per minute) and confidence from the spectrum of a pulse signal."""

def estimate_respiratory_rate(signal: _Float32Array, fs: float) -> Tuple[float, float]:
    """Respiratory rate (per minute) and confidence from the spectrum of a breathing signal."""

def estimate_rate_from_detections(
    sequences: Sequence[Sequence[float]],
    fs: float,
    timestamps: Optional[Sequence[float]] = None,
    confidence: Optional[Sequence[float]] = None,
) -> Tuple[float, float]:
    """Rate (per minute) and confidence from detected beat positions (samples)."""

def estimate_rolling_rate_from_detections(
    sequences: Sequence[Sequence[float]],
    fs: float,
    vital_name: str,
    total_frames: int,
    timestamps: Optional[Sequence[float]] = None,
    confidence: Optional[Sequence[float]] = None,
) -> Tuple[List[float], List[float]]:
    """Per-frame rate of a registry vital and its confidences from detections."""

def estimate_hrv_metric(
    signal: _Float32Array,
    fs: float,
    metric_name: str,
    confidence: _Float32Array,
    rate_hint: Optional[float] = None,
) -> Tuple[float, float]:
    """An HRV metric (SDNN, RMSSD, LF/HF, stress index, pNN50, SD1/SD2) of a pulse signal."""

def estimate_hrv_metric_from_detections(
    sequences: Sequence[Sequence[float]],
    fs: float,
    metric_name: str,
    timestamps: Optional[Sequence[float]] = None,
    confidence: Optional[Sequence[float]] = None,
) -> Tuple[float, float]:
    """An HRV metric and its confidence from detected beat positions (samples)."""

def estimate_rolling_hrv_metric_from_detections(
    sequences: Sequence[Sequence[float]],
    fs: float,
    metric_name: str,
    total_frames: int,
    timestamps: Optional[Sequence[float]] = None,
    confidence: Optional[Sequence[float]] = None,
) -> Tuple[List[float], List[float]]:
    """Per-frame HRV metric of a registry vital and its confidences from detections."""

def find_peaks(
    signal: _Float32Array,
    fs: float,
    refine: bool,
    rate_hint: Optional[float] = None,
    min_rate: float = 40.0,
    max_rate: float = 220.0,
    detection_threshold: float = 0.45,
    window_cycles: float = 2.5,
    max_rate_change: float = 1.0,
) -> List[float]:
    """Positions (samples) of the detected peaks of a quasi-periodic signal."""

def calculate_roi(
    face: Rect,
    method: _RoiMethodArg,
    detector: str = ...,
    container: Optional[Tuple[float, float]] = None,
    force_even: bool = False,
) -> Rect:
    """The region of interest of a face box for an ROI method, optionally clipped and evened."""

def get_vital_info(vital_id: str) -> Optional[VitalInfo]:
    """Display properties of a known vital id or alias, or None."""

def compute_buffer_config(config: SessionConfig) -> BufferConfig:
    """Buffer capacity thresholds for the model of a session configuration."""

def detrend_lambda_for_cutoff(fs: float, cutoff: float) -> float:
    """Smoothing parameter of the detrender for a cutoff (Hz) at a sampling rate (Hz)."""

def moving_average_window_for_cutoff(fs: float, cutoff_hz: float, force_odd: bool) -> int:
    """Length (samples) of a moving average whose -3 dB point is the cutoff (Hz)."""
