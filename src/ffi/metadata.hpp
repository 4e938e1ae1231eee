// The interface description: one blob per item of the interface, built at
// compile time from the type descriptions (describe.hpp) and the operation
// descriptors (operations.hpp), and a 16-bit checksum of each blob.
//
// Blob elements:
//   name   1-byte length, UTF-8 bytes
//   doc    2-byte little-endian length, UTF-8 bytes (0 for none)
//   flag   1 byte, 0 or 1;  count  1 byte
//   type   code: 2 u32, 3 u64, 8 f32, 9 f64, 10 bool, 11 string,
//          12 optional + inner, 13 record + module + name,
//          14 enumeration + module + name, 16 object + module + name,
//          17 list + item, 18 map + key + value, 255 nothing
//   default  flag; 1 is followed by a literal (only 4, absent, is used)
// Items (code, then):
//   6 namespace     library name, namespace name
//   2 record        module, name, count, (name type default doc)*, doc
//   3 enumeration   module, name, shape 0, flag 0, count,
//                   (name flag 0 count (name type default doc)* doc)*, flag 0, doc
//   4 interface     module, name, doc
//   0 function      module, name, flag 0, count, (name type default)*, result, doc
//   1 method        module, object, name, flag 0, count, args, result, doc
//   7 constructor   module, object, "new", flag 0, count, args, object, doc
//
// Checksum: 64-bit FNV-1a over the blob (offset basis 0xcbf29ce484222325,
// prime 0x100000001b3), folded h ^ h>>16 ^ h>>32 ^ h>>48 and cut to 16 bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "ffi/describe.hpp"
#include "ffi/operations.hpp"

namespace orvane::ffi::meta {

inline constexpr std::string_view kModule = "orvane_core";

// Item selectors for the items that are not operations.
struct Namespace {};
template <class T>
struct RecordItem {};
template <class T>
struct EnumItem {};
template <class T>
struct InterfaceItem {};

class BlobWriter {
 public:
  constexpr void byte(std::uint8_t b) { bytes_.push_back(b); }
  constexpr void flag(bool b) { byte(b ? 1 : 0); }
  constexpr void count(std::size_t n) {
    if (n > 0xFF) throw "count does not fit in one byte";  // fails the constant evaluation
    byte(static_cast<std::uint8_t>(n));
  }
  constexpr void name(std::string_view text) {
    count(text.size());
    for (char c : text) byte(static_cast<std::uint8_t>(c));
  }
  constexpr void doc(std::string_view text) {
    if (text.size() > 0xFFFF) throw "documentation longer than 65535 bytes";
    byte(static_cast<std::uint8_t>(text.size() & 0xFF));
    byte(static_cast<std::uint8_t>(text.size() >> 8));
    for (char c : text) byte(static_cast<std::uint8_t>(c));
  }
  constexpr std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

template <class T>
constexpr void write_type(BlobWriter& w) {
  constexpr Shape shape = shape_of<T>;
  if constexpr (shape == Shape::U32) w.byte(2);
  else if constexpr (shape == Shape::U64) w.byte(3);
  else if constexpr (shape == Shape::F32) w.byte(8);
  else if constexpr (shape == Shape::F64) w.byte(9);
  else if constexpr (shape == Shape::Bool) w.byte(10);
  else if constexpr (shape == Shape::String) w.byte(11);
  else if constexpr (shape == Shape::Nothing) w.byte(255);
  else if constexpr (shape == Shape::Optional) {
    w.byte(12);
    write_type<inner_t<T>>(w);
  } else if constexpr (shape == Shape::List) {
    w.byte(17);
    write_type<inner_t<T>>(w);
  } else if constexpr (shape == Shape::Map) {
    w.byte(18);
    write_type<std::string>(w);
    write_type<inner_t<T>>(w);
  } else if constexpr (shape == Shape::Record) {
    w.byte(13);
    w.name(kModule);
    w.name(Record<T>::name);
  } else if constexpr (shape == Shape::Enumeration) {
    w.byte(14);
    w.name(kModule);
    w.name(Enumeration<T>::name);
  } else if constexpr (shape == Shape::Object) {
    w.byte(16);
    w.name(kModule);
    w.name(Object<inner_t<T>>::name);
  }
}

constexpr void write_default(BlobWriter& w, bool absent_by_default) {
  w.flag(absent_by_default);
  if (absent_by_default) w.byte(4);  // literal: absent
}

// A record's fields or a variant's payload: name, type, default, empty doc.
template <class Fields>
constexpr void write_fields(BlobWriter& w, const Fields& fields) {
  w.count(std::tuple_size_v<Fields>);
  std::apply(
      [&](const auto&... f) {
        ((w.name(f.name), write_type<typename std::remove_cvref_t<decltype(f)>::Type>(w),
          write_default(w, f.defaults_to_absent), w.doc("")),
         ...);
      },
      fields);
}

// An operation's arguments (no defaults), result and documentation.
template <class Op>
constexpr void write_signature(BlobWriter& w) {
  w.flag(false);  // not asynchronous
  w.count(Op::arg_names.size());
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((w.name(Op::arg_names[I]), write_type<std::tuple_element_t<I, typename Op::Args>>(w),
      write_default(w, false)),
     ...);
  }(std::make_index_sequence<std::tuple_size_v<typename Op::Args>>{});
  write_type<typename Op::Result>(w);
  w.doc(Op::doc);
}

template <class Item>
struct Describe;

template <>
struct Describe<Namespace> {
  static constexpr void write(BlobWriter& w) {
    w.byte(6);
    w.name(kModule);  // the library
    w.name(kModule);  // the namespace
  }
};

template <class T>
struct Describe<RecordItem<T>> {
  static constexpr void write(BlobWriter& w) {
    w.byte(2);
    w.name(kModule);
    w.name(Record<T>::name);
    write_fields(w, Record<T>::fields);
    w.doc(Record<T>::doc);
  }
};

template <class T>
struct Describe<EnumItem<T>> {
  static constexpr void write(BlobWriter& w) {
    w.byte(3);
    w.name(kModule);
    w.name(Enumeration<T>::name);
    w.byte(0);       // shape
    w.flag(false);   // no explicit discriminant type
    w.count(variant_count<T>());
    std::apply(
        [&](const auto&... v) {
          ((w.name(v.name), w.flag(false), write_fields(w, v.fields), w.doc(v.doc)), ...);
        },
        Enumeration<T>::variants);
    w.flag(false);  // not open to extension
    w.doc(Enumeration<T>::doc);
  }
};

template <class T>
struct Describe<InterfaceItem<T>> {
  static constexpr void write(BlobWriter& w) {
    w.byte(4);
    w.name(kModule);
    w.name(Object<T>::name);
    w.doc(Object<T>::doc);
  }
};

template <class Op>
  requires requires { Op::kind; }
struct Describe<Op> {
  static constexpr void write(BlobWriter& w) {
    if constexpr (Op::kind == ops::Kind::Function) {
      w.byte(0);
      w.name(kModule);
      w.name(Op::name);
    } else {
      w.byte(Op::kind == ops::Kind::Method ? 1 : 7);
      w.name(kModule);
      w.name(Object<typename Op::Object>::name);
      w.name(Op::name);
    }
    write_signature<Op>(w);
  }
};

template <class Item>
constexpr std::vector<std::uint8_t> build_blob() {
  BlobWriter w;
  Describe<Item>::write(w);
  return w.take();
}

// The blob as a fixed array, exactly as the library exports it.
template <class Item>
inline constexpr auto blob = [] {
  constexpr std::size_t n = build_blob<Item>().size();
  std::array<std::uint8_t, n> out{};
  const std::vector<std::uint8_t> bytes = build_blob<Item>();
  for (std::size_t i = 0; i < n; ++i) out[i] = bytes[i];
  return out;
}();

template <std::size_t N>
constexpr std::uint16_t checksum_of(const std::array<std::uint8_t, N>& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (std::uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001b3ULL;
  }
  return static_cast<std::uint16_t>(h ^ (h >> 16) ^ (h >> 32) ^ (h >> 48));
}

template <class Item>
inline constexpr std::uint16_t checksum = checksum_of(blob<Item>);

}  // namespace orvane::ffi::meta
