// Where a captured tune starts over. A play routine that has reached the
// end of its tune and begun it again writes the same registers, frame for
// frame, as it did the first time round, so the captured records repeat:
// the frames from k on equal those from j = k - p on, through to the end of
// the capture. The song can then end at k and loop to j, and playing it
// again and again sounds like the tune running on without a seam.
//
// Found by the Z-function of the frames read backwards: for a period p it
// gives how many frames at the end of the capture equal the frames p
// earlier, for every p at once in time proportional to the capture.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "song/channel_record.hpp"

namespace psid_import {

struct loop_rules {
    uint32_t shortest_period = 1;  // frames from the loop frame to the song's end
    uint32_t shortest_repeat = 1;  // frames at the end of the capture that must repeat
    // 0: the song ends where the repeat begins. Otherwise the song must end
    // exactly here (a length known beforehand); the repeat must then begin
    // at or before it, and the loop frame is one period earlier.
    uint32_t end_at = 0;
};

struct loop_points {
    uint32_t loop_frame = 0;
    uint32_t end_frame = 0;  // the song's frames are 0 .. end_frame - 1
};

// The loop of the capture (`voices` records per frame) that ends the song
// earliest, the shortest period first among equals; nothing when no repeat
// meets the rules. A loop section that is silent throughout (every volume
// 0) or the same record frame after frame (one held note) is not a loop of
// the tune: a capture that ends on silence or a long note repeats that way.
std::optional<loop_points> find_loop(std::span<const song::channel_record> records, unsigned voices,
                                     const loop_rules& rules);

}  // namespace psid_import
