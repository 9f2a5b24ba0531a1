#pragma once
// A non-owning reference to something callable, for callbacks that are only called
// before the call that received them returns: unlike std::function it never copies
// the callable or allocates.
#include <memory>
#include <type_traits>
#include <utility>

namespace tw {

template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
   public:
    template <typename F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F&, Args...>)
        FunctionRef(F&& callable)
    noexcept  // NOLINT(google-explicit-constructor): passed as a lambda
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          call_([](void* object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
          }) {}

    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

   private:
    void* object_;
    R (*call_)(void*, Args...);
};

}  // namespace tw
