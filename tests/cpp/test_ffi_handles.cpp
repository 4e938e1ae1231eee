// Object handles: counted references whose last release destroys the object,
// and methods that consume the reference they are given, also when their
// arguments fail to convert.
#include <gtest/gtest.h>

#include "ffi/handles.hpp"
#include "orvane_core.h"
#include "state/frames.hpp"
#include "state/session.hpp"
#include "test_ffi_wire.hpp"

namespace {

using orvane::ffi::Counted;
using ffi_test::Status;
using ffi_test::Writer;

// Records its destruction so the test sees exactly when it happens.
struct Probe {
  explicit Probe(int* destroyed) : destroyed_(destroyed) {}
  ~Probe() { ++*destroyed_; }
  int* destroyed_;
};

TEST(FfiHandles, TwoClonesAndThreeFreesDestroyExactlyAtTheThirdFree) {
  int destroyed = 0;
  void* handle = Counted<Probe>::create(&destroyed);
  EXPECT_EQ(Counted<Probe>::clone(handle), handle);
  EXPECT_EQ(Counted<Probe>::clone(handle), handle);
  EXPECT_EQ(Counted<Probe>::references(handle), 3u);
  Counted<Probe>::release(handle);
  Counted<Probe>::release(handle);
  EXPECT_EQ(destroyed, 0);
  Counted<Probe>::release(handle);
  EXPECT_EQ(destroyed, 1);
}

// The library's handles have the same layout (same template), so the test
// can read their counts; their destruction is checked by the sanitizer build
// (a missed destruction leaks, a double one is a double free).
TEST(FfiHandles, SessionHandleLifecycleThroughTheAbi) {
  Status status;
  void* session = hbind_orvane_core_fn_constructor_session_new(
      ffi_test::to_buffer(ffi_test::session_config("heart_rate", 30.0f)), status.ptr());
  ASSERT_EQ(status.raw.code, 0);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(Counted<orvane::Session>::references(session), 1u);
  EXPECT_EQ(hbind_orvane_core_fn_clone_session(session, nullptr), session);
  EXPECT_EQ(hbind_orvane_core_fn_clone_session(session, nullptr), session);
  EXPECT_EQ(Counted<orvane::Session>::references(session), 3u);

  // A successful method call consumes the reference it was given.
  hbind_orvane_core_fn_method_session_reset(session, status.ptr());
  EXPECT_EQ(status.raw.code, 0);
  EXPECT_EQ(Counted<orvane::Session>::references(session), 2u);

  // So does a failed one, and it releases every buffer argument (leak
  // checking in the sanitizer build sees both buffers).
  const ByteBuffer out = hbind_orvane_core_fn_method_session_process(
      session, ffi_test::to_buffer(Writer{}.byte(7)), ffi_test::to_buffer(Writer{}.i32(3)),
      status.ptr());
  EXPECT_EQ(status.raw.code, 2);
  EXPECT_EQ(status.message(), "Failed to convert arg 'input': unexpected tag byte for Option");
  EXPECT_EQ(out.capacity, 0u);
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(Counted<orvane::Session>::references(session), 1u);

  hbind_orvane_core_fn_free_session(session, nullptr);  // the last one
}

TEST(FfiHandles, FailedIsReadyConsumesThePlannerReference) {
  Status status;
  void* planner = hbind_orvane_core_fn_constructor_bufferplanner_new(
      ffi_test::to_buffer(Writer{}.u32(16).u32(4).u32(150).u32(900).u32(3)), status.ptr());
  ASSERT_EQ(status.raw.code, 0);
  void* clone = hbind_orvane_core_fn_clone_bufferplanner(planner, nullptr);
  EXPECT_EQ(Counted<orvane::BufferPlanner>::references(planner), 2u);

  const std::int8_t ready = hbind_orvane_core_fn_method_bufferplanner_is_ready(
      clone, 4, ffi_test::to_buffer(Writer{}.i32(1)), 2, 0, status.ptr());
  EXPECT_EQ(ready, 0);
  EXPECT_EQ(status.raw.code, 2);
  EXPECT_EQ(status.message(), "Failed to convert arg 'has_state': unexpected byte for Boolean");
  EXPECT_EQ(Counted<orvane::BufferPlanner>::references(planner), 1u);
  hbind_orvane_core_fn_free_bufferplanner(planner, nullptr);
}

TEST(FfiHandlesDeathTest, NullHandleStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(hbind_orvane_core_fn_free_session(nullptr, nullptr),
               "assertion failed: !ptr.is_null\\(\\)");
  EXPECT_DEATH(hbind_orvane_core_fn_free_bufferplanner(nullptr, nullptr),
               "assertion failed: !ptr.is_null\\(\\)");
  EXPECT_DEATH(hbind_orvane_core_fn_clone_session(nullptr, nullptr),
               "assertion failed: !ptr.is_null\\(\\)");
  EXPECT_DEATH(hbind_orvane_core_fn_method_session_reset(nullptr, nullptr),
               "assertion failed: !ptr.is_null\\(\\)");
}

}  // namespace
