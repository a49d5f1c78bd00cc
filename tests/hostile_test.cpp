// Files shaped after the known faults of other image readers, and tiny files
// that declare huge pictures: each ends in its result code, quickly, and
// within the memory the limits allow (the fixture checks that nothing is
// left allocated or open).
#include <chrono>

#include "common/limits.h"
#include "support/cursor_files.h"
#include "support/gif_bytes.h"
#include "support/program_files.h"
#include "still_support.h"

using namespace vctest;
using gifsupport::GifBytes;

namespace {

// An 8-bit grey TIFF of w x h (64 bytes of 0x11 at kTiffData) whose strips
// start at `offsets` with `counts` bytes.
Bytes greyTiff(uint32_t w, uint32_t h, uint32_t offsets, uint32_t counts, uint16_t compression = 1, uint32_t strips = 1,
               bool loop = false, uint32_t countCount = 0) {
    stilltest::TiffBuilder t = stilltest::tiffOf(false, w, h, 8, 1, Bytes(64, 0x11), compression);
    t.tag(273, offsets, 4, strips), t.tag(278, 1), t.tag(279, counts, 4, countCount ? countCount : strips);
    t.loop = loop;
    return t.build();
}
constexpr uint32_t kTiffData = 8;

// An animated cursor of one frame whose anih chunk claims `anihSize` bytes.
Bytes ani(uint32_t anihSize, const Bytes &icon) {
    const Bytes fram = Bytes{'f', 'r', 'a', 'm'} + chunk("icon", icon);
    return chunk("RIFF", Bytes{'A', 'C', 'O', 'N'} + chunk("anih", le32({36, 1, 1, 0, 0, 0, 0, 10, 1}), anihSize) +
                             chunk("LIST", fram));
}
// An icon file whose directory claims `count` entries, the first of them real.
Bytes icon(uint16_t count, const Bytes &data) {
    Bytes b = {0, 0, 1, 0, uint8_t(count), uint8_t(count >> 8), 32, 32, 16, 0, 1, 0, 4, 0};
    return b + le32({uint32_t(data.size()), 22}) + data;
}
// Icon image data whose header declares w x h (the mask doubling the height).
Bytes bigIcon(int32_t w, int32_t h) {
    Bytes d = iconData(32, 32, 4);
    put32(d, 4, uint32_t(w)), put32(d, 8, uint32_t(2 * h));
    return d;
}

// An 8-bit, one-plane, run-length coded PCX of a window, then `data`.
Bytes pcx(uint16_t xmin, uint16_t ymin, uint16_t xmax, uint16_t ymax, const Bytes &data) {
    return stilltest::pcxHeader(10, 5, 1, 8, xmax + 1u, ymax + 1u, 1, 2, xmin, ymin) + data + Bytes{12} + Bytes(768, 0);
}
// A GIF whose one image declares w x h pixels over two bytes of codes.
Bytes bigGif(unsigned w, unsigned h) {
    return GifBytes().header(w, h, 3).descriptor(0, 0, w, h, 0, 4).subBlocks({0x10, 0x22}).trailer().b;
}

// A JPEG of ours whose frame header then claims w x h.
Bytes bigJpeg(Bytes b, uint16_t w, uint16_t h) {
    const uint8_t sof[] = {0xFF, 0xC0};
    const size_t i = size_t(std::search(b.begin() + 2, b.end(), sof, sof + 2) - b.begin());
    b.at(i + 5) = uint8_t(h >> 8), b.at(i + 6) = uint8_t(h), b.at(i + 7) = uint8_t(w >> 8), b.at(i + 8) = uint8_t(w);
    return b;
}
// An icon file of 8192 entries naming one image of a depth the editor never takes.
Bytes unusableIcons() {
    Bytes d = iconData(32, 32, 4), b = {0, 0, 1, 0, 0, 0x20};
    put16(d, 14, 16);
    const Bytes one = Bytes{32, 32, 16, 0, 1, 0, 4, 0} + le32({uint32_t(d.size()), 6 + 16 * 8192});
    for (int i = 0; i < 8192; ++i) b.insert(b.end(), one.begin(), one.end());
    return b + d;
}

class HostileFiles : public stilltest::StillTest {};

// Lowered: blocks above 16 MiB refused; SmallPictures: also pictures above
// 1 Mi pixels; Default: the limits as shipped.
const vc::Limits Lowered{.largestBlock = 16 << 20}, SmallPictures{.largestBlock = 16 << 20, .largestPicture = 1 << 20},
    Default{};

TEST_F(HostileFiles, EndInTheirCodeQuicklyAndWithinTheLimits) {
    code = CONV_FMT_JPEG;
    ASSERT_EQ(save(makeDib(16, 16, 24), path("src.jpg")), CONV_OK);
    const Bytes jpeg = stilltest::readBytes(path("src.jpg"));
    // An icon file whose one entry is a PNG image of 2000 x 2000, one bit a pixel.
    host::Image png{.width = 2000, .height = 2000, .bitCount = 1, .palette = {0, 0xFFFFFF}, .bits = {}, .mask = {}};
    png.bits.assign(size_t(png.rowBytes()) * 2000, 0);
    ASSERT_TRUE(host::writePng(path("src.png"), png));
    Bytes bigResource = makeDib(4, 4, 8);
    put32(bigResource, 4, 60000), put32(bigResource, 8, 60000);
    // 115 bytes: a 4-bit GIF whose one image declares 21168 x 21168 pixels (448 M).
    Bytes hugeGif = bigGif(21168, 21168);
    hugeGif.resize(115, 0x3B);
    const struct {
        const char *what;
        Bytes file;
        bool preview;  // through GetPreviewImage, else LoadConvImage
        int32_t result;
        vc::Limits limits = Lowered;
    } rows[] = {
        // A GIF picture is delivered as far as it decoded. Clear, then code 7
        // while the next free code is 6 (3-bit codes, root 2).
        {"GIF LZW code past the table",
         GifBytes().header(4, 4, 1).descriptor(0, 0, 4, 4, 0, 2).subBlocks({0x3C, 0x01}).trailer().b, false, CONV_OK},
        {"GIF image of height 0", GifBytes().header(4, 0, 1).image(0, 0, 4, 0, {}, 2).trailer().b, false, CONV_E_DATA},
        {"GIF image of 65535 x 65535", bigGif(65535, 65535), false, CONV_E_MEMORY, Default},
        {"GIF screen of 65535 x 65535 without an image", GifBytes().header(65535, 65535, 1).trailer().b, true,
         CONV_E_DATA},
        {"TIFF strip at offset 0 of 0 bytes", greyTiff(4, 4, 0, 0), false, CONV_OK},
        {"TIFF PackBits strip byte count past the end", greyTiff(4, 4, kTiffData, 0xFFFFFFF0u, 32773), false, CONV_OK},
        {"TIFF strip offsets outside", greyTiff(4, 4, 0xFFFFFFF0u, 16, 1, 4), false, CONV_E_UNSUPPORTED},
        {"TIFF strip byte counts outside", greyTiff(4, 4, kTiffData, 16, 1, 1, false, 0x40000000u), false,
         CONV_E_UNSUPPORTED},
        {"TIFF next IFD pointing at itself", greyTiff(4, 4, kTiffData, 16, 1, 1, true), false, CONV_OK},
        {"TIFF 1 Mi strips named by one offset", greyTiff(1, 1 << 20, kTiffData, 1, 1, 1 << 20), false,
         CONV_E_UNSUPPORTED},
        {"TIFF image of height 0", greyTiff(4, 0, kTiffData, 16), false, CONV_E_UNSUPPORTED},
        {"TIFF of 100000 x 100000 over 64 bytes", greyTiff(100000, 100000, kTiffData, 64), false, CONV_E_UNSUPPORTED,
         Default},
        {"ANI anih chunk longer than its body", ani(0x7FFFFFF0, cursorFile(iconData(32, 32, 4), 1, 1)), true,
         CONV_E_UNSUPPORTED},
        {"ICO directory claiming 65535 entries", icon(65535, iconData(32, 32, 4)), false, CONV_OK},
        {"ICO directory of 8192 unusable entries", unusableIcons(), false, CONV_E_FORMAT},
        {"ICO image of height 0", icon(1, bigIcon(32, 0)), true, CONV_E_DATA},
        {"PCX window with xmax < xmin", pcx(9, 0, 3, 3, {}), false, CONV_E_UNSUPPORTED},
        // Tiny files declaring huge pictures.
        {"GIF of 115 bytes declaring 448 Mpx", hugeGif, true, CONV_E_MEMORY, Default},
        {"PCX window of 65536 x 65536", pcx(0, 0, 65535, 65535, {0xFF, 1}), false, CONV_E_MEMORY, Default},
        {"JPEG frame of 65000 x 65000", bigJpeg(jpeg, 65000, 65000), false, CONV_E_MEMORY, Default},
        {"GIF of 2000 x 2000", bigGif(2000, 2000), true, CONV_E_MEMORY, SmallPictures},
        {"PCX of 2000 x 2000", pcx(0, 0, 1999, 1999, {0xFF, 1}), false, CONV_E_MEMORY, SmallPictures},
        {"TIFF of 2000 x 2000", greyTiff(2000, 2000, kTiffData, 64, 5), false, CONV_E_UNSUPPORTED, SmallPictures},
        {"JPEG of 2000 x 2000", bigJpeg(jpeg, 2000, 2000), false, CONV_E_MEMORY, SmallPictures},
        {"ICO image of 2000 x 2000", icon(1, bigIcon(2000, 2000)), true, CONV_E_DATA, SmallPictures},
        {"ICO PNG image of 2000 x 2000", icon(1, stilltest::readBytes(path("src.png"))), false, CONV_E_FORMAT,
         SmallPictures},
        {"ANI frame of 2000 x 2000", ani(36, cursorFile(bigIcon(2000, 2000), 1, 1)), true, CONV_E_UNSUPPORTED,
         SmallPictures},
        // A bitmap resource is handed over as stored: only its bytes count.
        {"resource bitmap declaring 60000 x 60000", buildPe({{"", 1, 0x409, bigResource}}, false).bytes, true, CONV_OK,
         SmallPictures},
    };
    for (const auto &h : rows) {
        SCOPED_TRACE(h.what);
        const std::string file = writeFile("hostile", h.file);
        vc::setLimits(h.limits);
        FakeEditor editor;
        UiRecorder ui;
        const auto start = std::chrono::steady_clock::now();
        ConvImageRecord rec{};
        const int32_t r = h.preview ? GetPreviewImage(file.c_str(), &rec)
                                    : LoadConvImage(nullptr, file.c_str(), &rec, nullptr, 0, FakeEditor::callback());
        EXPECT_EQ(r, h.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        if (rec.image) VcMemFree(rec.image);
    }
}

}  // namespace
