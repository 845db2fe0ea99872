// Reading a song's facts from its header and text.
#include "selector/song_facts.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "song/format.hpp"
#include "text/song_text_fields.h"

namespace selector {
namespace {

song_facts refused(song::header_outcome outcome) {
    song_facts facts;
    facts.problem = song::song_error_message(outcome);
    return facts;
}

std::string part_of(std::span<const uint8_t> text, const song_text_part& part) {
    return std::string(reinterpret_cast<const char*>(text.data()) + part.start, part.length);
}

// Reads up to `count` bytes at `offset`; fewer only at the end of the file.
size_t read_at(int fd, uint8_t* into, size_t count, off_t offset) {
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, into + done, count - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

}  // namespace

// The same checks, in the same order, as the player's header reader, up to
// the point where it would unpack the frames.
song_facts song_facts_from(std::span<const uint8_t> start, uint64_t file_size) {
    using song::header_outcome;
    if (start.size() < song::header_size || file_size < song::header_size || !song::has_song_magic(start))
        return refused(header_outcome::not_a_song_file);
    if (file_size > song::max_song_bytes) return refused(header_outcome::too_large);
    const song::song_header header = song::header_fields(start);
    const uint64_t data_offset = song::header_size + uint64_t{header.text_length};
    if (header.text_length > song::max_text_length || data_offset > file_size || data_offset > start.size())
        return refused(header_outcome::not_a_song_file);
    uint64_t body = file_size - data_offset;
    if (header.compressed()) {
        if (header.unpacked_size == 0) return refused(header_outcome::compressed_data_invalid);
        if (header.unpacked_size > song::max_song_bytes) return refused(header_outcome::too_large);
        body = header.unpacked_size;
    }
    const unsigned voices = header.channel_count();
    if (voices < 1 || voices > song::max_channels) return refused(header_outcome::channel_count_invalid);
    const uint64_t frames = body / (song::record_size * voices);
    if (header.frame_rate == 0 || frames == 0) return refused(header_outcome::not_a_song_file);

    song_facts facts;
    facts.is_song = true;
    facts.frames = static_cast<uint32_t>(frames);
    facts.loop_frame = header.loop_frame;
    facts.frame_rate = header.frame_rate;
    facts.voices = static_cast<uint8_t>(voices);
    const std::span<const uint8_t> text = start.subspan(song::header_size, header.text_length);
    facts.text.assign(reinterpret_cast<const char*>(text.data()), text.size());
    song_text_fields fields{};
    if (song_text_fields_find(text.data(), text.size(), &fields) != 0) {
        facts.title = part_of(text, fields.title);
        facts.author = part_of(text, fields.author);
        facts.release = part_of(text, fields.release);
    }
    return facts;
}

song_facts read_song_facts(const std::string& path) {
    song_facts facts;
    // Not blocking on open: a FIFO without a writer must not hold the list.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        facts.problem = std::strerror(errno);
        return facts;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        facts.problem = "not a regular file";
        return facts;
    }
    std::vector<uint8_t> start(song::header_size);
    start.resize(read_at(fd, start.data(), start.size(), 0));
    if (start.size() == song::header_size && song::has_song_magic(start)) {
        const uint16_t text_length = song::header_fields(start).text_length;
        start.resize(song::header_size + size_t{text_length});
        start.resize(song::header_size + read_at(fd, start.data() + song::header_size, text_length, song::header_size));
    }
    ::close(fd);
    return song_facts_from(start, static_cast<uint64_t>(status.st_size));
}

std::string length_text(uint64_t frames, unsigned rate) {
    if (rate == 0) return "?";
    const uint64_t hundredths = frames * 100 / rate;
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu.%02llu", static_cast<unsigned long long>(hundredths / 6000),
                  static_cast<unsigned long long>(hundredths / 100 % 60),
                  static_cast<unsigned long long>(hundredths % 100));
    return text;
}

std::string short_length_text(uint64_t frames, unsigned rate) {
    if (rate == 0) return "?";
    const uint64_t seconds = frames / rate;
    char text[40];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

int64_t length_seconds(const song_facts& facts) {
    if (!facts.is_song || facts.frame_rate == 0) return -1;
    return static_cast<int64_t>(facts.frames / facts.frame_rate);
}

std::string title_and_author(const song_facts& facts) {
    if (facts.title.empty() || facts.author.empty()) return {};
    return facts.title + " - " + facts.author;
}

std::string author_and_title(const song_facts& facts) {
    if (!facts.title.empty() && !facts.author.empty()) return facts.author + " - " + facts.title;
    return facts.text;
}

}  // namespace selector
