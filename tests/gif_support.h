// Helpers of the GIF tests (the byte, file and tool helpers of
// still_support.h and the GIF builder of support/gif_bytes.h with them):
// reading the independent tools' PPM output.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "still_support.h"
#include "support/gif_bytes.h"

namespace gifsupport {

using stilltest::capture, stilltest::readBytes;

inline bool haveTool(const char *path) { return access(path, X_OK) == 0; }

struct Ppm {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
};

// The binary PPM images (P6, maximum 255) of a stream, in turn.
inline std::vector<Ppm> parsePpms(const std::string &data) {
    std::vector<Ppm> all;
    size_t i = 0;
    auto token = [&]() {
        while (i < data.size() && (isspace(uint8_t(data[i])) || data[i] == '#'))
            i = data[i] == '#' ? std::min(data.find('\n', i), data.size()) : i + 1;
        size_t s = i;
        while (i < data.size() && !isspace(uint8_t(data[i]))) ++i;
        return data.substr(s, i - s);
    };
    while (i < data.size() && token() == "P6") {
        Ppm p;
        p.width = std::stoi(token());
        p.height = std::stoi(token());
        if (std::stoi(token()) != 255) break;
        const size_t n = size_t(p.width) * p.height;
        if (++i + 3 * n > data.size()) break;
        p.pixels.resize(n);
        std::memcpy(p.pixels.data(), data.data() + i, 3 * n);
        i += 3 * n;
        all.push_back(std::move(p));
    }
    return all;
}

}  // namespace gifsupport
