// The element names files in its errors as playtun and tuntool do: its C
// copy of the rules gives the same form as names::shown_name for names
// built at random from the bytes that matter (quotes, $, controls, DEL,
// every kind of UTF-8 lead and continuation byte, and plain letters).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include <glib.h>

#include "base/shown_name.hpp"

extern "C" {
#include "shown_name.h"
}

namespace {

TEST(ShownNameAgreement, TheElementShowsNamesAsThePrograms) {
    const std::string alphabet = std::string("ab.'$\\ \n\t\r\x1b\x7f") +
                                 "\xc2\x85\xa9\xc3\xe2\x80\xa8\x82\xac\xed\xa0\xf0\x9f\x8e\xf4\x90\xff\xc0";
    std::mt19937 random(1234);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<size_t> length(0, 12);
    for (int i = 0; i < 20000; ++i) {
        std::string name;
        for (size_t n = length(random); n > 0; --n) name += alphabet[pick(random)];
        gchar* shown = tun_shown_name(name.c_str());
        ASSERT_EQ(std::string(shown), names::shown_name(name)) << names::shown_name(name);
        g_free(shown);
    }
}

}  // namespace
