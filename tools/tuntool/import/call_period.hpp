// The period at which a tune's play routine is called, found from the
// moments its register writes were seen. A tune timed by the CIA timer
// chooses its own rate (twice a frame, say, or 60 times a second on a PAL
// machine); the library does not tell it, and the registers are seen only
// every few milliseconds. Each change of the registers was made inside the
// span between the look that still showed the old values and the one that
// showed the new ones. For the right period, one moment of the period lies
// inside nearly every such span; for a wrong one, only as many spans hold
// it as their length allows by chance.
// A routine that changes the registers only at every second call cannot
// be told from one called half as often, and is taken as such.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace psid_import {

// A change of the registers made after `after` and by `by` (chip cycles).
struct change_span {
    uint64_t after;
    uint64_t by;
};

struct period_search {
    uint32_t shortest = 4000;  // cycles; a period as short as a look cannot be told
                               // (psid_run.hpp's most_frames_a_second follows from it)
    uint32_t longest = 65537;  // the timer counts 16 bits
    // Spans up to here decide among all periods; the later ones check the
    // best few precisely.
    uint64_t first_pass_until = 0;
};

// The period, in whole cycles, whose best moment lies in at least 90 % of
// the spans and far more than chance gives; nothing when no period does
// (too few changes, or writes spread over the whole period).
std::optional<uint32_t> find_call_period(std::span<const change_span> changes, const period_search& search);

}  // namespace psid_import
