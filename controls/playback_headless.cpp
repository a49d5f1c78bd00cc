// The playback window without a window system: the editor draws each frame
// into a DIB of its image size (it has no device contexts to lend), and the
// frames are composed on the dialog model's canvas of pixels, which a
// responder or test can look at between timer ticks.
#include <cstring>

#include "common/bytes.h"
#include "controls/playback.h"
#include "common/editor_link.h"
#include "common/image_block.h"

namespace vc {

namespace {

class EditorCanvas final : public PlaybackSurface {
public:
    EditorCanvas(PlaybackCanvas &canvas, const PlaybackReel &record, HostCallback callback)
        : canvas_(canvas), editor_(callback), background_(record.background) {
        uint32_t color = 0;
        // A Windows colour value: red in the low byte.
        if (editor_.screenColor(color))
            transparent_ = (color & 0xFF) << 16 | (color & 0xFF00) | (color >> 16 & 0xFF);
        canvas_.resize(record.screenWidth, record.screenHeight, background_);
        frame_ = makePackedDib(DibSpec{record.outputWidth, record.outputHeight, 24});
    }

    void fillBackground(int32_t left, int32_t top, int32_t width, int32_t height) override {
        canvas_.fill(left, top, width, height, background_);
    }

    bool drawFrame(int32_t frame, int32_t left, int32_t top, int32_t width, int32_t height) override {
        if (!frame_ || !editor_.getFrame(frame_.data(), frame)) return false;
        int32_t w = 0, h = 0;
        if (!pixelsOf(w, h)) return false;
        canvas_.compose(pixels_.data(), w, h, left, top, width, height, transparent_);
        return true;
    }

private:
    // The frame's DIB as the editor left it (any depth it chose) in pixels,
    // top row first; false when its header does not describe the block.
    bool pixelsOf(int32_t &w, int32_t &h) {
        const auto &header = *frame_.as<ConvBitmapInfoHeader>();
        if (!dibHeaderUsable(header, frame_.size())) return false;
        w = header.biWidth;
        h = header.biHeight;
        const uint32_t bits = header.biBitCount, colors = dibColorCount(header);
        const uint8_t *table = frame_.as<uint8_t>() + header.biSize;
        const uint8_t *rows = frame_.as<uint8_t>() + dibBitsOffset(header);
        const uint64_t stride = dibRowBytes(w, bits);
        pixels_.assign(size_t(w) * size_t(h), 0);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t *row = rows + uint64_t(h - 1 - y) * stride;
            for (int32_t x = 0; x < w; ++x) {
                uint32_t px;
                if (bits == 24) {
                    px = uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
                } else {
                    const uint32_t perByte = 8 / bits, shift = (perByte - 1 - x % perByte) * bits;
                    const uint32_t index = (row[x / perByte] >> shift) & ((1u << bits) - 1);
                    const uint8_t *q = table + 4 * index;
                    px = index < colors ? uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0] : 0;
                }
                pixels_[size_t(y) * size_t(w) + size_t(x)] = px;
            }
        }
        return true;
    }

    PlaybackCanvas &canvas_;
    EditorLink editor_;
    uint32_t background_;
    std::optional<uint32_t> transparent_;
    plat::Block frame_;
    std::vector<uint32_t> pixels_;
};

}  // namespace

int IsWindowsNT() { return 1; }

intptr_t RunAnimationPreview(Wnd owner, PlaybackReel reel, HostCallback callback) {
    PlaybackDialogModel model(std::move(reel), callback, IsWindowsNT() != 0);
    EditorCanvas surface(model.canvas, model.reel(), callback);
    model.play.start(surface);
    (void)plat::runDialog(owner, IDD_GIF_PREVIEW, model);
    return 1;
}

}  // namespace vc
