#include "call_period.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace psid_import {
namespace {

// Too few changes say nothing about a period.
constexpr size_t fewest_changes = 50;
// The share of spans the best moment must lie in, and how many standard
// deviations above chance that must be.
constexpr double least_share = 0.9;
constexpr double least_sigmas = 8.0;
// A period most spans cover whole by their own length is not told apart.
constexpr double most_chance = 0.8;
// Periods whose best share comes this close to the best one's fit as
// well; when they reach over this many cycles, the period is not known
// closely enough for song frames to keep in step with the calls.
constexpr double plateau_share = 0.01;
constexpr uint32_t most_plateau = 16;

struct fit {
    double sigmas = 0;  // above chance
    double share = 0;   // of the spans holding the best moment
    uint32_t period = 0;
};

// How well `period` fits: the moment of the period that most spans hold,
// counted in 256 parts of the period.
fit fit_of(std::span<const change_span> changes, uint32_t period) {
    constexpr int parts = 256;
    std::array<int, 2 * parts + 1> starts{};
    double chance = 0;
    for (const change_span& c : changes) {
        const uint64_t length = c.by - c.after;
        if (length >= period) {
            starts[0]++, starts[parts]--;
            chance += 1;
            continue;
        }
        chance += double(length) / period;
        const int first = static_cast<int>(c.after % period * parts / period);
        int last = static_cast<int>((c.by % period * parts + period - 1) / period);
        if (last <= first) last += parts;
        starts[first]++, starts[last]--;
    }
    const double n = double(changes.size());
    chance /= n;
    fit f;
    f.period = period;
    if (chance > most_chance) return f;
    std::array<int, 2 * parts> held{};
    int running = 0;
    for (int i = 0; i < 2 * parts; ++i) held[i] = running += starts[i];
    int best = 0;
    for (int i = 0; i < parts; ++i) best = std::max(best, held[i] + held[i + parts]);
    f.share = best / n;
    f.sigmas = (f.share - chance) / std::sqrt(chance * (1 - chance) / n);
    return f;
}

}  // namespace

std::optional<uint32_t> find_call_period(std::span<const change_span> changes, const period_search& search) {
    if (changes.size() < fewest_changes) return std::nullopt;
    size_t first_count = 0;
    while (first_count < changes.size() && changes[first_count].by <= search.first_pass_until) ++first_count;
    if (first_count < fewest_changes) first_count = std::min(changes.size(), fewest_changes);
    const auto first = changes.first(first_count);
    const double window = double(first.back().by - first.front().after);

    // Over the first spans, a period off by d cycles drifts d x calls; the
    // step keeps that under a sixteenth of a period between two candidates.
    std::vector<fit> candidates;
    for (uint32_t p = search.shortest; p <= search.longest;) {
        candidates.push_back(fit_of(first, p));
        p += std::max<uint32_t>(1, static_cast<uint32_t>(double(p) * p / (8.0 * std::max(window, 1.0))));
    }
    const size_t keep = std::min<size_t>(8, candidates.size());
    std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(keep), candidates.end(),
                      [](const fit& a, const fit& b) { return a.sigmas > b.sigmas; });

    // The best few, cycle by cycle around them, over all the spans.
    fit best;
    for (size_t i = 0; i < keep; ++i) {
        const uint32_t p = candidates[i].period;
        const uint32_t reach =
            std::max<uint32_t>(2, static_cast<uint32_t>(double(p) * p / (8.0 * std::max(window, 1.0))));
        for (uint32_t q = p - std::min(p - search.shortest, reach); q <= std::min(search.longest, p + reach); ++q) {
            const fit f = fit_of(changes, q);
            if (f.sigmas > best.sigmas) best = f;
        }
    }
    if (best.share < least_share || best.sigmas < least_sigmas) return std::nullopt;
    // Writes that come at varying moments of their calls fit a few periods
    // around the right one as well: the middle of those is taken, since a
    // period off by a cycle moves the calls by a frame within a few
    // thousand frames.
    const auto fits = [&](uint32_t q) { return fit_of(changes, q).share >= best.share - plateau_share; };
    uint32_t low = best.period, high = best.period;
    while (low > search.shortest && best.period - low < most_plateau && fits(low - 1)) --low;
    while (high < search.longest && high - best.period < most_plateau && fits(high + 1)) ++high;
    if (high - low >= most_plateau) return std::nullopt;
    return low + (high - low + 1) / 2;
}

}  // namespace psid_import
