// The player screen on a dummy video surface: the fixed rows, whole loop
// iterations, the marquee, the note history and the keys taken by the loop.

#include <cstdio>
#include <string>
#include <vector>

#include "player_fixture.hpp"
#include "song_bytes.hpp"

namespace {

using namespace player_test;

const std::string banner = std::string(2, '\xDB') + " MELVOX TUN-Player_w32 b20080226" + std::string(16, ' ') +
                           "MELodic VOice eXer" + " " + std::string(5, '\xDB') + std::string(3, '\xB2') +
                           std::string(2, '\xB1') + "\xB0";

// Opens a song from bytes as the player screen would, with the given text.
void open_song(uint8_t channels, const std::string& text, uint32_t frames = 500) {
    test_support::song_header h;
    h.flags = static_cast<uint8_t>(0x10 | channels);
    h.text = text;
    const auto bytes =
        test_support::song_bytes(h, test_support::interleaved_body(channels, frames, [](uint32_t, uint32_t) {
                                     return test_support::record_values{0x0400, 0x80, 0x41, 200, 0x80};
                                 }));
    (void)song::load_song_bytes(player::player_engine().song, bytes);
    ASSERT_EQ(song::read_header(player::player_engine().song, song::output_rate), song::header_outcome::ok);
    player::player_engine().song.frame_index.store(0);
}

TEST(PlayerText, ShortNamesStayWholeAndLongOnesKeepTheirLast28Characters) {
    const std::string name28 = "abcdefghijklmnopqrstuvwxyz01";
    ASSERT_EQ(name28.size(), 28u);
    EXPECT_EQ(player::shortened_name(name28), name28);
    EXPECT_EQ(player::shortened_name("X" + name28), "..." + name28);
    EXPECT_EQ(player::shortened_name("some/dir/" + name28), "..." + name28);
    EXPECT_EQ(player::shortened_name(""), "");
    EXPECT_EQ(player::shortened_name("demo.tun"), "demo.tun");
}

TEST(PlayerText, LongPathsLoseTheirMiddleAndKeepTheFileNameWhole) {
    struct case_ {
        std::string name, shown;
    };
    const case_ cases[] = {
        {"music/authors/Some Author/starfish-1.tun", "music/authors.../starfish-1.tun"},
        {"/home/listener/music/a.tun", "/home/listener/music/a.tun"},  // 26: whole
        {"/home/listener/music/songs/a.tun", "/home/listener/music/s.../a.tun"},
        // A file name that leaves no room for the start keeps its end.
        {"dir/abcdefghijklmnopqrstuvwxyz0.tun", "...defghijklmnopqrstuvwxyz0.tun"},
    };
    for (const case_& c : cases) {
        const std::string shown = player::shortened_name(c.name);
        EXPECT_EQ(shown, c.shown) << c.name;
        EXPECT_LE(shown.size(), 31u) << "the Playing line must end before column 69";
    }
}

using FixedScreen = PlayerWindow;

TEST_F(FixedScreen, PlayingLineNamesSongRateVoicesAndOutputRate) {
    EXPECT_EQ(player::playing_line("demo"), "Playing demo at 50hz on Tonera3 (48khz)");
    player::player_engine().song.frame_rate = 1000;
    player::player_engine().song.channel_count = 8;
    EXPECT_EQ(player::playing_line("..." + std::string(28, 'n')),
              "Playing ..." + std::string(28, 'n') + " at 1000hz on Tonera8 (48khz)");
}

TEST_F(FixedScreen, AListsSongShowsItsPlaceAndTheNextSongOnRow2) {
    for (const std::string line : {"", "(2 of 5)  next: b.tun"}) {
        console::screen_cells.fill(0x4E41);
        player::playing.list_line = line;
        player::draw_fixed_screen("demo");
        EXPECT_EQ(row_text(2, 0, static_cast<int>(line.size()) - 1), line);
        for (int c = static_cast<int>(line.size()); c < 80; ++c) EXPECT_EQ(character_at(c, 2), 0) << c;
    }
    player::playing = {};
}

TEST_F(FixedScreen, BannerBordersAndBlankLowerScreen) {
    for (uint8_t n : {1, 3, 8}) {
        SCOPED_TRACE(int(n));
        console::screen_cells.fill(0x4E41);
        player::player_engine().song.channel_count = n;
        player::draw_fixed_screen("demo");
        EXPECT_EQ(row_text(0, 0, 79), banner);
        for (int c = 0; c < 80; ++c) EXPECT_EQ(attribute_at(c, 0), 0x0F) << c;
        const std::string playing = "Playing demo at 50hz on Tonera" + std::to_string(n) + " (48khz)";
        EXPECT_EQ(row_text(1, 0, int(playing.size()) - 1), playing);
        EXPECT_EQ(attribute_at(0, 1), 0x07);
        EXPECT_EQ(cell(int(playing.size()), 1), 0x0700) << "the rest of row 1 is blank";
        EXPECT_EQ(console::cursor_x, 0);
        EXPECT_EQ(console::cursor_y, 2);
        for (int c = 0; c < 80; ++c) {
            EXPECT_EQ(cell(c, 2), 0x0700);
            EXPECT_EQ(cell(c, 3), 0x09DC);
            EXPECT_EQ(cell(c, 4), 0x0700);
            EXPECT_EQ(cell(c, 5), 0x09DF);
            EXPECT_EQ(cell(c, 6), 0x0FDC);
            EXPECT_EQ(cell(c, 7 + n), 0x0FDF) << "closing border";
            for (int row = 8 + n; row <= 16; ++row) EXPECT_EQ(cell(c, row), 0x0700) << row;
            for (int row = 17; row <= 49; ++row) EXPECT_EQ(cell(c, row), 0x0000) << row;
        }
        EXPECT_EQ(player::layout.column_width, 80 / n);
    }
}

class Iterations : public PlayerWindow {
protected:
    void start(uint8_t channels, const std::string& text = "") {
        open_song(channels, text);
        player::draw_fixed_screen("song.tun");
    }
    static void run(int iterations) {
        for (int i = 0; i < iterations; ++i) player::player_iteration();
    }
};

TEST_F(Iterations, BadgePositionDefinitionsAndPlayTime) {
    start(3);
    player::player_engine().song.frame_index.store(1234);  // 24 s of 3050 frames (61 s) at 50 Hz
    player::player_engine().song.frame_total = 3050;
    player::player_engine().play_time.store(754u * 300000u + 299999u);  // 12:34
    player::player_engine().pulse_fold.store(false);
    player::player_engine().wave_slots[0].wave_definition = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                                             0x3F, 0x2E, 0x1D, 0x0C, 0x00, 0x10, 0x20, 0x30};
    run(1);
    EXPECT_EQ(row_text(0, 0, 1), "02");
    EXPECT_EQ(attribute_at(0, 0), 0xF0);
    EXPECT_EQ(row_text(0, 2, 79), banner.substr(2));
    EXPECT_EQ(row_text(1, 69, 79), "00:24/01:01");
    for (int c = 69; c < 80; ++c) EXPECT_EQ(attribute_at(c, 1), 0x07) << c;
    EXPECT_EQ(row_text(16, 8, 31), "01 02 03 04 05 06 07 08 ");
    EXPECT_EQ(row_text(16, 48, 71), "3F 2E 1D 0C 00 10 20 30 ");
    EXPECT_EQ(attribute_at(8, 16), 0x07);
    EXPECT_EQ(attribute_at(48, 16), 0x08);

    // The play time is in the presented picture but not in the cells.
    EXPECT_EQ(row_text(49, 67, 79), std::string(13, '\xDF')) << "only the column view's line";
    // Labelled: the song's own position is the clock on row 1.
    const std::string shown = " played 12:34";
    for (int i = 0; i < 13; ++i) {
        const uint8_t ch = static_cast<uint8_t>(shown[i]);
        for (int k = 0; k < 8; ++k)
            for (int p = 0; p < 8; ++p) {
                const bool set = console::font[ch * 8 + k] & (0x80 >> p);
                ASSERT_EQ(pixel((67 + i) * 8 + p, 49 * 8 + k), set ? 182 : 0) << i << "," << k << "," << p;
            }
    }

    // Pulse fold darkens the badge; the other half lights up after Space.
    player::player_engine().pulse_fold.store(true);
    player::view.edit_half = 8;
    run(1);
    EXPECT_EQ(attribute_at(0, 0), 0xF8);
    EXPECT_EQ(attribute_at(8, 16), 0x08);
    EXPECT_EQ(attribute_at(48, 16), 0x07);
}

TEST_F(Iterations, ColumnViewDrawsLinesVoiceRowsAndClearsMeterBackgroundsAfterThePresent) {
    start(2);
    set_record(0, 0x0400, 0x00, 0x41, 0xFF, 0xFF);
    set_record(1, 0x0400, 0x00, 0x41, 0x00, 0x00);
    set_voice(0, 255, 0, 255);
    set_voice(1, 0, 0, 255);
    run(1);
    EXPECT_EQ(row_text(7, 0, 16), "1C-4[400]41FF00FF");
    EXPECT_EQ(attribute_at(40, 7), 0x79);
    EXPECT_EQ(row_text(8, 0, 16), "2===[400]41000000");
    EXPECT_EQ(attribute_at(40, 8), 0x7C);
    EXPECT_EQ(cell(0, 9), 0x0FDF);
    // Light grey lines: lower half of row 17, upper half of row 49.
    for (int c = 0; c < 80; ++c) {
        EXPECT_EQ(character_at(c, 17), '\xDF');
        EXPECT_EQ(background_at(c, 17), 7) << c;
        EXPECT_EQ(character_at(c, 49), '\xDF');
        EXPECT_EQ(attribute_at(c, 49) & 0x0F, 7) << c;
    }
    EXPECT_EQ(attribute_at(0, 17), 0x77) << "the heading keeps its foreground";
    EXPECT_EQ(attribute_at(79, 17), 0x70);
    // The meters were presented, then their backgrounds cleared.
    for (int row = 18; row <= 48; ++row)
        for (int c = 0; c < 80; ++c) ASSERT_EQ(background_at(c, row), 0) << c << "," << row;
    // Voice 0's volume meter (columns 7, 8) is blue in the picture, full height.
    EXPECT_EQ(pixel(7 * 8, 18 * 8), 2);
    EXPECT_EQ(pixel(8 * 8 + 7, 48 * 8 + 7), 2);
    EXPECT_EQ(pixel(9 * 8, 48 * 8), 0);
    // Voice 1 (column 40) shows no meters at all.
    EXPECT_EQ(pixel(47 * 8, 48 * 8 + 7), 0);
    EXPECT_EQ(row_text(48, 0, 5), "C-4 41");
    EXPECT_EQ(row_text(48, 40, 45), "=== 41");
}

TEST_F(Iterations, NoteHistoryScrollsWhenTheSongAdvancesByMoreThanTheStep) {
    start(1);
    set_record(0, 0x0400, 0, 0x41, 200, 0);  // C-4
    run(1);
    EXPECT_EQ(row_text(48, 0, 5), "C-4 41");
    EXPECT_EQ(row_text(47, 0, 5), std::string(6, '\0'));

    set_record(0, 0x0520, 0, 0x42, 200, 0);             // D-5
    player::player_engine().song.frame_index.store(2);  // two frames on: scrolls
    run(1);
    EXPECT_EQ(player::screen.history_frame, 2u);
    EXPECT_EQ(row_text(47, 0, 5), "D-5 42") << "row 48 moved up";
    EXPECT_EQ(row_text(48, 0, 5), "D-5 42") << "and keeps its label until the next iteration";

    set_record(0, 0x0640, 0, 0x43, 200, 0);             // E-6
    player::player_engine().song.frame_index.store(3);  // one frame on: no scroll
    run(1);
    EXPECT_EQ(player::screen.history_frame, 2u);
    EXPECT_EQ(row_text(47, 0, 5), "D-5 42");
    EXPECT_EQ(row_text(48, 0, 5), "E-6 43");

    player::player_engine().song.frame_index.store(10);
    run(1);
    EXPECT_EQ(row_text(47, 0, 5), "E-6 43");
    EXPECT_EQ(row_text(46, 0, 5), "D-5 42");
    EXPECT_EQ(player::screen.history_frame, 10u);
}

TEST_F(Iterations, BackwardJumpResetsHistoryAndScopeScale) {
    start(1);
    set_record(0, 0x0400, 0, 0x41, 200, 0);
    for (uint32_t f : {0u, 5u, 10u, 15u}) {
        player::player_engine().song.frame_index.store(f);
        run(1);
    }
    EXPECT_EQ(row_text(45, 0, 5), "C-4 41");
    player::scope_scale = 7;
    // Return restarts; the next iteration sees frame 0 below history_frame.
    press(SDLK_RETURN);
    run(1);
    EXPECT_EQ(player::screen.history_frame, 0u);
    EXPECT_EQ(player::scope_scale, 1);
    for (int row = 17; row <= 49; ++row)
        for (int c = 0; c < 80; ++c) ASSERT_EQ(cell(c, row), 0x0000) << c << "," << row;
    run(1);
    EXPECT_EQ(row_text(48, 0, 5), "C-4 41");
    EXPECT_EQ(row_text(45, 0, 5), std::string(6, '\0')) << "the history builds up again from row 48";
}

TEST_F(Iterations, ScopeViewKeepsRowsBlankAndDrawsIntoTheFrameBuffer) {
    start(3);
    player::view.column_view = false;
    for (auto& value : player::player_engine().wave_slots[0].wavetable) value.store(100);
    player::player_engine().block_frames.store(2048);
    for (int i = 0; i < 2048; ++i) player::player_engine().scope_history[i].store(static_cast<int16_t>(i % 200 - 100));
    run(1);
    for (int row = 17; row <= 48; ++row)
        for (int c = 0; c < 80; ++c) ASSERT_EQ(cell(c, row), 0x0000) << c << "," << row;
    for (int x = 0; x < 640; ++x) {
        EXPECT_EQ(pixel(x, 136), 182) << x;
        EXPECT_NE(pixel(x, 391), 0) << x;
    }
    // The pixels survive the next present: the blank cells are not repainted.
    run(1);
    uint8_t* surface = static_cast<uint8_t*>(console::video_surface->pixels);
    EXPECT_EQ(surface[136 * console::video_surface->pitch + 5], 182);
    EXPECT_EQ(surface[136 * console::video_surface->pitch + 600], 182);
}

TEST_F(Iterations, MarqueeStartsInTheThirdIterationAndShowsEveryCharacter) {
    start(3, "ABCDE");
    run(2);
    for (int c = 0; c < 80; ++c) ASSERT_EQ(cell(c, 4), 0x0700) << c;
    run(1);
    EXPECT_EQ(cell(79, 4), 0x1841);  // 'A', dark grey on blue
    EXPECT_EQ(cell(78, 4), 0x1800);
    for (int c = 6; c < 74; ++c) EXPECT_EQ(cell(c, 4), 0x1F00) << c;
    for (int c : {0, 1}) EXPECT_EQ(attribute_at(c, 4), 0x18);
    for (int c : {2, 3, 4, 5, 74, 75, 76, 77}) EXPECT_EQ(attribute_at(c, 4), 0x17) << c;
    run(3 * 3);  // three more steps: B, C, D
    EXPECT_EQ(row_text(4, 76, 79), "ABCD");
    run(3);  // the fifth and last character enters too
    EXPECT_EQ(cell(79, 4), 0x1845);
    EXPECT_EQ(row_text(4, 75, 79), "ABCDE");
    run(3);  // then the blanks
    EXPECT_EQ(cell(79, 4), 0x1000);
    // The text crosses the screen: step k puts character j at column 79 - (k - j).
    run(3 * 59);  // step 65
    EXPECT_EQ(row_text(4, 15, 19), "ABCDE");
    EXPECT_EQ(attribute_at(15, 4), 0x1F);
    run(3 * 16);  // step 81: 'A' has left the screen
    EXPECT_EQ(row_text(4, 0, 4), std::string("BCDE") + '\0');
    run(3 * 3);  // step 84 = L + 79: the last character has reached column 0
    EXPECT_EQ(player::screen.marquee_pos, 84u);
    EXPECT_EQ(row_text(4, 0, 1), std::string("E") + '\0');
    run(3);  // step 85 starts over
    EXPECT_EQ(player::screen.marquee_pos, 1u);
    EXPECT_EQ(cell(79, 4), 0x1841);
    EXPECT_EQ(character_at(0, 4), '\0') << "the last character has left the row";
}

TEST_F(Iterations, MarqueeWalksTheWholeCycleOfTheLongestText) {
    constexpr uint32_t length = 65519;  // the most a song's text can hold
    std::string text(length, ' ');
    for (uint32_t i = 0; i < length; ++i) text[i] = static_cast<char>('!' + i * 7 % 90);
    start(3, text);
    // Step k brings character ((k - 1) mod (L + 79)) + 1 of the text to
    // column 79 while it is one of characters 1 .. L, a blank otherwise:
    // every character of the text, the last one included, enters in turn.
    for (uint32_t step = 1; step <= length + 79 + 2; ++step) {
        for (int tick = 0; tick < 3; ++tick) player::marquee_step();
        const uint32_t position = (step - 1) % (length + 79) + 1;
        const uint16_t want =
            position <= length ? static_cast<uint16_t>(0x1800 | static_cast<uint8_t>(text[position - 1])) : 0x1000;
        ASSERT_EQ(cell(79, 4), want) << "step " << step;
        ASSERT_EQ(player::screen.marquee_pos, position) << "step " << step;
    }
}

TEST_F(Iterations, MutedVoicesShowEmptyVolumeMetersButTheSongsVolume) {
    const auto presented = [](int column, int row) { return console::shadow_cells[row * 80 + column]; };
    start(8);  // every voice plays at volume 0xC8
    // Narrow columns of ten: voice v's volume meter covers columns 10 v + 4
    // and 10 v + 5, blue in the presented picture.
    const auto meter_lit = [](int voice) { return pixel((voice * 10 + 4) * 8 + 3, 48 * 8 + 3) == 2; };
    const struct {
        SDLKey key;
        int voice;
    } cases[] = {{SDLK_F1, 0}, {SDLK_F4, 3}, {SDLK_F8, 7}, {SDLK_p, 2}};
    for (const auto& c : cases) {
        for (const bool muted : {true, false}) {
            push_key(c.key);
            run(1);
            synth::frame_tick(player::player_engine());  // the audio thread's next frame
            run(1);
            for (int v = 0; v < 8; ++v) {
                const bool marked = muted && v == c.voice;
                EXPECT_EQ(meter_lit(v), !marked) << c.key << (muted ? " muted, voice " : " unmuted, voice ") << v;
                EXPECT_EQ(row_text(7 + v, 11, 12), "C8") << c.key << ", voice " << v;
                // The mark: the voice's number white on red, its heading MUTED
                // (as presented: the line of row 17 is drawn after the present).
                EXPECT_EQ(attribute_at(0, 7 + v), marked ? 0x4F : 0x70) << c.key << ", voice " << v;
                std::string heading;
                for (int k = 0; k < 5; ++k) heading += static_cast<char>(presented(v * 10 + k, 17) & 0xFF);
                EXPECT_EQ(heading, marked ? "MUTED" : "FqWfV") << c.key << ", voice " << v;
                EXPECT_EQ(presented(v * 10, 17) >> 8, marked ? 0x4F : 0x07) << c.key << ", voice " << v;
            }
        }
    }
    // The voice row carries the mark in the oscilloscope view too.
    push_key(SDLK_TAB);
    push_key(SDLK_F2);
    run(2);
    EXPECT_FALSE(player::view.column_view);
    for (int v = 0; v < 8; ++v) EXPECT_EQ(attribute_at(0, 7 + v), v == 1 ? 0x4F : 0x70) << v;
}

TEST_F(Iterations, MarqueeOfAnEmptyTextIsABlueBandAndOneCharacterCrossesIt) {
    for (const std::string text : {"", "Z"}) {
        SCOPED_TRACE(text);
        player::screen = player::screen_state{};
        start(3, text);
        int seen = 0;
        for (int step = 1; step <= 90; ++step) {
            run(3);
            for (int c = 0; c < 80; ++c) {
                // Step k shows the character at column 80 - k, one step in 80.
                const bool here = text == "Z" && (step - 1) % 80 + c == 79;
                ASSERT_EQ(character_at(c, 4), here ? 'Z' : '\0') << step << "," << c;
                seen += here;
            }
            ASSERT_EQ(background_at(79, 4), 1);
        }
        EXPECT_EQ(seen, text.empty() ? 0 : 90);
        for (int c = 0; c < 80; ++c) EXPECT_EQ(background_at(c, 4), 1) << c;
    }
}

TEST_F(Iterations, TabSwitchesToTheScopeAndBackWithoutLeftovers) {
    start(3);
    set_voice(0, 255, 255, 0);
    run(2);
    push_key(SDLK_TAB);
    run(1);
    EXPECT_FALSE(player::view.column_view);
    run(2);
    EXPECT_EQ(pixel(10, 136), 182);
    push_key(SDLK_TAB);
    run(1);
    EXPECT_TRUE(player::view.column_view);
    for (int y = 136; y < 392; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(pixel(x, y), 0) << x << "," << y;
    run(1);
    EXPECT_EQ(row_text(48, 0, 5), "=== 00") << "the columns are back";
}

TEST_F(Iterations, EveryKeyRebuildsTheSelectedWavetableOnly) {
    start(3);
    auto& slot0 = player::player_engine().wave_slots[0];
    auto& slot1 = player::player_engine().wave_slots[1];
    slot0.wave_definition.fill(0);
    slot1.wave_definition.fill(0);
    std::vector<uint8_t> before1;
    int loud0 = 0;
    for (int i = 0; i < 512; ++i) {
        loud0 += slot0.wavetable[i].load() != 128;
        before1.push_back(slot1.wavetable[i].load());
    }
    ASSERT_GT(loud0, 0);
    ASSERT_NE(before1[0], 128);
    // A key with no command: slot 0 (selected) is rebuilt to silence.
    push_key(SDLK_F9);
    run(1);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(slot0.wavetable[i].load(), 128) << i;
    for (int i = 0; i < 512; ++i) ASSERT_EQ(slot1.wavetable[i].load(), before1[i]) << i;
    // Down selects slot 1 and rebuilds it.
    push_key(SDLK_DOWN);
    run(1);
    EXPECT_EQ(player::player_engine().selected_slot, 1);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(slot1.wavetable[i].load(), 128) << i;
    // A key release is no key press: nothing is rebuilt.
    slot1.wave_definition[0] = 0x1F;
    SDL_Event release{};
    release.type = SDL_KEYUP;
    release.key.type = SDL_KEYUP;
    release.key.keysym.sym = SDLK_F9;
    ASSERT_EQ(SDL_PushEvent(&release), 0);
    run(1);
    EXPECT_EQ(slot1.wavetable[1].load(), 128);
    push_key(SDLK_F10);
    run(1);
    EXPECT_NE(slot1.wavetable[1].load(), 128);
}

TEST_F(Iterations, EveryWaitingKeyIsTakenInOnePassAndReleasesCostNothing) {
    start(3);
    player::player_engine().song.frame_total = 5000;  // 100 s
    const auto release = [](SDLKey key) {
        SDL_Event event{};
        event.type = SDL_KEYUP;
        event.key.type = SDL_KEYUP;
        event.key.keysym.sym = key;
        ASSERT_EQ(SDL_PushEvent(&event), 0);
    };
    // Twenty presses of Right, each with its release, and three of Space.
    for (int k = 0; k < 20; ++k) {
        push_key(SDLK_RIGHT);
        release(SDLK_RIGHT);
    }
    for (int k = 0; k < 3; ++k) push_key(SDLK_SPACE);
    run(1);
    EXPECT_EQ(player::player_engine().song.frame_index.load(), 20u * 50u) << "twenty seconds on in one pass";
    EXPECT_EQ(player::view.edit_half, 8);
    run(1);
    EXPECT_EQ(player::player_engine().song.frame_index.load(), 20u * 50u) << "nothing left to act later";
    EXPECT_EQ(player::view.edit_half, 8);
    // Keys after one that leaves the song wait for the screen after it.
    push_key(SDLK_ESCAPE);
    push_key(SDLK_TAB);
    run(1);
    EXPECT_TRUE(player::player_engine().song_ended.load());
    EXPECT_TRUE(player::view.column_view);
    SDL_Event left{};
    ASSERT_EQ(SDL_PollEvent(&left), 1);
    EXPECT_EQ(left.key.keysym.sym, SDLK_TAB);
}

// Pause and k stop the song and say so on the Playing line; the same key
// goes on. The line keeps its columns.
TEST_F(Iterations, PauseKeysSayPausedOnThePlayingLine) {
    start(3);
    const std::string playing = player::playing_line("song.tun");
    for (const SDLKey key : {SDLK_PAUSE, SDLK_k}) {
        SCOPED_TRACE(key);
        push_key(key);
        run(1);
        EXPECT_TRUE(player::screen.paused);
        EXPECT_EQ(row_text(1, 0, static_cast<int>(playing.size()) - 1), "Paused  " + playing.substr(8));
        push_key(key);
        run(1);
        EXPECT_FALSE(player::screen.paused);
        EXPECT_EQ(row_text(1, 0, static_cast<int>(playing.size()) - 1), playing);
    }
}

// Page Down and Page Up leave the song for the next or previous one only
// when there is one; otherwise the song goes on. Escape leaves it for good.
TEST_F(Iterations, PageKeysLeaveForANeighbourThatExists) {
    struct Case {
        SDLKey key;
        bool has_next, has_previous;
        player::leave_request want;
    } cases[] = {
        {SDLK_PAGEDOWN, true, false, player::leave_request::next},
        {SDLK_PAGEDOWN, false, true, player::leave_request::none},
        {SDLK_PAGEUP, false, true, player::leave_request::previous},
        {SDLK_PAGEUP, true, false, player::leave_request::none},
        {SDLK_ESCAPE, true, true, player::leave_request::stop},  // the song and its list
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << " next " << c.has_next << " previous " << c.has_previous);
        start(3);
        player::screen = player::screen_state{};
        player::player_engine().song_ended.store(false);
        player::playing.has_next = c.has_next;
        player::playing.has_previous = c.has_previous;
        push_key(c.key);
        run(1);
        EXPECT_EQ(player::screen.leave, c.want);
        EXPECT_EQ(player::player_engine().song_ended.load(), c.want != player::leave_request::none);
    }
}

// h shows the key list over the lower half until the next key, which only
// closes it; the lower half is then blank again for the view to redraw.
TEST_F(Iterations, KeyListShowsUntilTheNextKeyWhichDoesNothingElse) {
    for (const bool columns : {true, false}) {
        SCOPED_TRACE(columns ? "columns" : "scope");
        start(3);
        player::view.column_view = columns;
        push_key(SDLK_h);
        run(1);
        EXPECT_TRUE(player::screen.key_list_shown);
        run(1);
        // As presented: after the present the view works on the cells again.
        const auto presented_row = [](int row) {
            std::string text;
            for (int c = 0; c < 80; ++c) text += static_cast<char>(console::shadow_cells[row * 80 + c] & 0xFF);
            return text;
        };
        std::string shown;
        for (int row = 25; row <= 48; ++row) shown += presented_row(row) + "\n";
        for (const char* entry : {"Pause, k", "Page Down, Up", "next, previous song", "h               this list"})
            EXPECT_NE(shown.find(entry), std::string::npos) << entry;
        EXPECT_EQ(console::shadow_cells[25 * 80] >> 8, 0x1F);
        EXPECT_EQ(console::shadow_cells[48 * 80 + 79] >> 8, 0x1F);
        run(20);  // the note history does not carry the list upwards
        EXPECT_EQ(presented_row(24).find("Keys"), std::string::npos);
        push_key(SDLK_TAB);
        run(1);
        EXPECT_FALSE(player::screen.key_list_shown);
        EXPECT_EQ(player::view.column_view, columns) << "the closing key did nothing else";
        for (int row = 26; row <= 48; ++row)
            EXPECT_EQ(row_text(row, 20, 60).find_first_not_of(std::string(1, '\0')), std::string::npos) << row;
    }
}

TEST_F(Iterations, AltReturnTogglesFullScreenWithoutRestarting) {
    start(3);
    player::player_engine().song.frame_index.store(400);
    for (SDLMod alt : {KMOD_LALT, KMOD_RALT}) {
        SCOPED_TRACE(alt);
        const uint8_t before = console::fullscreen;
        press(SDLK_RETURN, alt);
        EXPECT_EQ(console::fullscreen, before ? 0 : 1);
        EXPECT_NE(console::video_surface, nullptr);
        EXPECT_EQ(player::player_engine().song.frame_index.load(), 400u);
    }
    EXPECT_EQ(console::fullscreen, 0) << "two toggles return to the window";
    press(SDLK_RETURN);
    EXPECT_EQ(player::player_engine().song.frame_index.load(), 0u);
    EXPECT_EQ(console::fullscreen, 0);
}

TEST_F(Iterations, EscapeInALoopingSongEndsTheScreen) {
    start(3);
    player::player_engine().loop_enabled.store(true);
    push_key(SDLK_ESCAPE);
    run(1);
    EXPECT_TRUE(player::player_engine().song_ended.load());
}

}  // namespace
