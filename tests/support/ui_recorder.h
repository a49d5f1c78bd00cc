// Records what the library shows the user through the headless UI seam
// (message boxes, beeps, progress, the colour chooser, help, dialogs) and
// answers it from a script. Installing one replaces the defaults; its
// destructor restores them. Native only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "velmconv/headless.h"

namespace vctest {

class UiRecorder {
public:
    struct MessageBoxCall {
        void *owner;
        std::string text, title;
        uint32_t style;
    };
    struct ProgressEvent {
        void *window;  // none when destroyed
        int32_t percent, visible;
    };
    struct ColorCall {
        void *owner;
        uint32_t initial, custom[16];  // the custom colours as the library passed them in
    };
    struct HelpCall {
        std::string file;
        uint32_t command;
        uintptr_t data;
    };

    UiRecorder();
    ~UiRecorder();
    UiRecorder(const UiRecorder &) = delete;
    UiRecorder &operator=(const UiRecorder &) = delete;

    // ---- Script ---------------------------------------------------------------
    int32_t messageBoxAnswer = 1;
    // The colour chooser: chooseColorAnswer set means the user picked it;
    // editCustom runs on the custom colours before the answer.
    bool colorChosen = false;
    uint32_t chooseColorAnswer = 0;
    std::function<void(uint32_t *custom16)> editCustom;
    // Dialogs: work the dialog through the VcDialog calls (or reach its
    // model with vc::plat::dialogAs), then return VC_DIALOG_DEFAULT to have
    // it press Enter, or its result.
    std::function<intptr_t(int32_t templateId, VcDialog *dialog)> dialogAnswer;
    // Presses Cancel (control 102) of the pumped dialog on the n-th pump
    // from now (1 = the next one).
    void pressCancelOnPump(int n) { cancelCountdown_ = n; }

    // ---- Record ---------------------------------------------------------------
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<uint32_t> beeps;
    std::vector<ProgressEvent> progress;
    std::vector<ColorCall> colors;
    std::vector<HelpCall> helps;
    std::vector<int32_t> dialogs;
    std::vector<void *> pumps;

private:
    int cancelCountdown_ = 0;
};

}  // namespace vctest
