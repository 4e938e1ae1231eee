// The operation entry points, and clone and free per object type. Each
// operation is one call of the guard with its descriptor; see call.hpp.
#include <string>

#include "ffi/call.hpp"
#include "ffi/export.hpp"

namespace orvane::ffi::detail {

void report_conversion_failure(CallStatus* status, std::string_view arg,
                               const std::string& reason) {
  std::string message = "Failed to convert arg '";
  message.append(arg).append("': ").append(reason);
  // Reporting a failure as success would hand the host a meaningless zero
  // value, so a failure with nowhere to go stops the process.
  if (status == nullptr) {
    fatal("no CallStatus to report a failed call to: " + message, __FILE__, __LINE__);
  }
  status->code = 2;
  status->error_message = buffer_from(message);
}

void escaped_exception(std::string_view operation, const char* what) noexcept {
  fatal("unexpected exception in " + std::string(operation) + ": " + what, __FILE__, __LINE__);
}

}  // namespace orvane::ffi::detail

using orvane::ffi::Counted;
using orvane::ffi::ffi_call;
namespace ops = orvane::ffi::ops;

// ---- Functions ------------------------------------------------------------------

ORVANE_EXPORT ByteBuffer hbind_orvane_core_fn_func_calculate_roi(
    ByteBuffer face, ByteBuffer method, ByteBuffer detector, ByteBuffer container_width,
    ByteBuffer container_height, std::int8_t force_even, CallStatus* status) {
  return ffi_call<ops::CalculateRoi>(status, face, method, detector, container_width,
                                     container_height, force_even);
}

ORVANE_EXPORT ByteBuffer hbind_orvane_core_fn_func_compute_buffer_config(
    ByteBuffer config, CallStatus* status) {
  return ffi_call<ops::ComputeBufferConfig>(status, config);
}

ORVANE_EXPORT float hbind_orvane_core_fn_func_compute_iou(ByteBuffer a, ByteBuffer b,
                                                          CallStatus* status) {
  return ffi_call<ops::ComputeIou>(status, a, b);
}

ORVANE_EXPORT ByteBuffer hbind_orvane_core_fn_func_get_vital_info(ByteBuffer vital_id,
                                                                  CallStatus* status) {
  return ffi_call<ops::GetVitalInfo>(status, vital_id);
}

ORVANE_EXPORT std::int8_t hbind_orvane_core_fn_func_is_contained(ByteBuffer inner,
                                                                 ByteBuffer outer,
                                                                 float min_overlap_pct,
                                                                 CallStatus* status) {
  return ffi_call<ops::IsContained>(status, inner, outer, min_overlap_pct);
}

// ---- Session --------------------------------------------------------------------

ORVANE_EXPORT void* hbind_orvane_core_fn_constructor_session_new(ByteBuffer config,
                                                                 CallStatus* status) {
  return ffi_call<ops::SessionNew>(status, config);
}

ORVANE_EXPORT ByteBuffer hbind_orvane_core_fn_method_session_process(void* session,
                                                                     ByteBuffer input,
                                                                     ByteBuffer mode,
                                                                     CallStatus* status) {
  return ffi_call<ops::SessionProcess>(status, session, input, mode);
}

ORVANE_EXPORT void hbind_orvane_core_fn_method_session_reset(void* session,
                                                             CallStatus* status) {
  ffi_call<ops::SessionReset>(status, session);
}

ORVANE_EXPORT void* hbind_orvane_core_fn_clone_session(void* session,
                                                       CallStatus* /*status*/) {
  return Counted<orvane::Session>::clone(session);
}

ORVANE_EXPORT void hbind_orvane_core_fn_free_session(void* session,
                                                     CallStatus* /*status*/) {
  Counted<orvane::Session>::release(session);
}

// ---- BufferPlanner ----------------------------------------------------------------

ORVANE_EXPORT void* hbind_orvane_core_fn_constructor_bufferplanner_new(
    ByteBuffer config, CallStatus* status) {
  return ffi_call<ops::BufferPlannerNew>(status, config);
}

ORVANE_EXPORT ByteBuffer hbind_orvane_core_fn_method_bufferplanner_evaluate_target(
    void* planner, ByteBuffer target_roi, double timestamp, ByteBuffer active_buffers,
    CallStatus* status) {
  return ffi_call<ops::BufferPlannerEvaluateTarget>(status, planner, target_roi, timestamp,
                                                    active_buffers);
}

ORVANE_EXPORT std::int8_t hbind_orvane_core_fn_method_bufferplanner_is_ready(
    void* planner, std::uint32_t count, ByteBuffer mode, std::int8_t has_state, std::int8_t flush,
    CallStatus* status) {
  return ffi_call<ops::BufferPlannerIsReady>(status, planner, count, mode, has_state, flush);
}

ORVANE_EXPORT ByteBuffer hbind_orvane_core_fn_method_bufferplanner_poll(
    void* planner, ByteBuffer active_buffers, double current_time, ByteBuffer mode,
    std::int8_t has_state, std::int8_t flush, CallStatus* status) {
  return ffi_call<ops::BufferPlannerPoll>(status, planner, active_buffers, current_time, mode,
                                          has_state, flush);
}

ORVANE_EXPORT void* hbind_orvane_core_fn_clone_bufferplanner(void* planner,
                                                             CallStatus* /*status*/) {
  return Counted<orvane::BufferPlanner>::clone(planner);
}

ORVANE_EXPORT void hbind_orvane_core_fn_free_bufferplanner(void* planner,
                                                           CallStatus* /*status*/) {
  Counted<orvane::BufferPlanner>::release(planner);
}
