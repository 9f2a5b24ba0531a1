#pragma once
// Starting Tumblewick again, for a change (the display scale) that only a new process
// picks up. The caller releases the instance lock first, or the new one would stop.

namespace tw {

// Starts this program with the same arguments, detached; false (with a console line)
// when it cannot be started. Needs the application object.
bool relaunchSelf();

}  // namespace tw
