// Pointer input in text cells: what a mouse or a finger did, already placed
// on the 80 x 50 cells, for the screens to act on. Each presenter turns its
// own events into these: the window its mouse buttons and wheel
// (input.cpp), the web page its canvas's pointer and wheel events. The
// screens see the same events whatever made them.
#pragma once

#include <cstdint>

namespace console {

enum class pointer_kind : uint8_t {
    none,          // the event fetched last was no pointer event
    click,         // a press of the main button, or a tap
    double_click,  // the second of two clicks in quick succession on one cell
    scroll,        // vertical: `amount` lines, positive towards the end (wheel down, finger up)
    swipe,         // horizontal: `amount` columns, positive to the right
};

struct pointer_event {
    pointer_kind kind = pointer_kind::none;
    uint8_t column = 0;  // 0..79: where it happened
    uint8_t row = 0;     // 0..49
    int16_t amount = 0;  // the lines of a scroll, the columns of a swipe
};

// The pointer event of the event fetched last (kind none for any other
// event): set by poll_event, poll_key, wait_key and wait_input.
extern pointer_event last_pointer;

// Two clicks on one cell at most this far apart make a double click.
constexpr uint32_t double_click_ms = 400;
// The lines one step of a mouse wheel scrolls.
constexpr int16_t wheel_lines = 3;

// The last click, so that the next one can tell whether it completes a
// double click.
struct click_timer {
    bool armed = false;
    uint32_t at_ms = 0;
    uint8_t column = 0, row = 0;
};

// A click on the cell at `now_ms` (any clock that counts milliseconds and
// may wrap): a double click when the timer holds a click on the same cell
// at most double_click_ms before, else a click. A double click disarms the
// timer, so a third quick click is a click again.
pointer_kind classify_click(click_timer& timer, uint8_t column, uint8_t row, uint32_t now_ms);

struct cell_position {
    uint8_t column, row;
};

// The cell under pixel (x, y) of a picture `width` x `height` that shows
// the whole screen at any scale; positions outside it count as the nearest
// cell on the edge.
cell_position cell_at(int x, int y, int width, int height);

}  // namespace console
