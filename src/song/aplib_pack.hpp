// Encoder for raw aPLib streams, the counterpart of song::aplib_unpack: used
// to pack song bodies and to produce streams for tests.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace packer {

// Packs data into one raw stream that ends with its end marker. Every
// stream starts with a literal, so empty data has no stream: the result is
// then empty. Data must be shorter than 4 GiB.
std::vector<uint8_t> aplib_pack(std::span<const uint8_t> data);

}  // namespace packer
