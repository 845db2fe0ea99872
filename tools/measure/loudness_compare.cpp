// loudness_compare A.wav B.wav [WINDOW_SECONDS]: prints the correlation of
// the two files' loudness envelopes (RMS of 50 ms windows by default), the
// figure the README gives for the imported songs.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "loudness_envelope.hpp"
#include "program_run.hpp"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: loudness_compare A.wav B.wav [WINDOW_SECONDS]\n", stderr);
        return 2;
    }
    try {
        const double window = argc == 4 ? std::atof(argv[3]) : 0.05;
        const auto a =
            test_support::loudness_envelope(test_support::read_wav(test_support::read_file(argv[1])), window);
        const auto b =
            test_support::loudness_envelope(test_support::read_wav(test_support::read_file(argv[2])), window);
        std::printf("%.3f\n", test_support::correlation(a, b));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "loudness_compare: %s\n", e.what());
        return 1;
    }
    return 0;
}
