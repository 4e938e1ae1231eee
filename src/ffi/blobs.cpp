// The exported interface-description blobs. Each is a fixed-size array whose
// ELF symbol size is the blob's length. The C header declares them as
// incomplete byte arrays; this file defines them from the compile-time blobs,
// which the checksum entry points hash as well.
// The header declares these symbols with another C type; keep its
// declarations out of the one file that defines them.
#define ORVANE_CORE_NO_BLOB_DECLARATIONS

#include <array>
#include <cstdint>

#include "ffi/export.hpp"
#include "ffi/metadata.hpp"

namespace {
namespace meta = orvane::ffi::meta;
namespace ops = orvane::ffi::ops;
using namespace orvane;
}  // namespace

#define ORVANE_BLOB(symbol, item) \
  ORVANE_EXPORT constinit const auto symbol = meta::blob<item>;

ORVANE_BLOB(HBIND_META_NAMESPACE_ORVANE_CORE, meta::Namespace)

ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_RECT, meta::RecordItem<Rect>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_FACEINPUT, meta::RecordItem<FaceInput>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_SIGNALINPUT, meta::RecordItem<SignalInput>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_SESSIONINPUT, meta::RecordItem<SessionInput>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_SESSIONCONFIG, meta::RecordItem<SessionConfig>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_VITALRESULT, meta::RecordItem<VitalResult>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_WAVEFORMRESULT, meta::RecordItem<WaveformResult>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_FACERESULT, meta::RecordItem<FaceResult>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_SESSIONRESULT, meta::RecordItem<SessionResult>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_VITALINFO, meta::RecordItem<VitalInfo>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_BUFFERCONFIG, meta::RecordItem<BufferConfig>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_BUFFERMETADATA, meta::RecordItem<BufferMetadata>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_BUFFERACTION, meta::RecordItem<BufferAction>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_INFERENCECOMMAND, meta::RecordItem<InferenceCommand>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_RECORD_EXECUTIONPLAN, meta::RecordItem<ExecutionPlan>)

ORVANE_BLOB(HBIND_META_ORVANE_CORE_ENUM_BUFFERACTIONTYPE, meta::EnumItem<BufferActionType>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_ENUM_INFERENCEMODE, meta::EnumItem<InferenceMode>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_ENUM_FACEDETECTOR, meta::EnumItem<FaceDetector>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_ENUM_ROIMETHOD, meta::EnumItem<RoiMethod>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_ENUM_WAVEFORMMODE, meta::EnumItem<WaveformMode>)

ORVANE_BLOB(HBIND_META_ORVANE_CORE_INTERFACE_SESSION, meta::InterfaceItem<Session>)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_INTERFACE_BUFFERPLANNER, meta::InterfaceItem<BufferPlanner>)

ORVANE_BLOB(HBIND_META_ORVANE_CORE_CONSTRUCTOR_SESSION_NEW, ops::SessionNew)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_CONSTRUCTOR_BUFFERPLANNER_NEW, ops::BufferPlannerNew)

ORVANE_BLOB(HBIND_META_ORVANE_CORE_FUNC_CALCULATE_ROI, ops::CalculateRoi)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_FUNC_COMPUTE_BUFFER_CONFIG, ops::ComputeBufferConfig)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_FUNC_COMPUTE_IOU, ops::ComputeIou)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_FUNC_GET_VITAL_INFO, ops::GetVitalInfo)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_FUNC_IS_CONTAINED, ops::IsContained)

ORVANE_BLOB(HBIND_META_ORVANE_CORE_METHOD_BUFFERPLANNER_EVALUATE_TARGET,
            ops::BufferPlannerEvaluateTarget)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_METHOD_BUFFERPLANNER_IS_READY, ops::BufferPlannerIsReady)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_METHOD_BUFFERPLANNER_POLL, ops::BufferPlannerPoll)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_METHOD_SESSION_PROCESS, ops::SessionProcess)
ORVANE_BLOB(HBIND_META_ORVANE_CORE_METHOD_SESSION_RESET, ops::SessionReset)
