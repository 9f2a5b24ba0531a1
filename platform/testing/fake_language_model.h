#pragma once
// A language model the test answers by hand: calls wait until the test completes
// them (oldest first), or are answered at once with a preset result.
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/language_model.h"

namespace tw::testing {

class FakeLanguageModel final : public LanguageModel {
   public:
    void respond(LanguageModelRequest request, Completion completion) override {
        std::optional<LanguageModelResult> immediate;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(std::move(request));
            if (autoResult_)
                immediate = autoResult_;
            else
                pending_.push_back(std::move(completion));
        }
        if (immediate) completion(std::move(*immediate));
    }

    // Every later call is answered at once with `result` (nullopt: wait again).
    void setAutoResult(std::optional<LanguageModelResult> result) {
        std::lock_guard lock(mutex_);
        autoResult_ = std::move(result);
    }

    // Completes the oldest waiting call; false when none waits.
    bool complete(LanguageModelResult result) {
        Completion completion;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) return false;
            completion = std::move(pending_.front());
            pending_.pop_front();
        }
        completion(std::move(result));
        return true;
    }

    std::size_t pendingCount() const {
        std::lock_guard lock(mutex_);
        return pending_.size();
    }
    std::vector<LanguageModelRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

   private:
    mutable std::mutex mutex_;
    std::vector<LanguageModelRequest> requests_;
    std::deque<Completion> pending_;
    std::optional<LanguageModelResult> autoResult_;
};

}  // namespace tw::testing
