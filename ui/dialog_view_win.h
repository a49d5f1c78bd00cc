// What the Win32 views of dialog models share. A view keeps its model in
// its own window (DWLP_USER), put there at WM_INITDIALOG from the creation
// parameter that plat::runDialog passes, so views hold no globals; it reads
// the controls into the model, hands it the user's action in the model's
// words, shows the model's state again, and ends the dialog with the
// model's result once the model has ended.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace vc::win {

// The model of a dialog window: at WM_INITDIALOG taken from lParam and kept
// in the window; none before that, or when lParam is not a model.
plat::DialogModel *attachModel(HWND dialog, UINT message, LPARAM lParam);

// The model as the view's own type, checked by its template id.
template <class Model> Model *viewModel(HWND dialog, UINT message, LPARAM lParam) {
    plat::DialogModel *m = attachModel(dialog, message, lParam);
    return m && m->templateId() == Model::kTemplate ? static_cast<Model *>(m) : nullptr;
}

// Ends the dialog with the model's result once the model has ended (OK,
// Cancel) and lets go of the model; true then.
bool endWhenEnded(HWND dialog, plat::DialogModel &model);

// A control's text (up to 255 characters); empty when there is no control.
std::string itemText(HWND dialog, int id);
// Sets a control's text only when it differs, so that showing the model
// raises no change notifications of its own.
void showText(HWND dialog, int id, const std::string &text);
// The modifier keys held now, as the model reads them.
void readKeys(plat::DialogModel &model);
// WM_QUERYNEWPALETTE, and WM_PALETTECHANGED caused by another window:
// realises the editor's palette in the dialog's DC and repaints the dialog
// when entries changed; the number changed is the message's result. FALSE
// (not handled) without a palette or for the dialog's own change.
INT_PTR answerPalette(HWND dialog, UINT message, WPARAM wParam, void *palette);

}  // namespace vc::win
