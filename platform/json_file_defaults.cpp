// A defaults suite kept in memory and saved as one JSON file by a writer thread.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <set>
#include <thread>

#include "platform/defaults.h"
#include "platform/defaults_file_format.h"
#include "platform/log.h"
#include "platform/paths.h"

namespace tw {

namespace fs = std::filesystem;

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string errnoText(int error) { return std::strerror(error); }

// Closes a descriptor on every path out.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

enum class ReadStatus { ok, missing, failed };

// Reads the whole file; `failed` covers permission errors, I/O errors and directories.
ReadStatus readWholeFile(const fs::path& file, std::string& text, std::string& why) {
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0) {
        if (errno == ENOENT) return ReadStatus::missing;
        why = errnoText(errno);
        return ReadStatus::failed;
    }
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0) {
        why = errnoText(errno);
        return ReadStatus::failed;
    }
    if (!S_ISREG(info.st_mode)) {
        why = "not a regular file";
        return ReadStatus::failed;
    }
    text.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd.fd, buffer, sizeof buffer);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            why = errnoText(errno);
            return ReadStatus::failed;
        }
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return ReadStatus::ok;
}

// Moves an unparseable file out of the way under a name no earlier copy uses.
bool setAside(const fs::path& file) {
    const auto unixSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const std::string base = file.string() + ".corrupt-" + std::to_string(unixSeconds);
    std::string target = base;
    std::error_code error;
    for (int n = 1; fs::exists(target, error) && n < 1000; ++n) target = base + "-" + std::to_string(n);
    fs::rename(file, target, error);
    if (error) {
        log::warning("Defaults: could not move the unreadable " + file.string() +
                     " aside: " + error.message());
        return false;
    }
    log::warning("Defaults: " + file.string() + " could not be parsed; moved it to " + target +
                 " and started empty");
    return true;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

bool isFinite(const DefaultsValue& value) {
    if (const auto* d = std::get_if<double>(&value)) return std::isfinite(*d);
    if (const auto* date = std::get_if<Date>(&value)) return std::isfinite(date->seconds);
    return true;
}

}  // namespace

struct JsonFileDefaults::Writer {
    fs::path file;
    double coalesceSeconds = 1.0;

    mutable std::mutex mutex;  // guards the fields up to `thread`
    std::condition_variable changed;
    std::map<std::string, DefaultsValue> values;
    std::map<std::string, OrderedJson> unreadable;  // entries kept verbatim for later builds
    std::set<std::string> dirty;                    // set or removed since the last write
    bool readOnly = false;
    bool pending = false;
    bool stopping = false;
    SteadyClock::time_point deadline;

    std::mutex io;  // one write at a time: the writer thread or flush()
    std::thread thread;

    void load();
    // Sets (or, given nullopt, removes) one key and schedules a coalesced write.
    void change(const std::string& key, std::optional<DefaultsValue> value);
    bool write();
    bool writeFile(const std::string& text);
    void run();
};

void JsonFileDefaults::Writer::load() {
    std::string text;
    std::string why;
    switch (readWholeFile(file, text, why)) {
        case ReadStatus::missing:
            return;
        case ReadStatus::failed:
            readOnly = true;
            log::warning("Defaults: cannot read " + file.string() + " (" + why +
                         "); keeping this suite read-only so nothing is overwritten");
            return;
        case ReadStatus::ok:
            break;
    }
    try {
        auto contents = defaults_file::decode(text);
        values = std::move(contents.values);
        unreadable = std::move(contents.unreadable);
    } catch (const std::exception&) {
        if (!setAside(file)) readOnly = true;
    }
}

void JsonFileDefaults::Writer::change(const std::string& key, std::optional<DefaultsValue> value) {
    {
        std::lock_guard lock(mutex);
        if (value) {
            values[key] = std::move(*value);
        } else {
            values.erase(key);
        }
        unreadable.erase(key);
        dirty.insert(key);
        if (pending || readOnly) return;
        pending = true;
        deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                            std::chrono::duration<double>(coalesceSeconds));
    }
    changed.notify_all();
}

bool JsonFileDefaults::Writer::writeFile(const std::string& text) {
    const fs::path temp = file.string() + ".tmp-" + std::to_string(::getpid());
    Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.fd < 0) {
        log::warning("Defaults: cannot create " + temp.string() + ": " + errnoText(errno));
        return false;
    }
    if (!writeAll(fd.fd, text) || ::fsync(fd.fd) != 0) {
        log::warning("Defaults: cannot write " + temp.string() + ": " + errnoText(errno));
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        log::warning("Defaults: cannot replace " + file.string() + ": " + errnoText(errno));
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself must survive a crash too.
    Descriptor directory(::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd >= 0) ::fsync(directory.fd);
    return true;
}

bool JsonFileDefaults::Writer::write() {
    std::lock_guard ioLock(io);
    std::map<std::string, std::optional<DefaultsValue>> changes;
    {
        std::lock_guard lock(mutex);
        pending = false;
        if (readOnly) return false;
        if (dirty.empty()) return true;
        for (const auto& key : dirty) {
            auto it = values.find(key);
            changes[key] = it == values.end() ? std::nullopt : std::optional<DefaultsValue>(it->second);
        }
        dirty.clear();
    }
    const auto restoreDirty = [&] {
        std::lock_guard lock(mutex);
        for (const auto& [key, value] : changes) dirty.insert(key);
    };

    const fs::path directoryPath = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    if (!paths::ensureDirectory(directoryPath)) {
        restoreDirty();
        return false;
    }
    // Other suites on this file (in this process or another) write under the same
    // lock, and each merges what is on disk, so no one loses the others' keys.
    Descriptor directory(::open(directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd >= 0) {
        while (::flock(directory.fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }

    defaults_file::Contents merged;
    std::string text;
    std::string why;
    switch (readWholeFile(file, text, why)) {
        case ReadStatus::missing:
            break;
        case ReadStatus::failed:
            log::warning("Defaults: cannot read " + file.string() + " before saving (" + why +
                         "); not saved");
            restoreDirty();
            return false;
        case ReadStatus::ok:
            try {
                merged = defaults_file::decode(text, false);
            } catch (const std::exception&) {
                if (!setAside(file)) {
                    restoreDirty();
                    return false;
                }
            }
            break;
    }
    for (const auto& [key, value] : changes) {
        merged.unreadable.erase(key);
        if (value) {
            merged.values[key] = *value;
        } else {
            merged.values.erase(key);
        }
    }

    std::string encoded;
    try {
        encoded = defaults_file::encode(merged);
    } catch (const std::exception& error) {
        log::warning(std::string("Defaults: cannot encode ") + file.string() + ": " + error.what());
        restoreDirty();
        return false;
    }
    if (!writeFile(encoded)) {
        restoreDirty();
        return false;
    }

    // Take up what other writers saved, except keys changed here meanwhile.
    std::lock_guard lock(mutex);
    for (const auto& key : dirty) {
        merged.values.erase(key);
        merged.unreadable.erase(key);
        if (auto it = values.find(key); it != values.end()) merged.values[key] = it->second;
        if (auto it = unreadable.find(key); it != unreadable.end()) merged.unreadable[key] = it->second;
    }
    values = std::move(merged.values);
    unreadable = std::move(merged.unreadable);
    return true;
}

void JsonFileDefaults::Writer::run() {
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return pending || stopping; });
        if (stopping) return;  // the destructor writes what is left
        changed.wait_until(lock, deadline, [this] { return stopping; });
        if (stopping) return;
        lock.unlock();
        write();
        lock.lock();
    }
}

JsonFileDefaults::JsonFileDefaults(fs::path file, double coalesceSeconds)
    : file_(std::move(file)), writer_(std::make_unique<Writer>()) {
    writer_->file = file_;
    writer_->coalesceSeconds = coalesceSeconds > 0 ? coalesceSeconds : 0;
    writer_->load();
    writer_->thread = std::thread([writer = writer_.get()] { writer->run(); });
}

JsonFileDefaults::~JsonFileDefaults() {
    {
        std::lock_guard lock(writer_->mutex);
        writer_->stopping = true;
    }
    writer_->changed.notify_all();
    writer_->thread.join();
    writer_->write();
}

std::optional<DefaultsValue> JsonFileDefaults::object(const std::string& key) const {
    std::lock_guard lock(writer_->mutex);
    auto it = writer_->values.find(key);
    if (it == writer_->values.end()) return std::nullopt;
    return it->second;
}

void JsonFileDefaults::set(const std::string& key, DefaultsValue value) {
    // Such a value could never be saved; refusing it keeps memory and file alike.
    if (!isFinite(value)) {
        log::warning("Defaults: refused a non-finite number for \"" + key + "\"");
        return;
    }
    writer_->change(key, std::move(value));
}

// Marked even when absent here: another suite on the file may have saved it.
void JsonFileDefaults::remove(const std::string& key) { writer_->change(key, std::nullopt); }

bool JsonFileDefaults::flush() { return writer_->write(); }

bool JsonFileDefaults::isReadOnly() const {
    std::lock_guard lock(writer_->mutex);
    return writer_->readOnly;
}

fs::path JsonFileDefaults::suiteFile(const std::string& suiteName) {
    // A suite name is never a path: no separators, no climbing out of the folder.
    std::string name = suiteName;
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return paths::configDirectory() / (name + ".json");
}

}  // namespace tw
