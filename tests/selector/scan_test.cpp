#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <set>

#include "selector_fixture.hpp"

using namespace selector;
using Strings = std::vector<std::string>;

namespace {

const dirrec* find_name(const std::string& name) {
    for (int i = 0; i < dir_count; ++i) {
        if ((*dir_list)[i].name == name) return &(*dir_list)[i];
    }
    return nullptr;
}

}  // namespace

// Each entry to make is "d:name" (directory), "f:name" (file) or
// "l:name>target" (symbolic link).
TEST_F(SelectorDir, ListsDirectoriesThenSongsInOrder) {
    const struct {
        Strings make, want;
    } cases[] = {
        {{"d:music", "d:.hidden", "f:b.tun", "f:A.TUN", "f:notes.txt"},
         {"<..>", "<.hidden>", "<music>", "A.TUN", "b.tun"}},
        // The closing bracket (0x3E) takes part in the comparison.
        {{"d:ABC", "d:AB", "d:AB.X", "d:AB-X", "d:-dash", "d:!bang"},
         {"<!bang>", "<-dash>", "<..>", "<AB-X>", "<AB.X>", "<AB>", "<ABC>"}},
        {{"d:music", "f:A.TUN", "l:linked_dir>music", "l:linked.tun>A.TUN", "l:dangling.tun>nowhere",
          "l:self.tun>self.tun"},
         {"<..>", "<linked_dir>", "<music>", "A.TUN", "linked.tun"}},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        for (const std::string& m : c.make) {
            const std::string name = m.substr(2, m.find('>') - 2);
            if (m[0] == 'd') make_dir(name);
            if (m[0] == 'f') make_file(name);
            if (m[0] == 'l') std::filesystem::create_symlink(m.substr(m.find('>') + 1), name);
        }
        selector_start();
        EXPECT_EQ(captions(), c.want);
        for (int i = 0; i < dir_count; ++i) EXPECT_EQ((*dir_list)[i].is_dir, c.want[i][0] == '<');
        selector_stop();
    }
}

TEST_F(SelectorDir, NamesAreFilteredAndCaptioned) {
    const std::string n74(74, 'd'), n75(75, 'e'),
        f76 = std::string(72, 'f') + ".tun", f77 = std::string(73, 'g') + ".TUN", f80 = std::string(76, 'h') + ".tun",
        f255 = std::string(251, 'i') + ".tun";
    const struct {
        std::string name;
        bool dir;
        std::optional<std::string> caption;  // nullopt: not listed
    } cases[] = {
        {"song.Tun", false, "song.Tun"},
        {".tUn", false, ".tUn"},
        {"song.tun.bak", false, {}},
        {"tun", false, {}},
        {"old.tun", true, "<old.tun>"},
        {"a:b.tun", false, "b.tun"},
        {"x\\y.tun", false, "y.tun"},
        {"p:q\\r:s.tun", false, "r:s.tun"},
        {"c:d", true, "<d>"},
        {n74, true, std::string("<").append(n74).append(">")},
        {n75, true, std::string("<").append(n75, 0, 74).append("..>")},
        {f76, false, f76},
        {f77, false, f77.substr(0, 76) + ".."},
        {f80, false, f80.substr(0, 76) + ".."},
        {f255, false, f255.substr(0, 76) + ".."},
        {"\xE4\x01\x1B\xFF.tun", false, "\xE4\x01\x1B\xFF.tun"},
    };
    for (const auto& c : cases) c.dir ? make_dir(c.name) : make_file(c.name);
    selector_start();
    for (const auto& c : cases) {
        const dirrec* entry = find_name(c.name);
        ASSERT_EQ(entry != nullptr, c.caption.has_value()) << c.name;
        if (!entry) continue;
        EXPECT_EQ(entry->caption, *c.caption);
        EXPECT_EQ(entry->is_dir, c.dir ? 1 : 0) << c.name;
    }
    selector_stop();
}

// Ties (same kind, captions equal but for case) end where the quicksort
// leaves them, which is neither stable nor reversed in general.
TEST_F(SelectorDir, QuicksortOrdersTiesAsTraced) {
    make_dir("empty");  // the list is filled by hand below
    selector_start();
    auto fill = [](std::vector<dirrec> entries) {
        std::copy(entries.begin(), entries.end(), dir_list->begin());
        dir_count = static_cast<uint16_t>(entries.size());
        sort_entries(0, dir_count - 1);
    };
    fill({{0, "1", "b"}, {0, "2", "A"}, {0, "3", "a"}, {0, "4", "B"}});
    EXPECT_EQ(captions(), (Strings{"a", "A", "B", "b"}));
    fill({{0, "first", "c"}, {0, "second", "C"}, {0, "third", "c"}});
    EXPECT_EQ((*dir_list)[0].name, "third");
    EXPECT_EQ((*dir_list)[1].name, "second");
    EXPECT_EQ((*dir_list)[2].name, "first");
    fill({{0, "f", "a"}, {1, "d", "<z>"}, {0, "g", "\xE4"}, {0, "h", "Z"}});
    EXPECT_EQ(captions(), (Strings{"<z>", "a", "Z", "\xE4"}));  // 0xE4 above every letter
    selector_stop();
}

// Crowded folders list every subfolder and song, sorted by the one rule:
// nothing is dropped past any count, in whatever order the system lists.
TEST_F(SelectorDir, CrowdedDirectoryListsEveryEntryInOrder) {
    const struct { int dirs, songs; } cases[] = {{10, 1500}, {2000, 0}, {2000, 40}, {1200, 1200}, {30, 100000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dirs << " folders, " << c.songs << " songs");
        TearDown();
        SetUp();
        for (int d = 0; d < c.dirs; ++d) make_dir("dir" + std::to_string(d));
        for (int f = 0; f < c.songs; ++f) {
            const std::string name = "song" + std::to_string(f) + ".tun";
            close(creat(name.c_str(), 0644));
        }
        selector_start();
        ASSERT_EQ(dir_count, c.dirs + 1 + c.songs);
        EXPECT_EQ((*dir_list)[0].caption, "<..>");
        std::set<std::string> listed;
        for (int i = 0; i < dir_count; ++i) {
            const dirrec& entry = (*dir_list)[static_cast<size_t>(i)];
            ASSERT_EQ(entry.is_dir, i <= c.dirs ? 1 : 0) << i;
            if (i > 0) {
                ASSERT_FALSE(entry_before(entry, (*dir_list)[static_cast<size_t>(i - 1)])) << i;
            }
            listed.insert(entry.name);
        }
        EXPECT_EQ(listed.size(), static_cast<size_t>(dir_count));
        EXPECT_TRUE(listed.contains("dir0") || c.dirs == 0);
        EXPECT_TRUE(listed.contains("song" + std::to_string(c.songs - 1) + ".tun") || c.songs == 0);
        selector_stop();
    }
}

TEST_F(SelectorDir, RemovedWorkingDirectoryGivesEmptyList) {
    make_dir("gone");
    selector_start();
    std::filesystem::current_path("gone");
    std::filesystem::remove(root / "gone");
    rescan();
    EXPECT_EQ(dir_count, 0);
    selector_stop();  // back to the start directory
    EXPECT_EQ(std::filesystem::current_path(), root);
}

TEST_F(SelectorDir, DirectoryWithoutReadPermissionGivesEmptyList) {
    if (geteuid() == 0) GTEST_SKIP() << "root lists any directory";
    make_dir("locked");
    make_file("locked/A.TUN");
    selector_start();
    std::filesystem::current_path("locked");
    chmod((root / "locked").c_str(), 0);
    rescan();
    EXPECT_EQ(dir_count, 0);
    chmod((root / "locked").c_str(), 0700);
    selector_stop();
}

TEST_F(SelectorDir, LosingTheStartDirectoryEndsWithFileNotFound) {
    make_dir("start");
    std::filesystem::current_path("start");
    selector_start();
    std::filesystem::current_path(root);
    std::filesystem::remove(root / "start");
    EXPECT_EXIT(selector_stop(), ::testing::ExitedWithCode(2), "");
}

// Above the root the selector does not go: the root lists no parent entry
// and ".." there changes nothing; the folders below it list theirs.
TEST_F(SelectorDir, TheRootHasNoParentEntry) {
    make_dir("songs");
    make_dir("songs/sub");
    make_file("songs/a.tun");
    make_file("songs/sub/b.tun");
    make_file("outside.tun");
    std::filesystem::current_path(root / "songs");
    set_root_here();
    selector_start();
    EXPECT_EQ(captions(), (Strings{"<sub>", "a.tun"}));
    enter_dir("..");
    EXPECT_EQ(std::filesystem::current_path(), root / "songs");
    enter_dir("sub");
    rescan();
    EXPECT_EQ(captions(), (Strings{"<..>", "b.tun"}));
    enter_dir("..");
    rescan();
    EXPECT_EQ(captions(), (Strings{"<sub>", "a.tun"}));
    // Without a root, as in the program, the same folder lists its parent.
    root_dir.clear();
    rescan();
    EXPECT_EQ(captions(), (Strings{"<..>", "<sub>", "a.tun"}));
    selector_stop();
}
