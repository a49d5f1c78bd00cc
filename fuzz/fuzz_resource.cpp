// Fuzzes program files through the exports: detection, the preview, and the
// load with "Open Resource Bitmap" answered by a user who goes through
// every line with the preview on and off before pressing Enter. Whatever
// the bytes, the results are documented ones, the name written into the
// file-name buffer is a bitmap's name within its buffer, every block handed
// over is live, and no block or file is left behind.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "platform/headless_dialog.h"
#include "velmconv/headless.h"
#include "programs/resource_reader.h"

namespace {

using vcfuzz::oneOf;
using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.exe";

intptr_t browse(void *, int32_t, VcDialog *dialog) {
    auto *m = vc::plat::dialogAs<vc::ResourceBitmapModel>(dialog);
    require(m != nullptr, "a dialog other than template 102");
    require(m->items.size() <= vc::ResourceBitmapList::kCapacity, "more lines than the list holds");
    for (int32_t i = 0; i < int32_t(m->items.size()); ++i) {
        require(std::strlen(m->list.entries[m->items[size_t(i)]].name) <= 31, "a name longer than 31 characters");
        (void)m->select(vc::kResBmpList, i);
        vc::BitmapPreview p;
        if (uint8_t *data = m->image.lock()) (void)vc::bitmapPreview(data, m->image.size(), 120, 130, p);
        m->image.unlock();
        if (i == 1) (void)m->clicked(vc::kResBmpShowPreview);
    }
    (void)m->select(vc::kResBmpList, int32_t(m->items.size()) - 1);
    return VC_DIALOG_DEFAULT;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    vcfuzz::attachLibrary();
    VcUiHost ui{};
    ui.dialog = browse;
    VcSetUiHost(&ui);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vc::plat::memFileMap(kIn, data, size);
    const vcfuzz::HeldResources held;
    {
        char name[260] = {};
        std::strcpy(name, kIn);
        ConvImageRecord rec{};
        uint8_t format = 0;
        const int32_t r = LoadConvImage(nullptr, name, &rec, &format, 0, nullptr);
        if (format == 0 && r != CONV_E_FORMAT) {
            require(oneOf(r, {CONV_OK, CONV_CANCELLED, CONV_E_READ}), "an undocumented load result");
            require((r == CONV_OK) == (rec.image != nullptr), "a block without success, or success without one");
            const size_t length = strnlen(name, sizeof name);
            require(length < sizeof name, "the file-name buffer lost its end");
            require(r != CONV_OK || std::strcmp(name, kIn) == 0 ||
                        (length >= 5 && length <= 12 && std::strcmp(name + length - 4, ".BMP") == 0),
                    "a picked bitmap's name is not NAME.BMP");
        }
        if (rec.image) require(VcMemFree(rec.image) == nullptr, "loaded block is not a live block");

        char text[64] = {};
        rec = ConvImageRecord{nullptr, 0, text, sizeof text};
        const int32_t p = GetPreviewImage(kIn, &rec);
        require(p != CONV_OK || rec.image != nullptr, "a preview without its block");
        if (rec.image) require(VcMemSize(rec.image) > 40 && VcMemFree(rec.image) == nullptr, "preview block");
    }
    held.requireReleased();
    return 0;
}
