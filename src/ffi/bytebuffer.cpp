#include "ffi/bytebuffer.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "ffi/export.hpp"
#include "types/numeric.hpp"

namespace orvane::ffi {
namespace {

[[noreturn]] void out_of_memory(std::uint64_t size) noexcept {
  fatal("cannot allocate a byte buffer of " + std::to_string(size) + " bytes", __FILE__,
        __LINE__);
}

// Every allocation goes through here so that a size the address space cannot
// hold stops the process instead of truncating.
std::uint8_t* allocate(std::uint64_t size, bool zeroed) noexcept {
  if (size > std::numeric_limits<std::size_t>::max()) out_of_memory(size);
  void* p = zeroed ? std::calloc(static_cast<std::size_t>(size), 1)
                   : std::malloc(static_cast<std::size_t>(size));
  if (p == nullptr) out_of_memory(size);
  return static_cast<std::uint8_t*>(p);
}

}  // namespace

void check_buffer(const ByteBuffer& buf) noexcept {
  if (buf.len > buf.capacity) {
    fatal("byte buffer len " + std::to_string(buf.len) + " exceeds its capacity " +
              std::to_string(buf.capacity),
          __FILE__, __LINE__);
  }
  if (buf.data == nullptr && buf.capacity != 0) {
    fatal("byte buffer has null data but capacity " + std::to_string(buf.capacity), __FILE__,
          __LINE__);
  }
}

void release_buffer(const ByteBuffer& buf) noexcept {
  if (buf.capacity != 0) std::free(buf.data);
}

ByteBuffer buffer_from(std::span<const std::uint8_t> bytes) noexcept {
  if (bytes.empty()) return ByteBuffer{0, 0, nullptr};
  std::uint8_t* data = allocate(bytes.size(), false);
  std::memcpy(data, bytes.data(), bytes.size());
  return ByteBuffer{bytes.size(), bytes.size(), data};
}

ByteBuffer buffer_from(std::string_view text) noexcept {
  return buffer_from(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

OutBuffer::~OutBuffer() { std::free(data_); }

void OutBuffer::append(const std::uint8_t* bytes, std::size_t n) {
  if (n == 0) return;
  if (capacity_ - len_ < n) grow(n);
  std::memcpy(data_ + len_, bytes, n);
  len_ += n;
}

void OutBuffer::grow(std::size_t needed) {
  if (needed > std::numeric_limits<std::size_t>::max() - len_) out_of_memory(len_);
  std::size_t capacity = std::max<std::size_t>({len_ + needed, capacity_ * 2, 64});
  void* p = std::realloc(data_, capacity);
  if (p == nullptr) out_of_memory(capacity);
  data_ = static_cast<std::uint8_t*>(p);
  capacity_ = capacity;
}

ByteBuffer OutBuffer::release() noexcept {
  ByteBuffer out{capacity_, len_, data_};
  if (capacity_ == 0) out.data = nullptr;
  data_ = nullptr;
  len_ = capacity_ = 0;
  return out;
}

}  // namespace orvane::ffi

// ---- Entry points. The status is never written: misuse stops the process.

ORVANE_EXPORT ByteBuffer ffi_orvane_core_bytebuffer_alloc(std::uint64_t size,
                                                          CallStatus* /*status*/) {
  if (size == 0) return ByteBuffer{0, 0, nullptr};
  return ByteBuffer{size, size, orvane::ffi::allocate(size, true)};
}

ORVANE_EXPORT ByteBuffer ffi_orvane_core_bytebuffer_from_bytes(ForeignSlice bytes,
                                                               CallStatus* /*status*/) {
  if (bytes.len < 0) {
    orvane::fatal("ForeignSlice has negative len " + std::to_string(bytes.len), __FILE__,
                  __LINE__);
  }
  if (bytes.data == nullptr && bytes.len != 0) {
    orvane::fatal("ForeignSlice has null data but len " + std::to_string(bytes.len), __FILE__,
                  __LINE__);
  }
  return orvane::ffi::buffer_from(
      std::span(bytes.data, static_cast<std::size_t>(bytes.len)));
}

ORVANE_EXPORT void ffi_orvane_core_bytebuffer_free(ByteBuffer buf,
                                                   CallStatus* /*status*/) {
  orvane::ffi::check_buffer(buf);
  orvane::ffi::release_buffer(buf);
}

// Growth: at least what was asked for, and at least double the old capacity,
// so that a host appending piecewise reallocates a logarithmic number of times.
ORVANE_EXPORT ByteBuffer ffi_orvane_core_bytebuffer_reserve(ByteBuffer buf,
                                                            std::uint64_t additional,
                                                            CallStatus* /*status*/) {
  orvane::ffi::check_buffer(buf);
  if (buf.capacity - buf.len >= additional) return buf;
  if (additional > std::numeric_limits<std::uint64_t>::max() - buf.len) {
    orvane::fatal("byte buffer reserve of " + std::to_string(additional) +
                      " bytes overflows its size",
                  __FILE__, __LINE__);
  }
  const std::uint64_t wanted = buf.len + additional;
  const std::uint64_t doubled =
      buf.capacity > std::numeric_limits<std::uint64_t>::max() / 2 ? wanted : buf.capacity * 2;
  const std::uint64_t capacity = std::max(wanted, doubled);
  std::uint8_t* data = orvane::ffi::allocate(capacity, false);
  if (buf.len != 0) std::memcpy(data, buf.data, static_cast<std::size_t>(buf.len));
  orvane::ffi::release_buffer(buf);
  return ByteBuffer{capacity, buf.len, data};
}
