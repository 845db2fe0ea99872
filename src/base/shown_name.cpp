#include "base/shown_name.hpp"

#include <cstdint>

namespace names {
namespace {

// The length of the UTF-8 character that starts at `at`, 0 when the bytes
// there are no well-formed character (overlong forms and surrogates
// included), and whether it is one a name may show as it is.
struct character {
    size_t length = 0;
    bool printable = false;
};

character character_at(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return {1, lead >= 0x20 && lead != 0x7f};
    size_t length = 0;
    uint32_t code = 0;
    uint32_t least = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, code = lead & 0x1fu, least = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, code = lead & 0x0fu, least = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return {};
    }
    if (text.size() - at < length) return {};
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) return {};
        code = code << 6 | (byte(i) & 0x3fu);
    }
    if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return {};
    const bool control = code <= 0x9f || code == 0x2028 || code == 0x2029;
    return {length, !control};
}

bool needs_quotes(std::string_view name) {
    if (name.empty() || name.front() == '\'' || name.front() == '$') return true;
    for (size_t at = 0; at < name.size();) {
        const character c = character_at(name, at);
        if (!c.printable) return true;
        at += c.length;
    }
    return false;
}

void append_escaped(std::string& out, uint8_t byte) {
    static constexpr char letters[] = "abtnvfr";
    if (byte >= '\a' && byte <= '\r') {
        out += '\\';
        out += letters[byte - '\a'];
        return;
    }
    out += '\\';
    out += static_cast<char>('0' + (byte >> 6));
    out += static_cast<char>('0' + (byte >> 3 & 7));
    out += static_cast<char>('0' + (byte & 7));
}

}  // namespace

std::string shown_name(std::string_view name) {
    if (!needs_quotes(name)) return std::string(name);
    if (name.empty()) return "''";
    enum class inside { nothing, quotes, dollar_quotes };
    inside now = inside::nothing;
    std::string out;
    const auto enter = [&](inside wanted) {
        if (now == wanted) return;
        if (now != inside::nothing) out += '\'';
        if (wanted == inside::quotes) out += '\'';
        if (wanted == inside::dollar_quotes) out += "$'";
        now = wanted;
    };
    for (size_t at = 0; at < name.size();) {
        const character c = character_at(name, at);
        if (!c.printable) {
            enter(inside::dollar_quotes);
            // A malformed sequence goes a byte at a time: what follows its
            // first byte may begin a character of its own.
            const size_t length = c.length == 0 ? 1 : c.length;
            for (size_t i = 0; i < length; ++i) append_escaped(out, static_cast<uint8_t>(name[at + i]));
            at += length;
        } else if (name[at] == '\'') {
            enter(inside::nothing);
            out += "\\'";
            ++at;
        } else {
            enter(inside::quotes);
            out.append(name, at, c.length);
            at += c.length;
        }
    }
    enter(inside::nothing);
    return out;
}

std::string shown_shortened(std::string_view name, size_t keep) {
    if (name.size() <= 2 * keep + 3) return shown_name(name);
    // Cut between characters: a continuation byte does not begin one.
    const auto continues = [&](size_t at) { return (static_cast<uint8_t>(name[at]) & 0xc0) == 0x80; };
    size_t head = keep;
    while (head > 0 && continues(head)) --head;
    size_t tail = name.size() - keep;
    while (tail < name.size() && continues(tail)) ++tail;
    std::string kept(name.substr(0, head));
    kept += "...";
    kept += name.substr(tail);
    return shown_name(kept);
}

}  // namespace names
