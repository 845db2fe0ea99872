// The terminal presenter on curses: taking the terminal and giving it
// back, the colours, drawing the changed cells, the size note and the
// title, and the keys as SDL key events.
#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "console/console.hpp"
#include "console/terminal.hpp"

namespace console::terminal {

namespace {

// How long a lone Escape waits for the rest of a key sequence.
constexpr int escape_delay_ms = 25;

// The text colours as the terminal's own sixteen (its order is red, green,
// blue in bits 0..2; the screen's is blue, green, red).
constexpr std::array<short, 16> system_colour = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

enum class colour_kind : uint8_t {
    none,       // monochrome: reverse video where the background is lit
    eight,      // 8 colours: bright foregrounds in bold, backgrounds dimmed
    sixteen,    // the terminal's own 16 colours
    fixed_256,  // the nearest entries of a fixed 256-colour palette
    redefined,  // 16 entries set to the palette's exact colours
    direct,     // colour numbers are 0xRRGGBB
};

// One character as drawn: its character and colour pair.
struct drawn_cell {
    char32_t character = 0;
    int pair = -1;
    attr_t attributes = 0;
    bool operator==(const drawn_cell&) const = default;
};

struct terminal_state {
    bool taken = false;
    bool exit_hook = false;
    SCREEN* screen = nullptr;
    bool utf8 = false;
    bool xterm_title = false;  // the title stack of xterm-like terminals
    bool osc_title = false;
    colour_kind colours = colour_kind::none;
    bool pairs_from_one = true;     // else pair 0 stands for light grey on black
    std::vector<drawn_cell> drawn;  // what the terminal shows, LINES x COLS
    int lines = 0, columns = 0;
    std::string title;                          // as safe_title made it
    std::string shown_title;                    // as last sent to the terminal's title bar
    std::array<uint8_t, 256> text_colour_of{};  // palette index -> text colour
    int saved_stderr = -1;
    std::FILE* held_stderr = nullptr;
    const char* dump_path = nullptr;
};
terminal_state state;

int pair_number(int foreground, int background) {
    if (state.colours == colour_kind::eight) {
        const int index = (foreground & 7) * 8 + (background & 7);
        return index ^ (7 * 8);
    }
    const int index = foreground * 16 + background;
    return state.pairs_from_one ? index + 1 : index ^ (7 * 16);
}

int colour_number(int text_colour) {
    switch (state.colours) {
        case colour_kind::direct: {
            const rgb c = palette_colour(colour_map[text_colour]);
            return c.r << 16 | c.g << 8 | c.b;
        }
        case colour_kind::fixed_256: return nearest_256_colour(palette_colour(colour_map[text_colour]));
        case colour_kind::redefined: return 16 + text_colour;
        default: return system_colour[text_colour];
    }
}

void choose_colours() {
    state.colours = colour_kind::none;
    if (!has_colors() || start_color() != OK) return;
    if (COLORS >= 0x1000000 && COLOR_PAIRS > 256)
        state.colours = colour_kind::direct;
    else if (COLORS >= 256 && can_change_color() && COLOR_PAIRS > 256)
        state.colours = colour_kind::redefined;
    else if (COLORS >= 256 && COLOR_PAIRS >= 256)
        state.colours = colour_kind::fixed_256;
    else if (COLORS >= 16 && COLOR_PAIRS >= 256)
        state.colours = colour_kind::sixteen;
    else if (COLORS >= 8 && COLOR_PAIRS >= 64)
        state.colours = colour_kind::eight;
    else
        return;
    state.pairs_from_one = COLOR_PAIRS > 256;
    if (state.colours == colour_kind::redefined) {
        for (int c = 0; c < 16; ++c) {
            const rgb value = palette_colour(colour_map[c]);
            init_color(static_cast<short>(16 + c), static_cast<short>(value.r * 1000 / 255),
                       static_cast<short>(value.g * 1000 / 255), static_cast<short>(value.b * 1000 / 255));
        }
    }
    const int kinds = state.colours == colour_kind::eight ? 8 : 16;
    for (int f = 0; f < kinds; ++f)
        for (int b = 0; b < kinds; ++b) {
            const int pair = pair_number(f, b);
            if (pair == 0) continue;  // the terminal's default pair
            if (state.colours == colour_kind::eight)
                init_pair(static_cast<short>(pair), system_colour[f] & 7, system_colour[b] & 7);
            else
                init_extended_pair(pair, colour_number(f), colour_number(b));
        }
}

// The pair and attributes that show the two text colours.
void colours_for(int foreground, int background, drawn_cell& cell) {
    cell.attributes = A_NORMAL;
    switch (state.colours) {
        case colour_kind::none:
            cell.pair = 0;
            if (background != 0) cell.attributes |= A_REVERSE;
            if (foreground >= 8) cell.attributes |= A_BOLD;
            return;
        case colour_kind::eight:
            cell.pair = pair_number(foreground & 7, background & 7);
            if (foreground >= 8) cell.attributes |= A_BOLD;
            return;
        default: cell.pair = pair_number(foreground, background); return;
    }
}

cell_pixels pixels_at(int row, int column) {
    cell_pixels pixels{};
    for (int y = 0; y < glyph_size; ++y)
        for (int x = 0; x < glyph_size; ++x)
            pixels[y * glyph_size + x] = frame_buffer[(row * glyph_size + y) * frame_width + column * glyph_size + x];
    return pixels;
}

cell_pixels character_pixels(uint16_t cell) {
    cell_pixels pixels{};
    const uint8_t* glyph = &font[(cell & 0xFF) * glyph_size];
    const uint8_t foreground = colour_map[(cell >> 8) & 0x0F];
    const uint8_t background = colour_map[cell >> 12];
    for (int y = 0; y < glyph_size; ++y)
        for (int x = 0; x < glyph_size; ++x)
            pixels[y * glyph_size + x] = (glyph[y] & (0x80 >> x)) ? foreground : background;
    return pixels;
}

// The colour most of the plotted pixels have, as a text colour.
int plotted_colour(const cell_pixels& shown, const cell_pixels& character) {
    std::array<uint8_t, 16> count{};
    for (size_t i = 0; i < shown.size(); ++i)
        if (shown[i] != character[i]) ++count[state.text_colour_of[shown[i]]];
    int best = 15;
    for (int c = 0; c < 16; ++c)
        if (count[c] > count[best]) best = c;
    return best;
}

char32_t braille_character(uint8_t dots) {
    if (state.utf8) return 0x2800 + dots;
    const bool upper = dots & 0x1B, lower = dots & 0xE4;
    return upper && lower ? ':' : upper ? '\'' : '.';
}

// What the terminal shows for the cell at row, column: its character, or
// the dots of the pixels plotted over it.
drawn_cell cell_look(int row, int column) {
    const uint16_t cell = screen_cells[row * screen_columns + column];
    drawn_cell look;
    const cell_pixels character = character_pixels(cell);
    const cell_pixels shown = pixels_at(row, column);
    if (const uint8_t dots = braille_dots(shown, character); dots != 0) {
        look.character = braille_character(dots);
        colours_for(plotted_colour(shown, character), cell >> 12, look);
        return look;
    }
    look.character = state.utf8 ? unicode_of(cell & 0xFF) : static_cast<char32_t>(ascii_of(cell & 0xFF));
    colours_for((cell >> 8) & 0x0F, cell >> 12, look);
    return look;
}

void put_character(int line, int column, const drawn_cell& look) {
    const size_t at = static_cast<size_t>(line) * state.columns + column;
    if (state.drawn[at] == look) return;
    state.drawn[at] = look;
    const wchar_t text[2] = {static_cast<wchar_t>(look.character), L'\0'};
    cchar_t c;
    int pair = look.pair;
    setcchar(&c, text, look.attributes, 0, &pair);
    mvadd_wch(line, column, &c);
}

void put_text_line(int line, std::string_view text, attr_t attributes) {
    for (int column = 0; column < state.columns; ++column) {
        drawn_cell look;
        look.character = column < static_cast<int>(text.size()) ? static_cast<unsigned char>(text[column]) : ' ';
        colours_for(7, 0, look);
        look.attributes |= attributes;
        put_character(line, column, look);
    }
}

// A title that passed safe_title, cut to the columns it may fill; on a
// UTF-8 locale a multi-byte character is cut whole.
std::string fitted(const std::string& text, int columns) {
    std::string out;
    int used = 0;
    for (size_t i = 0; i < text.size() && used < columns; ++used) {
        size_t length = 1;
        while (state.utf8 && i + length < text.size() && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
            ++length;
        out.append(text, i, length);
        i += length;
    }
    return out;
}

void put_utf8_line(int line, const std::string& text) {
    // Drawn through curses' own multi-byte handling: the text is safe and
    // fits the line.
    move(line, 0);
    attr_set(A_NORMAL, 0, nullptr);
    addstr(fitted(text, state.columns - 1).c_str());
    clrtoeol();
    // The cells of this line are now unknown to the cache.
    for (int column = 0; column < state.columns; ++column)
        state.drawn[static_cast<size_t>(line) * state.columns + column] = drawn_cell{};
}

void send_title() {
    if (!state.osc_title || state.title == state.shown_title) return;
    state.shown_title = state.title;
    const std::string sequence = "\033]2;" + state.title + "\007";
    if (::write(STDOUT_FILENO, sequence.data(), sequence.size()) < 0) return;  // a lost title is no failure
}

void dump_screen() {
    if (state.dump_path == nullptr) return;
    std::string text;
    for (int row = 0; row < screen_rows; ++row) {
        for (int column = 0; column < screen_columns; ++column) {
            const char32_t c = cell_look(row, column).character;
            if (c < 0x80)
                text += static_cast<char>(c);
            else if (c < 0x800)
                text += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
            else
                text += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                         static_cast<char>(0x80 | (c & 0x3F))};
        }
        text += '\n';
    }
    const std::string temporary = std::string(state.dump_path) + ".new";
    if (std::FILE* out = std::fopen(temporary.c_str(), "w")) {
        const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
        if (std::fclose(out) == 0 && written) std::rename(temporary.c_str(), state.dump_path);
    }
}

void draw_everything() {
    if (state.lines != LINES || state.columns != COLS) {
        state.lines = LINES;
        state.columns = COLS;
        state.drawn.assign(static_cast<size_t>(LINES) * COLS, drawn_cell{});
        erase();
    }
    const bool too_small = COLS < screen_columns || LINES < screen_rows;
    const int rows = too_small ? std::min(screen_rows, LINES - 1) : screen_rows;
    const int columns = std::min(screen_columns, COLS);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) put_character(row, column, cell_look(row, column));
    if (too_small && LINES > 0) {
        const std::string note =
            "playtun needs a terminal of 80 x 50; this one is " + std::to_string(COLS) + " x " + std::to_string(LINES);
        put_text_line(rows, note, A_REVERSE);
    } else if (LINES > screen_rows) {
        put_utf8_line(screen_rows, state.title);
    }
    wnoutrefresh(stdscr);
    doupdate();
    send_title();
    dump_screen();
}

void present() { draw_everything(); }

void set_title(std::string_view title) {
    state.title = safe_title(title, state.utf8);
    draw_everything();
}

bool fetch_event(SDL_Event& event, uint32_t wait_ms) {
    event = SDL_Event{};
    wtimeout(stdscr, static_cast<int>(std::min<uint32_t>(wait_ms, 60000)));
    int code = wgetch(stdscr);
    if (code == ERR) return false;
    if (code == KEY_RESIZE) {
        // The whole terminal again, at its new size.
        state.lines = 0;
        clearok(curscr, TRUE);
        draw_everything();
        event.type = SDL_VIDEOEXPOSE;
        return true;
    }
    bool alt = false;
    if (code == 27) {
        // Escape followed at once by a key that makes no sequence: Alt
        // with that key.
        wtimeout(stdscr, 0);
        // Two Escapes in a row are two presses of Escape.
        if (const int next = wgetch(stdscr); next != ERR && next != KEY_RESIZE && next != 27) {
            alt = true;
            code = next;
        } else if (next != ERR) {
            ungetch(next);
        }
    } else if (!state.utf8 && code >= 0x80 && code < 0x100) {
        alt = true;  // the meta bit
        code &= 0x7F;
    }
    SDL_keysym key;
    if (!key_event_for(code, alt, key)) {
        event.type = SDL_KEYUP;  // a key that no screen takes
        return true;
    }
    event.type = SDL_KEYDOWN;
    event.key.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym = key;
    return true;
}

constexpr presenter terminal_presenter = {present, set_title, fetch_event};

bool starts_with(const char* text, std::string_view prefix) {
    return text != nullptr && std::string_view(text).substr(0, prefix.size()) == prefix;
}

// Standard error goes to a temporary file while the screen is up.
void hold_standard_error() {
    if (!::isatty(STDERR_FILENO)) return;
    state.held_stderr = std::tmpfile();
    if (state.held_stderr == nullptr) return;
    std::fflush(stderr);
    state.saved_stderr = ::dup(STDERR_FILENO);
    if (state.saved_stderr < 0 || ::dup2(fileno(state.held_stderr), STDERR_FILENO) < 0) {
        std::fclose(state.held_stderr);
        state.held_stderr = nullptr;
    }
}

void replay_standard_error() {
    if (state.held_stderr == nullptr) return;
    std::fflush(stderr);
    ::dup2(state.saved_stderr, STDERR_FILENO);
    ::close(state.saved_stderr);
    state.saved_stderr = -1;
    std::rewind(state.held_stderr);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, state.held_stderr)) > 0;)
        if (::write(STDERR_FILENO, buffer, n) < 0) break;
    std::fclose(state.held_stderr);
    state.held_stderr = nullptr;
}

}  // namespace

bool start(std::string& why) {
    if (state.taken) return true;
    if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO)) {
        why = "standard input and output are not both a terminal";
        return false;
    }
    const char* term = std::getenv("TERM");
    if (term == nullptr || *term == '\0' || std::string_view(term) == "dumb") {
        why = "TERM does not name a terminal type that can show the screen";
        return false;
    }
    std::setlocale(LC_CTYPE, "");
    state.utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    state.screen = newterm(nullptr, stdout, stdin);
    if (state.screen == nullptr) {
        why = std::string("the terminal type ") + term + " is not known here";
        return false;
    }
    set_term(state.screen);
    state.taken = true;
    if (!state.exit_hook) {
        state.exit_hook = true;
        std::atexit(stop);
    }
    hold_standard_error();
    set_escdelay(escape_delay_ms);
    cbreak();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    // On a UTF-8 terminal Alt comes as an Escape prefix; elsewhere the
    // meta bit may carry it.
    if (!state.utf8) meta(stdscr, TRUE);
    leaveok(stdscr, TRUE);
    curs_set(0);
    choose_colours();
    for (int i = 0; i < 256; ++i) state.text_colour_of[i] = 15;
    for (int c = 15; c >= 0; --c) state.text_colour_of[colour_map[c]] = static_cast<uint8_t>(c);
    state.xterm_title = starts_with(term, "xterm");
    state.osc_title = !starts_with(term, "linux") && !starts_with(term, "vt") && !starts_with(term, "cons");
    if (state.xterm_title) {
        static constexpr char push_title[] = "\033[22;2t";
        if (::write(STDOUT_FILENO, push_title, sizeof push_title - 1) < 0) state.xterm_title = false;
    }
    state.dump_path = std::getenv("PLAYTUN_TERMINAL_DUMP");
    state.lines = 0;
    state.title.clear();
    state.shown_title.clear();
    active_presenter = &terminal_presenter;
    return true;
}

void stop() {
    if (!state.taken) return;
    state.taken = false;
    active_presenter = nullptr;
    curs_set(1);
    endwin();
    if (state.xterm_title) {
        static constexpr char pop_title[] = "\033[23;2t";
        if (::write(STDOUT_FILENO, pop_title, sizeof pop_title - 1) < 0) state.xterm_title = false;
    }
    delscreen(state.screen);
    state.screen = nullptr;
    replay_standard_error();
}

}  // namespace console::terminal
