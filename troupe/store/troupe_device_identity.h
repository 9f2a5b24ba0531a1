#pragma once
// This device's id in the troupe: made once, kept in the standard defaults and, as a
// copy, in a file beside the log. A settings file that could not be read is moved
// aside and looks empty; the copy then brings the id back, so the device never
// appears in the troupe under a second id. A copy that cannot be read as a file (a
// FIFO, a device, a link to nothing) is left as it is.
#include <filesystem>

#include "platform/defaults.h"
#include "platform/uuid.h"

namespace tw {

struct TroupeDeviceIdentity {
    static constexpr const char* defaultsKey = "tw_troupe_device_id_v1";
    static constexpr const char* copyFileName = "device_id";

    // The stored id (defaults first, then the copy), else a new one; writes whichever
    // place lacks it, flushing the defaults at once.
    static Uuid resolve(Defaults& defaults, const std::filesystem::path& copyFile);
};

}  // namespace tw
