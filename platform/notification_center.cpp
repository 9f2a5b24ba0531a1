#include "platform/notification_center.h"

#include <algorithm>

namespace tw {

NotificationCenter::Token NotificationCenter::addObserver(const std::string& name, Observer observer) {
    const Token token = next_++;
    entries_.push_back(Entry{token, name, std::move(observer)});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::erase_if(entries_, [token](const Entry& entry) { return entry.token == token; });
}

void NotificationCenter::post(const std::string& name, NotificationUserInfo userInfo) {
    // Observers may add or remove observers while being called, so deliver from a
    // copy; one added now waits for the next post, one removed now is skipped.
    std::vector<Entry> recipients;
    for (const Entry& entry : entries_) {
        if (entry.name == name) recipients.push_back(entry);
    }
    const Notification notification{name, std::move(userInfo)};
    for (const Entry& recipient : recipients) {
        const bool stillRegistered = std::any_of(entries_.begin(), entries_.end(), [&](const Entry& entry) {
            return entry.token == recipient.token;
        });
        if (stillRegistered) recipient.observer(notification);
    }
}

}  // namespace tw
