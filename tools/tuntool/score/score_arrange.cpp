#include "score_arrange.hpp"

#include <numeric>
#include <string>

namespace score {

std::optional<cursor::visit> cursor::next() {
    if (again_ > 0) {
        --again_;
        return visit{&items_[next_ - 1], transpose_};
    }
    while (next_ < items_.size()) {
        const item& one = items_[next_++];
        if (one.what == item::kind::open) {
            groups_[depth_++] = {next_, one.repeat, transpose_};
            transpose_ += one.transpose;
        } else if (one.what == item::kind::close) {
            open_group& group = groups_[depth_ - 1];
            if (--group.turns_left > 0) {
                next_ = group.first;
            } else {
                transpose_ = group.outer_transpose;
                --depth_;
            }
        } else {
            again_ = one.repeat - 1u;
            return visit{&one, transpose_};
        }
    }
    return std::nullopt;
}

namespace {

// Looks up the instrument of a hit or "@"; its name stands in the word.
void find_instrument(const score_text& s, item& one) {
    const std::string_view name = name_at(s.source, one.at + (one.what == item::kind::use ? 1 : 0));
    const auto found = s.instrument_index.find(name);
    if (found == s.instrument_index.end() && one.what == item::kind::hit && looks_like_note(name))
        fail_at(one.at, {in_quotes(name), " is outside the octaves of a note: 0..7 (C-0..B-7)"});
    if (found == s.instrument_index.end())
        fail_at(one.at,
                {"no instrument is named ", in_quotes(name),
                 one.what == item::kind::use ? "" : " (a step is a note, ---, ===, ., a setting or an instrument)"});
    if (one.what == item::kind::hit && s.instruments[found->second].tone.note < 0)
        fail_at(one.at, {"instrument ", shown(name), " has no note=, so it cannot play on its own"});
    one.value = static_cast<int32_t>(found->second);
}

}  // namespace

std::vector<pattern_shape> check_patterns(score_text& s) {
    std::vector<pattern_shape> shapes;
    shapes.reserve(s.patterns.size());
    for (pattern& p : s.patterns) {
        std::optional<uint64_t> steps;
        unsigned first_channel = 0;
        for (unsigned channel = 1; channel <= p.channels.size(); ++channel) {
            channel_part& part = p.channels[channel - 1];
            if (!part.given) continue;
            for (item& one : part.items)
                if (one.what == item::kind::hit || one.what == item::kind::use) find_instrument(s, one);
            const uint64_t count = part.count.steps;
            if (count == 0) fail_at(part.first_line, {"channel ", std::to_string(channel), " has no steps"});
            if (!steps) {
                steps = count;
                first_channel = channel;
            } else if (count != *steps) {
                fail_at(part.first_line, {"channel ", std::to_string(channel), " has ", std::to_string(count),
                                          " steps but channel ", std::to_string(first_channel), " has ",
                                          std::to_string(*steps), " in pattern ", shown(p.name)});
            }
        }
        if (!steps) fail_at(p.at, {"pattern ", shown(p.name), " has no channel lines"});
        p.steps = *steps;
        pattern_shape shape{*steps, 0};
        for (unsigned channel = 1; channel <= s.channels; ++channel) {
            const channel_part& part = p.channels[channel - 1];
            shape.actions = saturated_add(shape.actions, part.given ? part.count.actions : *steps);
        }
        shapes.push_back(shape);
    }
    return shapes;
}

uint64_t frames_of_steps(const std::vector<int>& tempo, uint64_t first, uint64_t count) {
    const uint64_t cycle = std::accumulate(tempo.begin(), tempo.end(), uint64_t{0});
    uint64_t frames = count / tempo.size() * cycle;
    for (uint64_t i = 0; i < count % tempo.size(); ++i)
        frames += static_cast<uint64_t>(tempo[(first + i) % tempo.size()]);
    return frames;
}

arrangement arrange(score_text& s, const std::vector<pattern_shape>& shapes) {
    for (item& one : s.play) {
        if (one.what != item::kind::pattern) continue;
        const std::string_view name = name_at(s.source, one.at);
        const auto found = s.pattern_index.find(name);
        if (found == s.pattern_index.end()) fail_at(one.at, {"there is no pattern ", shown(name)});
        one.value = static_cast<int32_t>(found->second);
    }

    arrangement out;
    uint64_t actions = 0;
    cursor walk(s.play, 0);
    while (const auto entry = walk.next()) {
        const item& one = *entry->one;
        if (one.what == item::kind::loop) {
            if (!out.loop_step) out.loop_step = out.steps, out.loop_frame = out.frames;
            continue;
        }
        const pattern_shape& shape = shapes[static_cast<size_t>(one.value)];
        const uint64_t frames = frames_of_steps(s.tempo, out.steps, shape.steps);
        if (out.frames + frames > max_frames)
            fail_at(one.at, {"the song grows longer than ", std::to_string(max_frames), " frames"});
        actions = saturated_add(actions, shape.actions);
        if (actions > max_actions)
            fail_at(one.at, {"the song plays more than ", std::to_string(max_actions),
                             " steps, settings and instrument changes"});
        out.steps += shape.steps;
        out.frames += frames;
    }
    return out;
}

}  // namespace score
