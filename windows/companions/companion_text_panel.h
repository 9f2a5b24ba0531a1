#pragma once
// What the text panels among the companion windows share: a floating tool window with
// a line on top and a read-only text below, placed on the first toggle that finds a
// screen and then reused, refreshed on a timer only while it shows, whoever shows it.
#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTextEdit>
#include <QWidget>

#include "platform/qt/refresh_while_shown.h"
#include "platform/x11/above_strip_placement.h"

namespace tw {

class CompanionTextPanel : public QWidget {
   public:
    struct Look {
        QString title;
        QSize size;
        double backgroundAlpha = 0.92;
        int refreshMilliseconds = 1000;
        int documentMargin = 12;
        bool selectable = false;  // a click in the text may take focus, to copy from it
        bool resizable = false;
    };

    // Hides the panel when it shows, otherwise refreshes and shows it without taking focus,
    // in front and no longer minimised.
    void toggle();
    // Where the strip is, which the panel opens clear of.
    void setStripTop(StripTop stripTop) { stripTop_ = std::move(stripTop); }
    virtual void refresh() = 0;

    QString topLineText() const { return topLine_->text(); }
    QString shownText() const { return text_->toPlainText(); }
    const QTextEdit& list() const { return *text_; }
    const QTimer& refreshTimer() const { return refreshing_->timer(); }

   protected:
    CompanionTextPanel(const Look& look, QWidget* parent);
    // Where the top-left of the panel's inside goes on the first show, on a screen of
    // `frame`, unless the strip is in the way.
    virtual QPoint firstPlace(const QRect& frame) const = 0;
    void hideEvent(QHideEvent* event) override;

    QLabel& topLine() { return *topLine_; }
    QTextEdit& text() { return *text_; }

   private:
    void acceptFocus(bool accept);

    QLabel* topLine_ = nullptr;
    QTextEdit* text_ = nullptr;
    RefreshWhileShown* refreshing_ = nullptr;  // a child of the panel
    StripTop stripTop_;
};

}  // namespace tw
