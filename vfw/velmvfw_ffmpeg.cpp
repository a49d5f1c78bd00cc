// The companion's ten functions on Linux, over the FFmpeg reader and the
// AVI writer of ffmpeg_backend.h, and the one Linux-only export that lends
// the companion the plug-in's dialog runner (velmvfw_linux.h).
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/platform.h"
#include "vfw/ffmpeg_backend.h"
#include "vfw/velmvfw.h"
#include "vfw/velmvfw_linux.h"

#define VFW_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// A handle is the address of one of these, known to the set below: a
// handle the library did not give out (or gave out and took back) is
// refused instead of followed. Programs read and write several files on
// several threads at once, each through its own handle; the set is the
// one thing they share, behind its lock.
struct Handle {
    std::unique_ptr<vfw::Reader> reader;
    std::unique_ptr<vfw::Writer> writer;
};
std::set<Handle *> gHandles;
std::mutex gHandlesLock;
VfwDialogRunner gRunner = nullptr;

Handle *handle(VfwFile file) {
    const std::lock_guard<std::mutex> lock(gHandlesLock);
    auto it = gHandles.find(reinterpret_cast<Handle *>(file));
    return it == gHandles.end() ? nullptr : *it;
}
vfw::Reader *reader(VfwFile file) {
    Handle *h = handle(file);
    return h ? h->reader.get() : nullptr;
}
vfw::Writer *writer(VfwFile file) {
    Handle *h = handle(file);
    return h ? h->writer.get() : nullptr;
}
VfwFile give(std::unique_ptr<Handle> h) {
    Handle *raw = h.release();
    const std::lock_guard<std::mutex> lock(gHandlesLock);
    gHandles.insert(raw);
    return reinterpret_cast<VfwFile>(raw);
}

// "Video Compression": which compressor, and its quality.
struct CompressModel final : vc::plat::DialogModel {
    static constexpr int kTemplate = VFW_COMPRESS_TEMPLATE;
    int choice;
    std::string quality;
    CompressModel(vfw::Codec codec, int q) : choice(int(codec)), quality(std::to_string(q)) {}
    int templateId() const override { return kTemplate; }
    std::string *textField(int id) override { return id == VFW_COMPRESS_QUALITY ? &quality : nullptr; }
    bool select(int id, int32_t index) override {
        if (id != VFW_COMPRESS_LIST || index < 0 || index >= VFW_CODEC_COUNT) return false;
        choice = index;
        return true;
    }
    int qualityValue() const {
        char *end = nullptr;
        long q = std::strtol(quality.c_str(), &end, 10);
        return end != quality.c_str() && *end == 0 && q >= 1 && q <= 100 ? int(q) : 0;
    }
    bool pressOk() override {
        if (!qualityValue()) return false;
        end(kOk);
        return true;
    }
};

}  // namespace

VFW_EXPORT void VfwBindHost(VfwDialogRunner runner) { gRunner = runner; }

VFW_EXPORT VfwFile OpenAviFile(const char *name) {
    auto r = vfw::openReader(name);
    if (!r) return 0;
    auto h = std::make_unique<Handle>();
    h->reader = std::move(r);
    return give(std::move(h));
}

VFW_EXPORT void CloseAviFile(VfwFile file) {
    Handle *h = nullptr;
    {
        const std::lock_guard<std::mutex> lock(gHandlesLock);
        auto it = gHandles.find(reinterpret_cast<Handle *>(file));
        if (it == gHandles.end()) return;
        h = *it;
        gHandles.erase(it);
    }
    if (h->writer) (void)h->writer->finish();
    delete h;
}

VFW_EXPORT void GetAviFileInfo(VfwFile file, VfwFileInfo *info) {
    vfw::Reader *r = reader(file);
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    if (!r) return;
    info->frameCount = r->frameCount();
    info->width = r->width();
    info->height = r->height();
    info->rate = uint16_t(r->rate());
}

VFW_EXPORT const void *GetAviFrame(VfwFile file, int32_t frame) {
    vfw::Reader *r = reader(file);
    return r ? r->frame(frame) : nullptr;
}

// Headless: there is no device to draw on, and the dialog draws its
// placeholder when nothing was drawn.
VFW_EXPORT int32_t DrawAviFrame(VfwFile, int32_t, void *, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}

VFW_EXPORT VfwFile CreateAviFile(const char *name, const VfwCreateParams *params, const void *bitmapInfoHeader) {
    if (!params) return 0;
    auto w = vfw::createWriter(name, params->rate, params->imageBytes, static_cast<const uint8_t *>(bitmapInfoHeader));
    if (!w) return 0;
    auto h = std::make_unique<Handle>();
    h->writer = std::move(w);
    return give(std::move(h));
}

// The companion's own "Video Compression" dialog, answered by the host
// through the runner the plug-in lent (VfwBindHost).
VFW_EXPORT void ShowCompressOptionsDlg(VfwFile file, void *dialog) {
    vfw::Writer *w = writer(file);
    if (!w || !gRunner) return;
    CompressModel model(w->codec, w->quality);
    if (gRunner(dialog, &model) != vc::plat::DialogModel::kOk) return;
    w->codec = vfw::Codec(model.choice);
    w->quality = model.qualityValue();
}

VFW_EXPORT int32_t InitAviStreamWrite(VfwFile file, const void *frameHeader, uint32_t headerSize, int32_t compress) {
    vfw::Writer *w = writer(file);
    return w && w->init(static_cast<const uint8_t *>(frameHeader), headerSize, compress != 0);
}

VFW_EXPORT int32_t WriteAviFrame(VfwFile file, const VfwFrameRecord *frame) {
    vfw::Writer *w = writer(file);
    return w && frame && w->write(frame->position, static_cast<const uint8_t *>(frame->bits), frame->size);
}

VFW_EXPORT int32_t MergeSoundFile(VfwFile file, const char *waveName, uint32_t totalTicks, uint32_t rate) {
    vfw::Writer *w = writer(file);
    return w && w->mergeSound(waveName, totalTicks, rate);
}
