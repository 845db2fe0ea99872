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

char upper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 0x20) : ch; }

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

std::string make_caption(std::string_view name) {
    std::string s(name);
    for (char& ch : s) {
        if (ch == '/') ch = '\\';
    }
    if (const auto colon = s.find(':'); colon != std::string::npos) s.erase(0, colon + 1);
    if (const auto slash = s.rfind('\\'); slash != std::string::npos) s.erase(0, slash + 1);
    return s;
}

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

bool entry_before(const dirrec& a, const dirrec& b) {
    if (a.is_dir != b.is_dir) return a.is_dir > b.is_dir;
    // Upper-cased byte by byte as they are compared; equal texts are not
    // "before".
    const std::string& x = a.caption;
    const std::string& y = b.caption;
    const std::size_t common = std::min(x.size(), y.size());
    for (std::size_t k = 0; k < common; ++k) {
        const auto p = static_cast<unsigned char>(upper(x[k]));
        const auto q = static_cast<unsigned char>(upper(y[k]));
        if (p != q) return p < q;
    }
    return x.size() < y.size();
}

// Entries that compare equal end in whatever order this exact procedure
// leaves them; the list order on screen depends on it, so it must not be
// replaced by another sort.
// The two parts of a partition are sorted independently of each other, so
// sorting the larger one in the loop instead of a call leaves the same
// order.
void sort_entries(int lo, int hi) {
    tdirarr& list = *dir_list;
    while (lo < hi) {
        const dirrec pivot = list[static_cast<std::size_t>((lo + hi) / 2)];
        int i = lo;
        int j = hi;
        do {
            while (entry_before(list[static_cast<std::size_t>(i)], pivot)) ++i;
            while (entry_before(pivot, list[static_cast<std::size_t>(j)])) --j;
            if (i <= j) {
                std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - lo < hi - i) {
            if (lo < j) sort_entries(lo, j);
            lo = i;
        } else {
            if (i < hi) sort_entries(i, hi);
            hi = j;
        }
    }
}

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
