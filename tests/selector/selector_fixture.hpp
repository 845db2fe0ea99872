#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "selector/selector.hpp"

// Every test runs in a fresh temporary directory with a fresh selector and
// console; the working directory is restored afterwards.
class SelectorDir : public ::testing::Test {
protected:
    void SetUp() override {
        selector::selector_reset();
        console::console_reset();
        home = std::filesystem::current_path();
        char pattern[] = "/tmp/selector_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        std::filesystem::current_path(root);
    }
    void TearDown() override {
        std::filesystem::current_path(home);
        std::error_code ignored;
        std::filesystem::permissions(root, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(root, ignored);
        selector::selector_reset();
        console::console_reset();
    }

    static void make_file(const std::string& name) { std::ofstream(name) << "x"; }
    static void make_dir(const std::string& name) { std::filesystem::create_directory(name); }

    // The captions of the current list, in list order.
    static std::vector<std::string> captions() {
        std::vector<std::string> out;
        for (int i = 0; i < selector::dir_count; ++i) out.push_back((*selector::dir_list)[i].caption);
        return out;
    }

    std::filesystem::path home;
    std::filesystem::path root;
};

// A real SDL surface from the dummy video driver: no display needed.
inline void open_dummy_screen() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    }
    console::console_init();
    ASSERT_TRUE(console::set_video_mode(false));
}
