// The song-length database of a tune collection: a text file that gives,
// for each tune file by the MD5 digest of its contents, the length of each
// of its subtunes ("[Database]", then lines "DIGEST=3:15 0:42.500 ...").
// The player library reads it; older databases key the tunes by the
// library's older digest of the tune's code and header, and are read too.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

class SidDatabase;

namespace psid_import {

// Databases of whole collections hold some tens of thousands of lines; a
// file far larger than that is refused rather than read into memory.
constexpr uint64_t largest_song_lengths_file = 64ull << 20;

class song_lengths {
public:
    // Opens the database. Throws import_error with the reason (the caller
    // names the file) when it is not a regular file, is too large, or the
    // library cannot read it.
    explicit song_lengths(const std::string& path);
    ~song_lengths();
    song_lengths(const song_lengths&) = delete;
    song_lengths& operator=(const song_lengths&) = delete;

    // The length in milliseconds of subtune (1..) of the tune file, or
    // nothing when the database does not know it.
    std::optional<uint32_t> length_ms(std::span<const uint8_t> tune_file, unsigned subtune) const;

private:
    std::unique_ptr<SidDatabase> database_;
};

}  // namespace psid_import
