#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "song/file_loader.hpp"
#include "song_image.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define SONG_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SONG_TEST_SANITIZED 1
#endif
#endif

namespace fs = std::filesystem;

namespace {

class SongLoader : public ::testing::Test {
protected:
    void SetUp() override {
        song_test::reset_state();
        char pattern[] = "/tmp/song_loader_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        song_test::reset_state();
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
    }

    static void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << path;
    }

    static std::vector<uint8_t> image_bytes() {
        return {song_test::state().image.get(), song_test::state().image.get() + song_test::state().image_size};
    }

    std::string dir;
};

std::vector<uint8_t> pattern_bytes(size_t size, uint8_t seed) {
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(seed + i * 13);
    return out;
}

TEST_F(SongLoader, ReadsTheWholeFileAndReplacesThePreviousImage) {
    const auto first = pattern_bytes(70000, 1);
    const auto second = pattern_bytes(10, 2);
    write_file(dir + "/first.tun", first);
    write_file(dir + "/second.tun", second);
    // A read-only file can be played.
    ::chmod((dir + "/second.tun").c_str(), 0444);

    song::load_song_file(song_test::state(), dir + "/first.tun");
    EXPECT_EQ(image_bytes(), first);
    song::load_song_file(song_test::state(), dir + "/second.tun");
    EXPECT_EQ(image_bytes(), second);

    write_file(dir + "/empty.tun", {});
    song::load_song_file(song_test::state(), dir + "/empty.tun");
    EXPECT_EQ(song_test::state().image_size, 0u);
    EXPECT_EQ(song::read_header(song_test::state(), song::output_rate), song::header_outcome::not_a_song_file);
}

TEST_F(SongLoader, LongFileNameIsUsedWhole) {
    // Four directory levels of 100 characters: the name passes 255 bytes
    // inside the third level. A file sits where the name cut at 255 bytes
    // would point, so a cut name would load the wrong file.
    std::string path = dir;
    for (char c : {'a', 'b', 'c'}) {
        path += "/" + std::string(100, c);
        fs::create_directory(path);
    }
    path += "/" + std::string(100, 'd') + ".tun";
    ASSERT_GT(path.size(), 255u);
    const std::string cut = path.substr(0, 255);
    ASSERT_FALSE(fs::exists(cut));
    write_file(cut, pattern_bytes(5, 9));

    const auto song_bytes = song_test::song_image({}, pattern_bytes(60, 3));
    write_file(path, song_bytes);
    song::load_song_file(song_test::state(), path);
    EXPECT_EQ(image_bytes(), song_bytes);
    EXPECT_EQ(song::read_header(song_test::state(), song::output_rate), song::header_outcome::ok);
}

TEST_F(SongLoader, FileErrorsEndTheProgramWithTheirCode) {
    write_file(dir + "/plain", pattern_bytes(4, 0));
    fs::create_directory(dir + "/folder");
    ASSERT_EQ(::mkfifo((dir + "/fifo.tun").c_str(), 0600), 0);
    struct row {
        std::string path;
        int status;
    };
    const row rows[] = {
        {dir + "/missing.tun", 2},
        {dir + "/no/such/dir.tun", 2},
        {"", 2},
        {dir + "/folder", 5},
        {dir + "/" + std::string(5000, 'x'), 3},
        {dir + "/" + std::string(300, 'x') + "/a.tun", 3},
        {dir + "/plain/inside.tun", ENOTDIR},
        {dir + "/fifo.tun", 5},  // not a regular file: refused before it is opened
        {"/dev/zero", 5},
        {"/dev/null", 5},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path.substr(0, 80));
        EXPECT_EXIT(song::load_song_file(song_test::state(), r.path), ::testing::ExitedWithCode(r.status), "");
    }
}

TEST_F(SongLoader, FileTheUserMayNotReadEndsWithAccessDenied) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode; the directory case covers code 5";
    const std::string path = dir + "/locked.tun";
    write_file(path, pattern_bytes(40, 0));
    ::chmod(path.c_str(), 0);
    EXPECT_EXIT(song::load_song_file(song_test::state(), path), ::testing::ExitedWithCode(5), "");
}

TEST_F(SongLoader, ShortReadEndsWithDiskReadError) {
    // Attribute files state a size of a whole page but hold a few bytes.
    const std::string path = "/sys/kernel/mm/transparent_hugepage/enabled";
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || status.st_size <= 100)
        GTEST_SKIP() << "no file whose stated size exceeds its contents";
    EXPECT_EXIT(song::load_song_file(song_test::state(), path), ::testing::ExitedWithCode(100), "");
}

// A file over the song size limit is refused from its size, before any
// memory is taken or anything is read.
TEST_F(SongLoader, FileOverTheLimitIsRefusedAsTooLarge) {
    for (const uint64_t size : {song::max_song_bytes + 1, (uint64_t{1} << 32) + 10}) {
        SCOPED_TRACE(size);
        const std::string path = dir + "/huge.tun";
        write_file(path, {});
        fs::resize_file(path, size);  // sparse: takes no disk space
        const auto limit_address_space = [] {
            const rlimit limit{64u << 20, 64u << 20};
            ::setrlimit(RLIMIT_AS, &limit);
        };
        EXPECT_EXIT(
            {
                limit_address_space();
                song::load_song_file(song_test::state(), path);
            },
            ::testing::ExitedWithCode(1), "");
    }
}

TEST_F(SongLoader, ImageThatCannotBeAllocatedEndsWithHeapOverflow) {
#ifdef SONG_TEST_SANITIZED
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address space limit";
#else
    const uint32_t size = 250u << 20;  // under the song size limit
    const std::string path = dir + "/big.tun";
    write_file(path, {});
    fs::resize_file(path, size);

    song_test::header_fields h;
    h.flags = 0x51;
    h.unpacked_size = size;
    const auto packed = song_test::song_image(h, {0x61, 0xD8, 0x03, 0x00});

    const auto limit_address_space = [] {
        const rlimit limit{128u << 20, 128u << 20};
        ::setrlimit(RLIMIT_AS, &limit);
    };
    EXPECT_EXIT(
        {
            limit_address_space();
            song::load_song_file(song_test::state(), path);
        },
        ::testing::ExitedWithCode(203), "");
    // The header reader reports it; the programs then end with code 203.
    constexpr int reported = 7;
    EXPECT_EXIT(
        {
            (void)song::load_song_bytes(song_test::state(), packed);
            limit_address_space();
            const auto outcome = song::read_header(song_test::state(), song::output_rate);
            std::exit(outcome == song::header_outcome::out_of_memory ? reported : 0);
        },
        ::testing::ExitedWithCode(reported), "");
#endif
}

}  // namespace
