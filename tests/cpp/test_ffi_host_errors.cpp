// Host errors have no status to report through: each stops the process with
// a message saying what the host did wrong.
#include <gtest/gtest.h>

#include <cstdint>

#include "orvane_core.h"
#include "test_ffi_wire.hpp"

namespace {

using ffi_test::Writer;

std::uint8_t bytes[16] = {};

TEST(FfiHostErrorsDeathTest, MalformedBuffersStopTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const ByteBuffer rect = ffi_test::to_buffer(Writer{}.rect(0, 0, 1, 1));
  EXPECT_DEATH(hbind_orvane_core_fn_func_compute_iou(ByteBuffer{8, 16, bytes}, rect, nullptr),
               "byte buffer len 16 exceeds its capacity 8");
  EXPECT_DEATH(ffi_orvane_core_bytebuffer_free(ByteBuffer{4, 0, nullptr}, nullptr),
               "byte buffer has null data but capacity 4");
  EXPECT_DEATH(ffi_orvane_core_bytebuffer_reserve(ByteBuffer{0, 2, nullptr}, 1, nullptr),
               "byte buffer len 2 exceeds its capacity 0");
  ffi_orvane_core_bytebuffer_free(rect, nullptr);
}

TEST(FfiHostErrorsDeathTest, MalformedSlicesStopTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ffi_orvane_core_bytebuffer_from_bytes(ForeignSlice{-1, bytes}, nullptr),
               "ForeignSlice has negative len -1");
  EXPECT_DEATH(ffi_orvane_core_bytebuffer_from_bytes(ForeignSlice{3, nullptr}, nullptr),
               "ForeignSlice has null data but len 3");
}

TEST(FfiHostErrorsDeathTest, UnallocatableSizeStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ffi_orvane_core_bytebuffer_alloc(UINT64_MAX, nullptr), "");
}

TEST(FfiHostErrorsDeathTest, FailureWithoutAStatusStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Reporting the failure as success would hand back a meaningless zero.
  EXPECT_DEATH(hbind_orvane_core_fn_func_compute_iou(ffi_test::to_buffer(Writer{}),
                                                     ffi_test::to_buffer(Writer{}), nullptr),
               "no CallStatus to report a failed call to: Failed to convert arg 'a'");
}

TEST(FfiHostErrorsDeathTest, FutureEntryPointsAreNeverReached) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ffi_orvane_core_lib_future_poll_u8(1, nullptr, 0),
               "ffi_orvane_core_lib_future_poll_u8 called, but orvane_core has no asynchronous "
               "operations");
  CallStatus status{};
  EXPECT_DEATH(ffi_orvane_core_lib_future_complete_byte_buffer(1, &status),
               "never creates a future handle");
}

}  // namespace
