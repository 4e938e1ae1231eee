// libFuzzer target for the C ABI's boundary code.
//
// The first input byte picks a target, the rest is its payload:
//   lift targets    the payload is one serialised value of a type that
//                   crosses the boundary (records, enumerations, optionals,
//                   lists, maps, strings). A value that lifts must lower and
//                   lift again to the same bytes, and types without maps
//                   must lower back to exactly the payload (maps reorder and
//                   drop repeated keys by design). A mismatch aborts loudly.
//   call targets    the payload is cut into the arguments of one entry point
//                   (buffers as a 2-byte length and that many bytes, scalars
//                   as their raw bytes), which is then called like a host
//                   would: every returned buffer and message is freed, and a
//                   failed conversion must return the zero value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "ffi/codec.hpp"
#include "orvane_core.h"

namespace {

using namespace orvane;
using orvane::ffi::Shape;
using orvane::ffi::shape_of;

using LiftTargets =
    std::tuple<Rect, FaceInput, SignalInput, SessionInput, SessionConfig, VitalResult,
               WaveformResult, FaceResult, SessionResult, VitalInfo, BufferConfig, BufferMetadata,
               BufferAction, InferenceCommand, ExecutionPlan, BufferActionType, InferenceMode,
               FaceDetector, RoiMethod, WaveformMode, std::optional<float>,
               std::optional<VitalInfo>, std::vector<BufferMetadata>,
               std::map<std::string, SignalInput>, std::string, bool, std::vector<std::string>,
               std::optional<std::vector<std::string>>>;
constexpr std::size_t kLiftTargets = std::tuple_size_v<LiftTargets>;

// Whether a type's encoding contains a map anywhere (so lowering may reorder).
template <class T>
constexpr bool contains_map() {
  constexpr Shape shape = shape_of<T>;
  if constexpr (shape == Shape::Map) return true;
  else if constexpr (shape == Shape::Optional || shape == Shape::List)
    return contains_map<ffi::inner_t<T>>();
  else if constexpr (shape == Shape::Record) {
    return std::apply(
        [](const auto&... f) {
          return (false || ... || contains_map<typename std::remove_cvref_t<decltype(f)>::Type>());
        },
        ffi::Record<T>::fields);
  } else {
    return false;
  }
}

std::vector<std::uint8_t> lowered(const auto& value) {
  ffi::OutBuffer w;
  ffi::lower(w, value);
  return {w.bytes().begin(), w.bytes().end()};
}

[[noreturn]] void mismatch(std::size_t target, const char* what,
                           std::span<const std::uint8_t> expected,
                           std::span<const std::uint8_t> got) {
  std::fprintf(stderr, "round trip mismatch for lift target %zu: %s\nexpected:", target, what);
  for (std::uint8_t b : expected) std::fprintf(stderr, " %02x", b);
  std::fprintf(stderr, "\ngot:     ");
  for (std::uint8_t b : got) std::fprintf(stderr, " %02x", b);
  std::fprintf(stderr, "\n");
  std::abort();
}

template <std::size_t I>
void round_trip(std::span<const std::uint8_t> payload) {
  using T = std::tuple_element_t<I, LiftTargets>;
  T value{};
  if (ffi::lift_value(payload, value)) return;  // refused: fine, as long as nothing broke
  const std::vector<std::uint8_t> first = lowered(value);
  if constexpr (!contains_map<T>()) {
    if (!std::equal(first.begin(), first.end(), payload.begin(), payload.end())) {
      mismatch(I, "lower(lift(bytes)) != bytes", payload, first);
    }
  }
  T again{};
  if (auto reason = ffi::lift_value(std::span<const std::uint8_t>(first), again)) {
    std::fprintf(stderr, "lowered bytes do not lift: %s\n", reason->c_str());
    mismatch(I, "lift(lower(value)) failed", payload, first);
  }
  const std::vector<std::uint8_t> second = lowered(again);
  if (second != first) mismatch(I, "lower(lift(lower(value))) != lower(value)", first, second);
}

// ---- Calls ----------------------------------------------------------------------

// Cuts the payload into arguments; once the bytes run out everything is zero.
class Args {
 public:
  explicit Args(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  ByteBuffer buffer() {
    const std::size_t n = std::min<std::size_t>(u16(), remaining());
    ByteBuffer buf = ffi_orvane_core_bytebuffer_from_bytes(
        ForeignSlice{static_cast<std::int32_t>(n), n ? bytes_.data() + pos_ : nullptr}, nullptr);
    pos_ += n;
    return buf;
  }
  template <class T>
  T scalar() {
    T value{};
    const std::size_t n = std::min(sizeof(T), remaining());
    std::memcpy(&value, bytes_.data() + pos_, n);
    pos_ += n;
    return value;
  }

 private:
  std::size_t remaining() const { return bytes_.size() - pos_; }
  std::uint16_t u16() { return scalar<std::uint16_t>(); }

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

// Frees what a call returned; after a failure the result must be zero.
void settle(CallStatus& status, ByteBuffer result) {
  if (status.code != 0) {
    if (status.code != 2 || result.capacity != 0 || result.len != 0 || result.data != nullptr) {
      std::fprintf(stderr, "failed call returned status %d and a non-zero buffer\n", status.code);
      std::abort();
    }
    ffi_orvane_core_bytebuffer_free(status.error_message, nullptr);
    status = CallStatus{};
  }
  ffi_orvane_core_bytebuffer_free(result, nullptr);
}

void settle(CallStatus& status) { settle(status, ByteBuffer{0, 0, nullptr}); }

ByteBuffer bytes_of(std::span<const std::uint8_t> bytes) {
  return ffi_orvane_core_bytebuffer_from_bytes(
      ForeignSlice{static_cast<std::int32_t>(bytes.size()), bytes.data()}, nullptr);
}

void* make_session() {
  SessionConfig config;
  config.model_name = "fuzz";
  config.supported_vitals = {"heart_rate", "respiratory_rate", "hrv_sdnn", "ie_ratio", "map"};
  config.return_waveforms = std::vector<std::string>{"ppg_waveform", "respiratory_waveform"};
  config.fps_target = 30.0f;
  config.estimate_rolling_vitals = true;
  CallStatus status{};
  void* s = hbind_orvane_core_fn_constructor_session_new(bytes_of(lowered(config)), &status);
  if (status.code != 0) std::abort();
  return s;
}

void* make_planner() {
  CallStatus status{};
  void* p = hbind_orvane_core_fn_constructor_bufferplanner_new(
      bytes_of(lowered(BufferConfig{16, 4, 150, 900, 3})), &status);
  if (status.code != 0) std::abort();
  return p;
}

void call(std::size_t op, Args a) {
  CallStatus status{};
  switch (op) {
    case 0: {
      ByteBuffer face = a.buffer(), method = a.buffer(), detector = a.buffer();
      ByteBuffer width = a.buffer(), height = a.buffer();
      settle(status, hbind_orvane_core_fn_func_calculate_roi(face, method, detector, width, height,
                                                             a.scalar<std::int8_t>(), &status));
      break;
    }
    case 1:
      settle(status, hbind_orvane_core_fn_func_compute_buffer_config(a.buffer(), &status));
      break;
    case 2: {
      ByteBuffer x = a.buffer(), y = a.buffer();
      const float iou = hbind_orvane_core_fn_func_compute_iou(x, y, &status);
      if (status.code != 0 && iou != 0.0f) std::abort();
      settle(status);
      break;
    }
    case 3:
      settle(status, hbind_orvane_core_fn_func_get_vital_info(a.buffer(), &status));
      break;
    case 4: {
      ByteBuffer inner = a.buffer(), outer = a.buffer();
      const std::int8_t r =
          hbind_orvane_core_fn_func_is_contained(inner, outer, a.scalar<float>(), &status);
      if (r != 0 && r != 1) std::abort();
      settle(status);
      break;
    }
    case 5: {
      void* s = hbind_orvane_core_fn_constructor_session_new(a.buffer(), &status);
      if (status.code == 0) hbind_orvane_core_fn_free_session(s, nullptr);
      else if (s != nullptr) std::abort();
      settle(status);
      break;
    }
    case 6: {
      void* p = hbind_orvane_core_fn_constructor_bufferplanner_new(a.buffer(), &status);
      if (status.code == 0) hbind_orvane_core_fn_free_bufferplanner(p, nullptr);
      else if (p != nullptr) std::abort();
      settle(status);
      break;
    }
    case 7: {
      // Two batches on one session, so merging and overlap are reached too.
      void* s = make_session();
      for (int i = 0; i < 2; ++i) {
        ByteBuffer input = a.buffer(), mode = a.buffer();
        settle(status, hbind_orvane_core_fn_method_session_process(
                           hbind_orvane_core_fn_clone_session(s, nullptr), input, mode, &status));
      }
      hbind_orvane_core_fn_method_session_reset(s, &status);  // consumes the last reference
      settle(status);
      break;
    }
    case 8: {
      void* p = make_planner();
      ByteBuffer roi = a.buffer();
      const double t = a.scalar<double>();
      ByteBuffer buffers = a.buffer();
      settle(status, hbind_orvane_core_fn_method_bufferplanner_evaluate_target(p, roi, t, buffers,
                                                                               &status));
      break;
    }
    case 9: {
      void* p = make_planner();
      const std::uint32_t count = a.scalar<std::uint32_t>();
      ByteBuffer mode = a.buffer();
      const auto has_state = a.scalar<std::int8_t>(), flush = a.scalar<std::int8_t>();
      const std::int8_t r =
          hbind_orvane_core_fn_method_bufferplanner_is_ready(p, count, mode, has_state, flush,
                                                             &status);
      if (r != 0 && r != 1) std::abort();
      settle(status);
      break;
    }
    default: {
      void* p = make_planner();
      ByteBuffer buffers = a.buffer();
      const double t = a.scalar<double>();
      ByteBuffer mode = a.buffer();
      const auto has_state = a.scalar<std::int8_t>(), flush = a.scalar<std::int8_t>();
      settle(status, hbind_orvane_core_fn_method_bufferplanner_poll(p, buffers, t, mode, has_state,
                                                                    flush, &status));
      break;
    }
  }
}

constexpr std::size_t kCallTargets = 11;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t target = data[0] % (kLiftTargets + kCallTargets);
  const std::span<const std::uint8_t> payload(data + 1, size - 1);
  if (target < kLiftTargets) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      ((I == target ? (round_trip<I>(payload), 0) : 0), ...);
    }(std::make_index_sequence<kLiftTargets>{});
  } else {
    call(target - kLiftTargets, Args(payload));
  }
  return 0;
}
