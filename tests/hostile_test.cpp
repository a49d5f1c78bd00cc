// Files shaped after the known faults of other image readers, and tiny files
// that declare huge pictures: each ends in its result code, quickly, and
// within the memory the limits allow (the fixture checks that nothing is
// left allocated or open).
#include <array>
#include <chrono>

#include "common/limits.h"
#include "support/cursor_files.h"
#include "support/gif_bytes.h"
#include "support/program_files.h"
#include "still_support.h"
#include "velmconv/api.h"

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

// An X cursor: header, table and chunks as given (positions as stored).
Bytes xcursor(uint32_t headerSize, uint32_t count, const std::vector<std::array<uint32_t, 3>> &table, const Bytes &chunks) {
    Bytes b = le32({0x72756358, headerSize, 0x10000, count});
    for (const auto &e : table) b = b + le32({e[0], e[1], e[2]});
    return b + chunks;
}
constexpr uint32_t kImage = 0xfffd0002, kComment = 0xfffe0001;
// An image chunk of nominal size 1 declaring w x h and the hotspot over
// `pixels` words.
Bytes imageChunk(uint32_t w, uint32_t h, uint32_t x = 0, uint32_t y = 0, size_t pixels = 1, uint32_t type = kImage) {
    return le32({36, type, 1, 1, w, h, x, y, 50}) + Bytes(4 * pixels, 0x80);
}
// One image at offset 28 (behind a table of one entry).
Bytes oneImage(const Bytes &chunk, uint32_t count = 1) { return xcursor(16, count, {{kImage, 1, 28}}, chunk); }

class HostileFiles : public stilltest::StillTest {};

// X cursors end in the C API's status, quickly, before anything large is
// allocated.
TEST(HostileXcursors, EndInTheirStatusQuickly) {
    Bytes manyNames = xcursor(16, 4096, {}, {});
    for (int i = 0; i < 4096; ++i) manyNames = manyNames + le32({kImage, 1, 16 + 12 * 4096});
    manyNames = manyNames + imageChunk(256, 256, 0, 0, 65536);
    const struct {
        const char *what;
        Bytes file;
        vc_status status;
    } rows[] = {
        {"another magic", Bytes{'X', 'c', 'u', 'R'} + le32({16, 0x10000, 0}), VC_E_FORMAT},
        {"header size below 16", xcursor(8, 0, {}, {}), VC_E_READ},
        {"header size past the end", xcursor(0xFFFFFFF0u, 1, {{kImage, 1, 28}}, imageChunk(1, 1)), VC_E_READ},
        {"table of 65537 entries", xcursor(16, 65537, {}, {}), VC_E_MEMORY},
        {"table of 1000 entries over one", oneImage(imageChunk(1, 1), 1000), VC_E_READ},
        {"entry pointing outside", xcursor(16, 1, {{kImage, 1, 0xFFFFFFF0u}}, imageChunk(1, 1)), VC_E_READ},
        {"chunk of another type than its entry", oneImage(imageChunk(1, 1, 0, 0, 1, kComment)), VC_E_DATA},
        {"image of width 0", oneImage(imageChunk(0, 1)), VC_E_DATA},
        {"image of 32768 x 1", oneImage(imageChunk(32768, 1)), VC_E_DATA},
        {"hotspot past the image", oneImage(imageChunk(2, 2, 3, 0, 4)), VC_E_DATA},
        {"pixels cut by the end", oneImage(imageChunk(2, 2, 0, 0, 3)), VC_E_READ},
        {"32767 x 32767 over 4 bytes", oneImage(imageChunk(32767, 32767)), VC_E_MEMORY},
        {"4096 entries naming one 256 x 256 image", manyNames, VC_E_DATA},
        {"comment of 2 MiB", xcursor(16, 2, {{kImage, 1, 40}, {kComment, 1, 80}}, imageChunk(1, 1) +
                                                                                         le32({20, kComment, 1, 1, 2u << 20})),
         VC_E_DATA},
        {"comment cut by the end",
         xcursor(16, 2, {{kImage, 1, 40}, {kComment, 1, 80}}, imageChunk(1, 1) + le32({20, kComment, 1, 1, 9})),
         VC_E_READ},
        {"no image", xcursor(16, 0, {}, {}), VC_E_UNSUPPORTED},
        {"image readable", oneImage(imageChunk(2, 2, 2, 2, 4)), VC_OK},
    };
    for (const auto &h : rows) {
        SCOPED_TRACE(h.what);
        const auto start = std::chrono::steady_clock::now();
        vc_animation *a = nullptr;
        EXPECT_EQ(vc_read_memory(h.file.data(), h.file.size(), VC_FORMAT_UNKNOWN, nullptr, &a), h.status);
        EXPECT_EQ(a != nullptr, h.status == VC_OK);
        vc_animation_free(a);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
}

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
