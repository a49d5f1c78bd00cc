/*
 * The Linux companion's one export beyond the ten: VfwBindHost.
 *
 * On Windows ShowCompressOptionsDlg runs the system's compressor chooser.
 * On Linux the compression options are a dialog of the companion's own,
 * a portable model (template VFW_COMPRESS_TEMPLATE) that must be answered
 * the way every other dialog of the library is: by the host's responder,
 * through the plug-in's headless dialog machinery. The companion cannot
 * reach that machinery itself (it is a separate library), so the plug-in
 * lends it a runner right after loading the companion:
 *
 *     auto bind = (VfwBindHostFn)plat::libraryProc(lib, VFW_BIND_HOST);
 *     if (bind) bind(runVfwDialog);
 *
 * with
 *
 *     intptr_t runVfwDialog(void *owner, vc::plat::DialogModel *model) {
 *         return vc::plat::runDialog(owner, model->templateId(), *model);
 *     }
 *
 * Unbound, ShowCompressOptionsDlg leaves the options as they are
 * (uncompressed), as a responder answering with Enter would.
 *
 * The dialog: list VFW_COMPRESS_LIST with the compressors in the order of
 * VFW_CODEC_NAMES (the first, "Full Frames (Uncompressed)", selected at
 * start), edit VFW_COMPRESS_QUALITY holding the quality 1 to 100 (75 at
 * start), OK and Cancel. OK with a quality outside 1 to 100 is refused.
 * A host answering "--avi-codec NAME" selects the index of NAME in
 * VFW_CODEC_NAMES.
 */
#ifndef VELMVFW_LINUX_H
#define VELMVFW_LINUX_H

#include <stdint.h>

#include "velmconv/dialogs.h"

#ifdef __cplusplus
namespace vc::plat {
struct DialogModel;
}
typedef vc::plat::DialogModel VfwDialogModel;
extern "C" {
#else
typedef struct VfwDialogModel VfwDialogModel;
#endif

/* Runs the model's dialog modally, owned by owner (the window passed to
 * ShowCompressOptionsDlg); returns the dialog's result. */
typedef intptr_t (*VfwDialogRunner)(void *owner, VfwDialogModel *model);
typedef void (*VfwBindHostFn)(VfwDialogRunner runner);

#define VFW_BIND_HOST "VfwBindHost"

enum {
    VFW_COMPRESS_TEMPLATE = VC_IDD_COMPRESS_OPTIONS,
    VFW_COMPRESS_LIST = VC_IDC_COMPRESS_LIST,
    VFW_COMPRESS_QUALITY = VC_IDC_COMPRESS_QUALITY
};

/* Short names of the compressors, index for index with the dialog's list. */
#define VFW_CODEC_NAMES VC_COMPRESSOR_NAMES
#define VFW_CODEC_COUNT VC_COMPRESSOR_COUNT

#ifdef __cplusplus
}
#endif

#endif
