#pragma once
// Key presses and clicks anywhere on the desktop, delivered to subscribers on the main
// thread. Key codes are macOS virtual key codes (the platform translates its own), and
// Command is the Super key.
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "platform/canvas.h"

namespace tw {

inline constexpr std::uint16_t kMacKeyCodeCommand = 55;
inline constexpr std::uint16_t kMacKeyCodeRightCommand = 54;
// An ordinary key that has no macOS counterpart.
inline constexpr std::uint16_t kNoMacKeyCode = 0xFFFF;

// Where a press landed: in one of our own windows, or anywhere else on the desktop.
enum class InputOrigin { local, global };

struct KeyPress {
    std::uint16_t keyCode = kNoMacKeyCode;
    bool command = false;  // held with the press
    bool shift = false;
    InputOrigin origin = InputOrigin::global;

    bool isCommandKey() const { return keyCode == kMacKeyCodeCommand || keyCode == kMacKeyCodeRightCommand; }
    friend bool operator==(const KeyPress&, const KeyPress&) = default;
};

enum class MouseButton { left, right };

struct MousePress {
    MouseButton button = MouseButton::left;
    // Bottom-left origin: on the screen for a global press, in the window for a local one.
    Point location;
    InputOrigin origin = InputOrigin::global;
    bool shift = false;  // held with the press
    friend bool operator==(const MousePress&, const MousePress&) = default;
};

class InputSubscriber {
   public:
    virtual ~InputSubscriber() = default;
    // Returning true swallows a local key press, so it never reaches our focused control;
    // a global one cannot be stopped.
    virtual bool keyDown(const KeyPress&) { return false; }
    virtual void mouseDown(const MousePress&) {}
};

// The process-wide source of desktop input. Each physical press reaches every
// subscriber exactly once.
class InputMonitor {
   public:
    // Keeps a subscriber subscribed for as long as it lives; harmless after the monitor is gone.
    class Subscription {
       public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept {
            if (this != &other) {
                reset();
                monitor_ = std::move(other.monitor_);
                id_ = other.id_;
            }
            return *this;
        }
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription() { reset(); }

        void reset() {
            if (auto monitor = monitor_.lock()) (*monitor)->unsubscribe(id_);
            monitor_.reset();
        }

       private:
        friend class InputMonitor;
        Subscription(std::weak_ptr<InputMonitor* const> monitor, std::uint64_t id)
            : monitor_(std::move(monitor)), id_(id) {}
        std::weak_ptr<InputMonitor* const> monitor_;
        std::uint64_t id_ = 0;
    };

    virtual ~InputMonitor() = default;
    [[nodiscard]] virtual Subscription subscribe(InputSubscriber& subscriber) = 0;
    // False where presses outside our own windows cannot be seen (no X display, Wayland
    // without readable input devices).
    virtual bool globalInputAvailable() const = 0;
    // A count that grows as the pointer is moved by a device anywhere on the desktop,
    // where that can be seen (a pointer warped by a program may not count). Without it,
    // a reader asks for the position each time.
    virtual std::optional<std::uint64_t> pointerMotions() const { return std::nullopt; }
    // Where the desktop's devices have moved the pointer (top-left origin), where the
    // display server cannot say (XWayland sees the pointer only over X windows).
    virtual std::optional<Point> pointerPosition() const { return std::nullopt; }

   protected:
    Subscription makeSubscription(std::uint64_t id) { return Subscription(self_, id); }
    virtual void unsubscribe(std::uint64_t id) = 0;

   private:
    std::shared_ptr<InputMonitor* const> self_ = std::make_shared<InputMonitor* const>(this);
};

}  // namespace tw
