#include "loop_search.hpp"

#include <algorithm>
#include <vector>

namespace psid_import {
namespace {

struct frames_view {
    std::span<const song::channel_record> records;
    size_t voices;
    size_t count;

    // Frame a counted from the end equals frame b counted from the end.
    bool same_from_end(size_t a, size_t b) const {
        const size_t fa = count - 1 - a, fb = count - 1 - b;
        return std::equal(records.begin() + static_cast<ptrdiff_t>(fa * voices),
                          records.begin() + static_cast<ptrdiff_t>((fa + 1) * voices),
                          records.begin() + static_cast<ptrdiff_t>(fb * voices));
    }
    bool same(size_t a, size_t b) const { return same_from_end(count - 1 - a, count - 1 - b); }
    bool silent(size_t frame) const {
        for (size_t v = 0; v < voices; ++v)
            if (records[frame * voices + v].volume != 0) return false;
        return true;
    }
};

// z[p]: how many frames, counted from the end, equal the frames p before
// them (z[0] is the whole capture).
std::vector<uint32_t> repeats_from_end(const frames_view& f) {
    const size_t n = f.count;
    std::vector<uint32_t> z(n, 0);
    if (n == 0) return z;
    z[0] = static_cast<uint32_t>(n);
    size_t left = 0, right = 0;  // the match [left, right) reaching furthest
    for (size_t i = 1; i < n; ++i) {
        size_t length = i < right ? std::min<size_t>(right - i, z[i - left]) : 0;
        while (i + length < n && f.same_from_end(length, i + length)) ++length;
        z[i] = static_cast<uint32_t>(length);
        if (i + length > right) left = i, right = i + length;
    }
    return z;
}

}  // namespace

std::optional<loop_points> find_loop(std::span<const song::channel_record> records, unsigned voices,
                                     const loop_rules& rules) {
    if (voices == 0) return std::nullopt;
    const frames_view f{records, voices, records.size() / voices};
    const size_t n = f.count;
    if (n < 2 || (rules.end_at != 0 && rules.end_at > n)) return std::nullopt;
    const std::vector<uint32_t> z = repeats_from_end(f);

    // Running counts, so that any stretch of frames is checked at once:
    // sounding[i] frames before i make a sound, changes[i] frames 1..i-1
    // differ from the frame before them.
    std::vector<uint32_t> sounding(n + 1, 0), changes(n + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        sounding[i + 1] = sounding[i] + (f.silent(i) ? 0 : 1);
        changes[i + 1] = changes[i] + (i > 0 && !f.same(i, i - 1) ? 1 : 0);
    }
    const auto is_tune_loop = [&](size_t from, size_t to) {
        return sounding[to] != sounding[from] && changes[to] - changes[from + 1] != 0;
    };

    std::optional<loop_points> best;
    for (size_t p = std::max<uint32_t>(rules.shortest_period, 1); p < n; ++p) {
        if (z[p] < rules.shortest_repeat || z[p] == 0) continue;
        const size_t k = n - z[p];  // the repeat begins here
        if (rules.end_at != 0 && k > rules.end_at) continue;
        const size_t end = rules.end_at != 0 ? rules.end_at : k;
        if (end < p) continue;
        const size_t loop = end - p;
        if (!is_tune_loop(loop, end)) continue;
        if (!best || end < best->end_frame) best = loop_points{static_cast<uint32_t>(loop), static_cast<uint32_t>(end)};
        // With a fixed end every candidate ends there: the shortest period wins.
        if (rules.end_at != 0) break;
    }
    return best;
}

}  // namespace psid_import
