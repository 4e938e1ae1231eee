// Lookups over the constant vital catalogue.
//
// Names match byte for byte, with their length: no trimming, no case folding,
// no prefixes. The session resolves signal keys on every call, so the id
// resolution walks the constant rows without allocating; only the public
// results are materialised as owned strings.
#include "registry/registry.hpp"

#include "registry/table.hpp"

namespace orvane {
namespace {

using registry_detail::DerivationRow;
using registry_detail::VitalRow;

const VitalRow* find_row(std::string_view name) {
  for (const VitalRow& row : registry_detail::vital_rows()) {
    if (row.id == name) return &row;
    for (std::string_view alias : row.aliases.view()) {
      if (alias == name) return &row;
    }
  }
  return nullptr;
}

Derivation to_derivation(const DerivationRow& row) {
  Derivation d;
  d.inputs.reserve(row.inputs.count);
  for (std::string_view input : row.inputs.view()) d.inputs.emplace_back(input);
  d.method = row.method;
  d.min_window_seconds = row.min_window_seconds;
  d.preferred_window_seconds = row.preferred_window_seconds;
  d.update_interval_seconds = row.update_interval_seconds;
  d.min_value = row.min_value;
  d.max_value = row.max_value;
  d.stage = row.stage;
  return d;
}

// The display fields shared by VitalDefinition and VitalInfo.
template <typename Out>
void copy_display_fields(const VitalRow& row, Out& out) {
  out.id = row.id;
  out.display_name = row.display_name;
  out.short_name = row.short_name;
  out.unit = row.unit;
  out.color = row.color;
  out.emoji = row.emoji;
}

}  // namespace

std::optional<VitalDefinition> lookup_vital(std::string_view id) {
  const VitalRow* row = find_row(id);
  if (row == nullptr) return std::nullopt;
  VitalDefinition def;
  copy_display_fields(*row, def);
  def.derivations.reserve(row->derivations.count);
  for (const DerivationRow& d : row->derivations.view()) def.derivations.push_back(to_derivation(d));
  def.waveform = row->waveform;
  def.derived = row->derived;
  return def;
}

std::optional<std::string_view> canonical_vital_id(std::string_view id) {
  const VitalRow* row = find_row(id);
  if (row == nullptr) return std::nullopt;
  return row->id;
}

std::optional<VitalInfo> get_vital_info(std::string_view vital_id) {
  const VitalRow* row = find_row(vital_id);
  if (row == nullptr) return std::nullopt;
  VitalInfo info;
  copy_display_fields(*row, info);
  // Only the first derivation speaks for the vital; the four numbers are
  // present or absent together.
  if (row->derivations.count > 0) {
    const DerivationRow& first = row->derivations.items[0];
    info.min_value = first.min_value;
    info.max_value = first.max_value;
    info.min_window_seconds = first.min_window_seconds;
    info.preferred_window_seconds = first.preferred_window_seconds;
  }
  return info;
}

}  // namespace orvane
