#include "platform/url_user_info.h"

#include <algorithm>
#include <string>

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

// Whether the text holds a fullwidth or small commercial at ("＠", "﹫"), raw or
// percent-encoded: a URL reader may take either for the "@" that ends the user information.
bool holdsAtLookalike(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto hex = [&](std::size_t at) {
            const char c = at < text.size() ? text[at] : '\0';
            return (c >= '0' && c <= '9')   ? c - '0'
                   : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                   : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                            : -1;
        };
        if (text[i] == '%' && hex(i + 1) >= 0 && hex(i + 2) >= 0) {
            decoded += static_cast<char>(hex(i + 1) * 16 + hex(i + 2));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded.find("\xEF\xBC\xA0") != std::string::npos ||
           decoded.find("\xEF\xB9\xAB") != std::string::npos;
}

}  // namespace

std::string withoutUserInfo(std::string_view url) {
    const std::size_t start = authorityStart(url);
    const std::string withheld =
        std::string(url.substr(0, start)) + "(address withheld: it may hold a password)";
    if (holdsAtLookalike(url.substr(start))) return withheld;
    const std::size_t at = url.rfind('@');
    if (at == std::string_view::npos || at < start) return std::string(url);
    // The host never holds an "@", so an "@" before the first "/?#" ends the user
    // information; one after it may sit in the path or query, or in a raw password.
    if (url.find_first_of("/?#", start) < at) return withheld;
    return std::string(url.substr(0, start)).append(url.substr(at + 1));
}

}  // namespace tw
