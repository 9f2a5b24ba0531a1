#pragma once
// The one process-wide input hub: raw presses from the whole desktop (XInput2 or
// evdev) and the events of our own windows come in, and each physical press goes out
// once to every subscriber, marked local when it landed in one of our windows. Free of
// Qt and X so tests drive it with synthetic events.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/input_monitor.h"
#include "platform/main_queue.h"
#include "platform/raw_input_sink.h"
#include "platform/x11/modifier_tracker.h"

namespace tw {

class InputHub final : public InputMonitor, public RawInputSink {
   public:
    // How long a desktop press that may have landed in our own window waits for its
    // local copy before it counts as global.
    static constexpr double kLocalCopyWait = 0.1;

    enum class PressKind { key, button };
    // Could a press made now land in one of our windows? `screen` (top-left origin) is
    // known for buttons only.
    using LocalTargetProbe = std::function<bool(PressKind kind, std::optional<Point> screen)>;

    explicit InputHub(MainQueue& queue) : queue_(queue) {}
    ~InputHub() override;

    [[nodiscard]] Subscription subscribe(InputSubscriber& subscriber) override;
    bool globalInputAvailable() const override { return globalAvailable_; }
    std::optional<std::uint64_t> pointerMotions() const override { return pointerMotions_; }
    std::optional<Point> pointerPosition() const override { return pointerPosition_; }

    // The desktop's presses are reaching the hub.
    void setGlobalInputAvailable() { globalAvailable_ = true; }
    // Says once why only our own windows' input counts, and what the user can do about it.
    void reportGlobalInputUnavailable(std::string_view reason, std::string_view remedy = {});
    void setLocalTargetProbe(LocalTargetProbe probe) { probe_ = std::move(probe); }
    // How far apart (ms) the two copies of one press may be stamped. XInput2 stamps both
    // with the same server time; evdev's kernel time runs ahead of the X server's.
    void setCopyTimeTolerance(std::uint32_t milliseconds) { copyTimeTolerance_ = milliseconds; }

    // Raw device events of the whole desktop; `keysym` is the unshifted one, or 0.
    void globalKey(std::uint32_t xKeycode, std::uint32_t keysym, bool pressed, bool repeat,
                   std::uint64_t time) override;
    void globalButton(int xButton, Point screenTopLeft, double screenHeight, std::uint64_t time) override;
    // A desktop key press that cannot reach our windows (a grab of ours took it): counted
    // now rather than after waiting for a local copy, as made in our window when it waited
    // for one (our window had the keyboard).
    void globalKeyTakenByGrab(std::uint32_t xKeycode, std::uint64_t time);
    // Raw pointer motion of the whole desktop is reported from now on; each report counts.
    void setPointerMotionTracked() { pointerMotions_ = pointerMotions_.value_or(0); }
    void globalPointerMoved() { pointerMotions_ = pointerMotions_.value_or(0) + 1; }
    void globalPointerAt(Point screenTopLeft) override {
        pointerPosition_ = screenTopLeft;
        globalPointerMoved();
    }

    // Events of our own windows. Returns true when the key press is to be swallowed.
    bool localKey(std::uint32_t xKeycode, std::uint32_t keysym, bool command, bool shift, bool repeat,
                  std::uint64_t time);
    void localButton(int xButton, Point windowTopLeft, double windowHeight, bool shift, std::uint64_t time);

    std::size_t pendingCount() const { return pending_.size(); }

   protected:
    void unsubscribe(std::uint64_t id) override;

   private:
    // One physical press, as both paths see it: X server time and key code or button.
    struct PressId {
        PressKind kind;
        std::uint32_t code;
        std::uint64_t time;
        friend bool operator==(const PressId&, const PressId&) = default;
    };
    using Press = std::variant<KeyPress, MousePress>;
    struct Pending {
        PressId id;
        Press press;
        TaskId timer;
    };
    // A press counted on one path whose copy on the other path may still come.
    struct Counted {
        PressId id;
        InputOrigin origin;
        bool swallowed;
    };

    // The same physical press: same key or button, stamped within the tolerance.
    bool sameCopy(const PressId& a, const PressId& b) const;
    bool deliver(const Press& press);
    void remember(PressId id, InputOrigin origin, bool swallowed);
    // Takes the counted copy of `id` from the other path, if there is one.
    std::optional<Counted> takeCounted(const PressId& id, InputOrigin origin);
    std::optional<Pending> takePending(const PressId& id);
    void arriveGlobal(PressId id, Press press, std::optional<Point> screen);

    MainQueue& queue_;
    struct Entry {
        std::uint64_t id;
        InputSubscriber* subscriber;
    };
    std::vector<Entry> subscribers_;
    std::uint64_t nextId_ = 1;
    int delivering_ = 0;
    bool globalAvailable_ = false;
    bool unavailableReported_ = false;
    std::uint32_t copyTimeTolerance_ = 0;
    std::optional<std::uint64_t> pointerMotions_;
    std::optional<Point> pointerPosition_;
    LocalTargetProbe probe_;
    ModifierTracker modifiers_;
    std::deque<Pending> pending_;
    std::deque<Counted> counted_;
    std::optional<std::uint32_t> swallowedKeycode_;  // the last local key press swallowed
};

}  // namespace tw
