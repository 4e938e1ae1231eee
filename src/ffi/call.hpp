// The one guard every operation entry point goes through.
//
// A call (1) takes ownership of every buffer argument and of the handle's
// reference, so that each is released exactly once on every path; (2) lifts
// the arguments in parameter order, and the first failure becomes status 2
// with "Failed to convert arg '<name>': <reason>" and the zero result, later
// arguments left unexamined; (3) calls the core; (4) lowers the result into a
// value or a new buffer the host owns. An exception escaping the core is a
// broken invariant and ends the process.
//
// How values cross as C parameters and results:
//   f32, f64, u32          the C value
//   bool                   int8_t, 0 or 1 (anything else fails to convert)
//   top-level string       ByteBuffer of raw UTF-8 bytes, no length prefix
//   anything else          ByteBuffer holding one serialised value
//   object                 a counted handle (void*)
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "ffi/bytebuffer.hpp"
#include "ffi/codec.hpp"
#include "ffi/handles.hpp"
#include "ffi/operations.hpp"
#include "orvane_core.h"
#include "types/numeric.hpp"

namespace orvane::ffi {

// ---- Arguments ----------------------------------------------------------------

template <class T>
inline constexpr bool kPassedAsCValue =
    std::is_same_v<T, float> || std::is_same_v<T, double> || std::is_same_v<T, std::uint32_t>;

// One argument as it arrived, owned by the call until it ends.
template <class T>
class Incoming {
 public:
  using Raw = std::conditional_t<kPassedAsCValue<T>, T,
                                 std::conditional_t<std::is_same_v<T, bool>, std::int8_t,
                                                    ByteBuffer>>;

  explicit Incoming(Raw raw) noexcept : raw_(raw) {}

  // nullopt on success, else the reason.
  std::optional<std::string> lift(T& out) const {
    if constexpr (kPassedAsCValue<T>) {
      out = raw_;
    } else if constexpr (std::is_same_v<T, bool>) {
      if (raw_ != 0 && raw_ != 1) return "unexpected byte for Boolean";
      out = raw_ == 1;
    } else if constexpr (std::is_same_v<T, std::string>) {
      // A top-level string is its bytes alone, taken as the host gave them.
      const auto bytes = raw_.bytes();
      out.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    } else {
      return lift_value(raw_.bytes(), out);
    }
    return std::nullopt;
  }

 private:
  std::conditional_t<std::is_same_v<Raw, ByteBuffer>, OwnedBuffer, Raw> raw_;
};

// ---- Results ------------------------------------------------------------------

template <class R>
struct Outgoing {
  using Raw = ByteBuffer;
  static ByteBuffer from(const R& value) { return lower_value(value); }
};
template <>
struct Outgoing<void> {
  using Raw = void;
};
template <>
struct Outgoing<bool> {
  using Raw = std::int8_t;
  static std::int8_t from(bool value) { return value ? 1 : 0; }
};
template <class R>
  requires kPassedAsCValue<R>
struct Outgoing<R> {
  using Raw = R;
  static R from(R value) { return value; }
};
template <class T>
struct Outgoing<Handle<T>> {
  using Raw = void*;
  static void* from(void* handle) { return handle; }
};

template <class Op>
using RawResult = typename Outgoing<typename Op::Result>::Raw;

// ---- The guard ----------------------------------------------------------------

namespace detail {

void report_conversion_failure(CallStatus* status, std::string_view arg,
                               const std::string& reason);
[[noreturn]] void escaped_exception(std::string_view operation, const char* what) noexcept;

// Converts the raw arguments and hands the lifted values to `body`.
template <class Op, class Body, class... Raw, std::size_t... I>
RawResult<Op> convert_and_run(CallStatus* status, Body&& body, std::index_sequence<I...>,
                              Raw... raw) {
  using Args = typename Op::Args;
  static_assert(sizeof...(Raw) == std::tuple_size_v<Args>, "one raw value per argument");
  static_assert((std::is_same_v<Raw, typename Incoming<std::tuple_element_t<I, Args>>::Raw> && ...),
                "raw parameter types must match the descriptor");

  // Ownership first: from here every buffer is released exactly once.
  std::tuple<Incoming<std::tuple_element_t<I, Args>>...> incoming{raw...};

  Args values{};
  std::optional<std::string> reason;
  std::size_t failed = 0;
  [[maybe_unused]] const auto lift_one = [&](auto index) {
    constexpr std::size_t i = decltype(index)::value;
    reason = std::get<i>(incoming).lift(std::get<i>(values));
    failed = i;
    return !reason.has_value();
  };
  if (!(lift_one(std::integral_constant<std::size_t, I>{}) && ...)) {
    report_conversion_failure(status, Op::arg_names[failed], *reason);
    if constexpr (!std::is_void_v<RawResult<Op>>) return RawResult<Op>{};
    else return;
  }

  using Out = Outgoing<typename Op::Result>;
  if constexpr (std::is_void_v<RawResult<Op>>) {
    std::apply(body, values);
  } else {
    return Out::from(std::apply(body, values));
  }
}

}  // namespace detail

// Functions and constructors: ffi_call<Op>(status, raw args...).
// Methods: ffi_call<Op>(status, handle, raw args...); the handle's reference
// is consumed whatever happens.
template <class Op, class... Raw>
RawResult<Op> ffi_call(CallStatus* status, Raw... raw) noexcept {
  try {
    if constexpr (Op::kind == ops::Kind::Method) {
      return [status](void* handle, auto... args) {
        const ConsumedRef<typename Op::Object> self(handle);
        return detail::convert_and_run<Op>(
            status, [&](auto&... values) { return Op::call(self.get(), values...); },
            std::make_index_sequence<sizeof...(args)>{}, args...);
      }(raw...);
    } else if constexpr (Op::kind == ops::Kind::Constructor) {
      return detail::convert_and_run<Op>(
          status,
          [](auto&... values) {
            return Counted<typename Op::Object>::create(std::move(values)...);
          },
          std::make_index_sequence<sizeof...(raw)>{}, raw...);
    } else {
      return detail::convert_and_run<Op>(
          status, [](auto&... values) { return Op::call(values...); },
          std::make_index_sequence<sizeof...(raw)>{}, raw...);
    }
  } catch (const std::exception& e) {
    detail::escaped_exception(Op::name, e.what());
  } catch (...) {
    detail::escaped_exception(Op::name, "unknown exception");
  }
}

}  // namespace orvane::ffi
