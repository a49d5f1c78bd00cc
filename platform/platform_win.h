// Windows-only piece of the platform layer that the Win32 views meet: the
// list of views by dialog template. Each view registers itself beside its
// own code (a DialogViewRegistration object in its *_win.cpp); the layer
// creates windows from a template with the procedure registered for it and
// names no view itself.
#pragma once

#include <windows.h>

namespace vc::win {

// Registers proc as the dialog procedure of template templateId for as long
// as the program runs. plat::runDialog hands a modal view its portable
// model (a plat::DialogModel *) as the WM_INITDIALOG parameter.
class DialogViewRegistration {
public:
    DialogViewRegistration(int templateId, DLGPROC proc);
    DialogViewRegistration(const DialogViewRegistration &) = delete;
    DialogViewRegistration &operator=(const DialogViewRegistration &) = delete;

private:
    friend DLGPROC dialogView(int templateId);
    int templateId_;
    DLGPROC proc_;
    const DialogViewRegistration *next_;
};

// The procedure registered for a template; none when no view has it.
DLGPROC dialogView(int templateId);

}  // namespace vc::win
