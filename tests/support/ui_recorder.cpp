#include "support/ui_recorder.h"

#include <cstring>

namespace vctest {

UiRecorder::UiRecorder() {
    VcUiHost host{};
    host.user = this;
    host.dialog = [](void *user, int32_t templateId, VcDialog *dialog) -> intptr_t {
        auto *self = static_cast<UiRecorder *>(user);
        self->dialogs.push_back(templateId);
        return self->dialogAnswer ? self->dialogAnswer(templateId, dialog) : VC_DIALOG_DEFAULT;
    };
    host.messageBox = [](void *user, void *owner, const char *text, const char *title, uint32_t style) {
        auto *self = static_cast<UiRecorder *>(user);
        self->messageBoxes.push_back(MessageBoxCall{owner, text ? text : "", title ? title : "", style});
        return self->messageBoxAnswer;
    };
    host.beep = [](void *user, uint32_t type) { static_cast<UiRecorder *>(user)->beeps.push_back(type); };
    host.chooseColor = [](void *user, void *owner, uint32_t *color, uint32_t *custom16) -> int32_t {
        auto *self = static_cast<UiRecorder *>(user);
        ColorCall &call = self->colors.emplace_back(ColorCall{owner, color ? *color : 0, {}});
        if (custom16) std::memcpy(call.custom, custom16, sizeof call.custom);
        if (self->editCustom && custom16) self->editCustom(custom16);
        if (self->colorChosen && color) *color = self->chooseColorAnswer;
        return self->colorChosen;
    };
    host.help = [](void *user, const char *file, uint32_t command, uintptr_t data) {
        static_cast<UiRecorder *>(user)->helps.push_back(HelpCall{file ? file : "", command, data});
        return int32_t(1);
    };
    host.progress = [](void *user, void *window, int32_t percent, int32_t visible) {
        static_cast<UiRecorder *>(user)->progress.push_back(ProgressEvent{window, percent, visible});
    };
    host.pump = [](void *user, void *dialog) {
        auto *self = static_cast<UiRecorder *>(user);
        self->pumps.push_back(dialog);
        if (self->cancelCountdown_ > 0 && --self->cancelCountdown_ == 0) VcPressButton(dialog, 102);
    };
    VcSetUiHost(&host);
}

UiRecorder::~UiRecorder() { VcSetUiHost(nullptr); }

}  // namespace vctest
