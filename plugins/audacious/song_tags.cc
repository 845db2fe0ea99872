#include "song_tags.h"

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

int release_year(const char *release)
{
    if (release == nullptr) return 0;
    for (const char *p = release; *p != '\0';) {
        if (!is_digit(*p)) {
            ++p;
            continue;
        }
        const char *run = p;
        while (is_digit(*p)) ++p;
        if (p - run != 4) continue;
        const int year = (run[0] - '0') * 1000 + (run[1] - '0') * 100 + (run[2] - '0') * 10 + (run[3] - '0');
        return year >= 1900 && year <= 2099 ? year : 0;
    }
    return 0;
}
