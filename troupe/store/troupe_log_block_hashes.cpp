#include "troupe/store/troupe_log_block_hashes.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tw {

TroupeLogBlockHashes::TroupeLogBlockHashes() { XXH3_64bits_reset(&current_); }

void TroupeLogBlockHashes::append(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto run =
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), blockBytes - size_ % blockBytes));
        XXH3_64bits_update(&current_, bytes.data(), run);
        size_ += run;
        bytes.remove_prefix(run);
        if (size_ % blockBytes == 0) {
            whole_.push_back(XXH3_64bits_digest(&current_));
            XXH3_64bits_reset(&current_);
        }
    }
}

void TroupeLogBlockHashes::dropFrom(std::uint64_t size) {
    if (size >= size_) return;
    whole_.resize(static_cast<std::size_t>(size / blockBytes));
    size_ = whole_.size() * blockBytes;
    XXH3_64bits_reset(&current_);
}

// A partial block's hash is taken of its bytes so far; XXH3 counts their length in.
std::uint64_t TroupeLogBlockHashes::hashOf(std::size_t block) const {
    return block < whole_.size() ? whole_[block] : XXH3_64bits_digest(&current_);
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

bool hashTroupeLogFileOn(TroupeLogBlockHashes& hashes, int fd, std::uint64_t to, std::uint64_t budget,
                         const TroupeLogReadControl& control, std::uint64_t offset) {
    const auto readAt = control.read ? control.read : TroupeLogReadControl::ReadFunction(::pread);
    const std::uint64_t end = hashes.size() + std::min(budget, to - std::min(to, hashes.size()));
    // A block at a time stays in the cache between the copy and the hash.
    std::vector<char> buffer(std::min(end - hashes.size(), TroupeLogBlockHashes::blockBytes));
    while (hashes.size() < end) {
        if (control.stop != nullptr && control.stop->load(std::memory_order_relaxed)) return false;
        const ssize_t got =
            readAt(fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), end - hashes.size()),
                   static_cast<off_t>(offset + hashes.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;  // the file is shorter now
        hashes.append({buffer.data(), static_cast<std::size_t>(got)});
    }
    return true;
}

std::optional<std::uint64_t> hashTroupeLogBlock(int fd, std::size_t block, std::uint64_t size,
                                                const TroupeLogReadControl& control) {
    const std::uint64_t from = block * TroupeLogBlockHashes::blockBytes;
    const std::uint64_t to = std::min(size, from + TroupeLogBlockHashes::blockBytes);
    // A block's bytes hash alike wherever they start: fed from the block's start.
    TroupeLogBlockHashes bytes;
    if (from >= to || !hashTroupeLogFileOn(bytes, fd, to - from, to - from, control, from) ||
        bytes.size() != to - from)
        return std::nullopt;
    return bytes.hashOf(0);
}

std::optional<TroupeLogBlockHashes> hashTroupeLogFile(int fd, std::uint64_t size,
                                                      const TroupeLogReadControl& control) {
    TroupeLogBlockHashes hashes;
    if (!hashTroupeLogFileOn(hashes, fd, size, size, control)) return std::nullopt;
    return hashes;
}

}  // namespace tw
