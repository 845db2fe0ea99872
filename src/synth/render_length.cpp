#include "synth/render_length.hpp"

#include <algorithm>

namespace synth {

uint64_t recording_frames(uint32_t frame_total, uint32_t samples_per_frame) {
    // A frame shorter than one sample still lasts one sample.
    const uint64_t frame_length = samples_per_frame == 0 ? 1 : samples_per_frame;
    const uint64_t last_tick = (frame_total == 0 ? 0 : frame_total - 1) * frame_length;
    return (last_tick / record_block_frames + 1) * record_block_frames;
}

bool has_loop_section(const song_timing& song) { return song.loop_frame < song.frame_total; }

uint64_t song_frames_played(const song_timing& song, uint32_t passes) {
    if (!has_loop_section(song) || passes <= 1) return song.frame_total;
    return song.frame_total + static_cast<uint64_t>(passes - 1) * (song.frame_total - song.loop_frame);
}

namespace {

bool record_mode_length(const length_request& request) {
    return request.passes == 0 && request.limit_frames == 0 && !request.exact;
}

}  // namespace

bool rendering_repeats(const song_timing& song, const length_request& request) {
    return has_loop_section(song) && !record_mode_length(request);
}

uint64_t rendering_frames(const song_timing& song, const length_request& request) {
    if (record_mode_length(request)) return recording_frames(song.frame_total, song.samples_per_frame);
    // A frame shorter than one sample still lasts one sample.
    const uint64_t frame_length = song.samples_per_frame == 0 ? 1 : song.samples_per_frame;
    const bool repeats_to_limit = (request.passes == 0 || request.passes == endless_passes) &&
                                  request.limit_frames != 0 && has_loop_section(song);
    if (repeats_to_limit) return request.limit_frames;
    if (request.passes == endless_passes && has_loop_section(song)) return endless_frames;
    const uint64_t played = song_frames_played(song, request.passes);
    const uint64_t frames = played > endless_frames / frame_length ? endless_frames : played * frame_length;
    return request.limit_frames == 0 ? frames : std::min(frames, request.limit_frames);
}

}  // namespace synth
