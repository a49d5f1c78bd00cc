// Helpers of the GIF tests (the byte, file and tool helpers of
// still_support.h and the GIF builder of support/gif_bytes.h with them):
// reading the independent tools' PPM output, the pixels of a packed DIB.
#pragma once

#include <unistd.h>

#include <sstream>

#include "codecs/gif_core.h"
#include "still_support.h"
#include "support/fake_editor.h"
#include "support/gif_bytes.h"

namespace gifsupport {

using stilltest::capture, stilltest::readBytes, stilltest::dibOf;

inline bool haveTool(const char *path) { return access(path, X_OK) == 0; }

struct Ppm {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
};

// The binary PPM and PGM images (P6 and P5, maximum 255, no comments) of a
// stream, in turn; a grey is three equal channels.
inline std::vector<Ppm> parsePpms(const std::string &data) {
    std::vector<Ppm> all;
    std::istringstream in(data);
    std::string magic;
    int maximum = 0;
    for (Ppm p; in >> magic >> p.width >> p.height >> maximum && maximum == 255 && in.get();) {
        const size_t channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
        std::string raw(channels * size_t(p.width) * p.height, 0);
        if (!channels || !in.read(raw.data(), std::streamsize(raw.size()))) break;
        p.pixels.clear();
        for (size_t i = 0; i < raw.size(); i += channels)
            p.pixels.push_back(Rgb{uint8_t(raw[i]), uint8_t(raw[i + channels / 2]), uint8_t(raw[i + channels - 1])});
        all.push_back(p);
    }
    return all;
}

// The colour indices of w x h pixels of 1, 4 or 8 bits in rows bottom up
// (a packed DIB's, a picture's), top row first.
inline std::vector<unsigned> indices(const uint8_t *bits, int32_t w, int32_t h, unsigned d) {
    std::vector<unsigned> v;
    for (int y = h - 1; y >= 0; --y) {
        const uint8_t *row = bits + vc::dibRowBytes(w, d) * size_t(y);
        for (int x = 0; x < w; ++x)
            v.push_back(d == 8   ? row[x]
                        : d == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 15
                                 : (row[x / 8] >> (7 - x % 8)) & 1);
    }
    return v;
}
inline std::vector<unsigned> indices(const ConvBitmapInfoHeader *h) {
    return indices(reinterpret_cast<const uint8_t *>(h) + vc::dibBitsOffset(*h), h->biWidth, h->biHeight, h->biBitCount);
}
// Colour i of a packed DIB's table, and the colours of all its pixels, top row first.
inline Rgb tableColor(const uint8_t *dib, unsigned i) {
    const uint8_t *q = dib + reinterpret_cast<const ConvBitmapInfoHeader *>(dib)->biSize + 4 * i;
    return Rgb{q[2], q[1], q[0]};
}
inline std::vector<Rgb> colors(const uint8_t *dib) {
    std::vector<Rgb> v;
    for (unsigned i : indices(reinterpret_cast<const ConvBitmapInfoHeader *>(dib))) v.push_back(tableColor(dib, i));
    return v;
}

// The editor's calls as (command, value) pairs, and a copy of a document record.
using Calls = std::vector<std::pair<int32_t, intptr_t>>;
inline Calls calls(const vctest::FakeEditor &ed) {
    Calls out;
    for (const auto &c : ed.calls) out.push_back({c.command, c.value});
    return out;
}
template <class Record> Record recordOf(void *block) {
    Record r;
    std::memcpy(&r, VcMemLock(block), sizeof r);
    VcMemUnlock(block);
    return r;
}

// Loads through the export into the editor fresh() made last (which goes,
// with the documents it took, before the base fixture counts the blocks).
class GifLoadTest : public vctest::LibraryTest {
protected:
    void TearDown() override {
        editor.reset();
        LibraryTest::TearDown();
    }
    vctest::FakeEditor &fresh() {
        editor.reset();
        return editor.emplace();
    }
    // The result; with a record, the picture may come back there.
    int32_t load(const std::string &file, ConvImageRecord *rec = nullptr) {
        return LoadConvImage(nullptr, file.c_str(), rec, &format, 0, vctest::FakeEditor::callback());
    }
    std::optional<vctest::FakeEditor> editor;
    uint8_t format = 0;  // what the last load found
};

}  // namespace gifsupport
