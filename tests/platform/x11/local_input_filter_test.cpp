#include "platform/x11/local_input_filter.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>
#include <vector>

#include "platform/log.h"
#include "platform/testing/manual_main_queue.h"
#include "platform/x11/input_hub.h"

namespace tw {
namespace {

class CountingWindow final : public QWindow {
   public:
    int keys = 0;
    int presses = 0;

   protected:
    void keyPressEvent(QKeyEvent*) override { ++keys; }
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

class HotkeySwallower final : public InputSubscriber {
   public:
    explicit HotkeySwallower(InputMonitor& monitor) : subscription(monitor.subscribe(*this)) {}
    bool keyDown(const KeyPress& press) override {
        keys.push_back(press);
        return press.command && press.shift;
    }
    void mouseDown(const MousePress& press) override { clicks.push_back(press); }
    std::vector<KeyPress> keys;
    std::vector<MousePress> clicks;
    InputMonitor::Subscription subscription;
};

void sendKey(QObject* to, quint32 scanCode, quint32 keysym, Qt::KeyboardModifiers modifiers,
             bool repeat = false) {
    QKeyEvent event(QEvent::KeyPress, Qt::Key_T, modifiers, scanCode, keysym, 0, QString(), repeat);
    QCoreApplication::sendEvent(to, &event);
}

void sendMouse(QObject* to, QEvent::Type type, Qt::MouseButton button, QPointF at,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, at, at, button, button, modifiers);
    QCoreApplication::sendEvent(to, &event);
}

TEST(LocalInputFilter, FeedsOurWindowsPressesToTheHubAndKeepsSwallowedHotkeysFromThem) {
    log::setSinkForTesting([](std::string_view) {});
    testing::ManualMainQueue queue;
    InputHub hub(queue);
    HotkeySwallower subscriber(hub);
    LocalInputFilter filter(hub);
    QCoreApplication::instance()->installEventFilter(&filter);
    CountingWindow window;
    window.resize(300, 200);
    QObject notAWindow;

    sendKey(&window, 28, XK_T, Qt::MetaModifier | Qt::ShiftModifier);
    sendKey(&window, 28, XK_T, Qt::MetaModifier | Qt::ShiftModifier, true);
    sendKey(&window, 28, XK_t, Qt::NoModifier);
    sendKey(&window, 50, XK_Shift_L, Qt::NoModifier);
    sendKey(&notAWindow, 28, XK_t, Qt::NoModifier);
    sendMouse(&window, QEvent::MouseButtonPress, Qt::RightButton, {5, 10}, Qt::ShiftModifier);
    sendMouse(&window, QEvent::MouseButtonDblClick, Qt::RightButton, {5, 10});
    sendMouse(&window, QEvent::MouseButtonPress, Qt::MiddleButton, {5, 10});

    QCoreApplication::instance()->removeEventFilter(&filter);
    log::setSinkForTesting(nullptr);

    EXPECT_EQ(subscriber.keys, (std::vector<KeyPress>{{17, true, true, InputOrigin::local},
                                                      {17, false, false, InputOrigin::local}}));
    EXPECT_EQ(window.keys, 2);  // the plain T and the Shift; the hotkey and its repeat were swallowed
    EXPECT_EQ(subscriber.clicks,
              (std::vector<MousePress>{{MouseButton::right, {5, 190}, InputOrigin::local, true}}));
    EXPECT_EQ(window.presses, 2);  // clicks are never swallowed
}

}  // namespace
}  // namespace tw
