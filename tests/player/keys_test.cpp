// The player's key commands, fed through console::last_event.
#include <array>
#include <string>
#include <vector>

#include "player_fixture.hpp"

namespace {

using namespace player_test;

using Keys = PlayerState;

uint32_t frame() { return player::player_engine().song.frame_index.load(); }
void set_frame(uint32_t f) { player::player_engine().song.frame_index.store(f); }
std::array<uint8_t, 16>& definition(int slot) { return player::player_engine().wave_slots[slot].wave_definition; }

TEST_F(Keys, EscapeEndsTheSong) {
    press(SDLK_ESCAPE);
    EXPECT_TRUE(player::player_engine().song_ended.load());
}

TEST_F(Keys, SeekingStaysInsideTheSong) {
    struct seek_case {
        SDLKey key;
        uint16_t rate;
        int32_t total;
        uint32_t from, to;
    } cases[] = {
        {SDLK_RIGHT, 50, 1000, 0, 50},    {SDLK_RIGHT, 50, 1000, 100, 150},
        {SDLK_RIGHT, 50, 1000, 949, 999},  // lands on the last frame
        {SDLK_RIGHT, 50, 1000, 950, 0},    // exactly one second before the end
        {SDLK_RIGHT, 50, 1000, 999, 0},   {SDLK_RIGHT, 60, 1000, 500, 560},
        {SDLK_RIGHT, 50, 30, 10, 0},  // a song shorter than a second
        {SDLK_LEFT, 50, 1000, 100, 50},   {SDLK_LEFT, 50, 1000, 51, 1},
        {SDLK_LEFT, 50, 1000, 50, 0},  // exactly one second
        {SDLK_LEFT, 50, 1000, 49, 0},     {SDLK_LEFT, 50, 1000, 0, 0},
        {SDLK_LEFT, 50, 30, 20, 0},       {SDLK_RETURN, 50, 1000, 777, 0},
    };
    for (const auto& c : cases) {
        player::player_engine().song.frame_rate = c.rate;
        player::player_engine().song.frame_total = c.total;
        set_frame(c.from);
        press(c.key);
        EXPECT_EQ(frame(), c.to) << "key " << c.key << " from " << c.from << " of " << c.total;
    }
}

TEST_F(Keys, ArrowsUpAndDownSelectTheSlot) {
    press(SDLK_DOWN);
    EXPECT_EQ(player::player_engine().selected_slot, 1);
    press(SDLK_DOWN);
    EXPECT_EQ(player::player_engine().selected_slot, 1);
    press(SDLK_UP);
    EXPECT_EQ(player::player_engine().selected_slot, 0);
}

TEST_F(Keys, BackspaceTogglesPulseFoldAndSpaceTheEditedHalf) {
    const bool fold = player::player_engine().pulse_fold.load();
    press(SDLK_BACKSPACE);
    EXPECT_EQ(player::player_engine().pulse_fold.load(), !fold);
    press(SDLK_BACKSPACE);
    EXPECT_EQ(player::player_engine().pulse_fold.load(), fold);

    EXPECT_EQ(player::view.edit_half, 0);
    press(SDLK_SPACE);
    EXPECT_EQ(player::view.edit_half, 8);
    press(SDLK_SPACE);
    EXPECT_EQ(player::view.edit_half, 0);
}

TEST_F(Keys, DigitsStepOneDefinitionByteWithinSixBits) {
    struct step_case {
        const char* what;
        uint8_t slot;
        bool upper_half;  // Space pressed first
        SDLKey key;
        SDLMod mod;
        int index;
        uint8_t before, after;
    } cases[] = {
        {"1 on 0x3F wraps to 0", 0, false, SDLK_1, KMOD_NONE, 0, 0x3F, 0x00},
        {"Shift+1 on 0 wraps to 0x3F", 0, false, SDLK_1, KMOD_LSHIFT, 0, 0x00, 0x3F},
        {"right Shift steps down too", 0, false, SDLK_4, KMOD_RSHIFT, 3, 0x10, 0x0F},
        {"0x1F up is amplitude 0, shape 1", 0, false, SDLK_8, KMOD_NONE, 7, 0x1F, 0x20},
        {"bits 6 and 7 are dropped", 0, false, SDLK_2, KMOD_NONE, 1, 0xC5, 0x06},
        {"Ctrl is ignored", 0, false, SDLK_5, KMOD_LCTRL, 4, 0x07, 0x08},
        {"Space then 3 steps byte 10", 0, true, SDLK_3, KMOD_NONE, 10, 0x0A, 0x0B},
        {"upper half, Shift+8", 0, true, SDLK_8, KMOD_LSHIFT, 15, 0x21, 0x20},
        {"other slot", 1, true, SDLK_1, KMOD_NONE, 8, 0x00, 0x01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        player::view.edit_half = 0;
        player::player_engine().selected_slot = c.slot;
        for (int slot = 0; slot < 2; ++slot)
            for (int i = 0; i < 16; ++i) definition(slot)[i] = static_cast<uint8_t>(0x20 + i);
        definition(c.slot)[c.index] = c.before;
        auto expected_selected = definition(c.slot);
        expected_selected[c.index] = c.after;
        const auto expected_other = definition(1 - c.slot);
        if (c.upper_half) press(SDLK_SPACE);
        press(c.key, c.mod);
        EXPECT_EQ(definition(c.slot), expected_selected);
        EXPECT_EQ(definition(1 - c.slot), expected_other);
    }
}

TEST_F(Keys, PresetKeysLoadTheBottomRowPresets) {
    struct preset_case {
        SDLKey key;
        std::array<uint8_t, 16> bytes;
        bool loads_bases;  // shifted sine into both halves, pulse fold set
    } cases[] = {
        {SDLK_x, {0x1F, 0, 0x0F, 0, 0x0C, 0, 0x0B, 0, 0x3F, 0, 0x2F, 0, 0x2C, 0, 0x2B, 0}, false},
        {SDLK_c, {0x0F, 0, 0x01, 0, 0, 0, 0, 0, 0x3F, 0x10, 0x25, 0x22, 0, 0, 0, 0}, false},
        {SDLK_v, {0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x30, 0, 0, 0, 0}, false},
        {SDLK_b, {0x1F, 0x30, 0x05, 0x02, 0, 0, 0, 0, 0x2F, 0, 0x21, 0, 0, 0, 0x27, 0}, true},
        {SDLK_n, {0x0F, 0, 0x01, 0, 0, 0, 0, 0, 0x2F, 0, 0x21, 0, 0, 0, 0, 0}, true},
        {SDLK_m, {0x15, 0, 0x0F, 0, 0x0C, 0, 0x0B, 0, 0x3F, 0, 0, 0, 0, 0, 0, 0}, true},
    };
    for (const uint8_t slot : {0, 1}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(1, static_cast<char>(c.key)) + " on slot " + std::to_string(slot));
            player::player_engine().selected_slot = slot;
            player::player_engine().pulse_fold.store(false);
            for (auto& s : player::player_engine().wave_slots) {
                s.wave_definition.fill(0x2A);
                for (auto& half : s.base_table) half.fill(0x55);
            }
            press(c.key);
            EXPECT_EQ(definition(slot), c.bytes);
            EXPECT_EQ(definition(1 - slot), (std::array<uint8_t, 16>{0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x2A,
                                                                     0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x2A}));
            EXPECT_EQ(player::player_engine().pulse_fold.load(), c.loads_bases);
            for (int half = 0; half < 2; ++half) {
                if (c.loads_bases)
                    EXPECT_EQ(player::player_engine().wave_slots[slot].base_table[half],
                              synth::tables().shifted_sine_table)
                        << half;
                else
                    EXPECT_EQ(player::player_engine().wave_slots[slot].base_table[half][100], 0x55) << half;
                EXPECT_EQ(player::player_engine().wave_slots[1 - slot].base_table[half][100], 0x55) << half;
            }
        }
    }
}

TEST_F(Keys, BaseKeysLoadOneHalfOfTheSelectedSlot) {
    ASSERT_NE(synth::tables().sine_table, synth::tables().shifted_sine_table);
    struct base_case {
        SDLKey key;
        int half;
        bool shifted;
    } cases[] = {{SDLK_a, 0, true}, {SDLK_s, 0, false}, {SDLK_d, 1, true}, {SDLK_f, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<char>(c.key));
        player::player_engine().selected_slot = 1;
        for (auto& s : player::player_engine().wave_slots)
            for (auto& half : s.base_table) half.fill(0x55);
        press(c.key);
        const auto& loaded = player::player_engine().wave_slots[1].base_table;
        EXPECT_EQ(loaded[c.half], c.shifted ? synth::tables().shifted_sine_table : synth::tables().sine_table);
        EXPECT_EQ(loaded[1 - c.half][0], 0x55);
        EXPECT_EQ(player::player_engine().wave_slots[0].base_table[c.half][0], 0x55);
    }
}

TEST_F(Keys, ClearRandomiseAndSwapEditTheSelectedDefinition) {
    const std::array<uint8_t, 16> start = {0x01, 0x22, 0x03, 0x3F, 0x25, 0x06, 0x07, 0x28,
                                           0x39, 0x0A, 0x2B, 0x0C, 0x0D, 0x2E, 0x0F, 0x10};
    struct edit_case {
        SDLKey key;
        bool lower_changes, upper_changes;
    } cases[] = {{SDLK_q, true, false}, {SDLK_w, false, true}, {SDLK_e, true, false}, {SDLK_r, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<char>(c.key));
        player::player_engine().selected_slot = 0;
        definition(0) = start;
        definition(1) = start;
        press(c.key);
        for (int i = 0; i < 16; ++i) {
            const bool changes = i < 8 ? c.lower_changes : c.upper_changes;
            if (!changes)
                EXPECT_EQ(definition(0)[i], start[i]) << i;
            else if (c.key == SDLK_q || c.key == SDLK_w)
                EXPECT_EQ(definition(0)[i], 0) << i;
            else
                EXPECT_LE(definition(0)[i], 0x3F) << i;
        }
        EXPECT_EQ(definition(1), start);
    }
    // Swapping exchanges the halves and flips each moved byte's shape.
    definition(0) = start;
    press(SDLK_t);
    EXPECT_EQ(definition(0), (std::array<uint8_t, 16>{0x19, 0x2A, 0x0B, 0x2C, 0x2D, 0x0E, 0x2F, 0x30, 0x21, 0x02, 0x23,
                                                      0x1F, 0x05, 0x26, 0x27, 0x08}));
    press(SDLK_t);
    EXPECT_EQ(definition(0), start);
}

TEST_F(Keys, RandomisingKeepsTheOtherHalfAndStaysWithinSixBits) {
    // Over many presses the randomised bytes spread out but never pass 0x3F.
    definition(0).fill(0xFF);
    std::array<int, 64> seen{};
    for (int round = 0; round < 200; ++round) {
        press(SDLK_e);
        press(SDLK_r);
        for (uint8_t byte : definition(0)) {
            ASSERT_LE(byte, 0x3F);
            ++seen[byte];
        }
    }
    int distinct = 0;
    for (int count : seen) distinct += count > 0;
    EXPECT_GT(distinct, 32);
}

TEST_F(Keys, MuteKeysToggleOneVoiceEach) {
    player::player_engine().song.channel_count = 8;
    const struct {
        SDLKey key;
        int voice;
    } cases[] = {{SDLK_i, 0},  {SDLK_o, 1},  {SDLK_p, 2},  {SDLK_F1, 0}, {SDLK_F2, 1}, {SDLK_F3, 2},
                 {SDLK_F4, 3}, {SDLK_F5, 4}, {SDLK_F6, 5}, {SDLK_F7, 6}, {SDLK_F8, 7}};
    for (const auto& c : cases) {
        press(c.key);
        for (int v = 0; v < 8; ++v)
            EXPECT_EQ(player::player_engine().voice_muted[v].load(), v == c.voice) << c.key << " " << v;
        press(c.key);
        for (int v = 0; v < 8; ++v)
            EXPECT_FALSE(player::player_engine().voice_muted[v].load()) << c.key << " twice, " << v;
    }
    // The mutes add up: i, o and p share their voices with F1, F2 and F3.
    for (SDLKey key : {SDLK_i, SDLK_F2, SDLK_F8, SDLK_F1}) press(key);
    for (int v = 0; v < 8; ++v) EXPECT_EQ(player::player_engine().voice_muted[v].load(), v == 1 || v == 7) << v;
    // The keys next to them mute nothing more.
    for (SDLKey key : {SDLK_u, SDLK_j, SDLK_k, SDLK_l, SDLK_LEFTBRACKET, SDLK_F9, SDLK_F10, SDLK_F12, SDLK_ESCAPE})
        press(key);
    for (int v = 0; v < 8; ++v) EXPECT_EQ(player::player_engine().voice_muted[v].load(), v == 1 || v == 7) << v;
}

TEST_F(Keys, CtrlOrShiftLetterDoesWhatTheLetterDoes) {
    definition(0).fill(0x11);
    press(SDLK_q, KMOD_LCTRL);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(definition(0)[i], 0) << i;
    press(SDLK_i, KMOD_LSHIFT);
    EXPECT_TRUE(player::player_engine().voice_muted[0].load());
}

TEST_F(Keys, TabTogglesTheViewAndClearsTheLowerScreen) {
    console::screen_cells.fill(0x1741);
    console::frame_buffer.fill(0x33);
    ASSERT_TRUE(player::view.column_view);
    press(SDLK_TAB);
    EXPECT_FALSE(player::view.column_view);
    for (int row = 0; row < 50; ++row)
        for (int column = 0; column < 80; ++column)
            ASSERT_EQ(cell(column, row), row >= 17 ? 0x0000 : 0x1741) << column << "," << row;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(pixel(x, y), y >= 136 && y <= 391 ? 0 : 0x33) << x << "," << y;
    press(SDLK_TAB);
    EXPECT_TRUE(player::view.column_view);
}

TEST_F(Keys, KeyWithoutCommandChangesNothing) {
    set_frame(321);
    player::player_engine().selected_slot = 1;
    player::view.edit_half = 8;
    console::screen_cells.fill(0x2842);
    console::frame_buffer.fill(0x44);
    const auto definitions = std::array{definition(0), definition(1)};
    const auto bases =
        std::array{player::player_engine().wave_slots[0].base_table, player::player_engine().wave_slots[1].base_table};
    const auto cells = console::screen_cells;
    const auto pixels = console::frame_buffer;
    const bool fold = player::player_engine().pulse_fold.load();
    for (SDLKey key : {SDLK_F9, SDLK_z, SDLK_g, SDLK_9, SDLK_0, SDLK_KP1, SDLK_HOME, SDLK_LSHIFT, SDLK_LALT}) {
        for (SDLMod mod : {KMOD_NONE, KMOD_LSHIFT, KMOD_LALT}) {
            press(key, mod);
            EXPECT_EQ(frame(), 321u) << key;
            EXPECT_FALSE(player::player_engine().song_ended.load()) << key;
            EXPECT_EQ(player::player_engine().selected_slot, 1) << key;
            EXPECT_EQ(player::view.edit_half, 8) << key;
            EXPECT_TRUE(player::view.column_view) << key;
            EXPECT_EQ(player::player_engine().pulse_fold.load(), fold) << key;
            for (int v = 0; v < 8; ++v) EXPECT_FALSE(player::player_engine().voice_muted[v].load()) << key;
            EXPECT_EQ(definition(0), definitions[0]) << key;
            EXPECT_EQ(definition(1), definitions[1]) << key;
            EXPECT_EQ(player::player_engine().wave_slots[0].base_table, bases[0]) << key;
            EXPECT_EQ(player::player_engine().wave_slots[1].base_table, bases[1]) << key;
            EXPECT_EQ(console::screen_cells, cells) << key;
            EXPECT_EQ(console::frame_buffer, pixels) << key;
            EXPECT_EQ(console::fullscreen, 0) << key;
        }
    }
}

}  // namespace

namespace {

using console::pointer_kind;

// Every case starts from frame 500 of 1000 at 50 frames a second, playing,
// nothing muted, three voices in the column view (columns 26 wide).
TEST_F(Keys, PointerPausesMutesAndSeeks) {
    struct Case {
        const char* what;
        std::vector<console::pointer_event> events;
        bool column_view;
        bool paused;
        uint32_t frame;
        std::array<bool, 4> muted;
    } cases[] = {
        {"a click on the screen", {{pointer_kind::click, 40, 30, 0}}, true, true, 500, {}},
        {"two clicks", {{pointer_kind::click, 40, 30, 0}, {pointer_kind::click, 2, 2, 0}}, true, false, 500, {}},
        {"a double click adds nothing", {{pointer_kind::click, 4, 0, 0}, {pointer_kind::double_click, 4, 0, 0}},
         true, true, 500, {}},
        {"voice 2's row", {{pointer_kind::click, 70, 8, 0}}, true, false, 500, {false, true}},
        {"voice 3's row twice", {{pointer_kind::click, 0, 9, 0}, {pointer_kind::click, 0, 9, 0}}, true, false, 500, {}},
        {"below the last voice's row", {{pointer_kind::click, 0, 10, 0}}, true, true, 500, {}},
        {"voice 1's heading", {{pointer_kind::click, 25, 17, 0}}, true, false, 500, {true}},
        {"voice 3's heading", {{pointer_kind::click, 52, 17, 0}}, true, false, 500, {false, false, true}},
        {"right of the last column", {{pointer_kind::click, 78, 17, 0}}, true, true, 500, {}},
        {"the heading row of the scope", {{pointer_kind::click, 30, 17, 0}}, false, true, 500, {}},
        {"a wheel step down", {{pointer_kind::scroll, 0, 0, 3}}, true, false, 550, {}},
        {"two steps up", {{pointer_kind::scroll, 0, 0, -6}}, true, false, 400, {}},
        {"lines add up to a step", {{pointer_kind::scroll, 0, 0, 2}, {pointer_kind::scroll, 0, 0, 1}}, true, false,
         550, {}},
        {"a part step waits", {{pointer_kind::scroll, 0, 0, 2}, {pointer_kind::scroll, 0, 0, -1}}, true, false, 500,
         {}},
        {"a swipe right", {{pointer_kind::swipe, 0, 0, 9}}, true, false, 600, {}},
        {"a short swipe left", {{pointer_kind::swipe, 0, 0, -1}}, true, false, 450, {}},
        {"a long swipe wraps at the end", {{pointer_kind::swipe, 0, 0, 44}}, true, false, 50, {}},
    };
    for (const Case& c : cases) {
        reset_all_modules();
        player::player_engine().song.channel_count = 3;
        player::player_engine().song.frame_rate = 50;
        player::player_engine().song.frame_total = 1000;
        player::set_player_layout();
        player::view.column_view = c.column_view;
        set_frame(500);
        for (const auto& event : c.events) player::handle_player_pointer(event);
        EXPECT_EQ(player::screen.paused, c.paused) << c.what;
        EXPECT_EQ(frame(), c.frame) << c.what;
        for (int v = 0; v < 4; ++v) EXPECT_EQ(player::player_engine().voice_muted[v].load(), c.muted[v]) << c.what;
    }
}

TEST_F(Keys, PointerOnlyClosesTheKeyList) {
    press(SDLK_h);
    set_frame(500);
    player::handle_player_pointer({pointer_kind::scroll, 0, 0, 3});
    EXPECT_FALSE(player::screen.key_list_shown);
    EXPECT_EQ(frame(), 500u);
    press(SDLK_h);
    player::handle_player_pointer({pointer_kind::click, 40, 30, 0});
    EXPECT_FALSE(player::screen.key_list_shown);
    EXPECT_FALSE(player::screen.paused);
}

}  // namespace
