// The importer's own readings of untrusted bytes: a tune file's header and
// song text, and the searches that run over what a tune plays (the period
// of its calls from the spans its changes were seen in, the loop of its
// frames). The first byte picks which; the rest is the input. A header
// ends in its fields or an import_error; a song text is printable ASCII; a
// period lies inside the range searched; a loop lies inside the frames and
// meets its rules. Anything else is a finding, as is a crash, a sanitizer
// report or a time-out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "call_period.hpp"
#include "loop_search.hpp"
#include "psid_header.hpp"

namespace {

uint32_t read_u32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void header(std::span<const uint8_t> bytes) {
    try {
        const psid_import::psid_header h = psid_import::read_psid_header(bytes);
        for (const char c : psid_import::song_text(h))
            if (c < 0x20 || c > 0x7E) std::abort();
    } catch (const psid_import::import_error&) {}
}

// Spans as the importer makes them: each starts where the last look was
// and ends at a later look, two 16-bit steps from the input.
void period(std::span<const uint8_t> bytes) {
    std::vector<psid_import::change_span> spans;
    uint64_t at = 0;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        const uint64_t gap = uint64_t{bytes[i]} | uint64_t{bytes[i + 1]} << 8;
        const uint64_t length = 1 + (uint64_t{bytes[i + 2]} | uint64_t{bytes[i + 3]} << 8);
        at += gap;
        spans.push_back({at, at + length});
        at += length;
    }
    psid_import::period_search search;
    search.first_pass_until = 2 * 985248;
    if (const auto p = psid_import::find_call_period(spans, search); p && (*p < search.shortest || *p > search.longest))
        std::abort();
}

// Frames of three voices, one byte per record field drawn from a small
// alphabet so that repeats occur; the rules come first.
void loop(std::span<const uint8_t> bytes) {
    if (bytes.size() < 8) return;
    psid_import::loop_rules rules;
    rules.shortest_period = 1 + bytes[0] % 64;
    rules.shortest_repeat = 1 + bytes[1] % 64;
    rules.end_at = read_u32(bytes.data() + 2) % 512;
    std::vector<song::channel_record> records;
    for (size_t i = 6; i + 1 < bytes.size(); i += 2) {
        song::channel_record r;
        r.pitch = bytes[i] & 3;
        r.volume = bytes[i + 1] & 3;
        r.control = (bytes[i + 1] >> 2) & 1;
        records.push_back(r);
    }
    records.resize(records.size() / 3 * 3);
    const size_t frames = records.size() / 3;
    if (const auto found = psid_import::find_loop(records, 3, rules)) {
        if (found->end_frame > frames || found->loop_frame >= found->end_frame ||
            found->end_frame - found->loop_frame < rules.shortest_period ||
            (rules.end_at != 0 && found->end_frame != rules.end_at))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const uint8_t> rest(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0: header(rest); break;
        case 1: period(rest); break;
        default: loop(rest); break;
    }
    return 0;
}
