#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "song/aplib_pack.hpp"
#include "song/aplib.hpp"

namespace {

using bytes = std::vector<uint8_t>;

std::optional<bytes> unpack(const bytes& stream, size_t capacity) {
    bytes out(capacity);
    const auto written = song::aplib_unpack(stream, out);
    if (!written) return std::nullopt;
    out.resize(*written);
    return out;
}

bytes text_bytes(const std::string& s) { return {s.begin(), s.end()}; }

bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(AplibUnpack, DecodesTheWorkedExamples) {
    struct row {
        bytes stream;
        bytes expected;
    };
    const row rows[] = {
        {{0x61, 0xD8, 0x03, 0x00}, text_bytes("aaaa")},
        {{0x61, 0x29, 0x62, 0x63, 0x03, 0x30, 0x00}, text_bytes("abcabcabc")},
        {{0x61, 0x64, 0x62, 0x04, 0x63, 0x18, 0x00}, text_bytes("ababcbc")},
        {{0x61, 0x72, 0x62, 0xE1, 0x80, 0x00}, {0x61, 0x62, 0x61, 0x00}},
    };
    for (const auto& r : rows) {
        const auto out = unpack(r.stream, 64);
        ASSERT_TRUE(out.has_value());
        EXPECT_EQ(*out, r.expected);
        // Exactly the room needed is enough.
        EXPECT_EQ(unpack(r.stream, r.expected.size()), r.expected);
    }
}

TEST(AplibUnpack, OffsetMayReachBackToTheFirstByteButNoFurther) {
    // literal b, then a short match of length 3 from 2 back (byte 05), end.
    EXPECT_EQ(unpack({0x61, 0x6C, 0x62, 0x05, 0x00}, 16), text_bytes("ababa"));
    // The same with 3 back (byte 07): only 2 bytes exist.
    EXPECT_EQ(unpack({0x61, 0x6C, 0x62, 0x07, 0x00}, 16), std::nullopt);
    // One-byte copy from 1 back, then end; and from 2 back with 1 byte written.
    EXPECT_EQ(unpack({0x61, 0xE3, 0x80, 0x00}, 16), text_bytes("aa"));
    EXPECT_EQ(unpack({0x61, 0xE5, 0x80, 0x00}, 16), std::nullopt);
    // Code pair of offset 1 (its length 2 raised by 2), then end; offsets 0
    // and 2 in the same place fail (see BrokenStreamsFail).
    EXPECT_EQ(unpack({0x61, 0xA3, 0x01, 0x00, 0x00}, 16), text_bytes("aaaaa"));
}

TEST(AplibUnpack, BrokenStreamsFail) {
    struct row {
        const char* what;
        bytes stream;
        size_t capacity;
    };
    const row rows[] = {
        {"empty input", {}, 16},
        {"no tag byte after the first literal", {0x61}, 16},
        {"literal byte missing", {0x61, 0x00}, 16},
        {"code pair offset byte missing", {0x61, 0xA0}, 16},
        {"short match byte missing", {0x61, 0xC0}, 16},
        {"gamma cut short", {0x61, 0xBF}, 16},
        {"no end marker", {0x61, 0xD8, 0x03}, 16},
        {"no room at all", {0x61, 0xD8, 0x03, 0x00}, 0},
        {"match past the capacity", {0x61, 0xD8, 0x03, 0x00}, 3},
        {"literal past the capacity", {0x61, 0x29, 0x62, 0x63, 0x03, 0x30, 0x00}, 2},
        {"one-byte copy past the capacity", {0x61, 0x72, 0x62, 0xE1, 0x80, 0x00}, 3},
        {"code pair offset 0", {0x61, 0xA3, 0x00, 0x00, 0x00}, 16},
        {"code pair offset beyond the output", {0x61, 0xA3, 0x02, 0x00, 0x00}, 16},
        {"repeat match before any offset", {0x61, 0x83, 0x00, 0x00}, 16},
    };
    for (const auto& r : rows) EXPECT_EQ(unpack(r.stream, r.capacity), std::nullopt) << r.what;
}

TEST(AplibUnpack, EndMarkerBeforeTheCapacityIsNotAFailure) {
    EXPECT_EQ(unpack({0x61, 0xD8, 0x03, 0x00}, 100000), text_bytes("aaaa"));
    // Bytes after the end marker are never looked at.
    EXPECT_EQ(unpack({0x61, 0xD8, 0x03, 0x00, 0xFF, 0xFF}, 8), text_bytes("aaaa"));
}

TEST(AplibUnpack, StreamsFromAnIndependentEncoderUnpack) {
    for (const char* name : {"ascending_0_255_x4", "random_128", "song3_inter_60", "song3_planar_2000", "text_1280",
                             "text_32000", "tiny3_aba", "zeros_1000"}) {
        SCOPED_TRACE(name);
        const std::string base = std::string(SONG_TEST_DATA) + "/" + name;
        const bytes stream = read_file(base + ".apl");
        const bytes expected = read_file(base + ".bin");
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(unpack(stream, expected.size()), expected);
        // Cut anywhere before its end marker, a stream no longer unpacks.
        EXPECT_EQ(unpack(bytes(stream.begin(), stream.end() - 1), expected.size()), std::nullopt);
        EXPECT_EQ(unpack(stream, expected.size() - 1), std::nullopt);

        // The project's encoder packs the same data back, not much larger
        // than the independent one did.
        const bytes own = packer::aplib_pack(expected);
        EXPECT_EQ(unpack(own, expected.size()), expected);
        EXPECT_LE(own.size(), stream.size() + stream.size() / 8 + 2);
    }
}

// Inputs for the encoder, each with the largest stream size that counts as
// reasonable packing for it.
struct pack_case {
    std::string name;
    bytes data;
    size_t max_stream;
};

bytes random_bytes(size_t size, uint32_t seed) {
    std::mt19937 gen(seed);
    bytes out(size);
    for (auto& b : out) b = static_cast<uint8_t>(gen());
    return out;
}

std::vector<pack_case> pack_cases() {
    std::vector<pack_case> cases;
    cases.push_back({"one byte", {0x42}, 3});
    cases.push_back({"one zero byte", {0x00}, 3});
    cases.push_back({"two bytes", {0x01, 0x02}, 4});
    cases.push_back({"zeros", bytes(100000, 0), 64});
    cases.push_back({"run of one value", bytes(5000, 0xE7), 64});

    std::string text;
    const char* words[] = {"the ",     "player ",  "reads ", "one ",   "frame ", "of ",
                           "channel ", "records ", "and ",   "mixes ", "eight ", "voices. "};
    std::mt19937 gen(7);
    while (text.size() < 40000) text += words[gen() % 12];
    cases.push_back({"text", text_bytes(text), 40000 / 3});

    cases.push_back({"random", random_bytes(50000, 1), 50000 + 50000 / 8 + 16});

    // Far repeats: a random block seen again 70000 bytes later, so every
    // match needs an offset above 32000.
    bytes far = random_bytes(70000, 2);
    const bytes again(far.begin(), far.begin() + 40000);
    far.insert(far.end(), again.begin(), again.end());
    cases.push_back({"far repeats", far, 70000 + 70000 / 8 + 2000});

    // Register-dump-like: slowly changing values with short and mid-range
    // repeats and many zero bytes.
    bytes dump;
    for (int f = 0; f < 3000; ++f)
        for (int c = 0; c < 3; ++c) {
            const int note = (f / 12 + c * 5) % 24;
            dump.insert(dump.end(),
                        {static_cast<uint8_t>(note * 9), static_cast<uint8_t>(c + 1),
                         static_cast<uint8_t>((f * 3) & 0xFF), 0x41, static_cast<uint8_t>(15 - (f % 16)), 0});
        }
    cases.push_back({"register dump", dump, dump.size() / 3});

    bytes ascending;
    for (int i = 0; i < 1024; ++i) ascending.push_back(static_cast<uint8_t>(i));
    cases.push_back({"ascending", ascending, 300});
    return cases;
}

TEST(AplibPack, RoundTripsThroughTheDecoder) {
    for (const auto& c : pack_cases()) {
        SCOPED_TRACE(c.name);
        const bytes stream = packer::aplib_pack(c.data);
        EXPECT_LE(stream.size(), c.max_stream);
        EXPECT_EQ(unpack(stream, c.data.size()), c.data);
        // No slack is needed beyond the data itself.
        EXPECT_EQ(unpack(stream, c.data.size() - 1), std::nullopt);
    }
}

TEST(AplibPack, RoundTripsShortPatternsOfEveryKind) {
    // Short inputs that call for literals, near byte copies, zero bytes,
    // short matches, repeats after a literal, and mid-range code pairs.
    std::vector<bytes> inputs;
    inputs.push_back(text_bytes("abcabcabc"));
    inputs.push_back(text_bytes("ababcbc"));
    inputs.push_back({0x61, 0x62, 0x61, 0x00});
    inputs.push_back(text_bytes("xyzxyzQxyzxyzRxyzxyzSxyzxyz"));
    std::mt19937 gen(3);
    for (int n = 0; n < 300; ++n) {
        bytes data(1 + gen() % 3000);
        const int alphabet = 1 + static_cast<int>(gen() % 6);
        for (auto& b : data) b = static_cast<uint8_t>(gen() % alphabet);
        // Copy some earlier stretches to later places to make long matches.
        for (int k = 0; k < 4 && data.size() > 400; ++k) {
            const size_t from = gen() % (data.size() / 2);
            const size_t to = data.size() / 2 + gen() % (data.size() / 2 - 100);
            std::copy_n(data.begin() + from, 60, data.begin() + to);
        }
        inputs.push_back(data);
    }
    for (const auto& data : inputs) {
        const bytes stream = packer::aplib_pack(data);
        ASSERT_EQ(unpack(stream, data.size()), data) << data.size();
    }
}

TEST(AplibPack, EmptyDataHasNoStream) { EXPECT_TRUE(packer::aplib_pack({}).empty()); }

}  // namespace
