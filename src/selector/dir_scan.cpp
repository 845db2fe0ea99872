// The selector's entry list: scanning the working directory, captions,
// ordering and changing into a listed directory.
#include "selector/selector.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "console/console.hpp"

namespace selector {

std::unique_ptr<tdirarr> dir_list;
int32_t dir_count = 0;
std::string root_dir;

namespace {

constexpr std::size_t dir_inner_limit = 74;     // "<" + 74 + ".." + ">" = 78
constexpr std::size_t file_caption_limit = 76;  // 76 + ".." = 78

// Calls visit(name, is_dir) for every entry of the working directory, in
// the order the system lists them, hidden names included. The status is
// read with stat(), so symbolic links count as what they point to; an
// entry whose status cannot be read is left out, and a directory that
// cannot be opened lists nothing.
template <typename Visit>
void walk_working_dir(Visit visit) {
    DIR* dir = opendir(".");
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        struct stat status {};
        if (stat(entry->d_name, &status) != 0) continue;
        visit(std::string_view(entry->d_name), S_ISDIR(status.st_mode));
    }
    closedir(dir);
}

std::string cut_caption(std::string caption, std::size_t limit) {
    if (caption.size() > limit) {
        caption.resize(limit);
        caption += "..";
    }
    return caption;
}

// The slot for the next entry; the list grows when the scan fills it.
dirrec& next_entry() {
    tdirarr& list = *dir_list;
    if (static_cast<std::size_t>(dir_count) >= list.size()) list.resize(list.size() + list.size() / 2 + 1);
    return list[static_cast<std::size_t>(dir_count)];
}

bool at_root() { return !root_dir.empty() && working_directory() == root_dir; }

}  // namespace

std::string working_directory() {
    std::string path;
    if (char* cwd = getcwd(nullptr, 0)) {
        path = cwd;
        std::free(cwd);
    }
    return path;
}

void set_root_here() { root_dir = working_directory(); }

void scan_dirs() {
    if (!dir_list) return;
    const bool root = at_root();
    walk_working_dir([root](std::string_view name, bool is_dir) {
        if (!is_dir || name == "." || (root && name == "..")) return;
        dirrec& entry = next_entry();
        entry.is_dir = 1;
        entry.name = name;
        const std::string inner = name == ".." ? std::string("..") : cut_caption(make_caption(name), dir_inner_limit);
        entry.caption = "<" + inner + ">";
        ++dir_count;
    });
}

void scan_files(std::string_view ext) {
    if (!dir_list) return;
    walk_working_dir([ext](std::string_view name, bool is_dir) {
        if (is_dir) return;
        const std::string_view tail = name.substr(name.size() < 4 ? 0 : name.size() - 4);
        if (console::upper_case(tail) != ext) return;
        dirrec& entry = next_entry();
        entry.is_dir = 0;
        entry.name = name;
        entry.caption = cut_caption(make_caption(name), file_caption_limit);
        ++dir_count;
    });
}

void rescan() {
    dir_count = 0;
    scan_dirs();
    scan_files(song_ext);
    if (dir_count > 0) sort_entries(0, dir_count - 1);
}

void sort_entries(int lo, int hi) { sort_list(*dir_list, lo, hi); }

void enter_dir(std::string_view name) {
    if (name == ".." && at_root()) return;
    // Held as a handle rather than a path, so the way back works even when
    // the directory has no readable path any more.
    const int here = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (chdir(std::string(name).c_str()) != 0 && here >= 0) {
        (void)fchdir(here);
    }
    if (here >= 0) close(here);
}

}  // namespace selector
