#pragma once
// Frames and sounds the codec tests build their movies from.
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace tvqtest {

inline int StrideFor(int width) { return (width * 3 + 3) & ~3; }

// A bottom-up BGR frame of smooth colour plus noise, the kind of picture JPEG finds hard.
inline std::vector<uint8_t> NoisyFrame(int width, int height, unsigned seed) {
    const int stride = StrideFor(width);
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * height, 0);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-40, 40);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &frame[static_cast<size_t>(y) * stride + x * 3];
            const int base[3] = {x * 255 / width, y * 255 / height, (x + y + int(seed)) & 255};
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(std::clamp(base[c] + noise(rng), 0, 255));
        }
    return frame;
}

} // namespace tvqtest
