#include "ffi/utf8.hpp"

#include <cstddef>
#include <cstdint>

namespace orvane::ffi {
namespace {

bool in(std::uint8_t b, std::uint8_t lo, std::uint8_t hi) { return b >= lo && b <= hi; }

// Allowed range of the first continuation byte after a multi-byte lead.
struct SecondByte {
  std::uint8_t lo;
  std::uint8_t hi;
};

SecondByte second_byte_range(std::uint8_t lead) {
  switch (lead) {
    case 0xE0: return {0xA0, 0xBF};
    case 0xED: return {0x80, 0x9F};
    case 0xF0: return {0x90, 0xBF};
    case 0xF4: return {0x80, 0x8F};
    default: return {0x80, 0xBF};
  }
}

// Total length of the sequence a lead byte starts; 0 for a byte that cannot lead.
std::size_t sequence_length(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (in(lead, 0xC2, 0xDF)) return 2;
  if (in(lead, 0xE0, 0xEF)) return 3;
  if (in(lead, 0xF0, 0xF4)) return 4;
  return 0;
}

std::string invalid(std::size_t error_len, std::size_t index) {
  return "invalid utf-8 sequence of " + std::to_string(error_len) + " bytes from index " +
         std::to_string(index);
}

std::string incomplete(std::size_t index) {
  return "incomplete utf-8 byte sequence from index " + std::to_string(index);
}

}  // namespace

std::optional<std::string> utf8_error(std::string_view text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t lead = bytes[i];
    const std::size_t width = sequence_length(lead);
    if (width == 1) {
      ++i;
      continue;
    }
    if (width == 0) return invalid(1, i);
    // Check each following byte in order; the first one missing makes the
    // input incomplete, the first one out of range ends the invalid prefix.
    for (std::size_t k = 1; k < width; ++k) {
      if (i + k >= n) return incomplete(i);
      const SecondByte range = k == 1 ? second_byte_range(lead) : SecondByte{0x80, 0xBF};
      if (!in(bytes[i + k], range.lo, range.hi)) return invalid(k, i);
    }
    i += width;
  }
  return std::nullopt;
}

}  // namespace orvane::ffi
