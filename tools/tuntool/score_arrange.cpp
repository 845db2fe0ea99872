#include "score_arrange.hpp"

#include <algorithm>
#include <functional>
#include <string>

namespace score {
namespace {

const item hold_step = item::made(item::kind::hold, {});

void flatten_items(const std::vector<item>& items, int transpose, std::vector<action>& out) {
    for (const item& one : items) {
        if (one.what == item::kind::group) {
            for (int r = 0; r < one.repeat; ++r) flatten_items(one.inner, transpose + one.transpose, out);
        } else {
            out.push_back({&one, transpose});
        }
    }
}

size_t count_steps(const std::vector<item>& items) {
    size_t steps = 0;
    for (const item& one : items) {
        if (one.what == item::kind::group) steps += one.repeat * count_steps(one.inner);
        else if (one.what != item::kind::change && one.what != item::kind::use) ++steps;
        if (steps > max_frames) return steps;
    }
    return steps;
}

}  // namespace

size_t check_pattern(const score_text& s, const pattern& p) {
    std::function<void(const std::vector<item>&)> check = [&](const std::vector<item>& items) {
        for (const item& one : items) {
            if (one.what == item::kind::group) check(one.inner);
            if (one.what != item::kind::hit && one.what != item::kind::use) continue;
            const auto found = s.instruments.find(one.name);
            if (found == s.instruments.end())
                fail_at(one.at, "\"" + one.name + "\" is not a note, ---, ===, setting or instrument");
            if (one.what == item::kind::hit && found->second.tone.note < 0)
                fail_at(one.at, "instrument " + one.name + " has no note=, so it cannot play on its own");
        }
    };
    std::optional<size_t> steps;
    unsigned first_channel = 0;
    for (const auto& [channel, items] : p.channels) {
        check(items);
        const size_t count = count_steps(items);
        if (count == 0) fail_at(p.first_line.at(channel), "channel " + std::to_string(channel) + " has no steps");
        if (!steps) {
            steps = count;
            first_channel = channel;
        } else if (count != *steps) {
            fail_at(p.first_line.at(channel), "channel " + std::to_string(channel) + " has " + std::to_string(count) +
                                                  " steps but channel " + std::to_string(first_channel) + " has " +
                                                  std::to_string(*steps) + " in pattern " + p.name);
        }
    }
    if (!steps) fail_at(p.at, "pattern " + p.name + " has no channel lines");
    return *steps;
}

void arrange(const score_text& s, const std::vector<play_item>& items, int transpose,
             const std::vector<size_t>& pattern_steps, arrangement& out) {
    for (const play_item& one : items) {
        if (one.what == play_item::kind::loop) {
            if (!out.loop_step) out.loop_step = out.steps;
            continue;
        }
        for (int r = 0; r < one.repeat; ++r) {
            if (one.what == play_item::kind::group) {
                arrange(s, one.inner, transpose + one.transpose, pattern_steps, out);
                continue;
            }
            const auto found = s.pattern_index.find(one.name);
            if (found == s.pattern_index.end()) fail_at(one.at, "there is no pattern " + one.name);
            const pattern& p = s.patterns[found->second];
            const size_t steps = pattern_steps[found->second];
            if ((out.steps + steps) * static_cast<size_t>(*std::min_element(s.tempo.begin(), s.tempo.end())) >
                max_frames)
                fail_at(one.at, "the song grows longer than " + std::to_string(max_frames) + " frames");
            for (unsigned c = 1; c <= s.channels; ++c) {
                auto& actions = out.channel_actions[c - 1];
                const auto lines = p.channels.find(c);
                if (lines == p.channels.end()) {
                    for (size_t i = 0; i < steps; ++i) actions.push_back({&hold_step, 0});
                } else {
                    flatten_items(lines->second, transpose + one.transpose, actions);
                }
            }
            out.steps += steps;
        }
    }
}

}  // namespace score
