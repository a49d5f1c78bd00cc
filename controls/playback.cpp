#include "controls/playback.h"

namespace vc {

intptr_t PlaybackDialogModel::pressEnter() {
    while (!ended()) {
        if (!play.started() || play.loopsDone() > 0 || (play.finished() && play.idle())) {
            pressCancel();
        } else if (play.idle()) {
            // A frame that waits for the user: Enter.
            (void)pressOk();
        } else {
            play.tick();
        }
    }
    return result();
}

}  // namespace vc
