// One channel while the song is written out frame by frame: the sound it
// has, the note it plays and where its envelope stands.
#pragma once

#include "score.hpp"
#include "score_sound.hpp"

namespace score {

// The state of one channel while the song is written out frame by frame.
struct channel_voice {
    sound tone;
    bool playing = false;
    bool gate = false;
    double hz = 0;
    int frame_in_note = 0;
    double bend_total = 0;
    int level = 0;
    bool attacking = false;
    int pulse = 128;

    void start(int note);

    // "---": the note fades by the release from this step on, so the
    // default release of 255 silences it at once.
    void release();

    // The record of the next frame; a sounding note moves on by a frame.
    record next_frame(bool chip);

private:
    void advance();
};

}  // namespace score
