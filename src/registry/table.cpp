// The catalogue of known vitals, as constant data.
//
// Per derivation: min window H (s), preferred window R (s), rolling update
// interval I (s), plausible range [min, max] in the vital's unit (also the
// per-minute search band of Rate), and the evaluation stage. Fractional
// constants are the float32 nearest the decimals written.
#include <array>
#include <cstddef>

#include "registry/table.hpp"

namespace orvane::registry_detail {
namespace {

using Kind = DerivationMethod::Kind;

constexpr DerivationMethod rate_periodogram(float resolution_hz) {
  DerivationMethod m;
  m.kind = Kind::Rate;
  m.rate = RateMethod::periodogram(resolution_hz);
  return m;
}

constexpr DerivationMethod hrv(HrvMetric metric) {
  DerivationMethod m;
  m.kind = Kind::Hrv;
  m.hrv = metric;
  return m;
}

constexpr DerivationMethod plain(Kind kind) {
  DerivationMethod m;
  m.kind = kind;
  return m;
}

constexpr DerivationRow derivation(SmallList<std::string_view, 2> inputs, DerivationMethod method,
                                   float min_window, float preferred_window,
                                   float update_interval, float min_value, float max_value,
                                   std::uint8_t stage) {
  return DerivationRow{inputs,    method,    min_window, preferred_window, update_interval,
                       min_value, max_value, stage};
}

// Display symbols, UTF-8.
constexpr std::string_view kRedHeart = "\xE2\x9D\xA4\xEF\xB8\x8F";  // U+2764 U+FE0F
constexpr std::string_view kLungs = "\xF0\x9F\xAB\x81";             // U+1FAC1
constexpr std::string_view kZap = "\xE2\x9A\xA1\xEF\xB8\x8F";       // U+26A1 U+FE0F
constexpr std::string_view kBlood = "\xF0\x9F\xA9\xB8";             // U+1FA78
constexpr std::string_view kBeatingHeart = "\xF0\x9F\x92\x93";      // U+1F493
constexpr std::string_view kBubbles = "\xF0\x9F\xAB\xA7";           // U+1FAE7

constexpr std::string_view kRed = "#E62100";
constexpr std::string_view kBlue = "#00A3FC";
constexpr std::string_view kOrange = "#FF8A00";
constexpr std::string_view kViolet = "#7B61FF";
constexpr std::string_view kMagenta = "#D81BA7";
constexpr std::string_view kTeal = "#00C7BE";

constexpr WaveformSpec kPpgSpec{0.67f, 3.67f, 5.0f, WaveformProcessing::MovingAverageStandardize};
constexpr WaveformSpec kRespSpec{0.05f, 1.0f, 10.0f,
                                 WaveformProcessing::MovingAverageStandardize};
constexpr WaveformSpec kAbpSpec{std::nullopt, std::nullopt, 5.0f, WaveformProcessing::None};

constexpr DerivationRow hrv_from_ppg(HrvMetric metric, float min_window, float preferred_window,
                                     float min_value, float max_value) {
  return derivation({"ppg_waveform"}, hrv(metric), min_window, preferred_window, 5, min_value,
                    max_value, 1);
}

constexpr std::array<VitalRow, 21> kRows{{
    {.id = "heart_rate",
     .aliases = {"hr", "pulse", "hr_ppg"},
     .display_name = "Heart Rate",
     .short_name = "HR",
     .unit = "bpm",
     .color = kRed,
     .emoji = kRedHeart,
     .derivations = {derivation({"ppg_waveform"}, rate_periodogram(0.005f), 5, 10, 1, 40, 220, 0)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "respiratory_rate",
     .aliases = {"rr", "resp_rate"},
     .display_name = "Respiratory Rate",
     .short_name = "RR",
     .unit = "bpm",
     .color = kBlue,
     .emoji = kLungs,
     .derivations = {derivation({"respiratory_waveform"}, rate_periodogram(0.01f), 10, 30, 1, 3,
                                60, 0)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "stress_index",
     .aliases = {"si"},
     .display_name = "Stress Index",
     .short_name = "SI",
     .unit = "SI",
     .color = kOrange,
     .emoji = kZap,
     .derivations = {hrv_from_ppg(HrvMetric::StressIndex, 55, 120, 0, 1000)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "pulse_pressure",
     .aliases = {"pp"},
     .display_name = "Pulse Pressure",
     .short_name = "PP",
     .unit = "mmHg",
     .color = kViolet,
     .emoji = kBlood,
     .derivations = {derivation({"abp_waveform"}, plain(Kind::WaveformPulsePressure), 5, 10, 1,
                                10, 100, 1),
                     derivation({"sbp", "dbp"}, plain(Kind::PulsePressureFromPressures), 5, 10,
                                1, 10, 100, 2)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "ppg_waveform",
     .aliases = {"ppg", "ppg_ir"},
     .display_name = "PPG Waveform",
     .short_name = "PPG",
     .unit = "unitless",
     .color = kRed,
     .emoji = kRedHeart,
     .derivations = {},
     .waveform = kPpgSpec,
     .derived = false},
    {.id = "abp_waveform",
     .aliases = {"abp"},
     .display_name = "ABP Waveform",
     .short_name = "ABP",
     .unit = "mmHg",
     .color = kViolet,
     .emoji = kBlood,
     .derivations = {},
     .waveform = kAbpSpec,
     .derived = false},
    {.id = "sbp",
     .aliases = {"bp_sys", "systolic"},
     .display_name = "Systolic Blood Pressure",
     .short_name = "SBP",
     .unit = "mmHg",
     .color = kViolet,
     .emoji = kBlood,
     .derivations = {derivation({"abp_waveform"}, plain(Kind::WaveformSystolic), 5, 10, 1, 60,
                                280, 1),
                     derivation({"sbp"}, plain(Kind::Mean), 5, 10, 1, 60, 280, 1)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "dbp",
     .aliases = {"bp_dia", "diastolic"},
     .display_name = "Diastolic Blood Pressure",
     .short_name = "DBP",
     .unit = "mmHg",
     .color = kViolet,
     .emoji = kBlood,
     .derivations = {derivation({"abp_waveform"}, plain(Kind::WaveformDiastolic), 5, 10, 1, 40,
                                140, 1),
                     derivation({"dbp"}, plain(Kind::Mean), 5, 10, 1, 40, 140, 1)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "map",
     .aliases = {"mean_arterial_pressure"},
     .display_name = "Mean Arterial Pressure",
     .short_name = "MAP",
     .unit = "mmHg",
     .color = kViolet,
     .emoji = kBlood,
     .derivations = {derivation({"abp_waveform"}, plain(Kind::Mean), 5, 10, 1, 40, 200, 1),
                     derivation({"sbp", "dbp"}, plain(Kind::MeanArterialFromPressures), 5, 10, 1,
                                40, 200, 2)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "pwa",
     .aliases = {},
     .display_name = "Pulse Wave Arrival",
     .short_name = "PWA",
     .unit = "unitless",
     .color = kRed,
     .emoji = kRedHeart,
     .derivations = {},
     .waveform = std::nullopt,
     .derived = false},
    {.id = "pwp",
     .aliases = {},
     .display_name = "Pulse Wave Peak",
     .short_name = "PWP",
     .unit = "unitless",
     .color = kRed,
     .emoji = kRedHeart,
     .derivations = {},
     .waveform = std::nullopt,
     .derived = false},
    {.id = "ptt",
     .aliases = {},
     .display_name = "Pulse Transit Time",
     .short_name = "PTT",
     .unit = "ms",
     .color = kRed,
     .emoji = kRedHeart,
     .derivations = {derivation({"ptt"}, plain(Kind::Mean), 1, 5, 1, 100, 400, 0)},
     .waveform = std::nullopt,
     .derived = false},
    {.id = "pwv",
     .aliases = {},
     .display_name = "Pulse Wave Velocity",
     .short_name = "PWV",
     .unit = "cm/ms",
     .color = kRed,
     .emoji = kRedHeart,
     .derivations = {derivation({"pwv"}, plain(Kind::Mean), 1, 5, 1, 0.2f, 0.6f, 0)},
     .waveform = std::nullopt,
     .derived = false},
    {.id = "respiratory_waveform",
     .aliases = {"resp", "resp_waveform"},
     .display_name = "Resp Waveform",
     .short_name = "RESP",
     .unit = "unitless",
     .color = kBlue,
     .emoji = kLungs,
     .derivations = {},
     .waveform = kRespSpec,
     .derived = false},
    {.id = "hrv_sdnn",
     .aliases = {"sdnn"},
     .display_name = "Heart Rate Variability (SDNN)",
     .short_name = "SDNN",
     .unit = "ms",
     .color = kMagenta,
     .emoji = kBeatingHeart,
     .derivations = {hrv_from_ppg(HrvMetric::Sdnn, 20, 120, 1, 200)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "hrv_rmssd",
     .aliases = {"rmssd"},
     .display_name = "Heart Rate Variability (RMSSD)",
     .short_name = "RMSSD",
     .unit = "ms",
     .color = kMagenta,
     .emoji = kBeatingHeart,
     .derivations = {hrv_from_ppg(HrvMetric::Rmssd, 20, 60, 1, 200)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "hrv_lfhf",
     .aliases = {"lfhf"},
     .display_name = "Heart Rate Variability (LF/HF)",
     .short_name = "LF/HF",
     .unit = "ratio",
     .color = kMagenta,
     .emoji = kBeatingHeart,
     .derivations = {hrv_from_ppg(HrvMetric::LfHf, 55, 120, 0, 10)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "hrv_pnn50",
     .aliases = {"pnn50"},
     .display_name = "Heart Rate Variability (pNN50)",
     .short_name = "pNN50",
     .unit = "%",
     .color = kMagenta,
     .emoji = kBeatingHeart,
     .derivations = {hrv_from_ppg(HrvMetric::Pnn50, 30, 60, 0, 100)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "hrv_sd1sd2",
     .aliases = {"sd1sd2"},
     .display_name = "Heart Rate Variability (SD1/SD2)",
     .short_name = "SD1/SD2",
     .unit = "ratio",
     .color = kMagenta,
     .emoji = kBeatingHeart,
     .derivations = {hrv_from_ppg(HrvMetric::Sd1Sd2, 55, 120, 0, 1)},
     .waveform = std::nullopt,
     .derived = true},
    {.id = "spo2",
     .aliases = {},
     .display_name = "SpO2",
     .short_name = "SpO2",
     .unit = "%",
     .color = kTeal,
     .emoji = kBubbles,
     .derivations = {derivation({"spo2"}, plain(Kind::Mean), 1, 5, 1, 70, 100, 0)},
     .waveform = std::nullopt,
     .derived = false},
    {.id = "ie_ratio",
     .aliases = {"resp_ie"},
     .display_name = "I:E Ratio",
     .short_name = "I:E",
     .unit = "ratio",
     .color = kBlue,
     .emoji = kLungs,
     .derivations = {derivation({"respiratory_waveform"}, plain(Kind::IeRatio), 15, 30, 1, 0.2f,
                                5, 1)},
     .waveform = std::nullopt,
     .derived = true},
}};

// Every id and alias must be non-empty and name exactly one entry, otherwise
// a lookup would depend on row order.
constexpr bool names_are_unique_and_nonempty() {
  std::array<std::string_view, 21 * 4> names{};
  std::size_t n = 0;
  for (const VitalRow& row : kRows) {
    names[n++] = row.id;
    for (std::string_view alias : row.aliases.view()) names[n++] = alias;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (names[i].empty()) return false;
    for (std::size_t j = i + 1; j < n; ++j) {
      if (names[i] == names[j]) return false;
    }
  }
  return true;
}
static_assert(names_are_unique_and_nonempty(), "duplicate or empty vital id or alias");

}  // namespace

std::span<const VitalRow> vital_rows() { return kRows; }

}  // namespace orvane::registry_detail
