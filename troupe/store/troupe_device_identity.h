#pragma once
// This device's id in the troupe: made once, kept in the standard defaults and, as a
// copy, in a file beside the log. A settings file that could not be read is moved
// aside and looks empty; the copy then brings the id back, so the device never
// appears in the troupe under a second id. A copy that cannot be read as a file (a
// FIFO, a device, a link to nothing) is left as it is.
//
// The data folder may be synced between machines, each with settings of its own: the
// copy holds a line per machine, "<id> <machine>", and a machine only takes back its own
// line, keeping the others' as they are. A line with no machine (what builds before wrote)
// is taken by a machine that has none of its own, and made its own.
#include <filesystem>
#include <string>

#include "platform/defaults.h"
#include "platform/uuid.h"

namespace tw {

struct TroupeDeviceIdentity {
    static constexpr const char* defaultsKey = "tw_troupe_device_id_v1";
    static constexpr const char* copyFileName = "device_id";

    // The stored id (defaults first, then this machine's line of the copy), else a new one;
    // writes whichever place lacks it, flushing the defaults at once. `machine` names the
    // machine in the copy (no spaces); empty when it cannot be told, which reads and writes
    // the line without one.
    static Uuid resolve(Defaults& defaults, const std::filesystem::path& copyFile,
                        const std::string& machine = thisMachine());

    // This machine in the copy: a hash of /etc/machine-id (the D-Bus one, else the host
    // name), which is not to be shown as it is; empty when there is none.
    static std::string thisMachine();
};

}  // namespace tw
