#include "troupe/store/troupe_log_block_hashes.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace tw {

namespace {

std::uint64_t load(const char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// A bijection of the word for any state and of the state for any word: a change to any
// one word of a block always changes its hash.
std::uint64_t mixWord(std::uint64_t state, std::uint64_t word) {
    return std::rotl(state ^ word * 0x9E3779B97F4A7C15ULL, 29) * 0xD6E8FEB86659FD93ULL;
}

// With the block's length: the zeros padding a partial block's last word are not its bytes.
std::uint64_t finish(std::uint64_t state, std::uint64_t bytes) { return spreadHash(mixWord(state, bytes)); }

}  // namespace

void TroupeLogBlockHashes::append(std::string_view bytes) {
    if (bytes.empty()) return;
    if (pendingBytes_ != 0) {
        const std::size_t taken = std::min(pending_.size() - pendingBytes_, bytes.size());
        std::memcpy(pending_.data() + pendingBytes_, bytes.data(), taken);
        pendingBytes_ += taken;
        bytes.remove_prefix(taken);
        if (pendingBytes_ < pending_.size()) return;
        pendingBytes_ = 0;
        hashWords({pending_.data(), pending_.size()});
    }
    const std::size_t whole = bytes.size() / pending_.size() * pending_.size();
    hashWords(bytes.substr(0, whole));
    bytes.remove_prefix(whole);
    std::memcpy(pending_.data(), bytes.data(), bytes.size());
    pendingBytes_ = bytes.size();
}

void TroupeLogBlockHashes::hashWords(std::string_view words) {
    while (!words.empty()) {
        const std::size_t run = static_cast<std::size_t>(
            std::min<std::uint64_t>(words.size(), blockBytes - hashed_ % blockBytes));
        std::uint64_t state = state_;
        for (std::size_t at = 0; at < run; at += sizeof state)
            state = mixWord(state, load(words.data() + at));
        state_ = state;
        hashed_ += run;
        words.remove_prefix(run);
        if (hashed_ % blockBytes == 0) {
            whole_.push_back(finish(state_, blockBytes));
            state_ = kHashSeed;
        }
    }
}

std::uint64_t TroupeLogBlockHashes::hashOf(std::size_t block) const {
    if (block < whole_.size()) return whole_[block];
    std::uint64_t state = state_;
    if (pendingBytes_ != 0) {
        std::array<char, 8> word{};  // zeros after the bytes: the length tells them apart
        std::memcpy(word.data(), pending_.data(), pendingBytes_);
        state = mixWord(state, load(word.data()));
    }
    return finish(state, size() - whole_.size() * blockBytes);
}

std::optional<std::size_t> TroupeLogBlockHashes::firstDifferentBlock(
    const TroupeLogBlockHashes& other) const {
    const std::uint64_t common = std::min(size(), other.size());
    const auto wholeInBoth = static_cast<std::size_t>(common / blockBytes);
    const auto differing = std::mismatch(
        whole_.begin(), whole_.begin() + static_cast<std::ptrdiff_t>(wholeInBoth), other.whole_.begin());
    if (differing.first != whole_.begin() + static_cast<std::ptrdiff_t>(wholeInBoth))
        return static_cast<std::size_t>(differing.first - whole_.begin());
    const bool partialInBoth = size() == other.size() && common % blockBytes != 0;
    if (partialInBoth && hashOf(wholeInBoth) != other.hashOf(wholeInBoth)) return wholeInBoth;
    return std::nullopt;
}

bool operator==(const TroupeLogBlockHashes& a, const TroupeLogBlockHashes& b) {
    return a.size() == b.size() && !a.firstDifferentBlock(b);
}

std::size_t TroupeLogBlockHashes::blocks() const {
    return static_cast<std::size_t>((size() + blockBytes - 1) / blockBytes);
}

std::size_t TroupeLogBlockHashes::memoryBytes() const {
    return sizeof *this + whole_.capacity() * sizeof(std::uint64_t);
}

std::optional<TroupeLogBlockHashes> hashTroupeLogFile(int fd, std::uint64_t size,
                                                      const TroupeLogReadControl& control) {
    TroupeLogBlockHashes hashes;
    const auto readAt = control.read ? control.read : TroupeLogReadControl::ReadFunction(::pread);
    // A block at a time stays in the cache between the copy and the hash.
    std::vector<char> buffer(std::min(size, TroupeLogBlockHashes::blockBytes));
    while (hashes.size() < size) {
        if (control.stop != nullptr && control.stop->load(std::memory_order_relaxed)) return std::nullopt;
        const ssize_t got =
            readAt(fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), size - hashes.size()),
                   static_cast<off_t>(hashes.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;  // the file is shorter now
        hashes.append({buffer.data(), static_cast<std::size_t>(got)});
    }
    return hashes;
}

}  // namespace tw
