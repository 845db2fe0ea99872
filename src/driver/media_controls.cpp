#include "driver/media_controls.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "console/console.hpp"
#include "player/player.hpp"
#include "selector/selector.hpp"
#include "song/song.hpp"
#include "synth/synth.hpp"
#include "text/cp437.hpp"
#include "text/song_text_fields.h"

namespace driver {

namespace {

constexpr int64_t us_per_second = 1'000'000;

// The track of the song playing, made once for each song started.
media_bus::track shown_track;

uint32_t total_frames() { return static_cast<uint32_t>(std::max(player::player_engine().song.frame_total, 0)); }

// Title and author from the song's text where it holds them, else the
// file's name as the title. The text is code page 437, the name any bytes.
media_bus::track make_track() {
    media_bus::track t;
    t.number = player::now_playing.number;
    const std::string& named = player::now_playing.file_name;
    const std::span<const uint8_t> text = song::song_text(player::player_engine().song);
    song_text_fields fields;
    if (song_text_fields_find(text.data(), text.size(), &fields)) {
        t.title = code_page::utf8_from_cp437(text.subspan(fields.title.start, fields.title.length));
        t.artist = code_page::utf8_from_cp437(text.subspan(fields.author.start, fields.author.length));
    } else {
        t.title = media_bus::valid_utf8(std::filesystem::path(named).filename().string());
    }
    std::error_code failed;
    const std::filesystem::path whole = std::filesystem::absolute(named, failed);
    t.url = media_bus::file_url(failed ? named : whole.lexically_normal().string());
    t.length_us = frames_to_us(total_frames(), player::player_engine().song.frame_rate);
    return t;
}

media_bus::player_view look() {
    media_bus::player_view view;
    if (!player::now_playing.active) return view;
    if (shown_track.number != player::now_playing.number) shown_track = make_track();
    view.status = player::screen.paused ? media_bus::playback::paused : media_bus::playback::playing;
    view.song = shown_track;
    view.can_go_next = player::playing.has_next;
    view.can_go_previous = player::playing.has_previous;
    view.position_us =
        frames_to_us(synth::playing_frame(player::player_engine()), player::player_engine().song.frame_rate);
    return view;
}

player::command transport_command(media_bus::request_kind kind) {
    using media_bus::request_kind;
    switch (kind) {
        case request_kind::play: return player::command::play;
        case request_kind::pause: return player::command::pause;
        case request_kind::next: return player::command::next;
        case request_kind::previous: return player::command::previous;
        case request_kind::stop: return player::command::stop;
        default: break;
    }
    return player::command::toggle_pause;
}

void act(const media_bus::request& r) {
    using media_bus::request_kind;
    if (r.kind == request_kind::quit) {
        // Ends the program as the window's close button does.
        console::window_closed = true;
        return;
    }
    // The selector shows no song to steer.
    if (!player::now_playing.active || player::player_engine().song_ended.load(std::memory_order_relaxed)) return;
    const uint16_t rate = player::player_engine().song.frame_rate;
    switch (r.kind) {
        case request_kind::seek: {
            const seek_landing landing = seek_target(look().position_us, r.microseconds, total_frames(), rate);
            if (landing.past_end)
                player::perform(player::command::next);
            else
                player::go_to_frame(landing.frame);
            break;
        }
        case request_kind::set_position:
            player::go_to_frame(static_cast<uint32_t>(r.microseconds * rate / us_per_second));
            break;
        default: player::perform(transport_command(r.kind)); break;
    }
}

// After the keys of this pass: a position moved by a key or by the bus is
// announced once.
void player_pass() {
    media_bus::pass();
    if (player::screen.position_moved) media_bus::announce_seek(look().position_us);
}

}  // namespace

int64_t frames_to_us(uint64_t frames, uint16_t frame_rate) {
    return frame_rate == 0 ? 0 : static_cast<int64_t>(frames * us_per_second / frame_rate);
}

seek_landing seek_target(int64_t position_us, int64_t offset_us, uint32_t total_frames, uint16_t frame_rate) {
    const int64_t target = std::max<int64_t>(position_us + offset_us, 0);
    if (target >= frames_to_us(total_frames, frame_rate)) return {true, 0};
    return {false, static_cast<uint32_t>(target * frame_rate / us_per_second)};
}

void start_media_controls() {
    if (!media_bus::open({look, act})) return;
    player::each_pass = player_pass;
    selector::each_pass = media_bus::pass;
}

void stop_media_controls() {
    player::each_pass = nullptr;
    selector::each_pass = nullptr;
    media_bus::close();
}

}  // namespace driver
