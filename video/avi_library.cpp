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

AviLibrary::AviLibrary(Wnd parent)
    : companion_(gTestSwitch ? std::make_unique<AviCompanion>(gTestLookup) : std::make_unique<AviCompanion>()) {
#if !defined(_WIN32)
    if (void *library = companion_->library())
        if (auto bind = reinterpret_cast<VfwBindHostFn>(plat::libraryProc(library, VFW_BIND_HOST))) bind(runCompanionDialog);
#endif
    if (!*companion_ && parent) (void)ShowStringMessage(parent, IDS_ERROR, IDS_NO_VFW, kMbOk);
}

AviLibrary::~AviLibrary() = default;

template <class Fn> Fn AviLibrary::proc(const char *name) const { return companion_->function<Fn>(name); }

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
