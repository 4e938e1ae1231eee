#include "state/series.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane {

namespace {

// Value of one stored frame: the mean of what was received for it.
float entry_value(float sum, std::uint32_t count) {
  return count == 0 ? 0.0f : sum / static_cast<float>(count);
}

template <typename Ring>
void drop_oldest(Ring& ring, std::uint64_t keep) {
  // Erasing at the front of a deque leaves the kept frames where they are.
  if (ring.size() > keep) ring.erase(ring.begin(), ring.end() - static_cast<std::ptrdiff_t>(keep));
}

}  // namespace

void Series::push(std::span<const float> values, std::uint64_t overlap_count) {
  const std::size_t stored = size();
  const std::size_t merged = static_cast<std::size_t>(
      std::min<std::uint64_t>({values.size(), stored, overlap_count}));

  // The batch's leading frames were stored by earlier batches: they line up
  // with the newest stored frames and add to their means. A NaN carries no
  // information and leaves the frame as it was.
  for (std::size_t i = 0; i < merged; ++i) {
    const float v = values[i];
    if (std::isnan(v)) continue;
    const std::size_t j = stored - merged + i;
    // A count at its maximum would wrap and turn the mean into garbage; the
    // frame has then seen billions of values and one more changes nothing.
    if (counts_[j] == std::numeric_limits<std::uint32_t>::max()) continue;
    sums_[j] += v;
    counts_[j] += 1;
    means_[j] = entry_value(sums_[j], counts_[j]);
  }

  // New frames hold one value each; a NaN repeats the last known value so a
  // dropped sample does not pull the series toward zero.
  float carry = stored == 0 ? 0.0f : means_[stored - 1];
  for (std::size_t i = merged; i < values.size(); ++i) {
    if (!std::isnan(values[i])) carry = values[i];
    sums_.push_back(carry);
    counts_.push_back(1);
    means_.push_back(carry);
  }
}

std::vector<float> Series::averaged() const {
  return std::vector<float>(means_.begin(), means_.begin() + static_cast<std::ptrdiff_t>(size()));
}

void Series::truncate_front(std::uint64_t keep) {
  drop_oldest(sums_, keep);
  drop_oldest(counts_, keep);
  drop_oldest(means_, keep);
}

void Series::clear() {
  sums_.clear();
  counts_.clear();
  means_.clear();
}

}  // namespace orvane
