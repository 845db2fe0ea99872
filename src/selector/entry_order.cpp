// Captions and the order of the entry list.
#include "selector/entry_order.hpp"

#include <algorithm>
#include <utility>

namespace selector {
namespace {

char upper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 0x20) : ch; }

}  // namespace

std::string make_caption(std::string_view name) {
    std::string s(name);
    for (char& ch : s) {
        if (ch == '/') ch = '\\';
    }
    if (const auto colon = s.find(':'); colon != std::string::npos) s.erase(0, colon + 1);
    if (const auto slash = s.rfind('\\'); slash != std::string::npos) s.erase(0, slash + 1);
    return s;
}

bool entry_before(const dirrec& a, const dirrec& b) {
    if (a.is_dir != b.is_dir) return a.is_dir > b.is_dir;
    // Upper-cased byte by byte as they are compared; equal texts are not
    // "before".
    const std::string& x = a.caption;
    const std::string& y = b.caption;
    const std::size_t common = std::min(x.size(), y.size());
    for (std::size_t k = 0; k < common; ++k) {
        const auto p = static_cast<unsigned char>(upper(x[k]));
        const auto q = static_cast<unsigned char>(upper(y[k]));
        if (p != q) return p < q;
    }
    return x.size() < y.size();
}

// Entries that compare equal end in whatever order this exact procedure
// leaves them; the list order on screen depends on it, so it must not be
// replaced by another sort.
// The two parts of a partition are sorted independently of each other, so
// sorting the larger one in the loop instead of a call leaves the same
// order.
void sort_list(tdirarr& list, int lo, int hi) {
    while (lo < hi) {
        const dirrec pivot = list[static_cast<std::size_t>((lo + hi) / 2)];
        int i = lo;
        int j = hi;
        do {
            while (entry_before(list[static_cast<std::size_t>(i)], pivot)) ++i;
            while (entry_before(pivot, list[static_cast<std::size_t>(j)])) --j;
            if (i <= j) {
                std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - lo < hi - i) {
            if (lo < j) sort_list(list, lo, j);
            lo = i;
        } else {
            if (i < hi) sort_list(list, i, hi);
            hi = j;
        }
    }
}

}  // namespace selector
