#include "troupe/event_model/troupe_value_ops.h"

#include "platform/unicode.h"
#include "troupe/event_model/troupe_value_rules.h"

namespace tw {

bool CanonicalTextLess::normalizedLess(std::string_view a, std::string_view b) {
    // unicode::nfc repairs invalid UTF-8 first, so every text has exactly one key.
    std::string storageA;
    std::string storageB;
    std::string_view keyA = a;
    std::string_view keyB = b;
    if (!troupe_rules::isAscii(a)) keyA = storageA = unicode::nfc(a);
    if (!troupe_rules::isAscii(b)) keyB = storageB = unicode::nfc(b);
    return keyA < keyB;
}

}  // namespace tw

namespace tw::troupe_ops {

bool textSetEqual(const TroupeTextSet& a, const TroupeTextSet& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), troupe_rules::textEqual);
}

std::size_t hashTextSet(const TroupeTextSet& set) {
    // Equal sets list their equivalence classes in the same order, and the hasher
    // normalizes each member, so feeding them in order agrees with textSetEqual.
    troupe_rules::TroupeHasher hasher;
    hasher.word(set.size());
    for (const auto& s : set) hasher.text(s);
    return hasher.value();
}

}  // namespace tw::troupe_ops
