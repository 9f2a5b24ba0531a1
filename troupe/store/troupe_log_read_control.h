#pragma once
// How a read of the troupe log may be cut short, apart from the reader so that what hashes
// or scans the log takes it too.
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <functional>

namespace tw {

// How a read may be cut short. `stop` is checked between blocks: once it is set, the
// read ends with `stopped`. `read` is pread(2) as the reader calls it; tests pass one
// that fails.
struct TroupeLogReadControl {
    using ReadFunction = std::function<ssize_t(int fd, void* buffer, std::size_t size, off_t offset)>;
    const std::atomic<bool>* stop = nullptr;
    ReadFunction read;
};

}  // namespace tw
