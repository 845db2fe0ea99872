// pitch_class_compare A.wav B.wav [WINDOW_SECONDS]: prints how closely the
// pitch classes heard in the two files agree (the mean cosine of their
// pitch-class profiles over windows of 200 ms by default), the figure the
// README gives for the imported songs next to the loudness.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "pitch_class_profile.hpp"
#include "program_run.hpp"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: pitch_class_compare A.wav B.wav [WINDOW_SECONDS]\n", stderr);
        return 2;
    }
    try {
        const double window = argc == 4 ? std::atof(argv[3]) : 0.2;
        const auto a =
            test_support::pitch_class_profiles(test_support::read_wav(test_support::read_file(argv[1])), window);
        const auto b =
            test_support::pitch_class_profiles(test_support::read_wav(test_support::read_file(argv[2])), window);
        std::printf("%.3f\n", test_support::profile_agreement(a, b));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pitch_class_compare: %s\n", e.what());
        return 1;
    }
    return 0;
}
