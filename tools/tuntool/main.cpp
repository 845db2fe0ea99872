// tuntool: describes, packs, unpacks and converts song files, builds songs
// from text scores, renders them to sound files and imports PSID tunes.
// This is its table of commands; each family of them lives in a folder of
// its own (song/, score/, render/, import/, with jobs/ under the last two).
//
//   tuntool info [--json] SONG.tun...
//   tuntool pack|unpack IN.tun OUT.tun
//   tuntool relayout IN.tun OUT.tun --planar|--interleaved
//   tuntool build SCORE.txt OUT.tun
//   tuntool render [OPTIONS] SONG.tun...
//   tuntool import [OPTIONS] TUNE.sid OUT.tun
//   tuntool list DIR... [-o LIST.m3u]
//
// Exit status 0 on success, 1 when the command fails (one line on standard
// error), 2 for a command line it does not understand.
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/fail.hpp"
#include "base/shown_name.hpp"
#include "base/standard_output.hpp"
#include "base/stop_signals.hpp"
#include "build_command.hpp"
#include "file_io.hpp"
#include "import_command.hpp"
#include "list_command.hpp"
#include "render_command.hpp"
#include "song_commands.hpp"

namespace {

using tuntool::tool_error;

constexpr const char* usage_text =
    "Usage: tuntool COMMAND ...\n"
    "\n"
    "  info SONG.tun...                   describe songs and whether playtun plays them\n"
    "  info --json SONG.tun...            the same for scripts: a JSON array\n"
    "  pack IN.tun OUT.tun                compress the frame data\n"
    "  unpack IN.tun OUT.tun              expand compressed frame data\n"
    "  relayout IN.tun OUT.tun --planar   store the frames plane by plane\n"
    "  relayout IN.tun OUT.tun --interleaved\n"
    "                                     store the frames one after another\n"
    "  build SCORE.txt OUT.tun            build a song from a text score\n"
    "  render [OPTIONS] SONG.tun...       render songs to WAV or FLAC files\n"
    "                                     (tuntool render --help)\n"
    "  import [OPTIONS] TUNE.sid OUT.tun  make a song from a PSID tune (import --help)\n"
    "  list DIR... [-o LIST.m3u]          the songs under folders as an M3U play list\n"
    "  -h, --help                         this text\n"
    "  -V, --version                      the version\n"
    "\n"
    "An existing OUT.tun is replaced only when the command succeeds, and keeps\n"
    "its permission bits; a link stays a link, a device or FIFO is written in\n"
    "place, and OUT.tun may be - for standard output.\n"
    "Details: man tuntool; the score format: /usr/share/doc/playtun/score.md\n";

// The commands: each takes the words after its name and returns the exit
// status.
struct command {
    std::string_view name;
    int (*run)(const std::vector<std::string>& args);
};

constexpr command commands[] = {
    {"info", tuntool::info_command},         {"pack", tuntool::pack_command}, {"unpack", tuntool::unpack_command},
    {"relayout", tuntool::relayout_command}, {"build", score::build_command}, {"render", tuntool::render_command},
    {"import", tuntool::import_command},     {"list", tuntool::list_command},
};

int run(const std::vector<std::string>& args) {
    if (args.empty()) return tuntool::usage_error("no command given");
    const std::string& name = args[0];
    if (name == "--help" || name == "-h" || name == "help") {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (name == "--version" || name == "-V") {
        std::puts("tuntool " PLAYTUN_VERSION);
        return 0;
    }
    for (const command& c : commands)
        if (c.name == name) return c.run(std::vector<std::string>(args.begin() + 1, args.end()));
    return tuntool::usage_error("unknown command " + names::shown_name(name));
}

}  // namespace

int main(int argc, char** argv) {
    // Ctrl-C removes the temporary file of an unfinished output.
    stop_signals::install(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    int status = 1;
    try {
        status = run(args);
    } catch (const tool_error& e) {
        failure::report_problem(std::string("tuntool: ") + e.what());
    } catch (const std::bad_alloc&) {
        // Temporary files of unfinished outputs were discarded on the way.
        failure::report_problem("tuntool: out of memory");
    }
    // What went to standard output (info, help, a report line) must have arrived.
    return standard_output::finish("tuntool", status);
}
