#include "song_lengths.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <sidplayfp/SidDatabase.h>
#include <sidplayfp/SidTune.h>

#include "psid_header.hpp"

namespace psid_import {

song_lengths::song_lengths(const std::string& path) : database_(std::make_unique<SidDatabase>()) {
    // The library reads the file to its end: only a regular file of a
    // sensible size is handed to it (a FIFO or a device may never end).
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throw import_error(std::string("cannot be read: ") + std::strerror(errno));
    if (!S_ISREG(status.st_mode)) throw import_error("is not a regular file");
    if (static_cast<uint64_t>(status.st_size) > largest_song_lengths_file)
        throw import_error("is larger than any song-length database (" +
                           std::to_string(largest_song_lengths_file >> 20) + " MiB)");
    if (!database_->open(path.c_str())) {
        const char* why = database_->error();
        throw import_error(std::string("is not a song-length database") + (why != nullptr && *why ? ": " : "") +
                           (why != nullptr ? why : ""));
    }
}

song_lengths::~song_lengths() = default;

std::optional<uint32_t> song_lengths::length_ms(std::span<const uint8_t> tune_file, unsigned subtune) const {
    SidTune tune(tune_file.data(), static_cast<uint_least32_t>(tune_file.size()));
    if (!tune.getStatus()) return std::nullopt;
    char digest[SidTune::MD5_LENGTH + 1];
    for (const bool whole_file : {true, false}) {
        const char* md5 = whole_file ? tune.createMD5New(digest) : tune.createMD5(digest);
        if (md5 == nullptr) continue;
        const int_least32_t ms = database_->lengthMs(md5, subtune);
        if (ms > 0) return static_cast<uint32_t>(ms);
    }
    return std::nullopt;
}

}  // namespace psid_import
