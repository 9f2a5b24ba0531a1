#pragma once
// For callbacks that may run after their owner is gone: work posted to the main queue,
// answers a service hands back later. The owner keeps an OwnerLifetime as its last
// member and hands out guarded() callbacks, which do nothing once it is destroyed.
// Main thread only: a guarded callback must not race its owner's destruction.
#include <memory>
#include <utility>

namespace tw {

class OwnerLifetime {
   public:
    OwnerLifetime() = default;
    // A copy would outlive the owner it speaks for.
    OwnerLifetime(const OwnerLifetime&) = delete;
    OwnerLifetime& operator=(const OwnerLifetime&) = delete;

    // `callback` with whatever arguments it is called with, while the owner lives.
    template <class Callback>
    auto guarded(Callback callback) const {
        return [alive = std::weak_ptr<const Token>(token_),
                callback = std::move(callback)](auto&&... args) mutable {
            if (!alive.expired()) callback(std::forward<decltype(args)>(args)...);
        };
    }

   private:
    struct Token {};
    std::shared_ptr<const Token> token_ = std::make_shared<const Token>();
};

}  // namespace tw
