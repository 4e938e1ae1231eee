// Counted object handles.
//
// One heap block holds an atomic reference count followed by the object; a
// handle is the address of the object inside the block, so it stays one
// opaque pointer for the host while the count sits at a fixed distance before
// it. The block starts with one reference; clone adds one, release drops one,
// and the release that drops the last one destroys the object and frees the
// block, on whichever thread that happens.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

#include "types/numeric.hpp"

namespace orvane::ffi {

template <class T>
class Counted {
 public:
  // Far below the wrap-around point: a count that reaches it is a host bug
  // (a clone loop without frees), and wrapping would free a live object.
  static constexpr std::uint64_t kMaxReferences = std::numeric_limits<std::int64_t>::max();

  // A new object with one reference; returns its handle.
  template <class... A>
  static void* create(A&&... args) {
    void* block = ::operator new(kObjectOffset + sizeof(T), std::align_val_t{kAlign});
    auto* count = ::new (block) Count(1);
    try {
      return ::new (static_cast<char*>(block) + kObjectOffset) T(std::forward<A>(args)...);
    } catch (...) {
      count->~Count();
      ::operator delete(block, std::align_val_t{kAlign});
      throw;
    }
  }

  // One more reference to the same object; returns the same handle.
  static void* clone(void* handle) noexcept {
    const std::uint64_t before = count_of(handle).fetch_add(1, std::memory_order_relaxed);
    if (before >= kMaxReferences) {
      fatal("object handle reference count overflow", __FILE__, __LINE__);
    }
    return handle;
  }

  // Drops one reference; the last one destroys the object.
  static void release(void* handle) noexcept {
    Count& count = count_of(handle);
    // acq_rel: every use of the object through other references happens
    // before the destruction below.
    if (count.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    object(handle).~T();
    count.~Count();
    ::operator delete(static_cast<void*>(&count), std::align_val_t{kAlign});
  }

  static T& object(void* handle) noexcept {
    check_not_null(handle);
    return *std::launder(static_cast<T*>(handle));
  }

  // Current number of references (for diagnostics; racy by nature).
  static std::uint64_t references(void* handle) noexcept {
    return count_of(handle).load(std::memory_order_relaxed);
  }

 private:
  using Count = std::atomic<std::uint64_t>;
  static constexpr std::size_t kAlign = std::max(alignof(T), alignof(Count));
  static constexpr std::size_t kObjectOffset = (sizeof(Count) + kAlign - 1) / kAlign * kAlign;

  static void check_not_null(void* handle) noexcept {
    if (handle == nullptr) fatal("assertion failed: !ptr.is_null()", __FILE__, __LINE__);
  }

  static Count& count_of(void* handle) noexcept {
    check_not_null(handle);
    return *std::launder(reinterpret_cast<Count*>(static_cast<char*>(handle) - kObjectOffset));
  }
};

// The reference a method call consumes: taken on entry, released when the
// call ends, whatever path it takes.
template <class T>
class ConsumedRef {
 public:
  explicit ConsumedRef(void* handle) noexcept
      : handle_(handle), object_(Counted<T>::object(handle)) {}
  ~ConsumedRef() { Counted<T>::release(handle_); }
  ConsumedRef(const ConsumedRef&) = delete;
  ConsumedRef& operator=(const ConsumedRef&) = delete;

  T& get() const noexcept { return object_; }

 private:
  void* handle_;
  T& object_;
};

}  // namespace orvane::ffi
