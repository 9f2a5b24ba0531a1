#include "platform/x11/input_hub.h"

#include <algorithm>
#include <string>

#include "platform/log.h"
#include "platform/x11/mac_key_code_table.h"

namespace tw {
namespace {

// Enough to pair a press with its other copy; the copies arrive milliseconds apart.
constexpr std::size_t kCountedLimit = 64;

std::optional<MouseButton> clickButton(int xButton) {
    // The middle button and the wheel (4 to 7) are not clicks.
    if (xButton == 1) return MouseButton::left;
    if (xButton == 3) return MouseButton::right;
    return std::nullopt;
}

}  // namespace

InputHub::~InputHub() {
    for (const auto& p : pending_) queue_.cancel(p.timer);
}

InputMonitor::Subscription InputHub::subscribe(InputSubscriber& subscriber) {
    const auto id = nextId_++;
    subscribers_.push_back({id, &subscriber});
    return makeSubscription(id);
}

void InputHub::unsubscribe(std::uint64_t id) {
    for (auto& e : subscribers_) {
        if (e.id == id) e.subscriber = nullptr;
    }
    if (delivering_ == 0) std::erase_if(subscribers_, [](const Entry& e) { return e.subscriber == nullptr; });
}

void InputHub::reportGlobalInputUnavailable(std::string_view reason, std::string_view remedy) {
    globalAvailable_ = false;
    if (unavailableReported_) return;
    unavailableReported_ = true;
    // Appended rather than joined with +: GCC 12 at -O3 reports a false overlap in the latter.
    std::string message = "Keys and clicks in other applications cannot be seen (";
    message += reason;
    message += "); Tumblewick is wound only by input in its own windows.";
    if (!remedy.empty()) {
        message += ' ';
        message += remedy;
    }
    log::warning(message);
}

// X times are 32-bit milliseconds that wrap; the difference is taken the same way.
bool InputHub::sameCopy(const PressId& a, const PressId& b) const {
    if (a.kind != b.kind || a.code != b.code) return false;
    const auto ahead = static_cast<std::uint32_t>(a.time - b.time);
    return std::min(ahead, static_cast<std::uint32_t>(0u - ahead)) <= copyTimeTolerance_;
}

bool InputHub::deliver(const Press& press) {
    bool swallow = false;
    ++delivering_;
    // Subscribers added during delivery wait for the next press.
    const auto count = subscribers_.size();
    for (std::size_t i = 0; i < count; ++i) {
        auto* subscriber = subscribers_[i].subscriber;
        if (subscriber == nullptr) continue;
        if (const auto* key = std::get_if<KeyPress>(&press)) {
            swallow = subscriber->keyDown(*key) || swallow;
        } else {
            subscriber->mouseDown(std::get<MousePress>(press));
        }
    }
    if (--delivering_ == 0) {
        std::erase_if(subscribers_, [](const Entry& e) { return e.subscriber == nullptr; });
    }
    return swallow;
}

void InputHub::remember(PressId id, InputOrigin origin, bool swallowed) {
    counted_.push_back({id, origin, swallowed});
    if (counted_.size() > kCountedLimit) counted_.pop_front();
}

// Each counted press pairs with one copy only: automation can press the same key twice
// within one millisecond, and both presses count.
std::optional<InputHub::Counted> InputHub::takeCounted(const PressId& id, InputOrigin origin) {
    const auto it = std::find_if(counted_.begin(), counted_.end(),
                                 [&](const Counted& c) { return sameCopy(c.id, id) && c.origin == origin; });
    if (it == counted_.end()) return std::nullopt;
    Counted found = *it;
    counted_.erase(it);
    return found;
}

std::optional<InputHub::Pending> InputHub::takePending(const PressId& id) {
    const auto it =
        std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) { return sameCopy(p.id, id); });
    if (it == pending_.end()) return std::nullopt;
    Pending found = std::move(*it);
    pending_.erase(it);
    queue_.cancel(found.timer);
    return found;
}

void InputHub::arriveGlobal(PressId id, Press press, std::optional<Point> screen) {
    if (takeCounted(id, InputOrigin::local)) return;  // its local copy came first and counted
    if (!probe_ || !probe_(id.kind, screen)) {
        remember(id, InputOrigin::global, deliver(press));
        return;
    }
    const auto timer = queue_.postAfter(kLocalCopyWait, [this, id] {
        const auto it =
            std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.id == id; });
        if (it == pending_.end()) return;
        Pending due = std::move(*it);
        pending_.erase(it);
        remember(due.id, InputOrigin::global, deliver(due.press));
    });
    pending_.push_back({id, std::move(press), timer});
}

void InputHub::globalKey(std::uint32_t xKeycode, std::uint32_t keysym, bool pressed, bool repeat,
                         std::uint64_t time) {
    const auto key = translateXKey(xKeycode, keysym);
    if (!pressed) {
        modifiers_.release(xKeycode);
        return;
    }
    // Modifier state is taken before the key itself goes down.
    const bool command = modifiers_.command();
    const bool shift = modifiers_.shift();
    const bool fresh = modifiers_.press(xKeycode, key.role);
    if (repeat || !fresh) return;
    if (key.role == KeyRole::shift || key.role == KeyRole::otherModifier) return;
    arriveGlobal({PressKind::key, xKeycode, time},
                 KeyPress{key.macKeyCode, command, shift, InputOrigin::global}, std::nullopt);
}

void InputHub::globalKeyTakenByGrab(std::uint32_t xKeycode, std::uint64_t time) {
    auto due = takePending({PressKind::key, xKeycode, time});
    if (!due) return;
    // It waited because one of our windows had the keyboard: the press was made there.
    std::get<KeyPress>(due->press).origin = InputOrigin::local;
    remember(due->id, InputOrigin::local, deliver(due->press));
}

void InputHub::globalButton(int xButton, Point screenTopLeft, double screenHeight, std::uint64_t time) {
    const auto button = clickButton(xButton);
    if (!button) return;
    const Point location{screenTopLeft.x, screenHeight - screenTopLeft.y};
    arriveGlobal({PressKind::button, static_cast<std::uint32_t>(xButton), time},
                 MousePress{*button, location, InputOrigin::global, modifiers_.shift()}, screenTopLeft);
}

bool InputHub::localKey(std::uint32_t xKeycode, std::uint32_t keysym, bool command, bool shift, bool repeat,
                        std::uint64_t time) {
    // A held hotkey repeats into our window: keep it away from the focused control too.
    if (repeat) return swallowedKeycode_ == xKeycode;
    const auto key = translateXKey(xKeycode, keysym);
    if (key.role == KeyRole::shift || key.role == KeyRole::otherModifier) return false;
    const PressId id{PressKind::key, xKeycode, time};
    const KeyPress press{key.macKeyCode, command, shift, InputOrigin::local};
    bool swallow = false;
    if (!globalAvailable_) {
        swallow = deliver(press);  // no desktop copy will come to pair with
    } else if (const auto earlier = takeCounted(id, InputOrigin::global)) {
        swallow = earlier->swallowed;  // its desktop copy counted already
    } else {
        const bool paired = takePending(id).has_value();
        swallow = deliver(press);
        if (!paired) remember(id, InputOrigin::local, swallow);
    }
    swallowedKeycode_ = swallow ? std::optional(xKeycode) : std::nullopt;
    return swallow;
}

void InputHub::localButton(int xButton, Point windowTopLeft, double windowHeight, bool shift,
                           std::uint64_t time) {
    const auto button = clickButton(xButton);
    if (!button) return;
    const MousePress press{
        *button, {windowTopLeft.x, windowHeight - windowTopLeft.y}, InputOrigin::local, shift};
    if (!globalAvailable_) {
        deliver(press);
        return;
    }
    const PressId id{PressKind::button, static_cast<std::uint32_t>(xButton), time};
    if (takeCounted(id, InputOrigin::global)) return;
    if (!takePending(id)) remember(id, InputOrigin::local, false);
    deliver(press);
}

}  // namespace tw
