#pragma once

#include <gtest/gtest.h>

#include "console/console.hpp"

// Every test starts from a freshly initialised console.
class Console : public ::testing::Test {
protected:
    void SetUp() override {
        console::console_reset();
        console::console_init();
    }
    void TearDown() override { console::console_reset(); }
};

inline uint16_t& cell(int column, int row) { return console::screen_cells[row * 80 + column]; }
