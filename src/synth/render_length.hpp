// How many stereo frames a rendering of a song lasts, worked out before the
// first frame so that a stream's header can carry it. tuntool render and
// libtonera both take their lengths from here.
//
// Two counts appear: song frames (the song's records, frame_total of them,
// one tick each) and stereo frames (pairs of 16-bit samples at 48000 Hz,
// samples_per_frame of them per song frame). Lengths are in stereo frames.
//
// A song plays its frames 0 .. frame_total - 1 once; its loop section runs
// from the loop frame to the end, and each further pass plays that section
// again. A loop frame at or past the end leaves no loop section: such a
// song does not repeat, however many passes are asked for.
#pragma once

#include <cstdint>

namespace synth {

// Record mode renders a song once in blocks of 4096 stereo frames, and the
// block in which the tick of the last frame falls is the last one, so the
// last frame sounds to the end of its block.
constexpr uint32_t record_block_frames = 4096;

// The frames a recording of frame_total frames of samples_per_frame samples
// holds: known before rendering starts, so that a stream's header can carry
// them.
uint64_t recording_frames(uint32_t frame_total, uint32_t samples_per_frame);

struct song_timing {
    uint32_t frame_total = 0;  // at least 1
    uint32_t loop_frame = 0;
    uint32_t samples_per_frame = 0;  // 0 for frames shorter than a sample
};

// A rendering without end, and the length that stands for it: a length of
// more stereo frames than a uint64_t holds is one too.
constexpr uint32_t endless_passes = UINT32_MAX;
constexpr uint64_t endless_frames = UINT64_MAX;

struct length_request {
    // Passes of the loop section, the first one included; 0 when none was
    // asked for: one pass, or as many as the limit needs when there is one;
    // endless_passes to repeat without end (a song without a loop section
    // still ends after its one pass).
    uint32_t passes = 0;
    // The most frames the rendering may have (a time limit); 0 for none.
    uint64_t limit_frames = 0;
    // End on the last frame's boundary even when nothing else asks for an
    // exact length (a fade must end where the song does).
    bool exact = false;
};

// Whether the song repeats from its loop frame at all.
bool has_loop_section(const song_timing& song);

// The song frames that `passes` passes play: frame_total + (passes - 1) x
// (frame_total - loop_frame); frame_total alone without a loop section.
// (At most 2^64 - 2^33 + 2 for 32-bit counts: it always fits.)
uint64_t song_frames_played(const song_timing& song, uint32_t passes);

// The frames of the rendering. With nothing asked it is exactly what record
// mode writes (whole blocks up to the one holding the last frame's tick);
// otherwise it ends on the frame boundary asked for: after the passes, at
// the limit, whichever comes first. Without a pass count a limit lets a
// song with a loop section repeat until the limit; a song without one ends
// at its last frame even before the limit. endless_frames when the
// rendering has no end: endless passes without a limit, or more stereo
// frames than a uint64_t holds.
uint64_t rendering_frames(const song_timing& song, const length_request& request);

// Whether the song must repeat from its loop frame during the rendering.
// Record mode's length plays it once, its last frame held to the end of
// the block, as record mode does.
bool rendering_repeats(const song_timing& song, const length_request& request);

}  // namespace synth
