// The future entry points of calling convention 26. No operation of this
// library is asynchronous, so no future handle is ever created and a host
// has no reason to call these; one that does has handed us a value we never
// made, and the process stops with a message saying so.
#include <cstdint>
#include <string>

#include "ffi/export.hpp"
#include "orvane_core.h"
#include "types/numeric.hpp"

namespace {

[[noreturn]] void no_futures(const char* entry_point) {
  orvane::fatal(std::string(entry_point) +
                    " called, but orvane_core has no asynchronous operations and never "
                    "creates a future handle",
                __FILE__, __LINE__);
}

}  // namespace

#define ORVANE_FUTURE_FAMILY(kind, type)                                                   \
  ORVANE_EXPORT void ffi_orvane_core_lib_future_poll_##kind(                               \
      std::uint64_t, OrvaneFutureContinuation, std::uint64_t) {                   \
    no_futures("ffi_orvane_core_lib_future_poll_" #kind);                                  \
  }                                                                                        \
  ORVANE_EXPORT void ffi_orvane_core_lib_future_cancel_##kind(std::uint64_t) {    \
    no_futures("ffi_orvane_core_lib_future_cancel_" #kind);                                \
  }                                                                                        \
  ORVANE_EXPORT type ffi_orvane_core_lib_future_complete_##kind(std::uint64_t,             \
                                                                CallStatus*) {    \
    no_futures("ffi_orvane_core_lib_future_complete_" #kind);                              \
  }                                                                                        \
  ORVANE_EXPORT void ffi_orvane_core_lib_future_free_##kind(std::uint64_t) {      \
    no_futures("ffi_orvane_core_lib_future_free_" #kind);                                  \
  }

ORVANE_FUTURE_FAMILY(u8, std::uint8_t)
ORVANE_FUTURE_FAMILY(i8, std::int8_t)
ORVANE_FUTURE_FAMILY(u16, std::uint16_t)
ORVANE_FUTURE_FAMILY(i16, std::int16_t)
ORVANE_FUTURE_FAMILY(u32, std::uint32_t)
ORVANE_FUTURE_FAMILY(i32, std::int32_t)
ORVANE_FUTURE_FAMILY(u64, std::uint64_t)
ORVANE_FUTURE_FAMILY(i64, std::int64_t)
ORVANE_FUTURE_FAMILY(f32, float)
ORVANE_FUTURE_FAMILY(f64, double)
ORVANE_FUTURE_FAMILY(pointer, void*)
ORVANE_FUTURE_FAMILY(byte_buffer, ByteBuffer)
ORVANE_FUTURE_FAMILY(void, void)
