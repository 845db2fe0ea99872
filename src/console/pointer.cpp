// The rules every presenter's pointer events keep: where a pixel lies on
// the cells, and when two clicks are a double click.
#include "console/pointer.hpp"

#include <algorithm>

#include "console/cells.hpp"

namespace console {

pointer_kind classify_click(click_timer& timer, uint8_t column, uint8_t row, uint32_t now_ms) {
    // Unsigned difference: right across a wrap of the clock.
    const bool completes =
        timer.armed && timer.column == column && timer.row == row && now_ms - timer.at_ms <= double_click_ms;
    timer = completes ? click_timer{} : click_timer{true, now_ms, column, row};
    return completes ? pointer_kind::double_click : pointer_kind::click;
}

cell_position cell_at(int x, int y, int width, int height) {
    const auto scaled = [](int pixel, int extent, int cells) {
        if (extent <= 0) return 0;
        const int64_t cell = static_cast<int64_t>(std::max(pixel, 0)) * cells / extent;
        return static_cast<int>(std::min<int64_t>(cell, cells - 1));
    };
    return {static_cast<uint8_t>(scaled(x, width, screen_columns)),
            static_cast<uint8_t>(scaled(y, height, screen_rows))};
}

}  // namespace console
