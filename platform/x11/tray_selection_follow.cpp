#include "platform/x11/tray_selection_follow.h"

namespace tw {

bool followTraySelection(TraySelectionConnection& connection, bool present) {
    bool selectionEvent = connection.takeEvents(true);
    // The owner as it is now: a tray replaced by another in one burst of events is one answer.
    while (selectionEvent) {
        present = connection.owned();
        // Events read along with the reply wait in Xlib's queue, and the socket will not
        // wake us for them: handle them now, or a change could go unnoticed.
        selectionEvent = connection.takeEvents(false);
    }
    return present;
}

}  // namespace tw
