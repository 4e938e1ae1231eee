// A host's view of the C ABI for the C++ tests: a minimal writer and reader
// of the serialised format, written from the format rules (big-endian, i32
// lengths and counts, optional tags, variants from 1) independently of the
// library's codec, plus call helpers.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "orvane_core.h"

namespace ffi_test {

// ---- Writing ----------------------------------------------------------------

struct Writer {
  std::vector<std::uint8_t> bytes;

  Writer& append(const void* data, std::size_t n) {
    const std::size_t at = bytes.size();
    bytes.resize(at + n);
    if (n != 0) std::memcpy(bytes.data() + at, data, n);
    return *this;
  }
  Writer& u32(std::uint32_t v) {
    const std::uint8_t be[4] = {
        static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
        static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    return append(be, 4);
  }
  Writer& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
  Writer& u64(std::uint64_t v) {
    return u32(static_cast<std::uint32_t>(v >> 32)).u32(static_cast<std::uint32_t>(v));
  }
  Writer& f32(float v) { return u32(std::bit_cast<std::uint32_t>(v)); }
  Writer& f64(double v) { return u64(std::bit_cast<std::uint64_t>(v)); }
  Writer& byte(std::uint8_t b) { return append(&b, 1); }
  Writer& str(std::string_view s) {
    i32(static_cast<std::int32_t>(s.size()));
    return append(s.data(), s.size());
  }
  Writer& rect(float x, float y, float w, float h) { return f32(x).f32(y).f32(w).f32(h); }
};

// ---- Reading ----------------------------------------------------------------

struct Reader {
  std::vector<std::uint8_t> bytes;
  std::size_t pos = 0;

  const std::uint8_t* take(std::size_t n) {
    if (bytes.size() - pos < n) throw std::runtime_error("value runs past the buffer");
    pos += n;
    return bytes.data() + pos - n;
  }
  std::uint32_t u32() {
    const std::uint8_t* p = take(4);
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
  }
  std::int32_t count() {
    const auto n = static_cast<std::int32_t>(u32());
    if (n < 0) throw std::runtime_error("negative count");
    return n;
  }
  std::uint64_t u64() { return std::uint64_t{u32()} << 32 | u32(); }
  float f32() { return std::bit_cast<float>(u32()); }
  double f64() { return std::bit_cast<double>(u64()); }
  bool tag() {
    const std::uint8_t t = *take(1);
    if (t > 1) throw std::runtime_error("bad tag");
    return t == 1;
  }
  std::string str() {
    const std::int32_t n = count();
    const std::uint8_t* p = take(static_cast<std::size_t>(n));
    return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
  }
  bool done() const { return pos == bytes.size(); }
};

// The parts of a SessionResult the tests look at; decoding walks all of it.
struct DecodedResult {
  std::vector<double> timestamps;
  std::vector<std::string> vital_ids;
  std::string message;
};

inline DecodedResult decode_session_result(Reader r) {
  DecodedResult out;
  const auto floats = [&] {
    for (std::int32_t i = 0, n = r.count(); i < n; ++i) r.f32();
  };
  const auto waveform = [&] {
    floats();
    floats();
    r.str();
    r.str();
  };
  for (std::int32_t i = 0, n = r.count(); i < n; ++i) out.timestamps.push_back(r.f64());
  if (r.tag()) {  // face
    for (std::int32_t i = 0, n = r.count(); i < n; ++i) floats();
    floats();
    if (r.tag()) r.str();
  }
  for (std::int32_t i = 0, n = r.count(); i < n; ++i) {  // waveforms
    r.str();
    waveform();
  }
  for (std::int32_t i = 0, n = r.count(); i < n; ++i) {  // vitals
    out.vital_ids.push_back(r.str());
    r.f32();
    r.f32();
    r.str();
    r.str();
  }
  if (r.tag()) {  // rolling vitals
    for (std::int32_t i = 0, n = r.count(); i < n; ++i) {
      r.str();
      waveform();
    }
  }
  r.f32();
  out.message = r.str();
  if (!r.done()) throw std::runtime_error("bytes left after SessionResult");
  return out;
}

// ---- Calls ------------------------------------------------------------------

inline ByteBuffer to_buffer(const Writer& w) {
  return ffi_orvane_core_bytebuffer_from_bytes(
      ForeignSlice{static_cast<std::int32_t>(w.bytes.size()), w.bytes.data()}, nullptr);
}

// Copies out and frees a buffer the library returned.
inline std::vector<std::uint8_t> take(ByteBuffer buf) {
  std::vector<std::uint8_t> out(buf.data, buf.data + buf.len);
  ffi_orvane_core_bytebuffer_free(buf, nullptr);
  return out;
}

// A fresh status; the destructor frees a message the test did not take.
struct Status {
  CallStatus raw{0, {0, 0, nullptr}};
  ~Status() { ffi_orvane_core_bytebuffer_free(raw.error_message, nullptr); }
  CallStatus* ptr() { return &raw; }
  std::string message() {
    std::vector<std::uint8_t> bytes = take(raw.error_message);
    raw.error_message = ByteBuffer{0, 0, nullptr};
    return std::string(bytes.begin(), bytes.end());
  }
};

inline Writer session_config(std::string_view vitals_id, float fps) {
  Writer w;
  w.str("test-model").i32(1).str(vitals_id);  // supported_vitals
  w.byte(0);                                  // return_waveforms absent
  w.f32(fps).u64(40).u64(4).str("face").byte(0);
  return w;
}

}  // namespace ffi_test
