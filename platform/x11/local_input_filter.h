#pragma once
// The key presses and clicks of our own windows, seen once per event by one
// application-wide filter; a hotkey the hub swallows never reaches the focused control.
#include <QObject>

namespace tw {

class InputHub;

class LocalInputFilter final : public QObject {
   public:
    explicit LocalInputFilter(InputHub& hub, QObject* parent = nullptr) : QObject(parent), hub_(hub) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    InputHub& hub_;
};

}  // namespace tw
