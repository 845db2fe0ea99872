#include <gtest/gtest.h>

#include "song_tags.h"

TEST(ReleaseYear, IsTheFirstRunOfFourDigitsInTheTwentiethOrTwentyFirstCentury) {
    const struct {
        const char* release;
        int year;
    } cases[] = {
        {"1989 T\xc3\xa9st", 1989},
        {"X2014", 2014},
        {"2013 Onslaught", 2013},
        {"Onslaught (2099)", 2099},
        {"1900", 1900},
        {"1899", 0},
        {"2100", 0},
        {"12345 Records", 0},
        {"1a 2b", 0},
        {"Group 42 1987", 1987},
        {"", 0},
        {"198", 0},
        {"19891", 0},
        {"v1.2 1991", 1991},
    };
    for (const auto& c : cases) EXPECT_EQ(release_year(c.release), c.year) << c.release;
    EXPECT_EQ(release_year(nullptr), 0);
}
