#include "score_sound.hpp"

#include <algorithm>
#include <cctype>
#include <map>

namespace score {

bool on_off(std::string_view value, position at, const std::string& key) {
    if (value == "on" || value == "yes") return true;
    if (value == "off" || value == "no") return false;
    fail_at(at, key + " takes on or off, not \"" + std::string(value) + "\"");
}

setting_word parse_setting(const word& w) {
    const size_t equals = w.text.find('=');
    const std::string key = lower(std::string_view(w.text).substr(0, equals));
    const std::string value = w.text.substr(equals + 1);
    const position at = shifted(w.at, equals + 1);
    auto byte_setting = [&](int sound::*field) -> setting_word {
        const int v = static_cast<int>(number_in(value, at, 0, 255, key));
        return {[field, v](sound& s) { s.*field = v; }};
    };
    if (key == "vol" || key == "volume") return byte_setting(&sound::volume);
    if (key == "attack") return byte_setting(&sound::attack);
    if (key == "decay") return byte_setting(&sound::decay);
    if (key == "sustain") return byte_setting(&sound::sustain);
    if (key == "release") return byte_setting(&sound::release);
    if (key == "pulse") return byte_setting(&sound::pulse);
    if (key == "filter") return byte_setting(&sound::filter);
    if (key == "ctrl" || key == "control") return byte_setting(&sound::control);
    if (key == "sweep") {
        const int v = static_cast<int>(number_in(value, at, -255, 255, key));
        return {[v](sound& s) { s.sweep = v; }};
    }
    if (key == "pan") {
        // C, L, R, LC (left, right side at half), RC, or two codes "left:right".
        static const std::map<std::string, std::pair<int, int>> named{
            {"c", {0, 0}}, {"l", {0, 3}}, {"r", {3, 0}}, {"lc", {0, 1}}, {"rc", {1, 0}}};
        std::pair<int, int> codes;
        if (const auto found = named.find(lower(value)); found != named.end()) {
            codes = found->second;
        } else if (value.size() == 3 && value[1] == ':' && value[0] >= '0' && value[0] <= '3' && value[2] >= '0' &&
                   value[2] <= '3') {
            codes = {value[0] - '0', value[2] - '0'};
        } else {
            fail_at(at, "pan takes C, L, R, LC, RC or left:right codes 0..3, not \"" + value + "\"");
        }
        return {[codes](sound& s) { s.pan_left = codes.first, s.pan_right = codes.second; }};
    }
    if (key == "noise") {
        const bool v = on_off(value, at, key);
        return {[v](sound& s) { s.noise = v; }};
    }
    if (key == "wave") {
        static const std::map<std::string, uint8_t> bits{{"tri", 0x10}, {"saw", 0x20}, {"pulse", 0x40}, {"noise", 0x80}};
        uint8_t wave = 0;
        size_t start = 0;
        while (start <= value.size()) {
            const size_t plus = std::min(value.find('+', start), value.size());
            const auto found = bits.find(lower(std::string_view(value).substr(start, plus - start)));
            if (found == bits.end())
                fail_at(shifted(at, start), "wave takes tri, saw, pulse, noise or a sum like tri+saw");
            wave |= found->second;
            start = plus + 1;
        }
        return {[wave](sound& s) {
                    s.wave = wave;
                    if (wave & 0x80) s.noise = true;
                },
                true};
    }
    if (key == "sync" || key == "ring") {
        const bool v = on_off(value, at, key);
        if (key == "sync") return {[v](sound& s) { s.sync = v; }, true};
        return {[v](sound& s) { s.ring = v; }, true};
    }
    if (key == "test") {
        test_mode mode;
        if (value == "off") mode = test_mode::off;
        else if (value == "start") mode = test_mode::start;
        else if (value == "on") mode = test_mode::on;
        else fail_at(at, "test takes off, start or on, not \"" + value + "\"");
        return {[mode](sound& s) { s.test = mode; }, true};
    }
    if (key == "arp") {
        std::vector<int> steps;
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = std::min(value.find(',', start), value.size());
            steps.push_back(static_cast<int>(
                number_in(std::string_view(value).substr(start, comma - start), shifted(at, start), -24, 24, "arp")));
            start = comma + 1;
        }
        if (steps.size() > 16) fail_at(at, "arp takes at most 16 steps");
        return {[steps](sound& s) { s.arp = steps; }};
    }
    if (key == "bend") {
        // Semitones per frame with up to two decimals: -1.5, 0.25, 2.
        std::string_view v = value;
        const bool negative = !v.empty() && v[0] == '-';
        if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.remove_prefix(1);
        const size_t dot = v.find('.');
        const std::string_view whole = v.substr(0, dot);
        std::string fraction(dot == std::string_view::npos ? "" : v.substr(dot + 1));
        const bool digits_only = std::all_of(whole.begin(), whole.end(), ::isdigit) &&
                                 std::all_of(fraction.begin(), fraction.end(), ::isdigit);
        if (!digits_only || (whole.empty() && fraction.empty()) || fraction.size() > 2 || whole.size() > 2)
            fail_at(at, "bend takes semitones per frame like -1.5 or 0.25, not \"" + value + "\"");
        fraction.resize(2, '0');
        const long hundredths = (whole.empty() ? 0 : std::stol(std::string(whole))) * 100 + std::stol(fraction);
        if (hundredths > 1200) fail_at(at, "bend takes -12 to 12 semitones per frame, not " + value);
        const double per_frame = (negative ? -hundredths : hundredths) / 100.0;
        return {[per_frame](sound& s) { s.bend = per_frame; }};
    }
    if (key == "vib" || key == "vibrato") {
        const size_t comma = value.find(',');
        if (comma == std::string::npos) fail_at(at, "vib takes depth,period: cents 0..200 and frames 2..255");
        const int depth = static_cast<int>(number_in(value.substr(0, comma), at, 0, 200, "vib depth"));
        const int period = static_cast<int>(
            number_in(value.substr(comma + 1), shifted(at, comma + 1), 2, 255, "vib period"));
        return {[depth, period](sound& s) { s.vibrato_depth = depth, s.vibrato_period = period; }};
    }
    if (key == "note") {
        const auto note = parse_note(value);
        if (!note || *note < 0 || *note > highest_note) fail_at(at, "note takes a note like C-4, not \"" + value + "\"");
        const int v = *note;
        return {[v](sound& s) { s.note = v; }};
    }
    fail_at(w.at, "unknown setting \"" + key + "\"");
}

}  // namespace score
