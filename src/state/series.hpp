// Per-frame history of one signal's values (or confidences).
//
// Each stored frame keeps the sum and the count of the values received for
// it, so frames that arrive in several overlapping batches average out:
//   value[i] = sums[i] / counts[i]   (0 where counts[i] is 0)
// The value is kept beside them, updated whenever the frame changes, so that
// reading the whole series is a plain copy. Rings of equal length; dropping
// the oldest frames moves nothing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace orvane {

class Series {
 public:
  // Merges the first min(len(values), size(), overlap_count) values into the
  // newest stored frames and appends the rest, forward-filling NaNs.
  void push(std::span<const float> values, std::uint64_t overlap_count);

  // sums[i] / counts[i] per frame, 0 where the count is 0; oldest first.
  std::vector<float> averaged() const;

  // Keeps the newest `keep` frames.
  void truncate_front(std::uint64_t keep);

  void clear();

  std::size_t size() const { return std::min({sums_.size(), counts_.size(), means_.size()}); }

 private:
  std::deque<float> sums_;
  std::deque<std::uint32_t> counts_;
  std::deque<float> means_;  // sums_[i] / counts_[i]
};

}  // namespace orvane
