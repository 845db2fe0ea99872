// Checks the sound a paused and resumed song left in SDL's disk audio
// capture against the song's recording:
//   capture_check CAPTURE.raw RECORDING.wav MIN_SILENT_BUFFERS
// The device writes whole buffers of 2048 stereo frames, silent ones while
// it is paused. With every silent buffer taken out, the capture must be
// the recording's sound from its start, sample for sample (the device may
// stop before the recording's end), and at least MIN_SILENT_BUFFERS silent
// buffers must lie between two stretches of sound: the pause.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr size_t buffer_bytes = 2048 * 4;
constexpr size_t wav_header_bytes = 44;

std::vector<unsigned char> read_all(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: capture_check CAPTURE.raw RECORDING.wav MIN_SILENT_BUFFERS\n");
        return 2;
    }
    const std::vector<unsigned char> capture = read_all(argv[1]);
    const std::vector<unsigned char> wav = read_all(argv[2]);
    const long min_silent = std::atol(argv[3]);
    if (wav.size() <= wav_header_bytes) {
        std::printf("FAIL: %s holds no sound\n", argv[2]);
        return 1;
    }
    std::vector<unsigned char> sound;
    long silent_inside = 0;  // silent buffers after the first sound, before the last
    long silent_run = 0;
    for (size_t at = 0; at + buffer_bytes <= capture.size(); at += buffer_bytes) {
        const auto begin = capture.begin() + static_cast<std::ptrdiff_t>(at);
        const auto end = begin + static_cast<std::ptrdiff_t>(buffer_bytes);
        if (std::all_of(begin, end, [](unsigned char b) { return b == 0; })) {
            if (!sound.empty()) ++silent_run;
            continue;
        }
        silent_inside += silent_run;
        silent_run = 0;
        sound.insert(sound.end(), begin, end);
    }
    const std::vector<unsigned char> data(wav.begin() + wav_header_bytes, wav.end());
    const size_t compared = std::min(sound.size(), data.size());
    const auto mismatch =
        std::mismatch(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(compared), sound.begin());
    int failures = 0;
    if (mismatch.first != data.begin() + static_cast<std::ptrdiff_t>(compared)) {
        std::printf("FAIL: the sound differs from the recording at byte %ld of %zu\n",
                    static_cast<long>(mismatch.first - data.begin()), compared);
        ++failures;
    }
    if (compared < 10 * buffer_bytes) {
        std::printf("FAIL: only %zu bytes of sound were captured\n", compared);
        ++failures;
    }
    if (silent_inside < min_silent) {
        std::printf("FAIL: %ld silent buffers within the sound, expected at least %ld\n", silent_inside, min_silent);
        ++failures;
    }
    std::printf("capture: %zu bytes of sound equal to the recording, %ld silent buffers within\n", compared,
                silent_inside);
    return failures == 0 ? 0 : 1;
}
