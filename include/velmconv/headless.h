/*
 * Linux hosts of libvelmconv: what a Windows host gets from the system.
 *
 * - Memory blocks with handle semantics (the Windows global heap's role):
 *   image blocks and animation documents the library hands over are freed
 *   with VcMemFree, and blocks a host hands to the library are made with
 *   VcMemAlloc.
 * - Windows: headless windows with a parent, a rectangle and an enabled
 *   state, so a host can pass a parent window and see it disabled while a
 *   progress window is up.
 * - The user-interface seam: a host installs a VcUiHost whose functions
 *   answer dialogs, message boxes, beeps, the colour chooser and help, and
 *   are told of progress. Any function left null gets the default: a dialog
 *   is answered as if the user pressed Enter, a message box returns its
 *   first button, the colour chooser is cancelled.
 */
#ifndef VELMCONV_HEADLESS_H
#define VELMCONV_HEADLESS_H

#include "velmconv/dialogs.h"
#include "velmconv/velmconv.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { VC_MEM_MOVEABLE = 0x0002, VC_MEM_ZEROINIT = 0x0040 };

VC_EXPORT void *VcMemAlloc(uint32_t flags, size_t size);
VC_EXPORT void *VcMemLock(void *block);
VC_EXPORT int VcMemUnlock(void *block);
VC_EXPORT size_t VcMemSize(void *block);
VC_EXPORT void *VcMemFree(void *block);

VC_EXPORT void *VcCreateWindow(void *parent, int32_t x, int32_t y, int32_t width, int32_t height);
VC_EXPORT void VcDestroyWindow(void *window);
VC_EXPORT int VcIsWindowEnabled(void *window);
VC_EXPORT int VcGetWindowRect(void *window, int32_t rect[4]);
VC_EXPORT void VcSetScreenSize(int32_t width, int32_t height);
/* Presses a button of a headless dialog (sends its command). */
VC_EXPORT void VcPressButton(void *window, int32_t controlId);

/* Result a dialog responder returns to have the dialog answered with its
 * default (as if Enter were pressed). */
#define VC_DIALOG_DEFAULT ((intptr_t)0x7fff0000)

/* A modal dialog as a responder sees it: the responder reads what the
 * dialog shows and works its controls by id (velmconv/dialogs.h) as a user
 * would, then returns VC_DIALOG_DEFAULT (Enter) or the result the dialog
 * ends with. Valid only during the responder's call. */
typedef struct VcDialog VcDialog;

/* The dialog's template id. */
VC_EXPORT int32_t VcDialogTemplate(const VcDialog *dialog);
/* Clicks a button, check box or radio button (1 is OK, 2 Cancel); 0 when
 * the dialog refused the click (it beeped) or has no such control. */
VC_EXPORT int VcDialogClick(VcDialog *dialog, int32_t controlId);
/* Types text into an edit; 0 when there is no such edit or it is disabled. */
VC_EXPORT int VcDialogSetText(VcDialog *dialog, int32_t controlId, const char *text);
/* Copies the text of an edit, or of a static text the dialog shows (at
 * most size - 1 characters and a NUL; buffer may be null to learn the
 * length); returns its whole length, -1 when there is no such control. */
VC_EXPORT int32_t VcDialogGetText(VcDialog *dialog, int32_t controlId, char *buffer, int32_t size);
/* Chooses line index of a list; 0 when there is no such list. */
VC_EXPORT int VcDialogSelect(VcDialog *dialog, int32_t controlId, int32_t index);
/* The number of lines of a list, -1 when there is no such list. */
VC_EXPORT int32_t VcDialogListCount(VcDialog *dialog, int32_t controlId);
/* Copies line index of a list as VcDialogGetText copies a text; -1 when
 * there is no such list or line. */
VC_EXPORT int32_t VcDialogListText(VcDialog *dialog, int32_t controlId, int32_t index, char *buffer, int32_t size);
/* Whether a check box or radio button is checked: 1 or 0, -1 when the
 * dialog has no such button. */
VC_EXPORT int VcDialogChecked(VcDialog *dialog, int32_t controlId);
/* The number of frames on a film strip, -1 when there is no such strip. */
VC_EXPORT int32_t VcDialogReelCount(VcDialog *dialog, int32_t controlId);

/* The arrows beside a field: a scroll bar's code (0 line up, 1 line down,
 * 2 page up, 3 page down) on scroll bar controlId. 0 when the dialog has
 * no scroll bars. */
VC_EXPORT int VcDialogScroll(VcDialog *dialog, int32_t controlId, int32_t code);
/* A film strip's notification (VC_REEL_CURRENT, VC_REEL_CLICK, ...) for
 * frame on strip controlId. */
VC_EXPORT void VcDialogReelNotify(VcDialog *dialog, int32_t controlId, int32_t code, int32_t frame);
/* The modifier keys held during the following actions (VC_KEY_SHIFT,
 * VC_KEY_CTRL, VC_KEY_ALT, VC_KEY_ENTER or'ed together). */
VC_EXPORT void VcDialogKeys(VcDialog *dialog, int32_t keys);

typedef struct VcUiHost {
    void *user;
    /* A modal dialog from template templateId, worked through the
     * VcDialog calls above. */
    intptr_t (*dialog)(void *user, int32_t templateId, VcDialog *dialog);
    int32_t (*messageBox)(void *user, void *owner, const char *text, const char *title, uint32_t style);
    void (*beep)(void *user, uint32_t type);
    int32_t (*chooseColor)(void *user, void *owner, uint32_t *color, uint32_t *custom16);
    int32_t (*help)(void *user, const char *file, uint32_t command, uintptr_t data);
    /* The progress window changed: created (visible 0), shown with a
     * percentage (visible 1), or destroyed (window none). */
    void (*progress)(void *user, void *window, int32_t percent, int32_t visible);
    /* The message pump ran: the place where a host or test acts while a
     * codec works (press Cancel, for instance). */
    void (*pump)(void *user, void *dialog);
} VcUiHost;

/* The web browser command of the GIF animation dialog's browser preview:
 * the temporary GIF's name is appended after a blank. Null restores the
 * default (xdg-open when installed); an empty text means no browser, and
 * the dialog's browser button is disabled. */
VC_EXPORT void VcSetBrowserCommand(const char *command);

/* Installs the host (copied); null restores the defaults. */
VC_EXPORT void VcSetUiHost(const VcUiHost *host);

/* The cancel flag and percentage of the progress window, if one exists;
 * returns 0 when none exists. */
VC_EXPORT int VcProgressState(void **window, int32_t *percent, int32_t *cancel);

#ifdef __cplusplus
}
#endif

#endif
