// Small builders shared by the session tests and benchmark: evenly spaced
// capture times, synthetic waveforms and batches.
#pragma once

#include <cmath>
#include <cstddef>
#include <map>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "types/types.hpp"

namespace orvane::fixtures {

// Capture times (s) of frames first .. first + count - 1 at `fps` Hz.
inline std::vector<double> frame_times(std::size_t first, std::size_t count, double fps) {
  std::vector<double> t(count);
  for (std::size_t i = 0; i < count; ++i) t[i] = static_cast<double>(first + i) / fps;
  return t;
}

// offset + amplitude * sin(2 pi hz t) at frames first .. first + count - 1.
inline std::vector<float> sine(std::size_t first, std::size_t count, double fps, double hz,
                               double amplitude = 1.0, double offset = 0.0) {
  std::vector<float> x(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(first + i) / fps;
    x[i] = static_cast<float>(offset + amplitude * std::sin(2.0 * std::numbers::pi * hz * t));
  }
  return x;
}

inline std::vector<float> constant(std::size_t count, float value) {
  return std::vector<float>(count, value);
}

inline SignalInput signal(std::vector<float> data, float confidence = 1.0f) {
  SignalInput s;
  s.confidence.assign(data.size(), confidence);
  s.data = std::move(data);
  return s;
}

// A batch of the given capture times and signals (confidence 1), no face.
inline SessionInput batch(std::vector<double> timestamps,
                          std::map<std::string, std::vector<float>> signals = {}) {
  SessionInput input;
  input.timestamp = std::move(timestamps);
  for (auto& [name, data] : signals) input.signals[name] = signal(std::move(data));
  return input;
}

inline SessionConfig config(std::vector<std::string> vitals, float fps = 30.0f,
                            std::optional<std::vector<std::string>> waveforms = std::nullopt,
                            std::optional<bool> rolling = std::nullopt) {
  SessionConfig c;
  c.model_name = "model-x";
  c.supported_vitals = std::move(vitals);
  c.return_waveforms = std::move(waveforms);
  c.fps_target = fps;
  c.input_size = 72;
  c.n_inputs = 4;
  c.roi_method = "Face";
  c.estimate_rolling_vitals = rolling;
  return c;
}

}  // namespace orvane::fixtures
