// Folders walked in the selector's order, and M3U and PLS play lists.
#include "selector/play_list.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "base/output_file.hpp"
#include "selector/entry_order.hpp"
#include "selector/song_facts.hpp"
#include "song/format.hpp"

namespace selector {
namespace {

// Play lists are text of a few lines a song: a bigger file is no list.
constexpr size_t most_list_bytes = 16u << 20;
// Folders nested deeper than this are not walked.
constexpr int most_depth = 64;

using folder_id = std::pair<dev_t, ino_t>;

std::string lower(std::string text) {
    for (char& ch : text)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 0x20);
    return text;
}

// The entries of one folder (without "." and ".."), sorted.
tdirarr sorted_entries(const std::string& folder) {
    tdirarr list;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return list;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat status {};
        if (::stat((folder + "/" + entry->d_name).c_str(), &status) != 0) continue;
        const bool is_dir = S_ISDIR(status.st_mode);
        if (!is_dir) {
            const std::string_view tail = name.substr(name.size() < 4 ? 0 : name.size() - 4);
            if (lower(std::string(tail)) != ".tun") continue;
        }
        dirrec record;
        record.is_dir = is_dir ? 1 : 0;
        record.name = name;
        // The order compares captions; a directory's takes its brackets.
        record.caption = make_caption(name);
        if (is_dir) {
            record.caption.insert(record.caption.begin(), '<');
            record.caption.push_back('>');
        }
        list.push_back(std::move(record));
    }
    ::closedir(dir);
    if (!list.empty()) sort_list(list, 0, static_cast<int>(list.size()) - 1);
    return list;
}

void walk(const std::string& folder, int depth, std::set<folder_id>& seen, std::vector<std::string>& songs) {
    struct stat status {};
    if (depth > most_depth || ::stat(folder.c_str(), &status) != 0) return;
    if (!seen.insert({status.st_dev, status.st_ino}).second) return;
    for (const dirrec& entry : sorted_entries(folder)) {
        const std::string path = folder + "/" + entry.name;
        if (entry.is_dir) {
            walk(path, depth + 1, seen, songs);
        } else {
            songs.push_back(path);
        }
    }
}

bool ends_with(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string folder_of(const std::string& name) {
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : name.substr(0, slash);
}

// A line that can name a file: no control characters, no web address.
bool names_a_file(const std::string& line) {
    for (const char ch : line)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) return false;
    const size_t scheme = line.find("://");
    return scheme == std::string::npos || line.find('/') < scheme;
}

// Shown in a message: control characters as "?", at most 80 characters.
std::string shown(const std::string& line) {
    std::string out = line.substr(0, 80);
    for (char& ch : out)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = '?';
    return out + (line.size() > 80 ? "..." : "");
}

void add_entry(play_list_reading& reading, const std::string& list_name, const std::string& folder,
               const std::string& entry, size_t line_number) {
    const std::string where = list_name + ":" + std::to_string(line_number) + ": ";
    if (!names_a_file(entry)) {
        reading.problems.push_back(where + "not a song file name: " + shown(entry));
        return;
    }
    const std::string path = entry.front() == '/' || folder == "." ? entry : folder + "/" + entry;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        reading.problems.push_back(where + "no such song: " + shown(entry));
        return;
    }
    reading.songs.push_back(path);
}

std::vector<std::string> lines_of(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (const uint8_t byte : bytes) {
        if (byte == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(byte);
        }
    }
    if (!line.empty()) lines.push_back(line);
    for (std::string& l : lines) {
        while (!l.empty() && (l.back() == '\r' || l.back() == ' ' || l.back() == '\t')) l.pop_back();
        size_t lead = 0;
        while (lead < l.size() && (l[lead] == ' ' || l[lead] == '\t')) ++lead;
        l.erase(0, lead);
    }
    // A UTF-8 list may begin with a byte order mark.
    if (!lines.empty() && lines[0].starts_with("\xEF\xBB\xBF")) lines[0].erase(0, 3);
    return lines;
}

void read_m3u(play_list_reading& reading, const std::string& list_name, const std::vector<std::string>& lines) {
    const std::string folder = folder_of(list_name);
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        if (line.empty() || line.front() == '#') continue;  // comments, #EXTM3U, #EXTINF
        add_entry(reading, list_name, folder, line, k + 1);
    }
}

// [playlist], then FileN=, TitleN=, LengthN=, NumberOfEntries=, Version=.
void read_pls(play_list_reading& reading, const std::string& list_name, const std::vector<std::string>& lines) {
    const std::string folder = folder_of(list_name);
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        if (line.empty() || line.front() == ';' || lower(line) == "[playlist]") continue;
        const size_t equals = line.find('=');
        const std::string key = lower(line.substr(0, equals));
        const auto numbered = [&key](std::string_view word) {
            return key.starts_with(word) && key.size() > word.size() &&
                   key.find_first_not_of("0123456789", word.size()) == std::string::npos;
        };
        if (equals != std::string::npos && numbered("file")) {
            add_entry(reading, list_name, folder, line.substr(equals + 1), k + 1);
        } else if (equals == std::string::npos ||
                   !(numbered("title") || numbered("length") || key == "numberofentries" || key == "version")) {
            reading.problems.push_back(list_name + ":" + std::to_string(k + 1) + ": not a play list line: " +
                                       shown(line));
        }
    }
}

// A name for a list line: no control characters, which would end the line.
std::string one_line(std::string text) {
    for (char& ch : text)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
    return text;
}

std::string relative_name(const std::string& song, const std::filesystem::path& list_folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path whole = fs::absolute(song, error).lexically_normal();
    if (error) return song;
    const fs::path relative = whole.lexically_relative(list_folder);
    return relative.empty() ? whole.string() : relative.string();
}

}  // namespace

std::vector<std::string> songs_under(const std::string& folder) {
    std::vector<std::string> songs;
    std::set<folder_id> seen;
    std::string top = folder;
    while (top.size() > 1 && top.back() == '/') top.pop_back();
    walk(top, 0, seen, songs);
    return songs;
}

bool is_play_list_name(const std::string& name) {
    const std::string l = lower(name);
    return ends_with(l, ".m3u") || ends_with(l, ".m3u8") || ends_with(l, ".pls");
}

play_list_reading read_play_list(const std::string& list_name) {
    play_list_reading reading;
    struct stat status {};
    if (::stat(list_name.c_str(), &status) != 0) {
        reading.failure = std::strerror(errno);
        return reading;
    }
    if (!S_ISREG(status.st_mode)) {
        reading.failure = "not a regular file";
        return reading;
    }
    if (static_cast<uint64_t>(status.st_size) > most_list_bytes) {
        reading.failure = "too large for a play list";
        return reading;
    }
    const std::vector<uint8_t> bytes = output_files::leading_bytes(list_name, static_cast<size_t>(status.st_size) + 1);
    const std::vector<std::string> lines = lines_of(bytes);
    if (ends_with(lower(list_name), ".pls")) {
        read_pls(reading, list_name, lines);
    } else {
        read_m3u(reading, list_name, lines);
    }
    return reading;
}

std::string extended_m3u(const std::vector<std::string>& songs, const std::string& list_folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder = fs::absolute(list_folder, error).lexically_normal();
    std::string text = "#EXTM3U\n";
    for (const std::string& song : songs) {
        const song_facts facts = read_song_facts(song);
        std::string name = one_line(author_and_title(facts));
        if (name.empty()) name = make_caption(song);
        text += "#EXTINF:" + std::to_string(length_seconds(facts)) + "," + name + "\n";
        text += relative_name(song, folder) + "\n";
    }
    return text;
}

std::string write_play_list(const std::string& list_name, const std::vector<std::string>& songs) {
    for (const std::string& song : songs)
        if (output_files::same_file(song, list_name)) return "it is one of the songs";
    // Nor over any other song.
    const std::vector<uint8_t> start = output_files::leading_bytes(list_name, 3);
    if (start.size() == 3 && song::has_song_magic(start)) return "it is a song file";
    const std::string folder = output_files::is_standard_output(list_name) ? "." : folder_of(list_name);
    const std::string text = extended_m3u(songs, folder);
    output_files::output_file out;
    int error = output_files::open_output(list_name, out);
    if (error == 0)
        error = output_files::write_all(
            out, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    if (error == 0) error = output_files::commit(out);
    if (error != 0) {
        output_files::discard(out);
        return std::strerror(error);
    }
    return {};
}

}  // namespace selector
