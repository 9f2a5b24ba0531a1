#include "platform/serial_executor.h"

#include <exception>
#include <string>

#include "platform/log.h"

namespace tw {

ThreadSerialExecutor::ThreadSerialExecutor() : worker_([this] { run(); }) {}

ThreadSerialExecutor::~ThreadSerialExecutor() {
    drain();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void ThreadSerialExecutor::execute(std::function<void()> job) {
    if (!job) return;
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void ThreadSerialExecutor::drain() {
    // A job waiting for its own queue to empty would wait forever.
    if (std::this_thread::get_id() == worker_.get_id()) return;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !running_job_; });
}

void ThreadSerialExecutor::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, nothing left
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        running_job_ = true;
        lock.unlock();
        try {
            job();
        } catch (const std::exception& error) {
            log::warning(std::string("A background job failed: ") + error.what());
        } catch (...) {
            log::warning("A background job failed with an unknown error");
        }
        job = nullptr;  // its captures die before drain() returns
        lock.lock();
        running_job_ = false;
        if (jobs_.empty()) idle_.notify_all();
    }
}

}  // namespace tw
