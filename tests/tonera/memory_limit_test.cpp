// The C API when memory runs short: each case runs in a child process whose
// address space is limited to what it already uses plus a headroom, and
// opens a song there as the process's first open (the shared tables are
// not built yet). The library must answer TONERA_E_NO_MEMORY or succeed,
// never end the process; once the limit is lifted the same process opens
// and renders the song.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tonera/tonera.h"

namespace {

// How a child's case ended (its exit status).
enum child_result : int {
    opened_under_limit = 0,
    refused_then_opened = 1,
    wrong_error = 2,
    failed_after_limit_lifted = 3,
    no_limit_set = 4,
    rendered_nothing = 5,
};

std::vector<uint8_t> song_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The process's address space in bytes, as the kernel counts it for
// RLIMIT_AS.
size_t address_space() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    unsigned long pages = 0;
    const int read = std::fscanf(f, "%lu", &pages);
    std::fclose(f);
    return read == 1 ? pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// As a C program calls it: anything thrown through the API ends the
// process (std::terminate), as it would through C frames.
int open_as_c_caller(const std::vector<uint8_t>& bytes, tonera_song** song) noexcept {
    return tonera_open(bytes.data(), bytes.size(), song);
}

bool renders(tonera_song* song, std::vector<int16_t>& buffer) noexcept {
    return tonera_render_s16(song, buffer.data(), buffer.size() / 2) == buffer.size() / 2;
}

// The child's side: opens under the limit, then again without it.
[[noreturn]] void run_case(const std::vector<uint8_t>& bytes, size_t headroom) noexcept {
    std::vector<int16_t> buffer(2 * 4096);
    const size_t used = address_space();
    rlimit limit{};
    if (used == 0 || getrlimit(RLIMIT_AS, &limit) != 0) _exit(no_limit_set);
    const rlim_t unlimited = limit.rlim_cur;
    limit.rlim_cur = used + headroom;
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(no_limit_set);

    tonera_song* song = nullptr;
    const int error = open_as_c_caller(bytes, &song);
    if (error == 0) {
        const bool ok = renders(song, buffer);
        tonera_close(song);
        _exit(ok ? opened_under_limit : rendered_nothing);
    }
    if (error != TONERA_E_NO_MEMORY || song != nullptr) _exit(wrong_error);

    limit.rlim_cur = unlimited;
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(no_limit_set);
    if (open_as_c_caller(bytes, &song) != 0) _exit(failed_after_limit_lifted);
    const bool ok = renders(song, buffer);
    tonera_close(song);
    _exit(ok ? refused_then_opened : rendered_nothing);
}

struct memory_case {
    size_t headroom;
    bool may_open;    // the song may open under the limit
    bool may_refuse;  // or be refused for want of memory
};

TEST(MemoryLimit, FirstOpenAnswersNoMemoryOrSucceedsAtEveryHeadroom) {
    const std::vector<uint8_t> bytes = song_file(SONG_FILE);
    ASSERT_GT(bytes.size(), 16u);
    constexpr size_t kib = 1024;
    // The shared tables alone take about 270 KiB, the song's engine a
    // little more: below that the open must be refused; with megabytes to
    // spare it must succeed.
    const memory_case cases[] = {
        {0, false, true},         {4 * kib, false, true},   {64 * kib, false, true},
        {256 * kib, false, true}, {320 * kib, true, true},  {512 * kib, true, true},
        {1024 * kib, true, true}, {2048 * kib, true, true}, {64 * 1024 * kib, true, false},
    };
    for (const memory_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "headroom " << c.headroom << " bytes");
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) run_case(bytes, c.headroom);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "the child was ended by signal "
                                       << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        const int result = WEXITSTATUS(status);
        ASSERT_TRUE(result == opened_under_limit || result == refused_then_opened) << "child status " << result;
        if (result == opened_under_limit) {
            EXPECT_TRUE(c.may_open) << "opened with too little memory to have built its tables";
        } else {
            EXPECT_TRUE(c.may_refuse) << "refused with memory to spare";
        }
    }
}

}  // namespace
