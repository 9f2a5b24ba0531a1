#include "platform/url_user_info.h"

#include <algorithm>

namespace tw {

std::string withoutUserInfo(std::string_view url) {
    const std::size_t schemeEnd = url.find("://");
    const std::size_t authorityStart = schemeEnd == std::string_view::npos ? 0 : schemeEnd + 3;
    const std::size_t authorityEnd = std::min(url.find_first_of("/?#", authorityStart), url.size());
    // The host never holds an "@", so the last one ends the user information.
    const std::size_t at = url.substr(0, authorityEnd).rfind('@');
    if (at == std::string_view::npos || at < authorityStart) return std::string(url);
    return std::string(url.substr(0, authorityStart)).append(url.substr(at + 1));
}

}  // namespace tw
