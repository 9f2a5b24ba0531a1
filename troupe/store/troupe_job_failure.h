#pragma once
// What a job on one of the troupe log's threads threw, as text: such a thread logs it and
// goes on, as a failure there must neither end the app nor leave a waiter without an answer.
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace tw {

// nullopt when `work` returned.
inline std::optional<std::string> failureOf(const std::function<void()>& work) {
    try {
        work();
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string(error.what());
    } catch (...) {
        return std::string("an unknown error");
    }
}

}  // namespace tw
