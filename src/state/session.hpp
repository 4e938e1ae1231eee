// The stateful session: accumulates batches of model output in a bounded
// history and answers each batch with vitals, waveforms and face boxes.
#pragma once

#include <array>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry.hpp"
#include "signal/fft.hpp"
#include "state/series.hpp"
#include "types/types.hpp"

namespace orvane {

inline constexpr std::string_view kDisclaimer =
    "The provided values are estimates and should be interpreted according to the provided "
    "confidence scores. The Orvane API is not a medical device and its estimates are not "
    "intended for any medical purposes.";

inline constexpr double kTimestampTolerance = 0.005;  // seconds

struct SessionCore {
  SessionConfig config;
  SpectralWorkspace workspace;
  std::vector<double> timestamps;                // seconds, oldest first
  std::vector<std::array<float, 4>> face_boxes;  // one per stored frame
  std::vector<float> face_confidences;           // one per stored frame
  std::vector<std::string> vital_ids;            // evaluation order
  std::map<std::string, VitalDefinition> definitions;
  std::map<std::string, Series> signal_series;
  std::map<std::string, Series> confidence_series;
  double last_emitted_timestamp = -1.0;
  std::uint64_t max_frames = 0;
};

// process and reset serialise on the session's own lock.
class Session {
 public:
  explicit Session(SessionConfig config);

  SessionResult process(const SessionInput& input, const WaveformMode& mode);
  void reset();

 private:
  std::mutex mutex_;
  SessionCore core_;
};

}  // namespace orvane
