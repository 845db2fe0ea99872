// The player's displays: voice rows with their level bars, the voice
// columns in both layouts, the oscilloscope and the text formatters.
#include <array>
#include <string>
#include <vector>

#include "player_fixture.hpp"

namespace {

using namespace player_test;

using Displays = PlayerState;

TEST_F(Displays, VoiceRowShowsTheChannelRecordFieldByField) {
    struct row_case {
        const char* what;
        uint8_t voice;
        uint16_t pitch;
        uint8_t pulse, control, volume, filter;
        std::string text;        // columns 0..16
        uint8_t note_attribute;  // columns 1..3
    } cases[] = {
        // note index 3, octave 4, both pans full
        {"plain note", 0, 0x0435, 0x80, 0x41, 0xC8, 0xFF, "1D#4[435]41C880FF", 0x70},
        // pans 3/3 (silent glyphs), noise bit, octave 1, note index 14
        {"noise, silent pans", 1, 0xF9E7, 0x00, 0x10, 0x05, 0x00, "2B-1 1E7 10050000", 0x7F},
        // left pan 1, right pan 2, volume 0
        {"silent voice", 2, 0x6123, 0x3C, 0xFE, 0x00, 0x7A, "3===(123>FE003C7A", 0x70},
        // left pan 2, noise bit, volume 0: "===" still white
        {"silent noise", 7, 0x8800, 0x01, 0x00, 0x00, 0x10, "8===<000]00000110", 0x7F},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        player::player_engine().song.channel_count = 8;
        set_record(c.voice, c.pitch, c.pulse, c.control, c.volume, c.filter);
        player::draw_voice_row(c.voice);
        const int row = 7 + c.voice;
        EXPECT_EQ(row_text(row, 0, 16), c.text);
        const std::array<uint8_t, 17> attributes = {0x70,
                                                    c.note_attribute,
                                                    c.note_attribute,
                                                    c.note_attribute,
                                                    0x70,
                                                    0x70,
                                                    0x70,
                                                    0x70,
                                                    0x70,
                                                    0x70,
                                                    0x70,
                                                    0x71,
                                                    0x71,
                                                    0x72,
                                                    0x72,
                                                    0x74,
                                                    0x74};
        for (int column = 0; column < 17; ++column) EXPECT_EQ(attribute_at(column, row), attributes[column]) << column;
        EXPECT_EQ(row_text(row, 17, 79), std::string(63, '-'));
    }
}

TEST_F(Displays, VoiceRowNoteNamesCoverTheSixteenStepsOfTheOctave) {
    const char* names[16] = {"C-", "C#", "D-", "D#", "E-", "F-", "F-", "F#",
                             "G-", "G#", "G#", "A-", "A-", "A#", "B-", "B-"};
    for (int step = 0; step < 16; ++step) {
        set_record(0, static_cast<uint16_t>(0x0700 | step << 4), 0, 0, 1, 0);
        player::draw_voice_row(0);
        EXPECT_EQ(row_text(7, 1, 3), std::string(names[step]) + "7") << step;
    }
}

TEST_F(Displays, LevelBarOverlaysVolumePulseAndInvertedFilter) {
    struct bar_case {
        const char* what;
        uint8_t volume, pulse, filter;
        // (first cell, attribute) runs, each up to the next run's first cell
        std::vector<std::pair<int, uint8_t>> runs;
    } cases[] = {
        {"volume only: bright blue", 255, 0, 255, {{0, 0x79}}},
        {"inverted filter only: bright red", 0, 0, 0, {{0, 0x7C}}},
        {"nothing: plain grey", 0, 0, 255, {{0, 0x70}}},
        {"pulse only: bright green", 0, 255, 255, {{0, 0x7A}}},
        // volume 64 -> 16 cells, pulse 128 -> 32 cells, 255 - 191 = 64 -> 16 cells
        {"three overlaid bars", 0x40, 0x80, 0xBF, {{0, 0x7F}, {16, 0x7A}, {32, 0x70}}},
        // volume 100 -> 25 cells (cyan where pulse overlaps), pulse 20 -> 5 cells
        {"volume and pulse", 100, 20, 255, {{0, 0x7B}, {5, 0x79}, {25, 0x70}}},
        // volume 8 -> 2 cells, inverted filter 255 - 235 = 20 -> 5 cells
        {"volume and filter", 8, 3, 235, {{0, 0x7D}, {2, 0x7C}, {5, 0x70}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        set_record(0, 0x0400, c.pulse, 0, c.volume, c.filter);
        player::draw_voice_row(0);
        for (size_t run = 0; run < c.runs.size(); ++run) {
            const int end = run + 1 < c.runs.size() ? c.runs[run + 1].first : 63;
            for (int i = c.runs[run].first; i < end; ++i) EXPECT_EQ(attribute_at(17 + i, 7), c.runs[run].second) << i;
        }
    }
}

TEST_F(Displays, ColumnWidthAndLayoutFollowTheVoiceCount) {
    const uint8_t widths[9] = {0, 80, 40, 26, 20, 16, 13, 11, 10};
    for (uint8_t n = 1; n <= 8; ++n) {
        player::player_engine().song.channel_count = n;
        player::set_player_layout();
        EXPECT_EQ(player::layout.column_width, widths[n]) << int(n);
        EXPECT_EQ(player::layout.wide_layout, n <= 4) << int(n);
    }
}

// Headings, labels and meters of every voice column for 1, 4, 5 and 8
// voices. Every voice gets the same values so each column looks alike.
TEST_F(Displays, VoiceColumnsInWideAndNarrowLayouts) {
    const std::string wide_heading =
        "Frq\xDCWf\xDCVl\xDCPw\xDC"
        "Co";
    const std::string narrow_heading = "FqWfVlPwCo";
    struct layout_case {
        uint8_t voices;
        int width;
        std::string heading;
        int first_meter, distance;
        std::string label;         // pitch 0x0400, control 0x41, volume 200
        std::string silent_label;  // the same with volume 0
    } cases[] = {
        {1, 80, wide_heading, 7, 3, "C-4 41", "=== 41"},
        {4, 20, wide_heading, 7, 3, "C-4 41", "=== 41"},
        {5, 16, narrow_heading, 4, 2, "c441", "==41"},
        {8, 10, narrow_heading, 4, 2, "c441", "==41"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.voices));
        player_test::reset_all_modules();
        player::player_engine().song.channel_count = c.voices;
        player::set_player_layout();
        console::fill_rows(17, 33, 0x00);
        for (int v = 0; v < c.voices; ++v) {
            // Loud voices on even columns, silent ones on odd columns.
            set_record(v, 0x0400, 0, 0x41, v % 2 ? 0 : 200, 0);
            // meters of 31, 16 and 31 rows: volume 255, pulse 128, filter 0
            set_voice(v, 255, 128, 0);
            player::draw_voice_column(static_cast<uint8_t>(v));
        }
        for (int v = 0; v < c.voices; ++v) {
            SCOPED_TRACE(v);
            const int x0 = v * c.width;
            EXPECT_EQ(row_text(17, x0, x0 + static_cast<int>(c.heading.size()) - 1), c.heading);
            for (size_t i = 0; i < c.heading.size(); ++i) EXPECT_EQ(attribute_at(x0 + int(i), 17), 0x07);
            EXPECT_EQ(row_text(17, x0 + c.first_meter, x0 + c.first_meter + 1), "Vl");
            EXPECT_EQ(row_text(17, x0 + c.first_meter + c.distance, x0 + c.first_meter + c.distance + 1), "Pw");
            EXPECT_EQ(row_text(17, x0 + c.first_meter + 2 * c.distance, x0 + c.first_meter + 2 * c.distance + 1), "Co");

            const std::string& label = v % 2 ? c.silent_label : c.label;
            EXPECT_EQ(row_text(48, x0, x0 + int(label.size()) - 1), label);
            // volume 200 is bright, volume 0 dark grey
            EXPECT_EQ(attribute_at(x0, 48) & 0x0F, v % 2 ? 0x08 : 0x0F);

            const struct {
                int column, top;
                uint8_t background;
            } meters[3] = {{x0 + c.first_meter, 18, 1},
                           {x0 + c.first_meter + c.distance, 33, 2},
                           {x0 + c.first_meter + 2 * c.distance, 18, 4}};
            for (const auto& m : meters)
                for (int column = m.column; column < m.column + 2; ++column) {
                    EXPECT_EQ(background_at(column, 17), 0) << "the heading row is never covered";
                    for (int row = 18; row < m.top; ++row)
                        EXPECT_EQ(background_at(column, row), 0) << column << "," << row;
                    for (int row = m.top; row <= 48; ++row)
                        EXPECT_EQ(background_at(column, row), m.background) << column << "," << row;
                }
            // Nothing else of the column has a background colour.
            for (int column = x0; column < x0 + c.width; ++column) {
                if (column >= x0 + c.first_meter && column < x0 + c.first_meter + 2 * c.distance + 2 &&
                    (column - x0 - c.first_meter) % c.distance < 2)
                    continue;
                for (int row = 17; row <= 48; ++row) EXPECT_EQ(background_at(column, row), 0) << column << "," << row;
            }
        }
    }
}

TEST_F(Displays, MeterReplacesOnlyTheBackgroundAndRisesFromRow48) {
    player::player_engine().song.channel_count = 2;
    player::set_player_layout();
    // Characters under the meters survive with their foreground colours.
    for (int row = 17; row <= 48; ++row) cell(40 + 7, row) = 0x0E41;
    set_record(1, 0x0400, 0, 0, 0, 255);
    // volume 0 -> empty meter; 8 -> one row; 255 - 247 = 8 -> one row
    set_voice(1, 0, 8, 247);
    player::draw_voice_column(1);
    for (int row = 18; row <= 48; ++row) EXPECT_EQ(cell(47, row), 0x0E41) << row;
    EXPECT_EQ(background_at(50, 48), 2);
    EXPECT_EQ(background_at(50, 47), 0);
    EXPECT_EQ(background_at(53, 48), 4);
    EXPECT_EQ(background_at(54, 47), 0);
}

TEST_F(Displays, ColumnLabelBrightnessFollowsVolume) {
    struct brightness_case {
        uint8_t volume;
        uint8_t attribute;
    } cases[] = {{1, 0x08}, {47, 0x08}, {48, 0x07}, {127, 0x07}, {128, 0x0F}, {255, 0x0F}};
    player::player_engine().song.channel_count = 6;
    player::set_player_layout();
    for (const auto& c : cases) {
        set_record(0, 0x02D0, 0, 0x0F, c.volume, 0);
        player::draw_voice_column(0);
        // narrow layout, note index 13 (A#), octave 2
        EXPECT_EQ(row_text(48, 0, 3), "A20F") << int(c.volume);
        for (int column = 0; column < 4; ++column) EXPECT_EQ(attribute_at(column, 48), c.attribute) << int(c.volume);
    }
}

TEST_F(Displays, NarrowNoteNamesMarkSharpsInUpperCase) {
    const char names[] = "cCdDeffFgGGaaAbb";
    player::player_engine().song.channel_count = 8;
    player::set_player_layout();
    for (int step = 0; step < 16; ++step) {
        set_record(3, static_cast<uint16_t>(0x0100 | step << 4), 0, 0xA5, 60, 0);
        player::draw_voice_column(3);
        EXPECT_EQ(row_text(48, 30, 33), std::string(1, names[step]) + "1A5") << step;
    }
}

TEST(Formatters, HexTextHasExactlyTheDigitsAsked) {
    struct hex_case {
        uint32_t value;
        uint8_t digits;
        const char* text;
    } cases[] = {{0, 2, "00"},      {5, 2, "05"},       {0xAB, 2, "AB"},  {0x1AB, 2, "AB"},   {0, 3, "000"},
                 {0x7FF, 3, "7FF"}, {0x1234, 3, "234"}, {0x10, 3, "010"}, {0xFFFF, 3, "FFF"}, {0xC0DE, 2, "DE"}};
    for (const auto& c : cases) EXPECT_EQ(player::hex_text(c.value, c.digits), c.text) << c.value;
}

TEST(Formatters, TimeTextShowsMinutesAndSeconds) {
    struct time_case {
        uint32_t seconds;
        const char* text;
    } cases[] = {{0, "00:00"},    {9, "00:09"},    {59, "00:59"},   {60, "01:00"},   {61, "01:01"},   {754, "12:34"},
                 {3599, "59:59"}, {5999, "99:59"}, {6000, "A0:00"}, {6059, "A0:59"}, {6600, "B0:00"}, {9599, "F9:59"}};
    for (const auto& c : cases) EXPECT_EQ(player::time_text(c.seconds), c.text) << c.seconds;
    // Beyond 159:59 the text is free, but it stays five characters.
    EXPECT_EQ(player::time_text(100000).size(), 5u);
    EXPECT_EQ(player::time_text(0xFFFFFFFF).size(), 5u);
}

TEST_F(Displays, DefinitionTextShowsEightBytesOfTheSelectedSlot) {
    player::player_engine().wave_slots[0].wave_definition = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                                             0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10};
    player::player_engine().wave_slots[1].wave_definition = {0x3F, 0x00, 0x2A, 0x1F, 0x20, 0xFF, 0x00, 0xC5,
                                                             0x10, 0x21, 0x32, 0x03, 0x00, 0x00, 0x00, 0xAB};
    player::player_engine().selected_slot = 1;
    EXPECT_EQ(player::definition_text(0), "3F 00 2A 1F 20 FF 00 C5 ");
    EXPECT_EQ(player::definition_text(8), "10 21 32 03 00 00 00 AB ");
    player::player_engine().selected_slot = 0;
    EXPECT_EQ(player::definition_text(8), "09 0A 0B 0C 0D 0E 0F 10 ");
}

// ---- oscilloscope ----

class Oscilloscope : public PlayerState {
protected:
    void SetUp() override {
        PlayerState::SetUp();
        // One history sample per pixel column, and a flat wavetable so that
        // its trace stays on one row (391 - 100 = 291).
        player::player_engine().block_frames.store(640);
        for (auto& sample : player::player_engine().scope_history) sample.store(0);
        for (auto& value : player::player_engine().wave_slots[0].wavetable) value.store(100);
        console::frame_buffer.fill(0x55);
    }
    static constexpr uint8_t grey = 182, light_green = 28, yellow = 252, light_red = 224;
};

TEST_F(Oscilloscope, FrameRowsTraceAndWavetableAreDrawnIntoAClearedArea) {
    player::player_engine().scope_history[3].store(50);
    player::draw_oscilloscope();
    for (int x = 0; x < 640; ++x) {
        EXPECT_EQ(pixel(x, 136), grey) << x;
        EXPECT_EQ(pixel(x, 391), grey) << x;
        EXPECT_EQ(pixel(x, 135), 0x55) << "above the area: untouched";
        EXPECT_EQ(pixel(x, 392), 0x55) << "below the area: untouched";
        const bool on_table = x >= 64 && x <= 575;
        EXPECT_EQ(pixel(x, 291), on_table ? light_red : 0) << x;
        EXPECT_EQ(pixel(x, x == 3 ? 214 : 264), light_green) << x;
    }
    // Everything else of the area is blank.
    int lit = 0;
    for (int y = 137; y < 391; ++y)
        for (int x = 0; x < 640; ++x) lit += pixel(x, y) != 0;
    EXPECT_EQ(lit, 640 + 512);
    EXPECT_EQ(player::scope_scale, 1);
}

TEST_F(Oscilloscope, TraceColourFollowsTheAmplitudeClass) {
    struct colour_case {
        int16_t sample;
        int row;
        uint8_t colour;
    } cases[] = {{0, 264, light_green},   {1, 263, light_green},  {-1, 265, light_green}, {79, 185, light_green},
                 {-79, 343, light_green}, {80, 184, yellow},      {-80, 344, yellow},     {111, 153, yellow},
                 {112, 152, light_red},   {-112, 376, light_red}, {127, 137, light_red},  {-127, 391, light_red}};
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
        player::player_engine().scope_history[i].store(cases[i].sample);
    player::draw_oscilloscope();
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
        EXPECT_EQ(pixel(i, cases[i].row), cases[i].colour) << "sample " << cases[i].sample;
    EXPECT_EQ(player::scope_scale, 1);
}

TEST_F(Oscilloscope, LoudSampleRaisesTheScaleAndIsDrawnOnTheCentreRow) {
    player::player_engine().scope_history[10].store(128);   // over 127: scale 1 -> 2, drawn at the centre
    player::player_engine().scope_history[11].store(100);   // 100 / 2 = 50
    player::player_engine().scope_history[12].store(-255);  // -255 / 2 = -127: fits
    player::player_engine().scope_history[13].store(-3);    // -3 / 2 = -1, truncated toward zero
    player::player_engine().scope_history[20].store(-300);  // -150: scale 2 -> 3
    player::player_engine().scope_history[21].store(300);   // 100
    player::draw_oscilloscope();
    EXPECT_EQ(player::scope_scale, 3);
    EXPECT_EQ(pixel(10, 264), light_green);
    EXPECT_EQ(pixel(11, 214), light_green);
    EXPECT_EQ(pixel(12, 391), light_red);
    EXPECT_EQ(pixel(13, 265), light_green);
    EXPECT_EQ(pixel(20, 264), light_green);
    EXPECT_EQ(pixel(21, 164), yellow) << "300 / 3 = 100";
    // The scale only grows: the next drawing starts from it.
    player::player_engine().scope_history[10].store(0);
    player::player_engine().scope_history[20].store(0);
    player::draw_oscilloscope();
    EXPECT_EQ(player::scope_scale, 3);
    EXPECT_EQ(pixel(11, 231), light_green) << "100 / 3 = 33";
}

TEST_F(Oscilloscope, HistoryIsSampledAcrossTheLastBlock) {
    player::player_engine().block_frames.store(2048);
    player::player_engine().scope_history[16].store(40);     // column 5: 5 x 2048 / 640 = 16
    player::player_engine().scope_history[2044].store(-40);  // column 639: 639 x 2048 / 640 = 2044.8
    player::player_engine().scope_history[15].store(90);     // no column reads it
    player::draw_oscilloscope();
    EXPECT_EQ(pixel(5, 224), light_green);
    EXPECT_EQ(pixel(639, 304), light_green);
    EXPECT_EQ(pixel(4, 264), light_green);
    for (int x = 0; x < 640; ++x) EXPECT_NE(pixel(x, 174), yellow) << x;
}

TEST_F(Oscilloscope, WavetableOfTheSelectedSlotIsTraced) {
    for (int i = 0; i < 512; ++i) {
        player::player_engine().wave_slots[0].wavetable[i].store(static_cast<uint8_t>(i / 2));
        player::player_engine().wave_slots[1].wavetable[i].store(static_cast<uint8_t>(255 - i / 2));
    }
    player::player_engine().selected_slot = 1;
    player::draw_oscilloscope();
    EXPECT_EQ(pixel(64, 391 - 255), light_red);
    EXPECT_EQ(pixel(575, 391 - 0), light_red);
    EXPECT_EQ(pixel(64 + 300, 391 - 105), light_red);
    EXPECT_NE(pixel(64 + 300, 391 - 150), light_red) << "slot 0 is not drawn";
}

}  // namespace
