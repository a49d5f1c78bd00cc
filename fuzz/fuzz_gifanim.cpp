// Fuzzes the animated GIF path through the exports: a load without an
// output record whose import options are answered from the input (a
// sequence at a size, one frame, the assembled image, or Cancel), then the
// document the editor took: frame changes, the settings command pressed
// with Enter, a save of the frames as an animated GIF, and a load of that
// file back. Nothing may crash, and no memory block or file may outlive a
// run. Inputs that do not start with "GIF" get it put in front.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gif/gif_import.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.gif";
constexpr char kOut[] = "/vcfuzz/out.gif";
uint8_t gAnswer = 0;  // what the import options are answered with

bool documented(int32_t r) { return r >= CONV_E_WRITE && r <= CONV_OK; }

intptr_t answer(void *, int32_t templateId, VcDialog *dialog) {
    if (templateId != IDD_GIF_IMPORT) return VC_DIALOG_DEFAULT;
    switch (gAnswer & 3) {
    case 0: return 0;
    case 1: VcDialogSelect(dialog, IDC_GIFIMP_LIST, gAnswer >> 2); break;
    case 2: VcDialogClick(dialog, IDC_GIFIMP_ASSEMBLED); break;
    default:
        // Small sizes keep the run quick; 8 is the smallest accepted.
        VcDialogSetText(dialog, IDC_GIFIMP_WIDTH, std::to_string(8 + (gAnswer >> 4)).c_str());
        VcDialogSetText(dialog, IDC_GIFIMP_HEIGHT, std::to_string(8 + ((gAnswer >> 2) & 3)).c_str());
        break;
    }
    return VC_DIALOG_DEFAULT;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    vcfuzz::attachLibrary();
    VcUiHost ui{};
    ui.dialog = answer;
    VcSetUiHost(&ui);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vcfuzz::mapAsGif(kIn, data, size);
    gAnswer = size ? data[size - 1] : 0;

    const vcfuzz::HeldResources held;
    {
        vctest::FakeEditor editor;
        HostCallback cb = vctest::FakeEditor::callback();
        uint8_t format = 0;
        int32_t r = LoadConvImage(nullptr, kIn, nullptr, &format, 0, cb);
        require(documented(r), "load without a record");
        if (r == CONV_OK && !editor.documents.empty() && !editor.images.empty()) {
            void *doc = editor.documents.back();
            const uint16_t at = size > 1 ? data[size - 2] : 0;
            require(NotifyFrameChange(CONV_FMT_ANIGIF, doc, 1, at, cb) == 1, "frame change");
            editor.currentDocument = doc;
            ProcessCommand(nullptr, CONV_CMD_ANIMATION, CONV_FMT_ANIGIF, doc, 0, cb);
            // The editor's frames at the size of its first one, kept small.
            ConvBitmapInfoHeader h{};
            std::memcpy(&h, editor.images[0].bytes.data(), sizeof h);
            if (h.biWidth > 0 && h.biHeight > 0 && h.biWidth <= 64 && h.biHeight <= 64 && editor.images.size() <= 8) {
                editor.imageWidth = uint16_t(h.biWidth);
                editor.imageHeight = uint16_t(h.biHeight);
                editor.colorSetting = h.biBitCount == 1 ? 2 : h.biBitCount == 4 ? 16 : 256;
                vc::plat::memFileMap(kOut, nullptr, 0);  // a failed save deletes its file
                r = SaveConvImage(nullptr, kOut, nullptr, CONV_FMT_ANIGIF, 0, cb);
                require(documented(r), "save");
                if (r == CONV_OK) {
                    vctest::FakeEditor again;
                    gAnswer = 3;
                    r = LoadConvImage(nullptr, kOut, nullptr, &format, 0, vctest::FakeEditor::callback());
                    require(r == CONV_OK, "what we wrote does not load");
                }
            }
        }
    }
    held.requireReleased();
    return 0;
}
