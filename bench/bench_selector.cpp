// Listing a folder of 10,000 songs in the file selector, from the scan to
// the first drawn page: the names alone on a page of 47 rows, which leaves
// no room for the facts (the list as it was); the page of 45 rows with the
// highlighted song's facts below it; and the title view, which reads the
// facts of every song on the page. The scan and sort alone for scale.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "selector/selector.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int song_count = 10000;

// A folder of small songs with texts, made once.
const std::string& song_folder() {
    static const std::string folder = [] {
        const fs::path dir = fs::temp_directory_path() / ("bench_selector_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        for (int k = 0; k < song_count; ++k) {
            const std::string text = "Song " + std::to_string(k) + " by Author " + std::to_string(k % 97) + ", 1990";
            std::vector<unsigned char> bytes{'T', 'Q', 'K', 0x13, 50, 0, 0, 0, 0, 0};
            bytes.push_back(static_cast<unsigned char>(text.size()));
            bytes.push_back(0);
            bytes.insert(bytes.end(), 4, 0);
            bytes.insert(bytes.end(), text.begin(), text.end());
            bytes.insert(bytes.end(), 18 * 500, 0);
            const std::string name = (dir / ("song" + std::to_string(k * 7919 % song_count) + ".tun")).string();
            std::FILE* f = std::fopen(name.c_str(), "wb");
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("bench_selector_" + std::to_string(::getpid()))); });
        return dir.string();
    }();
    return folder;
}

void start_in_folder() {
    selector::selector_reset();
    console::console_reset();
    fs::current_path(song_folder());
    selector::selector_start();
    selector::page_rows = selector::page_rows_with_facts;
}

void list_names_only(benchmark::State& state) {
    start_in_folder();
    for (auto _ : state) {
        selector::rescan();
        benchmark::DoNotOptimize(selector::dir_count);
    }
    selector::selector_reset();
}

void list_and_draw(benchmark::State& state) {
    start_in_folder();
    const int64_t mode = state.range(0);
    selector::title_view = mode == 2;
    for (auto _ : state) {
        // A new folder: its facts are read afresh.
        selector::selector_start();
        selector::page_rows = mode == 0 ? 47 : selector::page_rows_with_facts;
        selector::draw_list();
        benchmark::DoNotOptimize(console::screen_cells[0]);
    }
    selector::selector_reset();
}

}  // namespace

BENCHMARK(list_names_only)->Unit(benchmark::kMillisecond);
// 0: names only, 1: with the facts rows, 2: title view.
BENCHMARK(list_and_draw)->Arg(0)->Arg(1)->Arg(2)->ArgName("view")->Unit(benchmark::kMillisecond);
