#include "platform/unicode.h"

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>

#include "platform/log.h"

namespace tw::unicode {

namespace {

bool isValidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t i = 0;
    while (i < length) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

icu::UnicodeString toUnicode(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// ICU's conversion substitutes U+FFFD for each maximal invalid subsequence.
std::string replacingInvalidSequences(std::string_view text) { return toUtf8(toUnicode(text)); }

// Either the text itself (already valid) or its repaired copy kept in `storage`.
std::string_view repaired(std::string_view text, std::string& storage) {
    if (isValidUtf8(text)) return text;
    storage = replacingInvalidSequences(text);
    return storage;
}

// One character break iterator per thread: creating one loads rule data.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            log::warning(std::string("Could not create grapheme break iterator: ") + u_errorName(status));
            created.reset();
        }
        return created;
    }();
    return iterator.get();
}

// Byte offset just past the first `count` grapheme clusters of valid UTF-8 text
// (the whole length when there are fewer), and how many clusters were passed.
struct GraphemeWalk {
    std::size_t endOffset = 0;
    std::size_t clusters = 0;
};

GraphemeWalk walkGraphemes(std::string_view text, std::size_t limit) {
    GraphemeWalk walk;
    if (text.empty() || limit == 0) return walk;
    // ASCII without CR is one cluster per byte; CR LF is the only ASCII pair that joins.
    if (isAscii(text) && text.find('\r') == std::string_view::npos) {
        walk.clusters = std::min(limit, text.size());
        walk.endOffset = walk.clusters;
        return walk;
    }
    icu::BreakIterator* iterator = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status);
    if (iterator == nullptr || U_FAILURE(status)) {
        utext_close(utext);
        // Without ICU data, fall back to code points so callers still get a bound.
        std::int32_t i = 0;
        const auto length = static_cast<std::int32_t>(text.size());
        while (i < length && walk.clusters < limit) {
            U8_FWD_1(text.data(), i, length);
            ++walk.clusters;
        }
        walk.endOffset = static_cast<std::size_t>(i);
        return walk;
    }
    iterator->setText(utext, status);
    std::int32_t boundary = iterator->first();
    while (walk.clusters < limit) {
        const std::int32_t next = iterator->next();
        if (next == icu::BreakIterator::DONE) break;
        boundary = next;
        ++walk.clusters;
    }
    walk.endOffset = static_cast<std::size_t>(boundary);
    // Detach from the caller's text before it goes away.
    UText* empty = utext_openUTF8(nullptr, "", 0, &status);
    iterator->setText(empty, status);
    utext_close(empty);
    utext_close(utext);
    return walk;
}

std::string normalize(std::string_view text, const icu::Normalizer2* (*instance)(UErrorCode&)) {
    std::string storage;
    const std::string_view valid = repaired(text, storage);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = instance(status);
    if (U_FAILURE(status) || normalizer == nullptr) {
        log::warning(std::string("Unicode normalizer unavailable: ") + u_errorName(status));
        return std::string(valid);
    }
    const icu::StringPiece piece(valid.data(), static_cast<std::int32_t>(valid.size()));
    if (normalizer->isNormalizedUTF8(piece, status) && U_SUCCESS(status)) return std::string(valid);
    status = U_ZERO_ERROR;
    std::string out;
    icu::StringByteSink<std::string> sink(&out);
    normalizer->normalizeUTF8(0, piece, sink, nullptr, status);
    if (U_FAILURE(status)) {
        log::warning(std::string("Unicode normalization failed: ") + u_errorName(status));
        return std::string(valid);
    }
    return out;
}

// Root-locale case mapping; ASCII text is mapped byte by byte without ICU.
std::string caseMapped(std::string_view text, bool upper) {
    std::string storage;
    const std::string_view valid = repaired(text, storage);
    if (isAscii(valid)) {
        const char first = upper ? 'a' : 'A';
        const char last = upper ? 'z' : 'Z';
        std::string out(valid);
        for (char& c : out) {
            if (c >= first && c <= last) c = static_cast<char>(c ^ 0x20);  // ASCII letters differ in one bit
        }
        return out;
    }
    icu::UnicodeString mapped = toUnicode(valid);
    return toUtf8(upper ? mapped.toUpper(icu::Locale::getRoot()) : mapped.toLower(icu::Locale::getRoot()));
}

}  // namespace

std::string repairUtf8(std::string_view text) {
    if (isValidUtf8(text)) return std::string(text);
    return replacingInvalidSequences(text);
}

std::size_t graphemeCount(std::string_view text) {
    std::string storage;
    return walkGraphemes(repaired(text, storage), text.size() + 1).clusters;
}

std::string graphemePrefix(std::string_view text, std::size_t count) {
    std::string storage;
    const std::string_view valid = repaired(text, storage);
    return std::string(valid.substr(0, walkGraphemes(valid, count).endOffset));
}

std::string nfc(std::string_view text) { return normalize(text, &icu::Normalizer2::getNFCInstance); }

std::string nfd(std::string_view text) { return normalize(text, &icu::Normalizer2::getNFDInstance); }

bool canonicallyEqual(std::string_view a, std::string_view b) { return nfd(a) == nfd(b); }

std::string lowercased(std::string_view text) { return caseMapped(text, false); }

std::string uppercased(std::string_view text) { return caseMapped(text, true); }

std::string trimmed(std::string_view text) {
    std::string storage;
    const std::string_view valid = repaired(text, storage);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(valid.data());
    const auto length = static_cast<std::int32_t>(valid.size());

    std::int32_t start = 0;
    while (start < length) {
        std::int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        start = next;
    }
    std::int32_t end = length;
    while (end > start) {
        std::int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, start, previous, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return std::string(valid.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

}  // namespace tw::unicode
