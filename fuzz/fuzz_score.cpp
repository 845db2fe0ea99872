// Feeds arbitrary text to the score compiler. Every input must end either
// in a song within the limits or in a score_error that stands at a place
// inside the text and whose message is printable ASCII. Anything else is a
// finding: another exception, a crash, a sanitizer report, an allocation or
// a memory use past the limits run_fuzz.sh gives, or a time-out.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "score.hpp"

namespace {

constexpr size_t max_frames = 1u << 20;

bool printable(std::string_view message) {
    return !message.empty() && std::all_of(message.begin(), message.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7E;
    });
}

// Whether LINE:COLUMN (from 1) names a byte of the text or the end of a line.
bool inside(std::string_view text, int line, int column) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (line < 1 || column < 1) return false;
    size_t start = 0;
    for (int l = 1; l < line; ++l) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
    const size_t end = std::min(text.find('\n', start), text.size());
    return static_cast<size_t>(column) <= end - start + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const score::compiled_song song = score::compile_score(text);
        const size_t frames = song.frame_count();
        if (song.channels < 1 || song.channels > 8 || frames == 0 || frames > max_frames ||
            song.records.size() != frames * song.channels || song.loop_frame >= frames)
            __builtin_trap();
    } catch (const score::score_error& e) {
        if (!printable(e.what()) || !inside(text, e.line, e.column)) __builtin_trap();
    }
    return 0;
}
