// The vital catalogue: every entry's names, display fields, first-derivation
// numbers, derivations and waveform specs; exact-match refusals; and that
// returned values are independent copies.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "registry/registry.hpp"

using namespace orvane;

namespace {

// UTF-8 encoding of code points, written out here so that the expected emoji
// bytes do not come from the table under test.
std::string utf8(std::initializer_list<char32_t> code_points) {
  std::string out;
  for (char32_t cp : code_points) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

const std::string kRedHeart = utf8({0x2764, 0xFE0F});
const std::string kLungs = utf8({0x1FAC1});
const std::string kZap = utf8({0x26A1, 0xFE0F});
const std::string kBlood = utf8({0x1FA78});
const std::string kBeatingHeart = utf8({0x1F493});
const std::string kBubbles = utf8({0x1FAE7});

// min_value, max_value, min_window_seconds, preferred_window_seconds.
using Four = std::optional<std::array<float, 4>>;

struct EntryCase {
  std::string id;
  std::vector<std::string> aliases;
  std::string display_name;
  std::string short_name;
  std::string unit;
  std::string color;
  std::string emoji;
  Four first;
  bool derived;
  std::size_t derivation_count;
  bool has_waveform;
};

std::ostream& operator<<(std::ostream& os, const EntryCase& c) { return os << c.id; }

class EntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(EntryTest, EveryNameResolvesToTheEntry) {
  const EntryCase& c = GetParam();
  std::vector<std::string> names = c.aliases;
  names.push_back(c.id);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::optional<VitalInfo> info = get_vital_info(name);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->id, c.id);
    EXPECT_EQ(info->display_name, c.display_name);
    EXPECT_EQ(info->short_name, c.short_name);
    EXPECT_EQ(info->unit, c.unit);
    EXPECT_EQ(info->color, c.color);
    EXPECT_EQ(info->emoji, c.emoji);
    ASSERT_EQ(info->min_value.has_value(), c.first.has_value());
    ASSERT_EQ(info->max_value.has_value(), c.first.has_value());
    ASSERT_EQ(info->min_window_seconds.has_value(), c.first.has_value());
    ASSERT_EQ(info->preferred_window_seconds.has_value(), c.first.has_value());
    if (c.first) {
      // Exact: the table holds the float32 nearest each decimal.
      EXPECT_EQ(*info->min_value, (*c.first)[0]);
      EXPECT_EQ(*info->max_value, (*c.first)[1]);
      EXPECT_EQ(*info->min_window_seconds, (*c.first)[2]);
      EXPECT_EQ(*info->preferred_window_seconds, (*c.first)[3]);
    }

    ASSERT_EQ(canonical_vital_id(name), std::optional<std::string_view>(c.id));
    const std::optional<VitalDefinition> def = lookup_vital(name);
    ASSERT_TRUE(def.has_value());
    EXPECT_EQ(def->id, c.id);
    EXPECT_EQ(def->unit, c.unit);
    EXPECT_EQ(def->display_name, c.display_name);
    EXPECT_EQ(def->short_name, c.short_name);
    EXPECT_EQ(def->color, c.color);
    EXPECT_EQ(def->emoji, c.emoji);
    EXPECT_EQ(def->derived, c.derived);
    EXPECT_EQ(def->derivations.size(), c.derivation_count);
    EXPECT_EQ(def->waveform.has_value(), c.has_waveform);
  }
}

using A = std::array<float, 4>;
const Four kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Registry, EntryTest,
    ::testing::Values(
        EntryCase{"heart_rate", {"hr", "pulse", "hr_ppg"}, "Heart Rate", "HR", "bpm", "#E62100",
                  kRedHeart, A{40, 220, 5, 10}, true, 1, false},
        EntryCase{"respiratory_rate", {"rr", "resp_rate"}, "Respiratory Rate", "RR", "bpm",
                  "#00A3FC", kLungs, A{3, 60, 10, 30}, true, 1, false},
        EntryCase{"stress_index", {"si"}, "Stress Index", "SI", "SI", "#FF8A00", kZap,
                  A{0, 1000, 55, 120}, true, 1, false},
        EntryCase{"pulse_pressure", {"pp"}, "Pulse Pressure", "PP", "mmHg", "#7B61FF", kBlood,
                  A{10, 100, 5, 10}, true, 2, false},
        EntryCase{"ppg_waveform", {"ppg", "ppg_ir"}, "PPG Waveform", "PPG", "unitless",
                  "#E62100", kRedHeart, kNone, false, 0, true},
        EntryCase{"abp_waveform", {"abp"}, "ABP Waveform", "ABP", "mmHg", "#7B61FF", kBlood,
                  kNone, false, 0, true},
        EntryCase{"sbp", {"bp_sys", "systolic"}, "Systolic Blood Pressure", "SBP", "mmHg",
                  "#7B61FF", kBlood, A{60, 280, 5, 10}, true, 2, false},
        EntryCase{"dbp", {"bp_dia", "diastolic"}, "Diastolic Blood Pressure", "DBP", "mmHg",
                  "#7B61FF", kBlood, A{40, 140, 5, 10}, true, 2, false},
        EntryCase{"map", {"mean_arterial_pressure"}, "Mean Arterial Pressure", "MAP", "mmHg",
                  "#7B61FF", kBlood, A{40, 200, 5, 10}, true, 2, false},
        EntryCase{"pwa", {}, "Pulse Wave Arrival", "PWA", "unitless", "#E62100", kRedHeart,
                  kNone, false, 0, false},
        EntryCase{"pwp", {}, "Pulse Wave Peak", "PWP", "unitless", "#E62100", kRedHeart, kNone,
                  false, 0, false},
        EntryCase{"ptt", {}, "Pulse Transit Time", "PTT", "ms", "#E62100", kRedHeart,
                  A{100, 400, 1, 5}, false, 1, false},
        EntryCase{"pwv", {}, "Pulse Wave Velocity", "PWV", "cm/ms", "#E62100", kRedHeart,
                  A{0.2f, 0.6f, 1, 5}, false, 1, false},
        EntryCase{"respiratory_waveform", {"resp", "resp_waveform"}, "Resp Waveform", "RESP",
                  "unitless", "#00A3FC", kLungs, kNone, false, 0, true},
        EntryCase{"hrv_sdnn", {"sdnn"}, "Heart Rate Variability (SDNN)", "SDNN", "ms", "#D81BA7",
                  kBeatingHeart, A{1, 200, 20, 120}, true, 1, false},
        EntryCase{"hrv_rmssd", {"rmssd"}, "Heart Rate Variability (RMSSD)", "RMSSD", "ms",
                  "#D81BA7", kBeatingHeart, A{1, 200, 20, 60}, true, 1, false},
        EntryCase{"hrv_lfhf", {"lfhf"}, "Heart Rate Variability (LF/HF)", "LF/HF", "ratio",
                  "#D81BA7", kBeatingHeart, A{0, 10, 55, 120}, true, 1, false},
        EntryCase{"hrv_pnn50", {"pnn50"}, "Heart Rate Variability (pNN50)", "pNN50", "%",
                  "#D81BA7", kBeatingHeart, A{0, 100, 30, 60}, true, 1, false},
        EntryCase{"hrv_sd1sd2", {"sd1sd2"}, "Heart Rate Variability (SD1/SD2)", "SD1/SD2",
                  "ratio", "#D81BA7", kBeatingHeart, A{0, 1, 55, 120}, true, 1, false},
        EntryCase{"spo2", {}, "SpO2", "SpO2", "%", "#00C7BE", kBubbles, A{70, 100, 1, 5}, false,
                  1, false},
        EntryCase{"ie_ratio", {"resp_ie"}, "I:E Ratio", "I:E", "ratio", "#00A3FC", kLungs,
                  A{0.2f, 5, 15, 30}, true, 1, false}),
    [](const auto& info) { return info.param.id; });

TEST(Registry, HeartEmojiIsTheSixUtf8Bytes) {
  const std::string expected = "\xE2\x9D\xA4\xEF\xB8\x8F";
  EXPECT_EQ(get_vital_info("heart_rate")->emoji, expected);
  EXPECT_EQ(kRedHeart, expected);  // the test's own encoder agrees
}

// One row per derivation, in entry order.
struct DerivationCase {
  std::string vital;
  std::size_t index;
  std::vector<std::string> inputs;
  DerivationMethod::Kind kind;
  float resolution_hz;  // Rate only
  HrvMetric metric;     // Hrv only
  float min_window, preferred_window, update_interval, min_value, max_value;
  std::uint8_t stage;
};

std::ostream& operator<<(std::ostream& os, const DerivationCase& c) {
  return os << c.vital << "#" << c.index;
}

class DerivationTest : public ::testing::TestWithParam<DerivationCase> {};

TEST_P(DerivationTest, Matches) {
  const DerivationCase& c = GetParam();
  const std::optional<VitalDefinition> def = lookup_vital(c.vital);
  ASSERT_TRUE(def.has_value());
  ASSERT_LT(c.index, def->derivations.size());
  const Derivation& d = def->derivations[c.index];
  EXPECT_EQ(d.inputs, c.inputs);
  EXPECT_EQ(d.method.kind, c.kind);
  if (c.kind == DerivationMethod::Kind::Rate) {
    EXPECT_EQ(d.method.rate.kind, RateMethod::Kind::Periodogram);
    EXPECT_EQ(d.method.rate.resolution_hz, c.resolution_hz);
  }
  if (c.kind == DerivationMethod::Kind::Hrv) {
    EXPECT_EQ(d.method.hrv, c.metric);
  }
  EXPECT_EQ(d.min_window_seconds, c.min_window);
  EXPECT_EQ(d.preferred_window_seconds, c.preferred_window);
  EXPECT_EQ(d.update_interval_seconds, c.update_interval);
  EXPECT_EQ(d.min_value, c.min_value);
  EXPECT_EQ(d.max_value, c.max_value);
  EXPECT_EQ(d.stage, c.stage);
}

using K = DerivationMethod::Kind;
constexpr HrvMetric kAny = HrvMetric::Sdnn;

INSTANTIATE_TEST_SUITE_P(
    Registry, DerivationTest,
    ::testing::Values(
        DerivationCase{"heart_rate", 0, {"ppg_waveform"}, K::Rate, 0.005f, kAny, 5, 10, 1, 40, 220, 0},
        DerivationCase{"respiratory_rate", 0, {"respiratory_waveform"}, K::Rate, 0.01f, kAny, 10, 30, 1, 3, 60, 0},
        DerivationCase{"stress_index", 0, {"ppg_waveform"}, K::Hrv, 0, HrvMetric::StressIndex, 55, 120, 5, 0, 1000, 1},
        DerivationCase{"pulse_pressure", 0, {"abp_waveform"}, K::WaveformPulsePressure, 0, kAny, 5, 10, 1, 10, 100, 1},
        DerivationCase{"pulse_pressure", 1, {"sbp", "dbp"}, K::PulsePressureFromPressures, 0, kAny, 5, 10, 1, 10, 100, 2},
        DerivationCase{"sbp", 0, {"abp_waveform"}, K::WaveformSystolic, 0, kAny, 5, 10, 1, 60, 280, 1},
        DerivationCase{"sbp", 1, {"sbp"}, K::Mean, 0, kAny, 5, 10, 1, 60, 280, 1},
        DerivationCase{"dbp", 0, {"abp_waveform"}, K::WaveformDiastolic, 0, kAny, 5, 10, 1, 40, 140, 1},
        DerivationCase{"dbp", 1, {"dbp"}, K::Mean, 0, kAny, 5, 10, 1, 40, 140, 1},
        DerivationCase{"map", 0, {"abp_waveform"}, K::Mean, 0, kAny, 5, 10, 1, 40, 200, 1},
        DerivationCase{"map", 1, {"sbp", "dbp"}, K::MeanArterialFromPressures, 0, kAny, 5, 10, 1, 40, 200, 2},
        DerivationCase{"ptt", 0, {"ptt"}, K::Mean, 0, kAny, 1, 5, 1, 100, 400, 0},
        DerivationCase{"pwv", 0, {"pwv"}, K::Mean, 0, kAny, 1, 5, 1, 0.2f, 0.6f, 0},
        DerivationCase{"hrv_sdnn", 0, {"ppg_waveform"}, K::Hrv, 0, HrvMetric::Sdnn, 20, 120, 5, 1, 200, 1},
        DerivationCase{"hrv_rmssd", 0, {"ppg_waveform"}, K::Hrv, 0, HrvMetric::Rmssd, 20, 60, 5, 1, 200, 1},
        DerivationCase{"hrv_lfhf", 0, {"ppg_waveform"}, K::Hrv, 0, HrvMetric::LfHf, 55, 120, 5, 0, 10, 1},
        DerivationCase{"hrv_pnn50", 0, {"ppg_waveform"}, K::Hrv, 0, HrvMetric::Pnn50, 30, 60, 5, 0, 100, 1},
        DerivationCase{"hrv_sd1sd2", 0, {"ppg_waveform"}, K::Hrv, 0, HrvMetric::Sd1Sd2, 55, 120, 5, 0, 1, 1},
        DerivationCase{"spo2", 0, {"spo2"}, K::Mean, 0, kAny, 1, 5, 1, 70, 100, 0},
        DerivationCase{"ie_ratio", 0, {"respiratory_waveform"}, K::IeRatio, 0, kAny, 15, 30, 1, 0.2f, 5, 1}),
    [](const auto& info) { return info.param.vital + "_" + std::to_string(info.param.index); });

TEST(Registry, WaveformSpecs) {
  struct Case {
    const char* id;
    std::optional<float> detrend, smoothing;
    float min_duration;
    WaveformProcessing processing;
  };
  const Case cases[] = {
      {"ppg_waveform", 0.67f, 3.67f, 5, WaveformProcessing::MovingAverageStandardize},
      {"respiratory_waveform", 0.05f, 1.0f, 10, WaveformProcessing::MovingAverageStandardize},
      {"abp_waveform", std::nullopt, std::nullopt, 5, WaveformProcessing::None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const std::optional<VitalDefinition> def = lookup_vital(c.id);
    ASSERT_TRUE(def && def->waveform);
    EXPECT_EQ(def->waveform->detrend_cutoff_hz, c.detrend);
    EXPECT_EQ(def->waveform->smoothing_cutoff_hz, c.smoothing);
    EXPECT_EQ(def->waveform->min_duration_seconds, c.min_duration);
    EXPECT_EQ(def->waveform->processing, c.processing);
  }
}

TEST(Registry, RefusesAnythingButAnExactName) {
  using namespace std::string_literals;
  const std::string refused[] = {
      "HR", "Heart_Rate", "HEART_RATE", " hr", "hr ", "heart_rate\n", "", " ", "heart",
      "heart_rate_", "hrv", "hrv_si", "hrv_stress_index", "unknown",
      "hr\0"s,  // the length counts: an embedded NUL is not the end of the name
  };
  for (const std::string& name : refused) {
    SCOPED_TRACE("'" + name + "'");
    EXPECT_FALSE(lookup_vital(name).has_value());
    EXPECT_FALSE(canonical_vital_id(name).has_value());
    EXPECT_FALSE(get_vital_info(name).has_value());
  }
  // A prefix of a longer buffer matches by its own length only.
  const std::string_view prefix = std::string_view("hr_ppg").substr(0, 2);
  EXPECT_EQ(canonical_vital_id(prefix), std::optional<std::string_view>("heart_rate"));
}

TEST(Registry, LookupsReturnIndependentValues) {
  std::optional<VitalDefinition> first = lookup_vital("sbp");
  ASSERT_TRUE(first.has_value());
  first->id = "changed";
  first->derivations[0].inputs[0] = "changed";
  first->derivations[0].min_value = -1;
  first->derivations.clear();
  first->emoji.clear();

  const std::optional<VitalDefinition> second = lookup_vital("sbp");
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->id, "sbp");
  ASSERT_EQ(second->derivations.size(), 2u);
  EXPECT_EQ(second->derivations[0].inputs, std::vector<std::string>{"abp_waveform"});
  EXPECT_EQ(second->derivations[0].min_value, 60.0f);
  EXPECT_EQ(second->emoji, kBlood);

  std::optional<VitalInfo> info = get_vital_info("sbp");
  info->min_value = 0;
  EXPECT_EQ(get_vital_info("sbp")->min_value, std::optional<float>(60.0f));
}

}  // namespace
