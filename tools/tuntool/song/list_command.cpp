#include "list_command.hpp"

#include <sys/stat.h>

#include "base/fail.hpp"
#include "selector/play_list.hpp"
#include "song_commands.hpp"

namespace tuntool {

// The songs of each folder in the order playtun's selector shows them,
// folder after folder; the list's names are relative to the list's folder.
int list_command(const std::vector<std::string>& args) {
    std::vector<std::string> folders;
    std::string out = "-";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 == args.size()) return usage_error("list: " + args[i] + " needs a file name");
            out = args[++i];
        } else if (args[i].starts_with("-") && args[i] != "-") {
            return usage_error("list: unknown option " + args[i]);
        } else {
            folders.push_back(args[i]);
        }
    }
    if (folders.empty()) return usage_error("list takes one or more folders");
    std::vector<std::string> songs;
    for (const std::string& folder : folders) {
        struct stat status {};
        if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            failure::report_problem("tuntool: " + folder + ": not a folder");
            return 1;
        }
        const std::vector<std::string> found = selector::songs_under(folder);
        songs.insert(songs.end(), found.begin(), found.end());
    }
    if (const std::string why = selector::write_play_list(out, songs); !why.empty()) {
        failure::report_problem("tuntool: cannot write " + out + ": " + why);
        return 1;
    }
    return 0;
}

}  // namespace tuntool
