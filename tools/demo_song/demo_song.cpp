// Writes a generated demo song: a chord progression with melody, bass and
// noise percussion, repeated to the requested length. Used for the bundled
// demo song and as benchmark material.
//
//   demo_song OUT.tun [--channels N] [--seconds S] [--chip] [--planar]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct options {
    std::string out;
    int channels = 3;
    int seconds = 30;
    bool chip = false;
    bool planar = false;
};

struct record {
    uint16_t pitch = 0;
    uint8_t pulse = 0x80, control = 0, volume = 0, filter = 255;
};

// The pitch word holds a frequency in Hz as mantissa (bits 0..7) and octave
// (bits 8..10): f = (256 + m) x 2^o / 16.
uint16_t pitch_for(double hz) {
    int octave = 0;
    while (octave < 7 && hz >= 32.0 * (1 << octave)) ++octave;
    long mantissa = std::lround(hz * 16.0 / (1 << octave)) - 256;
    if (mantissa < 0) mantissa = 0;
    if (mantissa > 255) mantissa = 255;
    return static_cast<uint16_t>(octave << 8 | mantissa);
}

double note_hz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

std::vector<std::vector<record>> compose(const options& o, int frames) {
    const int step_frames = 6;
    const int chords[4][3] = {{57, 60, 64}, {53, 57, 60}, {48, 52, 55}, {55, 59, 62}};  // Am F C G
    const int melody[16] = {0, 2, 1, 2, 0, 2, 1, 0, 2, 1, 0, 1, 2, 2, 1, -1};
    std::vector<std::vector<record>> song(frames, std::vector<record>(o.channels));
    const uint8_t tone_control = o.chip ? 0x41 : 0x00;
    for (int f = 0; f < frames; ++f) {
        const int step = f / step_frames, in_step = f % step_frames;
        const int bar = (step / 16) % 4;
        const auto& chord = chords[bar];
        for (int c = 0; c < o.channels; ++c) {
            record& r = song[f][c];
            const int role = c % 3;
            const int pan = c < 3 ? 0 : ((c % 2) ? 0x1000 : 0x4000);  // extra voices lean left or right
            if (role == 0) {  // melody: chord tones an octave up, with a decay
                const int pick = melody[(step + c) % 16];
                const int note = pick < 0 ? -1 : chord[pick] + 12 + 12 * (c / 3 % 2);
                r.pitch = static_cast<uint16_t>((note < 0 ? 0 : pitch_for(note_hz(note))) | pan);
                r.volume = note < 0 ? 0 : static_cast<uint8_t>(220 - in_step * 25);
                r.pulse = static_cast<uint8_t>(0x40 + (step % 8) * 8);
                r.control = tone_control;
                r.filter = 200;
            } else if (role == 1) {  // bass: root on every other step
                const int note = chord[0] - 24 + ((step % 4 == 3) ? 7 : 0);
                r.pitch = static_cast<uint16_t>(pitch_for(note_hz(note)) | pan);
                r.volume = static_cast<uint8_t>(step % 2 == 0 ? 230 - in_step * 15 : 120);
                r.pulse = 0x20;
                r.control = o.chip ? 0x21 : 0x10;
                r.filter = 120;
            } else {  // percussion: noise bursts, kick on 0 and 8, snare on 4 and 12
                const int beat = step % 16;
                const bool kick = beat == 0 || beat == 8 || beat == 10;
                const bool snare = beat == 4 || beat == 12;
                const bool hat = beat % 2 == 1;
                const double hz = kick ? 60.0 : snare ? 1800.0 : 3500.0;
                r.pitch = static_cast<uint16_t>(pitch_for(hz) | (kick ? 0 : 0x0800) | pan);
                const int level = kick ? 240 : snare ? 200 : hat ? 90 : 0;
                r.volume = static_cast<uint8_t>(std::max(0, level - in_step * (kick ? 40 : 35)));
                r.pulse = 0x80;
                r.control = o.chip ? 0x81 : 0x20;
                r.filter = kick ? 60 : 255;
            }
        }
    }
    return song;
}

void put_u16(std::vector<uint8_t>& b, unsigned v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); }
void put_u32(std::vector<uint8_t>& b, uint32_t v) { for (int s = 0; s < 32; s += 8) b.push_back((v >> s) & 0xFF); }

std::vector<uint8_t> encode(const options& o, const std::vector<std::vector<record>>& song) {
    const std::string text = "playtun demo song - Am F C G, melody, bass and noise drums - ";
    std::vector<uint8_t> b = {static_cast<uint8_t>(o.chip ? 'C' : 'T'), 'Q', 'K',
                              static_cast<uint8_t>(o.channels | (o.planar ? 0 : 0x10))};
    put_u16(b, 50);
    put_u32(b, 0);
    put_u16(b, static_cast<unsigned>(text.size()));
    put_u32(b, 0);
    b.insert(b.end(), text.begin(), text.end());
    const size_t frames = song.size(), plane = frames * o.channels;
    if (!o.planar) {
        for (const auto& frame : song)
            for (const auto& r : frame)
                b.insert(b.end(), {static_cast<uint8_t>(r.pitch), static_cast<uint8_t>(r.pitch >> 8), r.pulse,
                                   r.control, r.volume, r.filter});
    } else {
        std::vector<uint8_t> body(plane * 6);
        for (int c = 0; c < o.channels; ++c)
            for (size_t f = 0; f < frames; ++f) {
                const record& r = song[f][c];
                const size_t q = c * frames + f;
                body[q] = r.pitch >> 8;
                body[q + plane] = r.pitch & 0xFF;
                body[q + 2 * plane] = r.pulse;
                body[q + 3 * plane] = r.control;
                body[q + 4 * plane] = r.volume;
                body[q + 5 * plane] = r.filter;
            }
        b.insert(b.end(), body.begin(), body.end());
    }
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--channels" && i + 1 < argc) o.channels = std::atoi(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc) o.seconds = std::atoi(argv[++i]);
        else if (a == "--chip") o.chip = true;
        else if (a == "--planar") o.planar = true;
        else if (o.out.empty() && a[0] != '-') o.out = a;
        else {
            std::fprintf(stderr, "demo_song: unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    if (o.out.empty() || o.channels < 1 || o.channels > 8 || o.seconds < 1 || o.seconds > 6000) {
        std::fprintf(stderr, "usage: demo_song OUT.tun [--channels 1..8] [--seconds S] [--chip] [--planar]\n");
        return 2;
    }
    const auto bytes = encode(o, compose(o, o.seconds * 50));
    FILE* f = std::fopen(o.out.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(o.out.c_str());
        return 1;
    }
    return 0;
}
