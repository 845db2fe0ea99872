// The player's two objects on the session bus through sd-bus: the media
// player (identity, quit) and its player (transport, track, position).
// Every call is answered from sd_bus_process on the screen loop's thread;
// nothing here ever blocks on the bus: the name is asked for with an
// asynchronous call, and the connection is closed without a flush.
#include "mpris/media_bus.hpp"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace media_bus {

namespace {

constexpr const char* object_path = "/org/mpris/MediaPlayer2";
constexpr const char* root_interface = "org.mpris.MediaPlayer2";
constexpr const char* player_interface = "org.mpris.MediaPlayer2.Player";
constexpr const char* bus_name = "org.mpris.MediaPlayer2.playtun";

// The connection and what the desktop was last told.
struct bus_state {
    sd_bus* bus = nullptr;
    sd_bus_slot* root_slot = nullptr;
    sd_bus_slot* player_slot = nullptr;
    player_link link{};
    player_view told;
};
bus_state state;

player_view look() { return state.link.look(); }

void act(request_kind kind, int64_t microseconds = 0) { state.link.act(request{kind, microseconds}); }

// ---- org.mpris.MediaPlayer2 ----

int on_raise(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, ""); }

int on_quit(sd_bus_message* m, void*, sd_bus_error*) {
    act(request_kind::quit);
    return sd_bus_reply_method_return(m, "");
}

int get_root_property(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void*,
                      sd_bus_error*) {
    const std::string_view name = property;
    if (name == "CanQuit") return sd_bus_message_append(reply, "b", 1);
    if (name == "CanRaise" || name == "HasTrackList") return sd_bus_message_append(reply, "b", 0);
    if (name == "Identity" || name == "DesktopEntry") return sd_bus_message_append(reply, "s", "playtun");
    if (name == "SupportedUriSchemes") return sd_bus_message_append(reply, "as", 1, "file");
    if (name == "SupportedMimeTypes") return sd_bus_message_append(reply, "as", 1, "audio/x-tun");
    return -ENOENT;
}

const sd_bus_vtable root_vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", on_raise, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", on_quit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", get_root_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanRaise", "b", get_root_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("HasTrackList", "b", get_root_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Identity", "s", get_root_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("DesktopEntry", "s", get_root_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", get_root_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", get_root_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

// ---- org.mpris.MediaPlayer2.Player ----

// The methods without arguments, each one request.
template <request_kind kind>
int on_transport(sd_bus_message* m, void*, sd_bus_error*) {
    act(kind);
    return sd_bus_reply_method_return(m, "");
}

int on_seek(sd_bus_message* m, void*, sd_bus_error*) {
    int64_t offset = 0;
    if (const int r = sd_bus_message_read(m, "x", &offset); r < 0) return r;
    act(request_kind::seek, offset);
    return sd_bus_reply_method_return(m, "");
}

// A position for another track than the one playing is ignored, as one
// outside the track is.
int on_set_position(sd_bus_message* m, void*, sd_bus_error*) {
    const char* track = nullptr;
    int64_t position = 0;
    if (const int r = sd_bus_message_read(m, "ox", &track, &position); r < 0) return r;
    const player_view view = look();
    if (view.song.number != 0 && track_path(view.song.number) == track && position >= 0 &&
        position <= view.song.length_us)
        act(request_kind::set_position, position);
    return sd_bus_reply_method_return(m, "");
}

int on_open_uri(sd_bus_message*, void*, sd_bus_error* error) {
    return sd_bus_error_set(error, SD_BUS_ERROR_NOT_SUPPORTED, "playtun plays the songs it was started with");
}

const char* status_name(playback status) {
    switch (status) {
        case playback::playing: return "Playing";
        case playback::paused: return "Paused";
        case playback::stopped: break;
    }
    return "Stopped";
}

int append_entry(sd_bus_message* reply, const char* key, const char* type, auto... values) {
    int r = sd_bus_message_open_container(reply, 'e', "sv");
    if (r >= 0) r = sd_bus_message_append(reply, "s", key);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'v', type);
    if (r >= 0) r = sd_bus_message_append(reply, type, values...);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
}

// No song: an empty map.
int append_metadata(sd_bus_message* reply, const track& song) {
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r >= 0 && song.number != 0) {
        const std::string path = track_path(song.number);
        r = append_entry(reply, "mpris:trackid", "o", path.c_str());
        if (r >= 0) r = append_entry(reply, "mpris:length", "x", song.length_us);
        if (r >= 0) r = append_entry(reply, "xesam:title", "s", song.title.c_str());
        if (r >= 0 && !song.artist.empty()) r = append_entry(reply, "xesam:artist", "as", 1, song.artist.c_str());
        if (r >= 0) r = append_entry(reply, "xesam:url", "s", song.url.c_str());
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
}

int get_player_property(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void*,
                        sd_bus_error*) {
    const std::string_view name = property;
    const player_view view = look();
    const bool has_song = view.status != playback::stopped;
    if (name == "PlaybackStatus") return sd_bus_message_append(reply, "s", status_name(view.status));
    if (name == "Metadata") return append_metadata(reply, view.song);
    if (name == "Position") return sd_bus_message_append(reply, "x", has_song ? view.position_us : int64_t{0});
    if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate" || name == "Volume")
        return sd_bus_message_append(reply, "d", 1.0);
    if (name == "CanGoNext") return sd_bus_message_append(reply, "b", view.can_go_next);
    if (name == "CanGoPrevious") return sd_bus_message_append(reply, "b", view.can_go_previous);
    if (name == "CanPlay" || name == "CanPause" || name == "CanSeek")
        return sd_bus_message_append(reply, "b", has_song);
    if (name == "CanControl") return sd_bus_message_append(reply, "b", 1);
    return -ENOENT;
}

constexpr uint64_t changes = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;

const sd_bus_vtable player_vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", on_transport<request_kind::next>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", on_transport<request_kind::previous>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", on_transport<request_kind::pause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", on_transport<request_kind::play_pause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", on_transport<request_kind::stop>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", on_transport<request_kind::play>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", on_seek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", on_set_position, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", on_open_uri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", get_player_property, 0, changes),
    SD_BUS_PROPERTY("Metadata", "a{sv}", get_player_property, 0, changes),
    SD_BUS_PROPERTY("Position", "x", get_player_property, 0, 0),
    SD_BUS_PROPERTY("Rate", "d", get_player_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("MinimumRate", "d", get_player_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("MaximumRate", "d", get_player_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Volume", "d", get_player_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanGoNext", "b", get_player_property, 0, changes),
    SD_BUS_PROPERTY("CanGoPrevious", "b", get_player_property, 0, changes),
    SD_BUS_PROPERTY("CanPlay", "b", get_player_property, 0, changes),
    SD_BUS_PROPERTY("CanPause", "b", get_player_property, 0, changes),
    SD_BUS_PROPERTY("CanSeek", "b", get_player_property, 0, changes),
    SD_BUS_PROPERTY("CanControl", "b", get_player_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

// The names of the properties whose values differ between two views.
std::vector<const char*> changed_properties(const player_view& was, const player_view& now) {
    std::vector<const char*> names;
    if (was.status != now.status) {
        names.push_back("PlaybackStatus");
        if ((was.status == playback::stopped) != (now.status == playback::stopped))
            names.insert(names.end(), {"CanPlay", "CanPause", "CanSeek"});
    }
    if (was.song.number != now.song.number) names.push_back("Metadata");
    if (was.can_go_next != now.can_go_next) names.push_back("CanGoNext");
    if (was.can_go_previous != now.can_go_previous) names.push_back("CanGoPrevious");
    return names;
}

int ignore_reply(sd_bus_message*, void*, sd_bus_error*) { return 0; }

// A second player started beside the first takes a name of its own, as
// the desktop expects of players that run more than once.
int on_name_reply(sd_bus_message* m, void*, sd_bus_error*) {
    uint32_t outcome = 0;
    const bool refused = sd_bus_message_is_method_error(m, nullptr) || sd_bus_message_read(m, "u", &outcome) < 0;
    constexpr uint32_t primary_owner = 1;
    constexpr uint32_t already_owner = 4;
    if (!refused && (outcome == primary_owner || outcome == already_owner)) return 0;
    const std::string own = std::string(bus_name) + ".instance" + std::to_string(::getpid());
    sd_bus_request_name_async(sd_bus_message_get_bus(m), nullptr, own.c_str(), 0, ignore_reply, nullptr);
    return 0;
}

}  // namespace

bool open(player_link link) {
    if (state.bus != nullptr) return true;
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return false;
    state.link = link;
    state.told = player_view{};
    const bool registered =
        sd_bus_add_object_vtable(bus, &state.root_slot, object_path, root_interface, root_vtable, nullptr) >= 0 &&
        sd_bus_add_object_vtable(bus, &state.player_slot, object_path, player_interface, player_vtable, nullptr) >=
            0 &&
        sd_bus_request_name_async(bus, nullptr, bus_name, 0, on_name_reply, nullptr) >= 0;
    state.bus = bus;
    if (!registered) {
        close();
        return false;
    }
    return true;
}

void close() {
    if (state.bus == nullptr) return;
    state.root_slot = sd_bus_slot_unref(state.root_slot);
    state.player_slot = sd_bus_slot_unref(state.player_slot);
    state.bus = sd_bus_close_unref(state.bus);
}

bool is_open() { return state.bus != nullptr; }

void pass() {
    if (state.bus == nullptr) return;
    // A connection the bus dropped ends the controls, not the player.
    for (;;) {
        const int r = sd_bus_process(state.bus, nullptr);
        if (r < 0) {
            close();
            return;
        }
        if (r == 0) break;
    }
    const player_view now = look();
    std::vector<const char*> names = changed_properties(state.told, now);
    if (!names.empty()) {
        names.push_back(nullptr);
        sd_bus_emit_properties_changed_strv(state.bus, object_path, player_interface, const_cast<char**>(names.data()));
    }
    state.told = now;
}

void announce_seek(int64_t position_us) {
    if (state.bus == nullptr) return;
    sd_bus_emit_signal(state.bus, object_path, player_interface, "Seeked", "x", position_us);
}

std::string track_path(uint32_t number) { return "/org/playtun/track/" + std::to_string(number); }

std::string file_url(std::string_view absolute_path) {
    constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : absolute_path) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                           std::strchr("-._~/", b) != nullptr;
        if (plain && b != 0) {
            url += c;
        } else {
            url += '%';
            url += hex[b >> 4];
            url += hex[b & 15];
        }
    }
    return url;
}

std::string valid_utf8(std::string_view bytes) {
    std::string text;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        // The length of the sequence a lead byte starts, and the range its
        // second byte must lie in (no overlong forms, no surrogates, nothing
        // past U+10FFFF).
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (b < 0x80) length = 1;
        else if (b >= 0xC2 && b <= 0xDF) length = 2;
        else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        }
        bool whole = length > 0 && i + length <= bytes.size();
        for (size_t k = 1; whole && k < length; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            whole = k == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
        }
        if (whole && b != 0) {
            text.append(bytes.substr(i, length));
            i += length;
        } else {
            text += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return text;
}

}  // namespace media_bus
