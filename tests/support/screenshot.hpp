// A window screenshot read back as binary PPM (as ImageMagick writes it),
// for the checkers of the Xvfb tests.
#pragma once

#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

namespace test_support {

struct rgb {
    int r, g, b;
    bool operator==(const rgb&) const = default;
};

struct screenshot {
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;  // three per pixel, row by row
    rgb at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {bytes[i], bytes[i + 1], bytes[i + 2]};
    }
};

// Reads a P6 file with 8-bit samples; false when it is anything else.
inline bool read_ppm(const char* path, screenshot& out) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    in >> magic >> out.width >> out.height >> maximum;
    if (!in || magic != "P6" || maximum != 255) return false;
    in.get();
    out.bytes.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    in.read(reinterpret_cast<char*>(out.bytes.data()), static_cast<std::streamsize>(out.bytes.size()));
    return static_cast<bool>(in);
}

}  // namespace test_support
