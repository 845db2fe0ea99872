// The listener's library: song facts beside the list, the title view,
// folders walked in the selector's order, play lists read and written, and
// "next" going on into the next folder.
#include <unistd.h>

#include <map>
#include <sstream>

#include "base/output_file.hpp"
#include "program_run.hpp"
#include "selector/play_list.hpp"
#include "selector_fixture.hpp"
#include "song_bytes.hpp"

namespace {

using namespace selector;
namespace fs = std::filesystem;

// A song of `voices` voices and `frames` frames of silence.
void write_song(const std::string& path, unsigned voices, uint32_t frames, const std::string& text, bool planar = false,
                uint16_t rate = 50, uint32_t loop = 0) {
    test_support::song_header h;
    h.flags = static_cast<uint8_t>((planar ? 0 : 0x10) | voices);
    h.frame_rate = rate;
    h.loop_frame = loop;
    h.text = text;
    const auto source = [](uint32_t, uint32_t) { return test_support::record_values{}; };
    const auto body = planar ? test_support::planar_body(voices, frames, source)
                             : test_support::interleaved_body(voices, frames, source);
    test_support::write_file(path, test_support::song_bytes(h, body));
}

void push_key(SDLKey key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    ASSERT_EQ(SDL_PushEvent(&event), 0);
}

std::string row_text(int row) {
    std::string text;
    for (int c = 0; c < console::screen_columns; ++c) {
        const auto ch = static_cast<char>(console::screen_cells[row * console::screen_columns + c] & 0xFF);
        text += ch == 0 ? ' ' : ch;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The value on the line of `tuntool info` that starts with the label.
std::string info_value(const std::string& info, const std::string& label) {
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("  " + label)) return line.substr(line.find_first_not_of(' ', label.size() + 2));
    return "?";
}

TEST_F(SelectorDir, FactsRowsSayWhatTuntoolInfoSays) {
    struct case_ {
        const char* file;
        unsigned voices;
        uint32_t frames;
        uint16_t rate;
        uint32_t loop;
        bool planar, packed;
        std::string text, title, author, release;
    };
    const case_ cases[] = {
        {"full.tun", 3, 1500, 50, 250, false, false, "Starfish by Fish Co, 1987 Label", "Starfish", "Fish Co",
         "1987 Label"},
        {"no_release.tun", 1, 60, 60, 0, true, false, "Swing by Cat", "Swing", "Cat", ""},
        {"no_text.tun", 8, 7, 50, 0, false, false, "", "", "", ""},
        {"sentence.tun", 2, 4321, 50, 0, false, false, "Lullaby - a small waltz, stored plane by plane", "", "",
         ""},
        {"packed.tun", 4, 3000, 50, 1000, true, true, "Pack by Er, 2001", "Pack", "Er", "2001"},
        {"five.tun", 5, 100, 7, 99, false, true, "", "", "", ""},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = (root / c.file).string();
        write_song(c.packed ? path + ".plain" : path, c.voices, c.frames, c.text, c.planar, c.rate, c.loop);
        if (c.packed) {
            ASSERT_EQ(test_support::run_program(TUNTOOL_BINARY, {"pack", path + ".plain", path}).status, 0);
            fs::remove(path + ".plain");
        }
        const auto info = test_support::run_program(TUNTOOL_BINARY, {"info", path});
        ASSERT_EQ(info.status, 0) << info.errors;
        const song_facts facts = read_song_facts(path);
        ASSERT_TRUE(facts.is_song) << facts.problem;
        EXPECT_EQ(facts.title, c.title);
        EXPECT_EQ(facts.author, c.author);
        EXPECT_EQ(facts.release, c.release);
        EXPECT_EQ(std::to_string(facts.voices), info_value(info.output, "channels"));
        EXPECT_EQ(length_text(facts.frames, facts.frame_rate), info_value(info.output, "duration"));
        const auto rows = facts_text(facts);
        if (!c.title.empty()) {
            EXPECT_EQ(rows[0].substr(0, 8 + c.title.size()), "Title   " + c.title);
            EXPECT_EQ(rows[0].substr(40), "Author  " + c.author);
        } else {
            EXPECT_EQ(rows[0], c.text.empty() ? "Text" : "Text    " + c.text);
        }
        EXPECT_EQ(rows[1].substr(0, 8 + c.release.size()), "Release " + c.release);
        EXPECT_NE(rows[1].find("Length " + info_value(info.output, "duration")), std::string::npos) << rows[1];
        // "loop frame   250 (0:05.00)": the loop's start as info shows it.
        const std::string loop = info_value(info.output, "loop frame");
        const std::string loop_time = loop.substr(loop.find('(') + 1, loop.find(')') - loop.find('(') - 1);
        EXPECT_EQ(rows[1].find(", loop " + loop_time) != std::string::npos, c.loop > 0) << rows[1];
        EXPECT_EQ(rows[1].substr(72), "Voices " + info_value(info.output, "channels"));
    }
    // What is no song says why, as the player would.
    make_file("broken.tun");
    EXPECT_EQ(facts_text(read_song_facts("broken.tun"))[0], "?No SID-DUMP file  ERROR");
    write_song("nine.tun", 9, 10, "");
    EXPECT_EQ(facts_text(read_song_facts("nine.tun"))[0], "?Channel count  ERROR");
    ASSERT_EQ(mkfifo("fifo.tun", 0600), 0);
    EXPECT_EQ(read_song_facts("fifo.tun").problem, "not a regular file");
}

TEST_F(SelectorDir, TitleViewShowsTitleAuthorAndLengthAndTheFactsRowsFollowTheBar) {
    open_dummy_screen();
    write_song("b.tun", 3, 1500, "Zebra by Ann, 1999");
    write_song("a.tun", 1, 3050, "");
    make_dir("sub");
    selector_start();
    page_rows = page_rows_with_facts;
    // .., <sub>, a.tun, b.tun
    push_key(SDLK_t);
    selector_pass();
    draw_list();
    EXPECT_TRUE(title_view);
    const std::string ann = "Zebra - Ann";
    EXPECT_EQ(row_text(2), std::string(39 - 2, ' ') + "<..>");
    EXPECT_EQ(row_text(3), std::string(39 - 2, ' ') + "<sub>");
    EXPECT_EQ(row_text(4), std::string(39 - 2, ' ') + "a.tun" + std::string(80 - 1 - 4 - 42, ' ') + "1:01");
    EXPECT_EQ(row_text(5), std::string(39 - ann.size() / 2, ' ') + ann +
                               std::string(80 - 1 - 4 - (39 - ann.size() / 2) - ann.size(), ' ') + "0:30");
    EXPECT_EQ(row_text(47), "") << "a folder under the bar has no facts";
    EXPECT_EQ(row_text(48), "");
    for (int k = 0; k < 3; ++k) push_key(SDLK_DOWN);
    for (int k = 0; k < 3; ++k) selector_pass();
    draw_list();
    EXPECT_EQ(highlighted_entry(), 3);
    EXPECT_EQ(row_text(47), "Title   Zebra                           Author  Ann");
    EXPECT_EQ(row_text(48), "Release 1999                            Length 0:30.00                  Voices 3");
    EXPECT_EQ(row_text(49).substr(0, 7), "Up Down");
    // The view holds after Return into a folder and back; t turns it off.
    push_key(SDLK_t);
    selector_pass();
    draw_list();
    EXPECT_FALSE(title_view);
    EXPECT_EQ(row_text(5), std::string(39 - 2, ' ') + "b.tun");
    selector_stop();
}

// A tree of songs, some hidden, some in upper case, with a link back up.
class SongTree : public SelectorDir {
protected:
    void make_tree() {
        for (const char* d : {"music/B", "music/a/sub", "music/.hidden", "music/empty"}) fs::create_directories(d);
        for (const char* s : {"music/B/x.tun", "music/a/y.TUN", "music/a/sub/z.tun", "music/top.tun",
                              "music/.hidden/h.tun", "music/a/b.tun"})
            write_song(s, 1, 50, std::string("Song ") + s + " by Tests");
        make_file("music/notes.txt");
        fs::create_directory_symlink("..", "music/a/up");
    }
    // The songs a listener meets opening each folder of the selector in
    // turn, top to bottom.
    static void selector_walk(std::vector<std::string>& out, const std::string& prefix, int depth) {
        rescan();
        std::vector<dirrec> entries(dir_list->begin(), dir_list->begin() + dir_count);
        for (const dirrec& e : entries) {
            if (e.is_dir && (e.name == ".." || e.name == "up" || depth > 4)) continue;
            if (!e.is_dir) {
                out.push_back(prefix + "/" + e.name);
                continue;
            }
            enter_dir(e.name);
            selector_walk(out, prefix + "/" + e.name, depth + 1);
            enter_dir("..");
            rescan();
        }
    }
};

TEST_F(SongTree, AFolderPlaysInTheSelectorsOrder) {
    make_tree();
    const std::vector<std::string> want{"music/.hidden/h.tun", "music/a/sub/z.tun", "music/a/b.tun",
                                        "music/a/y.TUN",       "music/B/x.tun",     "music/top.tun"};
    EXPECT_EQ(songs_under("music"), want);
    EXPECT_EQ(songs_under("music/"), want);
    selector_start();
    std::vector<std::string> walked;
    enter_dir("music");
    selector_walk(walked, "music", 0);
    EXPECT_EQ(walked, want);
    selector_stop();
    EXPECT_TRUE(songs_under("nowhere").empty());
}

TEST_F(SongTree, PlayListsGiveTheirSongsAndNameWhatTheySkip) {
    make_tree();
    const std::string absolute = (root / "music/top.tun").string();
    struct case_ {
        const char* name;
        std::string text;
        std::vector<std::string> songs;
        std::vector<std::string> problems;  // the start of each line after "NAME:"
    };
    const case_ cases[] = {
        {"music/a/list.m3u",
         "#EXTM3U\r\n#EXTINF:1,Tests - y\r\ny.TUN\r\n  sub/z.tun  \r\n\r\n# a comment\r\n" + absolute + "\r\n",
         {"music/a/y.TUN", "music/a/sub/z.tun", absolute},
         {}},
        {"music/list.m3u8", "\xEF\xBB\xBF" "B/x.tun\nB/gone.tun\nhttp://example.org/s.tun\n\x01\x02garbage\n",
         {"music/B/x.tun"},
         {"2: no such song: B/gone.tun", "3: not a song file name: http://", "4: not a song file name: ??garbage"}},
        {"music/list.pls",
         "[playlist]\nFile1=top.tun\nTitle1=Top\nLength1=1\nFile2=/no/such.tun\nnonsense\nFile3=a/b.tun\n"
         "NumberOfEntries=3\nVersion=2\nColour=red\n",
         {"music/top.tun", "music/a/b.tun"},
         {"5: no such song: /no/such.tun", "6: not a play list line: nonsense", "10: not a play list line: Colour"}},
        {"list.M3U", "music/top.tun\n", {"music/top.tun"}, {}},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(is_play_list_name(c.name));
        std::ofstream(c.name, std::ios::binary) << c.text;
        const play_list_reading r = read_play_list(c.name);
        EXPECT_EQ(r.failure, "");
        ASSERT_EQ(r.songs.size(), c.songs.size());
        for (size_t k = 0; k < c.songs.size(); ++k) EXPECT_TRUE(output_files::same_file(r.songs[k], c.songs[k])) << k;
        ASSERT_EQ(r.problems.size(), c.problems.size());
        for (size_t k = 0; k < c.problems.size(); ++k)
            EXPECT_TRUE(r.problems[k].starts_with(std::string(c.name) + ":" + c.problems[k])) << r.problems[k];
    }
    EXPECT_FALSE(is_play_list_name("song.tun"));
    EXPECT_NE(read_play_list("missing.m3u").failure, "");
    EXPECT_EQ(read_play_list("music").failure, "not a regular file");
}

TEST_F(SongTree, AWrittenListPlaysTheSameSongsBack) {
    make_tree();
    make_dir("lists");
    const std::vector<std::string> songs = songs_under("music");
    ASSERT_EQ(write_play_list("lists/all.m3u", songs), "");
    const play_list_reading back = read_play_list("lists/all.m3u");
    EXPECT_TRUE(back.problems.empty());
    ASSERT_EQ(back.songs.size(), songs.size());
    for (size_t k = 0; k < songs.size(); ++k) EXPECT_TRUE(output_files::same_file(back.songs[k], songs[k])) << k;
    std::ifstream in("lists/all.m3u");
    std::string first, info, name;
    std::getline(in, first);
    std::getline(in, info);
    std::getline(in, name);
    EXPECT_EQ(first, "#EXTM3U");
    EXPECT_EQ(info, "#EXTINF:1,Tests - Song music/.hidden/h.tun");
    EXPECT_EQ(name, "../music/.hidden/h.tun");
    // Never over a song: the list keeps its old text and the song its bytes.
    const auto song_bytes = test_support::read_file("music/top.tun");
    EXPECT_NE(write_play_list("music/top.tun", songs), "");
    EXPECT_NE(write_play_list("music/B/x.tun", {"music/top.tun"}), "") << "nor over a song not in the list";
    EXPECT_EQ(test_support::read_file("music/top.tun"), song_bytes);
}

// After the last song of a folder, "next" is the first song of the folder
// that follows in the selector's order; the selector then shows that folder
// with the bar on it.
TEST_F(SongTree, NextAfterAFoldersLastSongIsTheNextFoldersFirst) {
    make_tree();
    ASSERT_EQ(chdir("music"), 0);
    selector_start();
    const std::string top = start_dir;
    struct step {
        const char* folder;
        const char* song;
        std::string after;
    };
    const step steps[] = {
        {".hidden", "h.tun", top + "/a/sub/z.tun"},
        {"a/sub", "z.tun", top + "/a/b.tun"},
        {"a", "y.TUN", top + "/B/x.tun"},
        {"B", "x.tun", top + "/top.tun"},
        {".", "top.tun", ""},
    };
    for (const step& s : steps) {
        SCOPED_TRACE(s.song);
        ASSERT_EQ(chdir((top + "/" + s.folder).c_str()), 0);
        rescan();
        EXPECT_EQ(song_after(s.song), s.after);
    }
    ASSERT_EQ(chdir((top + "/a").c_str()), 0);
    const int entry = go_to_song(song_after("y.TUN"));
    ASSERT_GE(entry, 0);
    EXPECT_EQ(fs::current_path(), fs::path(top) / "B");
    EXPECT_EQ((*dir_list)[highlighted_entry()].name, "x.tun");
    ASSERT_EQ(chdir(top.c_str()), 0);
    selector_stop();
}

// w writes the highlighted folder's songs as NAME.m3u in the folder shown.
TEST_F(SongTree, WKeyWritesTheHighlightedFoldersList) {
    open_dummy_screen();
    make_tree();
    selector_start();
    page_rows = page_rows_with_facts;
    // .., music
    push_key(SDLK_DOWN);
    push_key(SDLK_w);
    selector_pass();
    selector_pass();
    draw_list();
    const play_list_reading r = read_play_list("music.m3u");
    EXPECT_EQ(r.songs.size(), songs_under("music").size());
    EXPECT_EQ(row_text(1), "Wrote music.m3u: 6 songs");
    selector_stop();
}

}  // namespace
