// The desktop's media controls: the player answers on the session bus as
// org.mpris.MediaPlayer2.playtun (object /org/mpris/MediaPlayer2), so that
// media keys and the desktop's "now playing" panel show and steer it.
//
// This module knows nothing of the player: it asks a `look` function what
// the player shows whenever the bus wants to know, and hands every command
// from the bus to an `act` function. Both run on the thread that calls
// media_bus::pass, never anywhere else, and pass never waits for the bus.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace media_bus {

enum class playback : uint8_t { stopped, playing, paused };

// The song being played, as the desktop shows it.
struct track {
    uint32_t number = 0;  // a new number for every song started; 0: no song
    std::string title;    // UTF-8, never empty for a song
    std::string artist;   // UTF-8; empty when the song does not say
    std::string url;      // file:// URL of the song file
    int64_t length_us = 0;
};

// What the player shows at this moment.
struct player_view {
    playback status = playback::stopped;
    track song;
    bool can_go_next = false;
    bool can_go_previous = false;
    int64_t position_us = 0;
};

enum class request_kind : uint8_t { play_pause, play, pause, next, previous, stop, seek, set_position, quit };

struct request {
    request_kind kind = request_kind::play_pause;
    // seek: the offset from the position; set_position: the position.
    int64_t microseconds = 0;
};

struct player_link {
    player_view (*look)();
    void (*act)(const request& r);
};

// Connects to the session bus and asks for the player's name. False when
// there is no bus or it cannot be reached: nothing else of this module
// then does anything. Says nothing in either case.
bool open(player_link link);

// Leaves the bus (the name goes with the connection).
void close();

bool is_open();

// Answers every call waiting on the bus, without waiting for more, then
// tells the desktop what changed since the last pass.
void pass();

// Tells the desktop that the position jumped (a seek, a restart).
void announce_seek(int64_t position_us);

// The object path that names a track on the bus.
std::string track_path(uint32_t number);

// The file:// URL of an absolute path: bytes outside the unreserved
// characters and '/' are percent-encoded, so any file name gives a valid
// URL.
std::string file_url(std::string_view absolute_path);

// The bytes as UTF-8: every byte that is not part of a well-formed UTF-8
// sequence becomes U+FFFD (the bus carries only valid UTF-8).
std::string valid_utf8(std::string_view bytes);

}  // namespace media_bus
