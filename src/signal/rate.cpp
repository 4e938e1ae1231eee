// Rate from the intervals between neighbouring detections of one sequence.
#include "signal/rate.hpp"

#include <cmath>
#include <vector>

#include "types/numeric.hpp"

namespace orvane {

namespace {

// Coefficient of variation at which the regularity score reaches zero.
constexpr float kIrregularCv = 0.3f;

}  // namespace

double detection_time(float position, std::span<const double> timestamps, float fs) {
  const double untimed = static_cast<double>(position) / static_cast<double>(fs);
  if (timestamps.empty()) return untimed;
  const float floored = std::floor(position);
  const std::uint64_t i = to_u64(floored < 0.0f ? 0.0f : floored);
  const double fraction = static_cast<double>(position - static_cast<float>(i));
  const std::size_t count = timestamps.size();
  if (i < count - 1) return timestamps[i] + fraction * (timestamps[i + 1] - timestamps[i]);
  if (i < count) return timestamps[i] + fraction / static_cast<double>(fs);
  return untimed;
}

RateEstimate estimate_rate_from_detections(std::span<const PeakSequence> sequences,
                                           std::span<const double> timestamps,
                                           std::span<const float> confidence, float fs) {
  std::vector<float> intervals;
  std::vector<float> confidences;
  for (const PeakSequence& sequence : sequences) {
    for (std::size_t k = 1; k < sequence.size(); ++k) {
      const Peak& p = sequence[k - 1];
      const Peak& q = sequence[k];
      const float delta = static_cast<float>(detection_time(q.position, timestamps, fs) -
                                             detection_time(p.position, timestamps, fs));
      if (!(delta > 0.0f)) continue;
      intervals.push_back(delta);
      if (p.index < confidence.size() && q.index < confidence.size()) {
        confidences.push_back(confidence[p.index]);
        confidences.push_back(confidence[q.index]);
      }
    }
  }
  if (intervals.empty()) return {kPeakDetection, 0.0f, 0.0f};

  const float count = static_cast<float>(intervals.size());
  const float mean = ordered_sum(intervals) / count;
  float squares = 0.0f;
  for (const float v : intervals) squares += (v - mean) * (v - mean);
  const float sd = std::sqrt(squares / count);

  // NaN (from a NaN spread) scores as fully irregular.
  const float regularity = mean > 0.0f ? nan_max(0.0f, 1.0f - (sd / mean) / kIrregularCv) : 1.0f;
  float score = regularity;
  if (!confidences.empty()) {
    float confidence_sum = 0.0f;
    for (const float c : confidences) confidence_sum += c;
    score = regularity * (confidence_sum / static_cast<float>(confidences.size()));
  }
  return {kPeakDetection, mean > 0.0f ? 60.0f / mean : 0.0f, score};
}

}  // namespace orvane
