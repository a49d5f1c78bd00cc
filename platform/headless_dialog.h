// What a headless dialog responder holds: the dialog's model behind the
// opaque VcDialog of velmconv/headless.h. C hosts work it through the
// VcDialog calls; the library's own C++ tools and tests may also reach the
// model's type, checked by its template id rather than cast blindly.
#pragma once

#include "platform/platform.h"
#include "velmconv/headless.h"

struct VcDialog {
    vc::plat::DialogModel &model;
};

namespace vc::plat {

// The model as Model when the dialog is Model's, none otherwise.
template <class Model> Model *dialogAs(VcDialog *dialog) {
    if (!dialog || dialog->model.templateId() != Model::kTemplate) return nullptr;
    return static_cast<Model *>(&dialog->model);
}

}  // namespace vc::plat
