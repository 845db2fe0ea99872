#include "song/file_loader.hpp"

#include <cstdio>
#include <cstdlib>

#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/whole_file.hpp"

namespace song {

bool is_song_file(const std::string& file_name) {
    return has_song_magic(output_files::leading_bytes(file_name, plain_magic.size()));
}

void load_song_file(song_state& s, const std::string& file_name) {
    release_song(s);
    const whole_file::read_result file = whole_file::read_whole_file(file_name, max_song_bytes);
    if (file.too_large) {
        std::FILE* out = messages::stream();
        std::fprintf(out, "%s\n", song_error_message(header_outcome::too_large));
        std::fflush(out);
        std::exit(exit_status::failure);
    }
    if (file.failure_code != 0) failure::fail(file.failure_code);
    if (load_song_bytes(s, file.bytes) != header_outcome::ok) failure::fail(failure::heap_overflow);
}

}  // namespace song
