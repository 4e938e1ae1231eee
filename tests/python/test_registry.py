"""get_vital_info: ids, aliases and the numbers of the first derivation."""

import numpy as np
import pytest

import orvane_core as oc


def f32(v):
    return float(np.float32(v))


class TestVitalInfoNormal:
    @pytest.mark.parametrize("name", ["heart_rate", "hr", "pulse", "hr_ppg"])
    def test_aliases_report_the_canonical_id(self, name):
        info = oc.get_vital_info(name)
        assert info.id == "heart_rate" and info.display_name == "Heart Rate"
        assert (info.short_name, info.unit, info.color) == ("HR", "bpm", "#E62100")
        assert info.emoji == "\u2764\ufe0f"

    @pytest.mark.parametrize("name, numbers", [
        ("sbp", (60, 280, 5, 10)),  # the first derivation's numbers
        ("hrv_sdnn", (1, 200, 20, 120)),
        ("pwv", (f32(0.2), f32(0.6), 1, 5)),
        ("rr", (3, 60, 10, 30)),
    ])
    def test_numbers_of_the_first_derivation(self, name, numbers):
        info = oc.get_vital_info(name)
        assert (info.min_value, info.max_value, info.min_window_seconds,
                info.preferred_window_seconds) == numbers

    @pytest.mark.parametrize("name", ["ppg_waveform", "abp_waveform", "respiratory_waveform",
                                      "pwa", "pwp"])
    def test_waveforms_have_no_numbers(self, name):
        info = oc.get_vital_info(name)
        assert info.id == name
        assert (info.min_value, info.max_value, info.min_window_seconds,
                info.preferred_window_seconds) == (None, None, None, None)

    @pytest.mark.parametrize("name", ["HR", "Heart_Rate", " hr", "hr ", "", "hr\0"])
    def test_unknown_ids_give_none(self, name):
        assert oc.get_vital_info(name) is None


class TestVitalInfoWrong:
    @pytest.mark.parametrize("value", [None, 1, b"hr", ["hr"]])
    def test_id_must_be_a_str(self, value):
        with pytest.raises(TypeError, match="^argument 'vital_id': "):
            oc.get_vital_info(value)
