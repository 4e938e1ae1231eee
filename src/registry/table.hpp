// Constant rows of the vital catalogue (internal to the registry).
//
// Rows hold string views and fixed-capacity lists so the whole table is
// constant-initialised: no std::string is built before a lookup asks for one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

#include "registry/registry.hpp"

namespace orvane::registry_detail {

// A list of at most N items, usable in constant expressions.
template <typename T, std::size_t N>
struct SmallList {
  std::array<T, N> items{};
  std::size_t count = 0;

  constexpr SmallList() = default;
  constexpr SmallList(std::initializer_list<T> init) {
    // Exceeding the capacity is a table typo; in a constant expression the
    // throw turns it into a compile error.
    if (init.size() > N) throw "SmallList capacity exceeded";
    for (const T& item : init) items[count++] = item;
  }

  constexpr std::span<const T> view() const { return {items.data(), count}; }
};

struct DerivationRow {
  SmallList<std::string_view, 2> inputs;
  DerivationMethod method;
  float min_window_seconds = 0;        // s
  float preferred_window_seconds = 0;  // s
  float update_interval_seconds = 0;   // s
  float min_value = 0;                 // vital's unit, inclusive
  float max_value = 0;                 // vital's unit, inclusive
  std::uint8_t stage = 0;              // 0, 1 or 2
};

struct VitalRow {
  std::string_view id;
  SmallList<std::string_view, 3> aliases;
  std::string_view display_name;
  std::string_view short_name;
  std::string_view unit;
  std::string_view color;
  std::string_view emoji;  // UTF-8 bytes
  SmallList<DerivationRow, 2> derivations;
  std::optional<WaveformSpec> waveform;
  bool derived = false;
};

// All rows, in catalogue order.
std::span<const VitalRow> vital_rows();

}  // namespace orvane::registry_detail
