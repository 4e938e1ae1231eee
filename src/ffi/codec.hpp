// The serialised value format, read (lift) and written (lower) generically
// from the type descriptions.
//
//   u32, u64, f32, f64   big-endian, 4 or 8 bytes (floats as their IEEE bits)
//   bool                 1 byte, 0 or 1
//   string               i32 length in bytes, then UTF-8 bytes
//   optional T           1 byte tag: 0 absent, 1 present followed by T
//   list of T            i32 count, then the items
//   map string -> T      i32 count, then key, value pairs; a repeated key
//                        replaces the earlier entry
//   record               its fields in declaration order
//   enumeration          i32 variant number from 1, then the variant's fields
//
// A lift checks the remaining length before every element, refuses negative
// lengths before using them, and never reserves more items than the remaining
// bytes could encode, so a forged count cannot make it allocate.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "ffi/bytebuffer.hpp"
#include "ffi/describe.hpp"
#include "ffi/utf8.hpp"
#include "types/numeric.hpp"

namespace orvane::ffi {

// ---- Reading ------------------------------------------------------------------

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size() - pos_; }

  // The next n bytes, or nullptr after recording the shortage.
  const std::uint8_t* take(std::size_t n) {
    if (remaining() < n) {
      fail("not enough bytes remaining in buffer (" + std::to_string(remaining()) + " < " +
           std::to_string(n) + ")");
      return nullptr;
    }
    const std::uint8_t* p = bytes_.data() + pos_;
    pos_ += n;
    return p;
  }

  template <class U>
  bool read_be(U& out) {
    static_assert(std::is_unsigned_v<U>);
    const std::uint8_t* p = take(sizeof(U));
    if (p == nullptr) return false;
    U value = 0;
    for (std::size_t i = 0; i < sizeof(U); ++i) value = static_cast<U>((value << 8) | p[i]);
    out = value;
    return true;
  }

  bool read_i32(std::int32_t& out) {
    std::uint32_t bits = 0;
    if (!read_be(bits)) return false;
    out = static_cast<std::int32_t>(bits);
    return true;
  }

  // A length or count: an i32 that must not be negative.
  bool read_length(std::size_t& out) {
    std::int32_t n = 0;
    if (!read_i32(n)) return false;
    if (n < 0) return fail("out of range integral type conversion attempted");
    out = static_cast<std::size_t>(n);
    return true;
  }

  bool fail(std::string reason) {
    error_ = std::move(reason);
    return false;
  }

  const std::string& error() const { return error_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  std::string error_;
};

// Fewest bytes any value of T encodes to: bounds how many items a count can
// honestly announce in the bytes that remain.
template <class T>
constexpr std::size_t min_encoded_size() {
  constexpr Shape shape = shape_of<T>;
  if constexpr (shape == Shape::U32 || shape == Shape::F32) return 4;
  else if constexpr (shape == Shape::U64 || shape == Shape::F64) return 8;
  else if constexpr (shape == Shape::Bool || shape == Shape::Optional) return 1;
  else if constexpr (shape == Shape::Record) {
    return std::apply(
        [](const auto&... f) {
          return (std::size_t{0} + ... +
                  min_encoded_size<typename std::remove_cvref_t<decltype(f)>::Type>());
        },
        Record<T>::fields);
  } else {
    return 4;  // string, list, map, enumeration: a 4-byte length, count or tag first
  }
}

template <class T>
bool lift(Reader& r, T& out);

template <class Owner, class Fields>
bool lift_fields(Reader& r, Owner& out, const Fields& fields) {
  return std::apply([&](const auto&... f) { return (lift(r, out.*(f.member)) && ...); }, fields);
}

template <class T>
bool lift_enumeration(Reader& r, T& out) {
  std::int32_t number = 0;
  if (!r.read_i32(number)) return false;
  if (number < 1 || static_cast<std::size_t>(number) > variant_count<T>()) {
    return r.fail("Invalid " + std::string(Enumeration<T>::name) + " enum value: " +
                  std::to_string(number));
  }
  const std::size_t index = static_cast<std::size_t>(number) - 1;
  out = with_variant<T>(index);
  // Read the payload of exactly the variant that was named.
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    bool ok = true;
    ((I == index ? (ok = lift_fields(r, out, std::get<I>(Enumeration<T>::variants).fields), 0)
                 : 0),
     ...);
    return ok;
  }(std::make_index_sequence<variant_count<T>()>{});
}

template <class T>
bool lift(Reader& r, T& out) {
  constexpr Shape shape = shape_of<T>;
  if constexpr (shape == Shape::U32 || shape == Shape::U64) {
    return r.read_be(out);
  } else if constexpr (shape == Shape::F32) {
    std::uint32_t bits = 0;
    if (!r.read_be(bits)) return false;
    out = std::bit_cast<float>(bits);
    return true;
  } else if constexpr (shape == Shape::F64) {
    std::uint64_t bits = 0;
    if (!r.read_be(bits)) return false;
    out = std::bit_cast<double>(bits);
    return true;
  } else if constexpr (shape == Shape::Bool) {
    const std::uint8_t* p = r.take(1);
    if (p == nullptr) return false;
    if (*p > 1) return r.fail("unexpected byte for Boolean");
    out = *p == 1;
    return true;
  } else if constexpr (shape == Shape::String) {
    std::size_t n = 0;
    if (!r.read_length(n)) return false;
    const std::uint8_t* p = r.take(n);
    if (p == nullptr) return false;
    const std::string_view text(reinterpret_cast<const char*>(p), n);
    if (auto reason = utf8_error(text)) return r.fail(std::move(*reason));
    out.assign(text);
    return true;
  } else if constexpr (shape == Shape::Optional) {
    const std::uint8_t* tag = r.take(1);
    if (tag == nullptr) return false;
    if (*tag == 0) {
      out.reset();
      return true;
    }
    if (*tag != 1) return r.fail("unexpected tag byte for Option");
    return lift(r, out.emplace());
  } else if constexpr (shape == Shape::List) {
    std::size_t n = 0;
    if (!r.read_length(n)) return false;
    out.clear();
    out.reserve(std::min(n, r.remaining() / min_encoded_size<inner_t<T>>()));
    for (std::size_t i = 0; i < n; ++i) {
      if (!lift(r, out.emplace_back())) return false;
    }
    return true;
  } else if constexpr (shape == Shape::Map) {
    std::size_t n = 0;
    if (!r.read_length(n)) return false;
    out.clear();
    for (std::size_t i = 0; i < n; ++i) {
      std::string key;
      inner_t<T> value{};
      if (!lift(r, key) || !lift(r, value)) return false;
      out.insert_or_assign(std::move(key), std::move(value));
    }
    return true;
  } else if constexpr (shape == Shape::Record) {
    return lift_fields(r, out, Record<T>::fields);
  } else if constexpr (shape == Shape::Enumeration) {
    return lift_enumeration(r, out);
  } else {
    static_assert(shape == Shape::Record, "this shape cannot be lifted from bytes");
  }
}

// One whole value from a buffer: nullopt on success, else the reason.
template <class T>
std::optional<std::string> lift_value(std::span<const std::uint8_t> bytes, T& out) {
  Reader r(bytes);
  if (!lift(r, out)) return r.error();
  if (r.remaining() != 0) {
    return "junk data left in buffer after lifting (count: " + std::to_string(r.remaining()) + ")";
  }
  return std::nullopt;
}

// ---- Writing ------------------------------------------------------------------

template <class U>
void write_be(OutBuffer& w, U value) {
  static_assert(std::is_unsigned_v<U>);
  std::uint8_t bytes[sizeof(U)];
  for (std::size_t i = 0; i < sizeof(U); ++i) {
    bytes[i] = static_cast<std::uint8_t>(value >> (8 * (sizeof(U) - 1 - i)));
  }
  w.append(bytes, sizeof(U));
}

// Lengths and counts are i32 on the wire; nothing the library produces comes
// near the limit, so passing it is a broken invariant.
inline void write_length(OutBuffer& w, std::size_t n) {
  ORVANE_ASSERT(n <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()));
  write_be(w, static_cast<std::uint32_t>(n));
}

template <class T>
void lower(OutBuffer& w, const T& value);

template <class Owner, class Fields>
void lower_fields(OutBuffer& w, const Owner& value, const Fields& fields) {
  std::apply([&](const auto&... f) { (lower(w, value.*(f.member)), ...); }, fields);
}

template <class T>
void lower(OutBuffer& w, const T& value) {
  constexpr Shape shape = shape_of<T>;
  if constexpr (shape == Shape::U32 || shape == Shape::U64) {
    write_be(w, value);
  } else if constexpr (shape == Shape::F32) {
    write_be(w, std::bit_cast<std::uint32_t>(value));
  } else if constexpr (shape == Shape::F64) {
    write_be(w, std::bit_cast<std::uint64_t>(value));
  } else if constexpr (shape == Shape::Bool) {
    w.push(value ? 1 : 0);
  } else if constexpr (shape == Shape::String) {
    write_length(w, value.size());
    w.append(reinterpret_cast<const std::uint8_t*>(value.data()), value.size());
  } else if constexpr (shape == Shape::Optional) {
    w.push(value.has_value() ? 1 : 0);
    if (value.has_value()) lower(w, *value);
  } else if constexpr (shape == Shape::List) {
    write_length(w, value.size());
    for (const auto& item : value) lower(w, item);
  } else if constexpr (shape == Shape::Map) {
    write_length(w, value.size());
    for (const auto& [key, item] : value) {
      lower(w, key);
      lower(w, item);
    }
  } else if constexpr (shape == Shape::Record) {
    lower_fields(w, value, Record<T>::fields);
  } else if constexpr (shape == Shape::Enumeration) {
    const std::size_t index = variant_index(value);
    ORVANE_ASSERT(index < variant_count<T>());
    write_be(w, static_cast<std::uint32_t>(index + 1));
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      ((I == index ? (lower_fields(w, value, std::get<I>(Enumeration<T>::variants).fields), 0)
                   : 0),
       ...);
    }(std::make_index_sequence<variant_count<T>()>{});
  } else {
    static_assert(shape == Shape::Record, "this shape cannot be lowered to bytes");
  }
}

// One whole value into a new buffer that the caller owns.
template <class T>
ByteBuffer lower_value(const T& value) {
  OutBuffer w;
  lower(w, value);
  return w.release();
}

}  // namespace orvane::ffi
