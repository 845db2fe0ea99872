#include "score_sound.hpp"

#include <algorithm>
#include <string>

#include "song/channel_record.hpp"

namespace score {
namespace {

struct named_key {
    std::string_view name;
    setting_key key;
};

constexpr named_key setting_names[] = {
    {"vol", setting_key::volume},      {"volume", setting_key::volume},   {"attack", setting_key::attack},
    {"decay", setting_key::decay},     {"sustain", setting_key::sustain}, {"release", setting_key::release},
    {"pulse", setting_key::pulse},     {"filter", setting_key::filter},   {"ctrl", setting_key::control},
    {"control", setting_key::control}, {"sweep", setting_key::sweep},     {"pan", setting_key::pan},
    {"noise", setting_key::noise},     {"wave", setting_key::wave},       {"sync", setting_key::sync},
    {"ring", setting_key::ring},       {"test", setting_key::test},       {"arp", setting_key::arp},
    {"bend", setting_key::bend},       {"vib", setting_key::vibrato},     {"vibrato", setting_key::vibrato},
    {"note", setting_key::note},
};

// C, L, R, LC (left, right side at half), RC, or two codes "left:right".
int parse_pan(std::string_view value, size_t at) {
    static constexpr std::pair<std::string_view, int> named[] = {
        {"c", 0 * 4 + 0}, {"l", 0 * 4 + 3}, {"r", 3 * 4 + 0}, {"lc", 0 * 4 + 1}, {"rc", 1 * 4 + 0}};
    for (const auto& [name, codes] : named)
        if (same_letters(value, name)) return codes;
    const auto code = [](char c) { return c >= '0' && c <= '3'; };
    if (value.size() == 3 && value[1] == ':' && code(value[0]) && code(value[2]))
        return (value[0] - '0') * 4 + (value[2] - '0');
    fail_at(at, {"pan takes C, L, R, LC, RC or left:right codes 0..3, not ", in_quotes(value)});
}

int parse_wave(std::string_view value, size_t at) {
    static constexpr std::pair<std::string_view, int> bits[] = {{"tri", song::control_triangle},
                                                                {"saw", song::control_sawtooth},
                                                                {"pulse", song::control_pulse},
                                                                {"noise", song::control_noise}};
    int wave = 0;
    size_t start = 0;
    while (start <= value.size()) {
        const size_t plus = std::min(value.find('+', start), value.size());
        const std::string_view part = value.substr(start, plus - start);
        const auto found =
            std::find_if(std::begin(bits), std::end(bits), [&](const auto& b) { return same_letters(part, b.first); });
        if (found == std::end(bits)) fail_at(at + start, "wave takes tri, saw, pulse, noise or a sum like tri+saw");
        wave |= found->second;
        start = plus + 1;
    }
    return wave;
}

arp_steps parse_arp(std::string_view value, size_t at) {
    arp_steps arp;
    size_t start = 0;
    while (start <= value.size()) {
        if (arp.length == max_arp_steps) fail_at(at, {"arp takes at most ", std::to_string(max_arp_steps), " steps"});
        const size_t comma = std::min(value.find(',', start), value.size());
        arp.steps[arp.length++] =
            static_cast<int8_t>(number_in(value.substr(start, comma - start), at + start, -24, 24, "arp"));
        start = comma + 1;
    }
    return arp;
}

// Semitones per frame with up to two decimals: -1.5, 0.25, 2. Gives hundredths.
int parse_bend(std::string_view value, size_t at) {
    std::string_view v = value;
    const bool negative = !v.empty() && v[0] == '-';
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.remove_prefix(1);
    const size_t dot = v.find('.');
    const std::string_view whole = v.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? "" : v.substr(dot + 1);
    const bool digits_only =
        std::all_of(whole.begin(), whole.end(), is_digit) && std::all_of(fraction.begin(), fraction.end(), is_digit);
    if (!digits_only || (whole.empty() && fraction.empty()) || fraction.size() > 2 || whole.size() > 2)
        fail_at(at, {"bend takes semitones per frame like -1.5 or 0.25, not ", in_quotes(value)});
    int hundredths = 0;
    for (const char c : whole) hundredths = hundredths * 10 + (c - '0');
    for (size_t i = 0; i < 2; ++i) hundredths = hundredths * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    if (hundredths > 1200) fail_at(at, {"bend takes -12 to 12 semitones per frame, not ", shown(value)});
    return negative ? -hundredths : hundredths;
}

int parse_vibrato(std::string_view value, size_t at) {
    const size_t comma = value.find(',');
    if (comma == std::string_view::npos) fail_at(at, "vib takes depth,period: cents 0..200 and frames 2..255");
    const long depth = number_in(value.substr(0, comma), at, 0, 200, "vib depth");
    const long period = number_in(value.substr(comma + 1), at + comma + 1, 2, 255, "vib period");
    return static_cast<int>(depth * 256 + period);
}

}  // namespace

bool chip_only(setting_key key) {
    return key == setting_key::wave || key == setting_key::sync || key == setting_key::ring || key == setting_key::test;
}

bool on_off(std::string_view value, size_t at, std::string_view key) {
    if (value == "on" || value == "yes") return true;
    if (value == "off" || value == "no") return false;
    fail_at(at, {key, " takes on or off, not ", in_quotes(value)});
}

setting parse_setting(const word& w) {
    const size_t equals = w.text.find('=');
    const std::string_view key = w.text.substr(0, equals);
    const std::string_view value = w.text.substr(equals + 1);
    const size_t at = w.at + equals + 1;
    const auto found = std::find_if(std::begin(setting_names), std::end(setting_names),
                                    [&](const named_key& k) { return same_letters(key, k.name); });
    if (found == std::end(setting_names)) fail_at(w.at, {"unknown setting ", in_quotes(lower(shown(key)))});
    const std::string_view name = found->name;
    setting out;
    out.key = found->key;
    switch (out.key) {
        case setting_key::sweep: out.value = static_cast<int32_t>(number_in(value, at, -255, 255, name)); break;
        case setting_key::pan: out.value = parse_pan(value, at); break;
        case setting_key::noise:
        case setting_key::sync:
        case setting_key::ring: out.value = on_off(value, at, name); break;
        case setting_key::wave: out.value = parse_wave(value, at); break;
        case setting_key::test:
            if (value == "off")
                out.value = static_cast<int32_t>(test_mode::off);
            else if (value == "start")
                out.value = static_cast<int32_t>(test_mode::start);
            else if (value == "on")
                out.value = static_cast<int32_t>(test_mode::on);
            else
                fail_at(at, {"test takes off, start or on, not ", in_quotes(value)});
            break;
        case setting_key::arp: out.arp = parse_arp(value, at); break;
        case setting_key::bend: out.value = parse_bend(value, at); break;
        case setting_key::vibrato: out.value = parse_vibrato(value, at); break;
        case setting_key::note: {
            const auto note = parse_note(value);
            if (!note || *note < 0 || *note > highest_note)
                fail_at(at, {"note takes a note like C-4, not ", in_quotes(value)});
            out.value = *note;
            break;
        }
        default: out.value = static_cast<int32_t>(number_in(value, at, 0, 255, name)); break;  // a byte
    }
    return out;
}

void apply(const setting& change, sound& s) {
    const int v = change.value;
    switch (change.key) {
        case setting_key::volume: s.volume = v; break;
        case setting_key::attack: s.attack = v; break;
        case setting_key::decay: s.decay = v; break;
        case setting_key::sustain: s.sustain = v; break;
        case setting_key::release: s.release = v; break;
        case setting_key::pulse: s.pulse = v; break;
        case setting_key::filter: s.filter = v; break;
        case setting_key::control: s.control = v; break;
        case setting_key::sweep: s.sweep = v; break;
        case setting_key::pan: s.pan_left = v / 4, s.pan_right = v % 4; break;
        case setting_key::noise: s.noise = v != 0; break;
        case setting_key::wave:
            s.wave = static_cast<uint8_t>(v);
            if (v & song::control_noise) s.noise = true;
            break;
        case setting_key::sync: s.sync = v != 0; break;
        case setting_key::ring: s.ring = v != 0; break;
        case setting_key::test: s.test = static_cast<test_mode>(v); break;
        case setting_key::arp: s.arp = change.arp; break;
        case setting_key::bend: s.bend = v / 100.0; break;
        case setting_key::vibrato: s.vibrato_depth = v / 256, s.vibrato_period = v % 256; break;
        case setting_key::note: s.note = v; break;
    }
}

}  // namespace score
