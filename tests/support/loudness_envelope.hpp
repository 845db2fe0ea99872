// Loudness over time of a WAV file (RMS of short windows, all channels
// together) and the correlation of two such envelopes: how closely two
// renderings of the same music rise and fall together.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace test_support {

struct wav_samples {
    uint32_t rate = 0;
    uint16_t channels = 0;
    std::vector<int16_t> samples;  // interleaved
};

// Reads 16-bit PCM from the chunks of a RIFF WAVE file. A data chunk whose
// size field is 0 or too big (a stream that never went back to patch it)
// runs to the end of the file.
inline wav_samples read_wav(const std::vector<uint8_t>& bytes) {
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        throw std::runtime_error("not a WAV file");
    wav_samples wav;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = u32(at + 4);
        if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0 && at + 24 <= bytes.size()) {
            if (u16(at + 8) != 1 || u16(at + 22) != 16) throw std::runtime_error("not 16-bit PCM");
            wav.channels = static_cast<uint16_t>(u16(at + 10));
            wav.rate = u32(at + 12);
        } else if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
            const size_t end = size == 0 || at + 8 + size > bytes.size() ? bytes.size() : at + 8 + size;
            for (size_t i = at + 8; i + 1 < end; i += 2) wav.samples.push_back(static_cast<int16_t>(u16(i)));
            break;
        }
        at += 8 + size + (size & 1);
    }
    if (wav.channels == 0 || wav.rate == 0) throw std::runtime_error("WAV file without a format");
    return wav;
}

// RMS of each whole window of `window_seconds`, over all channels.
inline std::vector<double> loudness_envelope(const wav_samples& wav, double window_seconds) {
    const size_t window = static_cast<size_t>(wav.rate * window_seconds) * wav.channels;
    std::vector<double> envelope;
    for (size_t start = 0; window > 0 && start + window <= wav.samples.size(); start += window) {
        double sum = 0;
        for (size_t i = start; i < start + window; ++i) sum += double(wav.samples[i]) * wav.samples[i];
        envelope.push_back(std::sqrt(sum / window));
    }
    return envelope;
}

// Pearson correlation over the windows both envelopes have.
inline double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0;
    double mean_a = 0, mean_b = 0;
    for (size_t i = 0; i < n; ++i) mean_a += a[i], mean_b += b[i];
    mean_a /= n, mean_b /= n;
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - mean_a) * (b[i] - mean_b);
        aa += (a[i] - mean_a) * (a[i] - mean_a);
        bb += (b[i] - mean_b) * (b[i] - mean_b);
    }
    return aa == 0 || bb == 0 ? 0 : ab / std::sqrt(aa * bb);
}

}  // namespace test_support
