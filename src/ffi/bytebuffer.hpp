// Byte buffers that cross the C boundary.
//
// Buffers are allocated with the C allocator so that a buffer made by any
// entry point can be released by ffi_orvane_core_bytebuffer_free. A buffer of
// capacity 0 owns nothing; its data may be null or a host placeholder and is
// never dereferenced or freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "orvane_core.h"

namespace orvane::ffi {

// Stops the process when the buffer breaks the layout rules (len above
// capacity, null data with a non-zero capacity or len): a host error.
void check_buffer(const ByteBuffer& buf) noexcept;

// Releases the allocation of a checked buffer (nothing when capacity is 0).
void release_buffer(const ByteBuffer& buf) noexcept;

// A new buffer holding a copy of `bytes` (empty, without allocation, when
// `bytes` is empty).
ByteBuffer buffer_from(std::span<const std::uint8_t> bytes) noexcept;
ByteBuffer buffer_from(std::string_view text) noexcept;

// A buffer argument the library owns from the moment of the call: checked on
// arrival and released exactly once when this goes out of scope, whatever
// path the call takes.
class OwnedBuffer {
 public:
  explicit OwnedBuffer(ByteBuffer buf) noexcept : buf_(buf) { check_buffer(buf_); }
  ~OwnedBuffer() { release_buffer(buf_); }
  OwnedBuffer(const OwnedBuffer&) = delete;
  OwnedBuffer& operator=(const OwnedBuffer&) = delete;

  std::span<const std::uint8_t> bytes() const noexcept {
    if (buf_.len == 0) return {};
    return {buf_.data, static_cast<std::size_t>(buf_.len)};
  }

 private:
  ByteBuffer buf_;
};

// A growing output buffer on the C allocator; release() hands the bytes over
// as a ByteBuffer whose len is the bytes written (capacity may be larger).
class OutBuffer {
 public:
  OutBuffer() = default;
  ~OutBuffer();
  OutBuffer(const OutBuffer&) = delete;
  OutBuffer& operator=(const OutBuffer&) = delete;

  void append(const std::uint8_t* bytes, std::size_t n);
  void push(std::uint8_t byte) { append(&byte, 1); }
  std::size_t size() const noexcept { return len_; }
  std::span<const std::uint8_t> bytes() const noexcept { return {data_, len_}; }
  ByteBuffer release() noexcept;

 private:
  void grow(std::size_t needed);

  std::uint8_t* data_ = nullptr;
  std::size_t len_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace orvane::ffi
