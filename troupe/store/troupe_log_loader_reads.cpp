#include "troupe/store/troupe_log_loader_reads.h"

#include <algorithm>
#include <stdexcept>

#include "platform/log.h"
#include "troupe/store/troupe_job_failure.h"

namespace tw {

void TroupeLogLoader::Shared::announce() {
    std::lock_guard lock(mutex);
    ready.notify_all();
    if (mainQueue == nullptr) return;
    mainQueue->post([weak = weak_from_this()] {
        if (auto s = weak.lock(); s && s->owner) s->owner->takeNews();
    });
}

void TroupeLogLoader::Shared::post(std::uint64_t generation, TroupeLogLoad load) {
    {
        std::lock_guard lock(mutex);
        results.emplace_back(generation, std::move(load));
    }
    announce();
}

void TroupeLogLoader::Shared::say(const std::string& line) {
    std::lock_guard lock(mutex);
    if (mainQueue != nullptr) log::system(line);
}

void TroupeLogLoader::Shared::submit(std::function<void()> job) {
    std::lock_guard lock(mutex);
    if (!reads) return;
    ++jobsAsked;
    reads->execute([weak = weak_from_this(), job = std::move(job)] {
        job();
        if (auto self = weak.lock()) {
            std::lock_guard lock(self->mutex);
            ++self->jobsDone;
            self->ready.notify_all();
        }
    });
}

// Each block is indexed and folded as it is decoded, through a short window that puts
// lines a little out of the fold's order (as a log is written) in place; only a log with
// a line far out of place is read again and held whole to be sorted. Nothing half-read
// is kept: a stopped read has no fold.
TroupeLogLoad readAndFoldTroupeLog(const atomic_file::OpenedFile& opened, std::string unusable, Date tailFrom,
                                   const TroupeLogReadControl& control) {
    TroupeLogLoad load;
    load.index = std::make_unique<TroupeEventIndex>();
    load.live = std::make_unique<TroupeLiveFold>(tailFrom);
    load.log = std::make_unique<TroupeLoadedLog>();
    load.log->readError = std::move(unusable);
    bool inOrder = true;
    if (opened.status == atomic_file::ReadStatus::ok) {
        TroupeLiveFold& live = *load.live;
        *load.log = readTroupeLogBlocks(
            opened, 0, load.index.get(),
            [&](std::vector<std::optional<TroupeEvent>>& events, const std::vector<std::uint64_t>&,
                const std::vector<bool>& seenBefore) {
                for (std::size_t i = 0; i < events.size() && inOrder; ++i) {
                    if (events[i]) inOrder = live.take(std::move(*events[i]), seenBefore[i]);
                }
            },
            control);
    }
    if (!load.log->stopped && inOrder) {
        load.live->finishTaking();
    } else if (!load.log->stopped) {
        load.live.reset();
        TroupeLoadedLog again =
            readTroupeLog(opened, troupeLogMaxLineBytes, troupeLogReadBlockBytes, control);
        if (!again.readError.empty())
            throw std::runtime_error("cannot read the log again: " + again.readError);
        load.log->stopped = again.stopped;
        if (!again.stopped) load.live = std::make_unique<TroupeLiveFold>(std::move(again.events), tailFrom);
    }
    if (load.log->stopped) {
        load.live.reset();
        load.index.reset();
    }
    // A read that failed part way still read a file of that size: not a change to look into.
    if (!load.log->readError.empty() && opened.status == atomic_file::ReadStatus::ok) {
        load.log->endOffset = opened.size;
        load.log->tail.clear();
    }
    load.nextOffset = load.log->endOffset + (load.log->endsWithNewline ? 0 : 1);
    return load;
}

TroupeLogLoad nothingReadFromTroupeLog() {
    TroupeLogLoad load;
    load.first = false;
    return load;
}

namespace {

constexpr std::chrono::milliseconds kLastRetry{30000};

// A reconcile up to `cut`: the file folded, and this run's events it lacks put back (unless
// it changed since the cut). The ledger is read and its lines decoded outside the mutex,
// which the main thread takes for news. What fails is said in `error`, with nothing read.
TroupeLogLoad reconcileUpTo(const TroupeLogCut& cut, Date tailFrom, TroupeLogLoader::Shared& shared,
                            std::string& error) {
    TroupeLogLoad load = nothingReadFromTroupeLog();
    if (auto failure = failureOf([&] {
            if (cut.file.status != atomic_file::ReadStatus::ok)
                throw std::runtime_error("the log cannot be opened");
            load = readAndFoldTroupeLog(cut.file, {}, tailFrom, shared.control());
            load.first = false;
            if (!load.log->readError.empty()) throw std::runtime_error(load.log->readError);
            if (!load.live) return;  // stopped
            std::shared_ptr<const TroupeRunLedger> ledger;
            {
                std::lock_guard lock(shared.mutex);
                ledger = shared.ledger;
            }
            if (!ledger) return;
            TroupeRunLedger::Comparison comparison =
                ledger->compareWith(*load.index, cut.ledgerEntries, cut.file.size);
            // This run's events the read did not find, whether written again or looked for
            // past where it reached, are folded on top.
            const auto decoded = [](const TroupeRunLedger::Line& line) {
                return decodeTroupeLogLine(std::string_view(line.text).substr(0, line.text.size() - 1));
            };
            for (const auto& line : comparison.missing) load.missing.push_back(decoded(line));
            for (const auto& [line, offset] : comparison.unreached) load.missing.push_back(decoded(line));
            std::lock_guard lock(shared.mutex);
            if (shared.writer)
                shared.writer->writeAgain(std::move(comparison), cut.changes, load.log->hashes);
        })) {
        error = *failure;
        load = nothingReadFromTroupeLog();
    }
    return load;
}

}  // namespace

void reconcileTroupeLog(const std::weak_ptr<TroupeLogLoader::Shared>& weak, std::uint64_t generation,
                        Date tailFrom, std::chrono::milliseconds retryIn) {
    auto shared = weak.lock();
    if (!shared) return;
    shared->submit([weak, generation, tailFrom, retryIn] {
        auto shared = weak.lock();
        if (!shared) return;
        TroupeLogWriter* writer = nullptr;
        {
            std::lock_guard lock(shared->mutex);
            writer = shared->writer;
        }
        // The writer outlives what runs here, up to a read that is left to end on its own.
        if (writer == nullptr || shared->over()) return shared->post(generation, nothingReadFromTroupeLog());
        writer->waitForQuiet(TroupeLogLoader::quiet, shared->stopRequested);
        const auto read = [weak, generation, tailFrom, retryIn](const std::shared_ptr<TroupeLogCut>& cut) {
            auto shared = weak.lock();
            if (!shared) return;
            std::string error;
            TroupeLogLoad load = reconcileUpTo(*cut, tailFrom, *shared, error);
            if (!error.empty() && !shared->backingOff.exchange(true))
                shared->say("Cannot read the troupe log again: " + error + "; trying again in a while");
            if (error.empty() || shared->over()) {
                shared->backingOff = false;
                return shared->post(generation, std::move(load));
            }
            {
                std::unique_lock lock(shared->mutex);
                shared->ready.wait_for(lock, retryIn, [&] { return shared->over(); });
            }
            if (shared->over()) return shared->post(generation, nothingReadFromTroupeLog());
            reconcileTroupeLog(weak, generation, tailFrom, std::min(retryIn * 2, kLastRetry));
        };
        writer->cut(
            [weak, read](TroupeLogCut taken) {
                auto shared = weak.lock();
                if (!shared) return;
                auto cut = std::make_shared<TroupeLogCut>(std::move(taken));
                shared->submit([read, cut] { read(cut); });
            },
            // No cut, no read: the snapshot stays as it was, and a settle waits no more.
            [weak, generation](const std::string&) {
                if (auto shared = weak.lock()) shared->post(generation, nothingReadFromTroupeLog());
            });
    });
}

void readAppendedToTroupeLog(TroupeLogLoader::Shared& shared, const TroupeLogAppended& appended) {
    TroupeLogLoad load = nothingReadFromTroupeLog();
    load.appendedOnly = true;
    const std::uint64_t end = appended.file.size;
    if (auto error = failureOf([&] {
            TroupeLoadedLog log = readTroupeLogBlocks(
                appended.file, appended.from, nullptr,
                [&](std::vector<std::optional<TroupeEvent>>& events,
                    const std::vector<std::uint64_t>& offsets, const std::vector<bool>&) {
                    for (std::size_t i = 0; i < events.size(); ++i)
                        if (events[i]) load.appended.emplace_back(std::move(*events[i]), offsets[i]);
                },
                shared.control());
            if (!log.readError.empty()) throw std::runtime_error(log.readError);
            // Fewer bytes than were seen appended: not the file they were seen in, or cut since.
            if (!log.stopped && log.endOffset < end)
                throw std::runtime_error("it ends before the lines seen");
        })) {
        // Read whole instead, as any change is.
        std::lock_guard lock(shared.mutex);
        shared.changed = true;
        load = nothingReadFromTroupeLog();
    } else {
        load.nextOffset = end;
        load.appendedBytes = end - appended.from;
        load.changes = appended.changes;
        std::lock_guard lock(shared.mutex);
        shared.appended.push_back(std::move(load));
    }
    shared.announce();
}

}  // namespace tw
