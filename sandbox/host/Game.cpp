#include "sandbox/host/Game.h"

namespace sandbox {

void FocusWindow::setFocus(bool focus) {
    std::lock_guard<std::recursive_mutex> guard(eventMutex);
    focused.store(focus);
    listeners.forEach([focus](RenderWindowListener* l) {
        if (focus) {
            l->getFocus();
        } else {
            l->lostFocus();
        }
    });
}

}  // namespace sandbox
