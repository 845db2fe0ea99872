// tuntool as a program: the bundled songs are what their scores build,
// packed and relaid songs record to the same WAV as the originals, info
// speaks for the player, and failures leave existing output alone.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "song_bytes.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::program_result;
using test_support::read_file;
using test_support::write_file;

// Runs tuntool with standard error joined to standard output.
program_result tuntool(const std::vector<std::string>& arguments) {
    std::vector<std::string> all{"-c", "exec \"$0\" \"$@\" 2>&1", TUNTOOL_BINARY};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return test_support::run_program("/bin/sh", all);
}

std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

class TuntoolProgram : public ::testing::Test {
protected:
    void SetUp() override { dir = test_support::make_temp_dir(); }
    void TearDown() override { test_support::remove_tree(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    // Records song into a WAV file and returns its bytes.
    std::vector<uint8_t> record(const std::string& song) {
        const std::string wav = song + ".wav";
        const program_result r = test_support::run_program(PLAYTUN_BINARY, {song, wav});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("Recording Done"), std::string::npos) << r.output;
        auto bytes = read_file(wav);
        fs::remove(wav);
        return bytes;
    }

    std::vector<std::string> files_in_dir() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir;
};

std::vector<fs::path> bundled_scores() {
    std::vector<fs::path> scores;
    for (const auto& entry : fs::recursive_directory_iterator(SONGS_DIR))
        if (entry.path().extension() == ".txt") scores.push_back(entry.path());
    std::sort(scores.begin(), scores.end());
    return scores;
}

TEST_F(TuntoolProgram, BundledSongsAreWhatTheirScoresBuild) {
    const auto scores = bundled_scores();
    EXPECT_GE(scores.size(), 4u);
    for (const auto& score : scores) {
        fs::path song = score;
        song.replace_extension(".tun");
        const program_result r = tuntool({"build", score.string(), path("built.tun")});
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(read_file(path("built.tun")), read_file(song.string()))
            << song << " is not what its score builds. Look for a regression in the score compiler first; only "
            << "for an intended change, run songs/rebuild.sh.";
    }
    // And every bundled song has its score, or, imported, its PSID tune.
    for (const auto& entry : fs::recursive_directory_iterator(SONGS_DIR)) {
        if (entry.path().extension() != ".tun") continue;
        fs::path score = entry.path(), tune = entry.path();
        score.replace_extension(".txt");
        tune.replace_extension(".sid");
        EXPECT_TRUE(fs::exists(score) || fs::exists(tune)) << entry.path() << " has no score";
    }
}

TEST_F(TuntoolProgram, PackedAndRelaidSongsRecordTheSameSound) {
    for (const auto& score : bundled_scores()) {
        fs::path song = score;
        song.replace_extension(".tun");
        const std::string original = path("original.tun");
        fs::copy_file(song, original);
        const auto expected = record(original);
        ASSERT_GT(expected.size(), 44u);

        const bool compressed = (read_file(original)[3] & 0x40) != 0;
        const bool interleaved = (read_file(original)[3] & 0x10) != 0;
        const std::vector<std::vector<std::string>> conversions{
            {compressed ? "unpack" : "pack", original, path("packed.tun")},
            {"relayout", original, path("relaid.tun"), interleaved ? "--planar" : "--interleaved"},
        };
        for (const auto& conversion : conversions) {
            const program_result r = tuntool(conversion);
            ASSERT_EQ(r.status, 0) << r.output;
            EXPECT_EQ(record(conversion[2]), expected) << song << ": " << conversion[0];
        }
        // Back again: the original bytes.
        ASSERT_EQ(tuntool({compressed ? "pack" : "unpack", path("packed.tun"), path("back.tun")}).status, 0);
        EXPECT_EQ(read_file(path("back.tun")), read_file(original)) << song;
        ASSERT_EQ(
            tuntool({"relayout", path("relaid.tun"), path("back.tun"), interleaved ? "--interleaved" : "--planar"})
                .status,
            0);
        EXPECT_EQ(read_file(path("back.tun")), read_file(original)) << song;
        for (const char* name : {"original.tun", "packed.tun", "relaid.tun", "back.tun"}) fs::remove(path(name));
    }
}

TEST_F(TuntoolProgram, BuildThenInfoDescribesTheSong) {
    write_file(path("s.txt"), bytes_of("variant chip\nrate 25\ntempo 5\ntext \"tiny\"\nlayout planar\ncompress yes\n"
                                       "pattern p\n1: C-4 . . .\n2: C-3 --- C-3 ---\n"
                                       "play p loop p*3\n"));
    const program_result built = tuntool({"build", path("s.txt"), path("s.tun")});
    ASSERT_EQ(built.status, 0) << built.output;
    const program_result r = tuntool({"info", path("s.tun")});
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* line : {"CQK (chip variant)", "channels     2", "layout       planar", "compression  aPLib",
                             "frame rate   25", "frames       80", "duration     0:03.20", "loop frame   20 (0:00.80)",
                             "song text    \"tiny\"", "playtun      plays it"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
}

TEST_F(TuntoolProgram, InfoGivesThePlayersVerdict) {
    test_support::song_header h;
    const auto body = std::vector<uint8_t>(36, 0);
    struct case_ {
        std::vector<uint8_t> song;
        int status;
        const char* message;
    };
    h.flags = 0x10;  // no channels
    const auto no_channels = test_support::song_bytes(h, body);
    h.flags = 0x53;  // compressed, U = 0
    const auto no_size = test_support::song_bytes(h, body);
    h.unpacked_size = 100;  // compressed, the stream is zeros
    const auto broken = test_support::song_bytes(h, body);
    // 18 bytes that claim 4 GiB of frame data: refused before anything is
    // allocated for it, naming the song.
    h.unpacked_size = 0xFFFFFFFF;
    const auto huge_claim = test_support::song_bytes(h, std::vector<uint8_t>(2, 0));
    const case_ cases[] = {
        {no_channels, 1, "?Channel count  ERROR"},
        {no_size, 1, "?Compressed Data  ERROR"},
        {broken, 1, "?Decompression  ERROR"},
        {bytes_of("RIFF and more than sixteen bytes"), 1, "?No SID-DUMP file  ERROR"},
        {huge_claim, 1, "claims to unpack to 4294967295 bytes, more than any song holds (268435456)"},
        {test_support::song_bytes({}, body), 0, "playtun      plays it"},
    };
    std::vector<std::string> all{"info"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const case_& c = cases[i];
        std::string name = path("x");
        name.append(std::to_string(i)).append(".tun");
        write_file(name, c.song);
        all.push_back(name);
        const program_result r = tuntool({"info", name});
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(name), std::string::npos) << "the song is not named: " << r.output;
    }
    // Many songs at once: each described in turn, the status 1 for the
    // refused ones, and every song named.
    const program_result r = tuntool(all);
    EXPECT_EQ(r.status, 1) << r.output;
    size_t at = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        at = r.output.find(cases[i].message, at);
        EXPECT_NE(at, std::string::npos) << cases[i].message << "\n" << r.output;
    }
}

TEST_F(TuntoolProgram, FailuresLeaveTheOutputAlone) {
    const auto song = test_support::song_bytes({}, std::vector<uint8_t>(18 * 5, 1));
    write_file(path("song.tun"), song);
    write_file(path("bad.txt"), bytes_of("pattern a\n1: C-4 Z-9\nplay a\n"));
    write_file(path("not-a-song.tun"), bytes_of("hello, this is not a song"));
    fs::create_directory(path("folder"));
    const std::vector<uint8_t> precious = bytes_of("keep me");
    write_file(path("out.tun"), precious);
    // A FIFO that no one writes: a song must be a regular file, refused
    // before it is opened (an open would wait for ever).
    ASSERT_EQ(mkfifo(path("fifo.tun").c_str(), 0644), 0);

    struct case_ {
        std::vector<std::string> arguments;
        int status;
        const char* message;
    };
    const case_ cases[] = {
        {{"build", path("bad.txt"), path("out.tun")}, 1, "bad.txt:2:8: \"Z-9\" is not a note"},
        {{"pack", path("missing.tun"), path("out.tun")}, 1, "cannot read"},
        {{"pack", path("folder"), path("out.tun")}, 1, "Is a directory"},
        {{"pack", path("not-a-song.tun"), path("out.tun")}, 1, "not a song file"},
        {{"unpack", path("song.tun"), path("out.tun")}, 1, "not compressed"},
        {{"info", path("missing.tun")}, 1, "No such file"},
        {{"info", path("fifo.tun")}, 1, "fifo.tun: not a regular file (a FIFO)"},
        {{"pack", path("fifo.tun"), path("out.tun")}, 1, "fifo.tun: not a regular file (a FIFO)"},
        {{"info", "/dev/zero"}, 1, "/dev/zero: not a regular file (a device)"},
        {{"pack", path("song.tun"), path("no/such/dir/out.tun")}, 1, "cannot write"},
        {{"pack", path("song.tun"), path("folder")}, 1, "Is a directory"},
        {{"relayout", path("song.tun"), path("out.tun"), "--sideways"}, 2, "--planar or --interleaved"},
        {{"pack", path("song.tun")}, 2, "takes 2 arguments"},
        {{"dance"}, 2, "unknown command"},
        {{}, 2, "no command"},
    };
    for (const auto& c : cases) {
        const program_result r = tuntool(c.arguments);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), c.status == 2 ? 2 : 1) << r.output;
        EXPECT_EQ(read_file(path("out.tun")), precious);
    }
    // No temporary files are left behind.
    const std::vector<std::string> expected{"bad.txt", "fifo.tun", "folder", "not-a-song.tun", "out.tun", "song.tun"};
    EXPECT_EQ(files_in_dir(), expected);
    // A successful run replaces the output.
    EXPECT_EQ(tuntool({"pack", path("song.tun"), path("out.tun")}).status, 0);
    EXPECT_NE(read_file(path("out.tun")), precious);
}

// Commands with nothing to change succeed and say so; the report line
// counts in the singular for one.
TEST_F(TuntoolProgram, NothingToDoIsSaidAndSucceeds) {
    write_file(path("one.txt"), bytes_of("compress yes\nlayout planar\npattern p\n1: C-4 . . .\nplay p\n"));
    struct case_ {
        std::vector<std::string> arguments;
        const char* message;
        const char* same_as;  // the output is this file's copy, or nothing
    };
    const case_ cases[] = {
        {{"build", path("one.txt"), path("one.tun")}, "one.tun: 1 channel, ", nullptr},
        {{"pack", path("one.tun"), path("again.tun")}, "again.tun: already packed, copied unchanged", "one.tun"},
        {{"pack", path("one.tun"), path("one.tun")}, "one.tun: already packed, copied unchanged", "again.tun"},
        {{"relayout", path("one.tun"), path("relaid.tun"), "--planar"}, "already planar, copied unchanged", "one.tun"},
    };
    for (const auto& c : cases) {
        const program_result r = tuntool(c.arguments);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        if (c.same_as != nullptr) {
            EXPECT_EQ(read_file(c.arguments[2]), read_file(path(c.same_as))) << c.arguments[0];
        }
    }
}

TEST_F(TuntoolProgram, HelpListsTheCommands) {
    const program_result r = tuntool({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* command : {"info", "pack", "unpack", "relayout", "build"})
        EXPECT_NE(r.output.find(std::string("  ") + command + " "), std::string::npos) << command;
}

}  // namespace
