#include "platform/url_user_info.h"

#include <algorithm>

namespace tw {

namespace {

bool isSchemeCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

// Where the authority starts: after "scheme://", or at the start when the URL has no scheme
// ("://" further on may sit in a password or a query).
std::size_t authorityStart(std::string_view url) {
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) return 0;
    const std::string_view scheme = url.substr(0, schemeEnd);
    return std::all_of(scheme.begin(), scheme.end(), isSchemeCharacter) ? schemeEnd + 3 : 0;
}

}  // namespace

std::string withoutUserInfo(std::string_view url) {
    const std::size_t start = authorityStart(url);
    const std::size_t at = url.rfind('@');
    if (at == std::string_view::npos || at < start) return std::string(url);
    // The host never holds an "@", so an "@" before the first "/?#" ends the user
    // information; one after it may sit in the path or query, or in a raw password.
    if (url.find_first_of("/?#", start) < at)
        return std::string(url.substr(0, start)) + "(address withheld: it may hold a password)";
    return std::string(url.substr(0, start)).append(url.substr(at + 1));
}

}  // namespace tw
