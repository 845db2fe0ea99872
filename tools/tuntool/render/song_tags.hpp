// The tags of a rendered song, from its text: title, artist and date where
// the text holds them in the importer's form ("TITLE by AUTHOR, RELEASE",
// text/song_text_fields.h), else the whole text as a comment; nothing for
// a song without text. Code page 437 becomes UTF-8.
#pragma once

#include <cstdint>
#include <span>

#include "audio/output.hpp"

namespace tuntool {

audio::stream_tags song_tags(std::span<const uint8_t> text);

}  // namespace tuntool
