#pragma once
// In-process notifications: string names, user info as a string-keyed variant map,
// delivered synchronously on the posting (main) thread in registration order.
#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tw {

using NotificationUserInfo = std::map<std::string, std::any>;

struct Notification {
    std::string name;
    NotificationUserInfo userInfo;
};

class NotificationCenter {
   public:
    using Observer = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    Token addObserver(const std::string& name, Observer observer);
    void removeObserver(Token token);
    void post(const std::string& name, NotificationUserInfo userInfo = {});

   private:
    struct Entry {
        Token token;
        std::string name;
        Observer observer;
    };
    std::vector<Entry> entries_;
    Token next_ = 1;
};

}  // namespace tw
