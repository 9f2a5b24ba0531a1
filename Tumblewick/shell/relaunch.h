#pragma once
// Starting Tumblewick again, for a change (the display scale) that only a new process
// picks up. The caller releases the instance lock first, or the new one would stop.

#include <string>
#include <vector>

namespace tw {

// Starts this program detached, with the arguments after the first of
// `launchArguments` (main()'s argv, copied before anything changed it), in order and
// unchanged; false (with a console line) when it cannot be started. Needs the
// application object.
bool relaunchSelf(const std::vector<std::string>& launchArguments);

}  // namespace tw
