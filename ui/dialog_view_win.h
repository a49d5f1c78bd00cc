// What the Win32 views of dialog models share. A view keeps its model in
// its own window (DWLP_USER), put there at WM_INITDIALOG from the creation
// parameter that plat::runDialog passes, so views hold no globals; it reads
// the controls into the model, hands it the user's action in the model's
// words, shows the model's state again, and ends the dialog with the
// model's result once the model has ended.
//
// The dialog procedure that does this is written once, runView below: a
// view is a class derived from DialogView<its model> that says only what
// its own dialog does with a message, and its template is registered with
// runView<the view>.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "ui/services.h"

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
// A one-pixel line in a colour, as the owner-drawn buttons draw their edges.
void drawLine(HDC dc, COLORREF color, int x0, int y0, int x1, int y1);

// The view object of a dialog window, kept in one of its properties from
// WM_INITDIALOG until WM_DESTROY takes it back.
void keepView(HWND dialog, void *view);
void *keptView(HWND dialog);
void *takeView(HWND dialog);

// What a view did with a message.
enum class Step {
    pass,  // not the view's: the dialog manager's default answer (FALSE)
    done,  // answered; nothing more to do
    show,  // answered: the model is shown again
    act,   // the model acted: the dialog ends when the model has ended, else the model is shown again
    end,   // the model acted: the dialog ends when the model has ended; nothing is shown
};

// The base of every dialog view: one object a dialog window, made at
// WM_INITDIALOG and deleted at WM_DESTROY, so whatever the view keeps
// beside its model (brushes, bitmaps, what it showed last) lives here.
template <class M> class DialogView {
public:
    using Model = M;
    virtual ~DialogView() = default;

    // WM_INITDIALOG, before the dialog is centred on its parent: where a
    // view that sizes its own window does so.
    virtual void place(M &) {}
    // WM_INITDIALOG, with the dialog already centred on its parent: the
    // message's answer (TRUE: the dialog manager sets the focus). By
    // default the model is shown.
    virtual INT_PTR start(M &m) {
        show(m);
        return TRUE;
    }
    // The model's state onto the controls.
    virtual void show(M &) {}
    // The controls the user types into, read into the model before it acts.
    virtual void read(M &) {}
    // WM_COMMAND from control id with notification code.
    virtual Step command(M &, int /*id*/, int /*code*/, LPARAM) { return Step::pass; }
    // WM_VSCROLL from the spin button or scroll bar id.
    virtual Step scroll(M &, int /*id*/, int /*code*/) { return Step::pass; }
    // Any other message: its answer.
    virtual INT_PTR other(M &, UINT, WPARAM, LPARAM) { return FALSE; }
    // The editor's palette the dialog realises as its own (answerPalette);
    // without one the palette messages go to other().
    virtual void *palette(M &) { return nullptr; }
    // WM_DESTROY: what the view lets go of. The model is none once it has
    // ended (it has let go of the window then).
    virtual void finish(M *) {}

    HWND dialog = nullptr;

protected:
    // A scroll() of a view with spin buttons: the fields read, the model
    // given the arrow, and shown again.
    Step readAndScroll(M &m, int id, int code) {
        read(m);
        m.scroll(id, code);
        return Step::show;
    }
    // Edit controls shown from the model's texts.
    struct TextField {
        int id;
        std::string M::*text;
    };
    void showTexts(M &m, std::initializer_list<TextField> fields) {
        for (const TextField &f : fields) showText(dialog, f.id, m.*f.text);
    }
};

// The one dialog procedure of the views. A view may keep its overrides
// private: they are called through the base.
template <class View> INT_PTR CALLBACK runView(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    using Model = typename View::Model;
    using Base = DialogView<Model>;
    auto *m = viewModel<Model>(dialog, message, lParam);
    if (message == WM_DESTROY) {
        std::unique_ptr<Base> v(static_cast<View *>(takeView(dialog)));
        if (v) v->finish(m);
        return FALSE;
    }
    if (!m) return FALSE;
    if (message == WM_INITDIALOG) {
        Base *v = new View;
        v->dialog = dialog;
        keepView(dialog, static_cast<View *>(v));
        v->place(*m);
        CenterDialog(dialog);
        return v->start(*m);
    }
    Base *v = static_cast<View *>(keptView(dialog));
    if (!v) return FALSE;
    Step step = Step::pass;
    switch (message) {
    case WM_COMMAND: step = v->command(*m, LOWORD(wParam), HIWORD(wParam), lParam); break;
    case WM_VSCROLL: step = v->scroll(*m, GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam)); break;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
        if (void *palette = v->palette(*m)) return answerPalette(dialog, message, wParam, palette);
        return v->other(*m, message, wParam, lParam);
    default: return v->other(*m, message, wParam, lParam);
    }
    if (step == Step::pass) return FALSE;
    if ((step == Step::act || step == Step::end) && endWhenEnded(dialog, *m)) return TRUE;
    if (step == Step::act || step == Step::show) v->show(*m);
    return TRUE;
}

}  // namespace vc::win
