// Contract version and the per-operation checksums a host compares before
// its first call. Each checksum is computed at compile time from the same
// blob that blobs.cpp exports.
#include <cstdint>

#include "ffi/export.hpp"
#include "ffi/metadata.hpp"
#include "orvane_core.h"

namespace {
namespace meta = orvane::ffi::meta;
namespace ops = orvane::ffi::ops;

// The calling convention these entry points follow.
constexpr std::uint32_t kContractVersion = 26;
}  // namespace

ORVANE_EXPORT std::uint32_t ffi_orvane_core_hbind_contract_version() {
  return kContractVersion;
}

#define ORVANE_CHECKSUM(suffix, op)                                             \
  ORVANE_EXPORT std::uint16_t hbind_orvane_core_checksum_##suffix() { \
    return meta::checksum<op>;                                                  \
  }

ORVANE_CHECKSUM(func_calculate_roi, ops::CalculateRoi)
ORVANE_CHECKSUM(func_compute_buffer_config, ops::ComputeBufferConfig)
ORVANE_CHECKSUM(func_compute_iou, ops::ComputeIou)
ORVANE_CHECKSUM(func_get_vital_info, ops::GetVitalInfo)
ORVANE_CHECKSUM(func_is_contained, ops::IsContained)
ORVANE_CHECKSUM(constructor_session_new, ops::SessionNew)
ORVANE_CHECKSUM(constructor_bufferplanner_new, ops::BufferPlannerNew)
ORVANE_CHECKSUM(method_session_process, ops::SessionProcess)
ORVANE_CHECKSUM(method_session_reset, ops::SessionReset)
ORVANE_CHECKSUM(method_bufferplanner_evaluate_target, ops::BufferPlannerEvaluateTarget)
ORVANE_CHECKSUM(method_bufferplanner_is_ready, ops::BufferPlannerIsReady)
ORVANE_CHECKSUM(method_bufferplanner_poll, ops::BufferPlannerPoll)
