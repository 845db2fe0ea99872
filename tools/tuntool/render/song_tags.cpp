#include "song_tags.hpp"

#include "text/cp437.hpp"
#include "text/song_text_fields.h"

namespace tuntool {

audio::stream_tags song_tags(std::span<const uint8_t> text) {
    audio::stream_tags tags;
    song_text_fields fields;
    if (!song_text_fields_find(text.data(), text.size(), &fields)) {
        tags.comment = code_page::utf8_from_cp437(text);
        return tags;
    }
    const auto part = [&](const song_text_part& p) {
        return code_page::utf8_from_cp437(text.subspan(p.start, p.length));
    };
    tags.title = part(fields.title);
    tags.artist = part(fields.author);
    tags.date = part(fields.release);
    return tags;
}

}  // namespace tuntool
