#pragma once
// A hash of each mebibyte of the troupe log. It guards against other programs' accidental
// changes, not against bytes made to collide.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "troupe/store/troupe_log_read_control.h"

// The streaming state's layout, so that it is held by value.
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

namespace tw {

// Hashes of a file's bytes in fixed blocks, fed in order as they are read or written, so that
// a later read of the same file can tell which blocks changed without decoding anything.
class TroupeLogBlockHashes {
   public:
    static constexpr std::uint64_t blockBytes = std::uint64_t{1} << 20;

    TroupeLogBlockHashes();

    // The file's next bytes. However the bytes are split, the hashes are the same.
    void append(std::string_view bytes);
    std::uint64_t size() const { return size_; }  // bytes fed so far
    // Back to the whole blocks before `size`: the bytes from there on are to be fed again.
    void dropFrom(std::uint64_t size);
    // The first block that differs from `other` over the bytes both cover (nullopt: none).
    // Sizes may differ: a block that either holds only in part is compared when both hold
    // the same bytes of it, and passed over otherwise.
    std::optional<std::size_t> firstDifferentBlock(const TroupeLogBlockHashes& other) const;
    // The same size, and no block differs.
    friend bool operator==(const TroupeLogBlockHashes&, const TroupeLogBlockHashes&);
    // The blocks the bytes fall in, the last perhaps partial.
    std::size_t blocks() const;
    // The hash of `block`'s bytes (so far, for the last): what hashTroupeLogBlock gives.
    std::uint64_t hashOf(std::size_t block) const;
    std::size_t memoryBytes() const;

   private:
    std::vector<std::uint64_t> whole_;  // a hash a whole block
    XXH3_state_t current_;              // the last block's bytes so far
    std::uint64_t size_ = 0;
};

// Feeds `hashes` the next bytes of the file open on `fd` (from `offset` on), up to `to` and
// `budget` bytes at most, read in blocks with control.read/stop. False when a read failed or
// was stopped; a file now shorter ends it early.
bool hashTroupeLogFileOn(TroupeLogBlockHashes& hashes, int fd, std::uint64_t to, std::uint64_t budget,
                         const TroupeLogReadControl& control, std::uint64_t offset = 0);
// The hash of `block` of the file open on `fd`, up to `size` (the file's as hashed), read
// with control.read; nullopt when the read failed, came short or was stopped.
std::optional<std::uint64_t> hashTroupeLogBlock(int fd, std::size_t block, std::uint64_t size,
                                                const TroupeLogReadControl& control);
// The hashes of the file open on `fd` up to `size`, read in blocks with control.read/stop;
// nullopt when a read failed or was stopped. A file now shorter gives what it holds.
std::optional<TroupeLogBlockHashes> hashTroupeLogFile(int fd, std::uint64_t size,
                                                      const TroupeLogReadControl& control);

}  // namespace tw
