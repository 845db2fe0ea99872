#include "song/aplib_pack.hpp"

#include "song/aplib.hpp"

#include <algorithm>
#include <bit>

namespace packer {
namespace {

// Writes data bytes and tag bits in the order a decoder reads them: a tag
// byte is reserved in the stream at the moment its first bit is written, so
// it lands between the data bytes written before and after that moment.
struct stream_writer {
    std::vector<uint8_t> out;
    size_t tag_position = 0;
    int bits_left = 0;

    void byte(uint8_t value) { out.push_back(value); }

    void bit(uint32_t value) {
        if (bits_left == 0) {
            tag_position = out.size();
            out.push_back(0);
            bits_left = 8;
        }
        --bits_left;
        if (value != 0) out[tag_position] |= static_cast<uint8_t>(1u << bits_left);
    }

    // The bits below the leading 1, most significant first, each followed by
    // a continuation bit that is 0 only after the last. value >= 2.
    void gamma(uint32_t value) {
        const int top = std::bit_width(value) - 1;
        for (int i = top - 1; i >= 0; --i) {
            bit((value >> i) & 1u);
            bit(i > 0 ? 1u : 0u);
        }
    }
};

int gamma_bits(uint32_t value) { return 2 * (std::bit_width(value) - 1); }

enum class token_kind { literal, near_byte, short_match, code_pair, repeat_match };

struct token {
    token_kind kind = token_kind::literal;
    uint32_t offset = 0;  // near_byte: 0 stands for the byte 0x00
    uint32_t length = 1;
    int savings = 0;  // bits saved against sending the bytes as literals
};

// What the decoder remembers between tokens.
struct coder_state {
    bool after_literal = true;
    bool offset_set = false;
    uint32_t last_offset = 0;
};

constexpr int literal_bits = 9;
constexpr int short_match_bits = 11;
constexpr int near_byte_bits = 7;
constexpr int chain_depth = 96;
constexpr uint32_t good_enough_length = 2048;
constexpr int hash_bits = 16;

int code_pair_bits(uint32_t offset, uint32_t length, bool after_literal) {
    const uint32_t g = (offset >> 8) + (after_literal ? 3u : 2u);
    return 2 + gamma_bits(g) + 8 + gamma_bits(length - song::aplib_length_bonus(offset));
}

// Finds tokens for one position: hash chains over three-byte prefixes for
// matches of any distance, a direct look at the nearest bytes for short
// matches and one-byte copies, and the last offset for repeat matches.
class token_finder {
public:
    explicit token_finder(std::span<const uint8_t> data)
        : data_(data), head_(size_t{1} << hash_bits, none), previous_(data.size(), none) {}

    token best(uint32_t position, const coder_state& state) {
        insert_up_to(position);
        token choice = single_byte(position);
        const auto consider = [&choice](const token& candidate) {
            if (candidate.savings > choice.savings ||
                (candidate.savings == choice.savings && candidate.length > choice.length))
                choice = candidate;
        };

        if (state.after_literal && state.offset_set && state.last_offset <= position) {
            const uint32_t length = match_length(position, position - state.last_offset);
            if (length >= 2)
                consider({token_kind::repeat_match, state.last_offset, length,
                          literal_bits * static_cast<int>(length) - (4 + gamma_bits(length))});
        }

        for (uint32_t offset = 1; offset <= std::min<uint32_t>(127, position); ++offset) {
            const uint32_t length = std::min<uint32_t>(3, match_length(position, position - offset));
            if (length >= 2)
                consider({token_kind::short_match, offset, length,
                          literal_bits * static_cast<int>(length) - short_match_bits});
            if (length == 3) break;
        }

        if (position + 2 < data_.size()) {
            uint32_t candidate = head_[hash_at(position)];
            for (int depth = 0; depth < chain_depth && candidate != none; ++depth) {
                const uint32_t offset = position - candidate;
                const uint32_t length = match_length(position, candidate);
                if (length >= song::aplib_length_bonus(offset) + 2) {
                    const int bits = code_pair_bits(offset, length, state.after_literal);
                    consider({token_kind::code_pair, offset, length, literal_bits * static_cast<int>(length) - bits});
                    if (length >= good_enough_length) break;
                }
                candidate = previous_[candidate];
            }
        }
        return choice;
    }

    // A literal, or a one-byte copy when the byte is 0 or appears among the
    // 15 bytes before it.
    token single_byte(uint32_t position) const {
        const uint8_t value = data_[position];
        if (value == 0) return {token_kind::near_byte, 0, 1, literal_bits - near_byte_bits};
        for (uint32_t offset = 1; offset <= std::min<uint32_t>(15, position); ++offset)
            if (data_[position - offset] == value)
                return {token_kind::near_byte, offset, 1, literal_bits - near_byte_bits};
        return {token_kind::literal, 0, 1, 0};
    }

private:
    static constexpr uint32_t none = UINT32_MAX;

    uint32_t hash_at(uint32_t position) const {
        const uint32_t key = static_cast<uint32_t>(data_[position]) << 16 |
                             static_cast<uint32_t>(data_[position + 1]) << 8 | data_[position + 2];
        return (key * 2654435761u) >> (32 - hash_bits);
    }

    void insert_up_to(uint32_t position) {
        for (; inserted_ < position; ++inserted_) {
            if (inserted_ + 2 >= data_.size()) continue;
            const uint32_t h = hash_at(inserted_);
            previous_[inserted_] = head_[h];
            head_[h] = inserted_;
        }
    }

    uint32_t match_length(uint32_t position, uint32_t source) const {
        uint32_t length = 0;
        const size_t limit = data_.size() - position;
        while (length < limit && data_[source + length] == data_[position + length]) ++length;
        return length;
    }

    std::span<const uint8_t> data_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> previous_;
    uint32_t inserted_ = 0;
};

void emit(stream_writer& out, const token& t, std::span<const uint8_t> data, uint32_t position, coder_state& state) {
    switch (t.kind) {
        case token_kind::literal:
            out.bit(0);
            out.byte(data[position]);
            state.after_literal = true;
            return;
        case token_kind::near_byte:
            out.bit(1);
            out.bit(1);
            out.bit(1);
            for (int i = 3; i >= 0; --i) out.bit((t.offset >> i) & 1u);
            state.after_literal = true;
            return;
        case token_kind::short_match:
            out.bit(1);
            out.bit(1);
            out.bit(0);
            out.byte(static_cast<uint8_t>(t.offset << 1 | (t.length - 2)));
            state.last_offset = t.offset;
            break;
        case token_kind::code_pair:
            out.bit(1);
            out.bit(0);
            out.gamma((t.offset >> 8) + (state.after_literal ? 3u : 2u));
            out.byte(static_cast<uint8_t>(t.offset & 0xFF));
            out.gamma(t.length - song::aplib_length_bonus(t.offset));
            state.last_offset = t.offset;
            break;
        case token_kind::repeat_match:
            out.bit(1);
            out.bit(0);
            out.gamma(2);
            out.gamma(t.length);
            break;
    }
    state.offset_set = true;
    state.after_literal = false;
}

}  // namespace

std::vector<uint8_t> aplib_pack(std::span<const uint8_t> data) {
    stream_writer out;
    if (data.empty()) return {};

    out.byte(data[0]);
    coder_state state;
    token_finder finder(data);
    const auto size = static_cast<uint32_t>(data.size());

    uint32_t position = 1;
    while (position < size) {
        token chosen = finder.best(position, state);
        // One step of lookahead: a single byte now can be worth it when the
        // next position starts a clearly better match.
        if (chosen.length > 1 && position + 1 < size) {
            coder_state after_single = state;
            after_single.after_literal = true;
            const token single = finder.single_byte(position);
            const token next = finder.best(position + 1, after_single);
            if (single.savings + next.savings > chosen.savings) chosen = single;
        }
        emit(out, chosen, data, position, state);
        position += chosen.length;
    }

    // End marker: a short match of offset 0.
    out.bit(1);
    out.bit(1);
    out.bit(0);
    out.byte(0);
    return std::move(out.out);
}

}  // namespace packer
