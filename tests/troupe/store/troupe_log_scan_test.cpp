// Finding a few ids in the log by their text, and a hash of each of the log's blocks.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>

#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/store/troupe_log_block_hashes.h"
#include "troupe/store/troupe_log_id_scan.h"

namespace tw {
namespace {

constexpr std::uint64_t kBlock = TroupeLogBlockHashes::blockBytes;

atomic_file::OpenedFile fileOf(std::string_view bytes) {
    atomic_file::OpenedFile opened;
    opened.fd = ::memfd_create("events.jsonl", MFD_CLOEXEC);
    testing::writeAll(opened.fd, bytes);
    opened.size = bytes.size();
    return opened;
}

// pread, but read number `failing` (from 1) fails with `error`, and read number `stopping` sets the stop.
struct ReadPlan {
    int failing = 0;
    int error = EIO;
    int stopping = 0;
};
TroupeLogReadControl plannedReads(ReadPlan plan, std::atomic<bool>& stop) {
    return {&stop, [plan, &stop, reads = 0](int fd, void* buffer, std::size_t size, off_t at) mutable {
                if (++reads == plan.stopping) stop = true;
                if (reads != plan.failing) return ::pread(fd, buffer, size, at);
                errno = plan.error;
                return ssize_t{-1};
            }};
}

std::string line(const TroupeEvent& event) { return encodeTroupeEventLine(event) + "\n"; }

TEST(TroupeLogIdScan, FindsAnIdOnlyAsTheEventIdOfALineThatDecodes) {
    const TroupeEvent a = testing::milestone(1, 8e8), b = testing::milestone(2, 8e8);
    const std::string la = line(a), lb = line(b), aText = a.id.uuidString();
    std::string lowerA = la;
    for (auto at = la.find(aText), end = at + 36; at < end; ++at)
        lowerA[at] = static_cast<char>(std::tolower(la[at]));
    const Uuid other = Uuid::random();
    TroupeEvent asFlea = testing::milestone(3, 8e8), asDevice = asFlea, asText = asFlea;
    asFlea.payload = TroupeXPEarned{other, 3, TroupeXPSource::click};
    asDevice.deviceId = other;
    asText.payload = TroupeMilestoneEarned{other.uuidString()};
    const std::string overLimit(troupeLogMaxLineBytes + kBlock, ' ');  // then a, too late
    // Another writer's blanks after the key move the id by a byte or three.
    const auto spaced = [](std::string text, std::size_t blanks) {
        return text.insert(text.find("\"id\":") + 5, blanks, ' ');
    };
    struct Row {
        const char* name;
        std::string log;
        std::vector<Uuid> wanted, found;
        std::size_t blockBytes = kBlock;
        ReadPlan reads{};
        bool failed = false, stopped = false;
    };
    const Row rows[] = {
        {"each once, in file order", lb + la + lb, {a.id, other, b.id, a.id}, {b.id, a.id}},
        {"a flea's, a device's, a text", line(asFlea) + line(asDevice) + line(asText), {other}, {}},
        {"lower case", lowerA, {a.id}, {a.id}},
        {"blanks after the key", spaced(la, 1) + spaced(lb, 3), {a.id, b.id}, {a.id, b.id}},
        {"ids across tiny blocks, CR LF",
         la + lb.substr(0, lb.size() - 1) + "\r\n",
         {a.id, b.id},
         {a.id, b.id},
         7},
        {"a last line without newline", la + lb.substr(0, lb.size() - 1), {a.id, b.id}, {a.id, b.id}},
        {"a last line cut short", la + lb.substr(0, lb.size() / 2), {a.id, b.id}, {a.id}},
        {"a line that does not decode", "{\"id\":\"" + aText + "\",\"kind\":\n" + lb, {a.id, b.id}, {b.id}},
        {"a line over the limit", overLimit + la + lb, {a.id, b.id}, {b.id}},
        {"an interrupted read", la, {a.id}, {a.id}, kBlock, {.failing = 1, .error = EINTR}},
        {"a failed read", la + lb, {a.id, b.id}, {a.id}, la.size(), {.failing = 2}, true},
        {"stopped", la + lb, {a.id, b.id}, {a.id}, la.size(), {.stopping = 1}, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::atomic<bool> stop = false;
        const TroupeLogIdScan scan =
            scanTroupeLogForIds(fileOf(row.log), row.wanted, plannedReads(row.reads, stop), row.blockBytes);
        EXPECT_EQ(scan.found, row.found);
        EXPECT_EQ(scan.readError, row.failed ? std::strerror(EIO) : "");
        EXPECT_EQ(scan.stopped, row.stopped);
    }
}

std::string randomBytes(std::mt19937_64& rng, std::uint64_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
}

TroupeLogBlockHashes hashesOf(std::string_view bytes) {
    TroupeLogBlockHashes hashes;
    hashes.append(bytes);
    return hashes;
}

TEST(TroupeLogBlockHashes, AnySplitOfTheSameBytesHashesAlike) {
    const auto seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937_64 rng(seed);
    const std::string bytes = randomBytes(rng, 3 * kBlock + rng() % kBlock / 8 * 8 + 5);  // ends mid-word
    TroupeLogBlockHashes bytewise, pieces;
    for (const char& c : bytes) bytewise.append({&c, 1});
    for (std::size_t at = 0, piece; at < bytes.size(); at += piece) {
        piece = rng() % 4 == 0 ? rng() % (2 * kBlock) : rng() % 20;  // some pieces span blocks
        pieces.append(std::string_view(bytes).substr(at, piece));
    }
    EXPECT_EQ(bytewise, hashesOf(bytes));
    EXPECT_EQ(pieces, hashesOf(bytes));
    EXPECT_EQ(pieces.blocks(), 4u);
}

TEST(TroupeLogBlockHashes, TellsTheFirstBlockThatDiffers) {
    std::mt19937_64 rng(62);
    const std::string bytes = randomBytes(rng, 3 * kBlock + 1001);
    std::string swapped = bytes;  // two words trade places
    std::swap_ranges(swapped.begin() + 16, swapped.begin() + 24, swapped.begin() + 64);
    // Each against `bytes`, with the first block that differs; 2 MiB + 5 ends in a block of each.
    std::vector<std::pair<std::string, std::optional<std::size_t>>> rows = {
        {bytes + "x", std::nullopt},
        {bytes.substr(0, 2 * kBlock), std::nullopt},
        {bytes.substr(0, 2 * kBlock + 5), std::nullopt},
        {"", std::nullopt},
        {swapped, 0}};
    for (const std::uint64_t at :
         {std::uint64_t{0}, kBlock - 1, kBlock, kBlock + kBlock / 2, 3 * kBlock, 3 * kBlock + 1000}) {
        std::string flipped = bytes;
        flipped[at] ^= static_cast<char>(1 << at % 8);
        rows.emplace_back(flipped, at / kBlock);
        if (at < 2 * kBlock) rows.emplace_back(flipped.substr(0, 2 * kBlock + 5), at / kBlock);
    }
    const TroupeLogBlockHashes original = hashesOf(bytes);
    for (const auto& [left, first] : rows) {
        EXPECT_EQ(hashesOf(left).firstDifferentBlock(original), first) << left.size();
        EXPECT_FALSE(hashesOf(left) == original) << left.size();
    }
}

TEST(TroupeLogBlockHashes, AFileHashesAsItsBytesFed) {
    std::mt19937_64 rng(62);
    const std::string bytes = randomBytes(rng, 2 * kBlock + 77);
    const atomic_file::OpenedFile file = fileOf(bytes);
    const struct {
        std::uint64_t size;
        ReadPlan reads;
        std::optional<std::string> read;  // what the hashes are of
    } rows[] = {
        {bytes.size(), {}, bytes},
        {kBlock + 3, {}, bytes.substr(0, kBlock + 3)},
        {bytes.size() + 100, {}, bytes},  // the file is shorter now
        {bytes.size(), {.failing = 2, .error = EINTR}, bytes},
        {bytes.size(), {.failing = 2}, std::nullopt},
        {bytes.size(), {.stopping = 1}, std::nullopt},
    };
    for (const auto& row : rows) {
        std::atomic<bool> stop = false;
        const auto hashes = hashTroupeLogFile(file.fd, row.size, plannedReads(row.reads, stop));
        const auto expected = row.read ? std::optional(hashesOf(*row.read)) : std::nullopt;
        EXPECT_EQ(hashes, expected) << row.size;
    }
}

}  // namespace
}  // namespace tw
