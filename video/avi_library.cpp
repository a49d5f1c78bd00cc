#include "video/avi_library.h"

#include <cstring>

#include "ui/services.h"
#include "resources/strings.h"
#if !defined(_WIN32)
#include "vfw/velmvfw_linux.h"
#endif

namespace vc {

namespace {
constexpr uint32_t kMbOk = 0;
bool gTestSwitch = false;
AviLibrary::Lookup gTestLookup = nullptr;
// What a test companion's handle points at: anything that is not null.
char gTestHandle;

#if !defined(_WIN32)
// The companion's compression options are a dialog model of its own, run
// here so the host's responder answers it like every other dialog.
intptr_t runCompanionDialog(void *owner, plat::DialogModel *model) {
    return model ? plat::runDialog(owner, model->templateId(), *model) : 0;
}
#endif
}  // namespace

void AviLibrary::setTestCompanion(Lookup lookup) {
    gTestSwitch = true;
    gTestLookup = lookup;
}

void AviLibrary::clearTestCompanion() {
    gTestSwitch = false;
    gTestLookup = nullptr;
}

AviLibrary::AviLibrary(Wnd parent) {
    if (gTestSwitch)
        handle_ = gTestLookup ? &gTestHandle : nullptr;
    else
        handle_ = plat::loadLibraryBeside(kAviLibraryName);
#if !defined(_WIN32)
    if (handle_ && handle_ != &gTestHandle)
        if (auto bind = reinterpret_cast<VfwBindHostFn>(plat::libraryProc(handle_, VFW_BIND_HOST))) bind(runCompanionDialog);
#endif
    if (!handle_ && parent) (void)ShowStringMessage(parent, IDS_ERROR, IDS_NO_VFW, kMbOk);
}

AviLibrary::~AviLibrary() {
    if (handle_ && handle_ != &gTestHandle) plat::freeLibrary(handle_);
    handle_ = nullptr;
}

template <class Fn> Fn AviLibrary::proc(const char *name) const {
    if (!handle_) return nullptr;
    void *p = handle_ == &gTestHandle ? (gTestLookup ? gTestLookup(name) : nullptr) : plat::libraryProc(handle_, name);
    return reinterpret_cast<Fn>(p);
}

VfwFile AviLibrary::open(const char *name) const {
    auto f = proc<OpenAviFileFn>("OpenAviFile");
    return f ? f(name) : 0;
}

void AviLibrary::close(VfwFile file) const {
    if (auto f = proc<CloseAviFileFn>("CloseAviFile")) f(file);
}

bool AviLibrary::info(VfwFile file, VfwFileInfo &info) const {
    std::memset(&info, 0, sizeof info);
    auto f = proc<GetAviFileInfoFn>("GetAviFileInfo");
    if (!f) return false;
    f(file, &info);
    return true;
}

const void *AviLibrary::frame(VfwFile file, int32_t index) const {
    auto f = proc<GetAviFrameFn>("GetAviFrame");
    return f ? f(file, index) : nullptr;
}

DrawAviFrameFn AviLibrary::drawFunction() const { return proc<DrawAviFrameFn>("DrawAviFrame"); }

VfwFile AviLibrary::create(const char *name, const VfwCreateParams &params, const void *header) const {
    auto f = proc<CreateAviFileFn>("CreateAviFile");
    return f ? f(name, &params, header) : 0;
}

void AviLibrary::compressOptions(VfwFile file, Wnd dialog) const {
    if (auto f = proc<ShowCompressOptionsDlgFn>("ShowCompressOptionsDlg")) f(file, dialog);
}

int32_t AviLibrary::initStream(VfwFile file, const void *header, uint32_t headerSize, int32_t compress) const {
    auto f = proc<InitAviStreamWriteFn>("InitAviStreamWrite");
    return f ? f(file, header, headerSize, compress) : 0;
}

int32_t AviLibrary::write(VfwFile file, const VfwFrameRecord &record) const {
    auto f = proc<WriteAviFrameFn>("WriteAviFrame");
    return f ? f(file, &record) : 0;
}

int32_t AviLibrary::mergeSound(VfwFile file, const char *wave, uint32_t ticks, uint32_t rate) const {
    auto f = proc<MergeSoundFileFn>("MergeSoundFile");
    return f ? f(file, wave, ticks, rate) : 0;
}

}  // namespace vc
