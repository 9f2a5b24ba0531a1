#include "platform/json_outline.h"

#include "platform/json_document.h"

namespace tw {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Steps over one token or value at a time; each step is false on text JSON's grammar
// does not allow. Bytes of strings are taken as they are: a parser judges them.
class OutlineScanner {
   public:
    explicit OutlineScanner(std::string_view text) : text_(text) {}

    bool atEnd() {
        skipSpace();
        return at_ == text_.size();
    }
    void skipByteOrderMark() {
        if (text_.starts_with("\xEF\xBB\xBF")) at_ = 3;
    }
    // The members of the object that starts here; nullopt when there is none.
    std::optional<std::vector<JsonMemberText>> objectMembers() {
        std::vector<JsonMemberText> members;
        skipSpace();
        if (at_ == text_.size() || text_[at_] != '{' || !object(1, &members)) return std::nullopt;
        return members;
    }

   private:
    void skipSpace() {
        while (at_ < text_.size() && isSpace(text_[at_])) ++at_;
    }
    bool consume(char c) {
        if (at_ == text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool word(std::string_view expected) {
        if (text_.substr(at_, expected.size()) != expected) return false;
        at_ += expected.size();
        return true;
    }
    bool digits() {
        const std::size_t start = at_;
        while (at_ < text_.size() && isDigit(text_[at_])) ++at_;
        return at_ > start;
    }
    bool number() {
        consume('-');
        if (!consume('0') && !digits()) return false;
        if (consume('.') && !digits()) return false;
        if (consume('e') || consume('E')) {
            if (!consume('+')) consume('-');
            if (!digits()) return false;
        }
        return true;
    }
    bool string() {
        if (!consume('"')) return false;
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (at_ == text_.size()) return false;
            const char escaped = text_[at_++];
            if (escaped == 'u') {
                for (int i = 0; i < 4; ++i) {
                    if (at_ == text_.size() || !isHexDigit(text_[at_])) return false;
                    ++at_;
                }
            } else if (std::string_view("\"\\/bfnrt").find(escaped) == std::string_view::npos) {
                return false;
            }
        }
        return false;
    }
    bool value(int depth) {
        if (at_ == text_.size()) return false;
        switch (text_[at_]) {
            case '"':
                return string();
            case '{':
                return object(depth + 1, nullptr);
            case '[':
                return array(depth + 1);
            case 't':
                return word("true");
            case 'f':
                return word("false");
            case 'n':
                return word("null");
            default:
                return number();
        }
    }
    bool array(int depth) {
        if (depth > kJsonMaxNestingDepth) return false;
        ++at_;
        skipSpace();
        if (consume(']')) return true;
        for (;;) {
            skipSpace();
            if (!value(depth)) return false;
            skipSpace();
            if (consume(']')) return true;
            if (!consume(',')) return false;
        }
    }
    bool object(int depth, std::vector<JsonMemberText>* members) {
        if (depth > kJsonMaxNestingDepth) return false;
        ++at_;
        skipSpace();
        if (consume('}')) return true;
        for (;;) {
            skipSpace();
            const std::size_t keyStart = at_;
            if (!string()) return false;
            const std::string_view key = text_.substr(keyStart, at_ - keyStart);
            skipSpace();
            if (!consume(':')) return false;
            skipSpace();
            const std::size_t valueStart = at_;
            if (!value(depth)) return false;
            if (members != nullptr) members->push_back({key, text_.substr(valueStart, at_ - valueStart)});
            skipSpace();
            if (consume('}')) return true;
            if (!consume(',')) return false;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<JsonMemberText>> jsonObjectMembers(std::string_view text) {
    OutlineScanner scanner(text);
    scanner.skipByteOrderMark();
    auto members = scanner.objectMembers();
    if (!members || !scanner.atEnd()) return std::nullopt;
    return members;
}

}  // namespace tw
