#include "platform/json_outline.h"

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
        if (at_ == text_.size() || text_[at_] != '{' || !object(members)) return std::nullopt;
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
    bool scalar() {
        if (at_ == text_.size()) return false;
        switch (text_[at_]) {
            case '"':
                return string();
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
    // A member's key and its colon, up to where its value starts.
    bool memberKey(std::string_view* key) {
        skipSpace();
        const std::size_t keyStart = at_;
        if (!string()) return false;
        if (key != nullptr) *key = text_.substr(keyStart, at_ - keyStart);
        skipSpace();
        if (!consume(':')) return false;
        skipSpace();
        return true;
    }
    // One whole value, however deep: open containers are kept on a stack of the
    // brackets that close them rather than by recursion, so no nesting can exhaust
    // the call stack.
    bool value() {
        std::vector<char> closers;
        for (;;) {
            skipSpace();
            if (at_ == text_.size()) return false;
            const char c = text_[at_];
            if (c == '{' || c == '[') {
                const char closer = c == '{' ? '}' : ']';
                ++at_;
                skipSpace();
                if (!consume(closer)) {
                    closers.push_back(closer);
                    if (closer == '}' && !memberKey(nullptr)) return false;
                    continue;
                }
            } else if (!scalar()) {
                return false;
            }
            // A value ended: close what it ends, or step to the next element.
            for (;;) {
                if (closers.empty()) return true;
                skipSpace();
                if (consume(closers.back())) {
                    closers.pop_back();
                    continue;
                }
                if (!consume(',')) return false;
                if (closers.back() == '}' && !memberKey(nullptr)) return false;
                break;
            }
        }
    }
    bool object(std::vector<JsonMemberText>& members) {
        ++at_;
        skipSpace();
        if (consume('}')) return true;
        for (;;) {
            std::string_view key;
            if (!memberKey(&key)) return false;
            const std::size_t valueStart = at_;
            if (!value()) return false;
            members.push_back({key, text_.substr(valueStart, at_ - valueStart)});
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
