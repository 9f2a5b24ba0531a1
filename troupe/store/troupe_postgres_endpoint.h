#pragma once
// Where the troupe server lives. Only a value here: nothing in this program talks to
// it, and the production host is one that can never resolve.
#include <string>

namespace tw {

struct TroupePostgresEndpoint {
    std::string baseURL;

    static const TroupePostgresEndpoint production;

    friend bool operator==(const TroupePostgresEndpoint&, const TroupePostgresEndpoint&) = default;
};

inline const TroupePostgresEndpoint TroupePostgresEndpoint::production{"https://troupe.tumblewick.invalid"};

}  // namespace tw
