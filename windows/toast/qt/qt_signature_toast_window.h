#pragma once
// The signature toast's window: a small rounded banner at the top centre of the
// primary screen that clicks pass through and that never takes focus.
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <memory>

#include "platform/qt/window_fade.h"
#include "windows/toast/signature_toast_window.h"

class QPainter;

namespace tw {

// The banner's face, drawn with plain text only.
class SignatureToastView final : public QWidget {
   public:
    static constexpr int width = 360;
    static constexpr int height = 72;

    explicit SignatureToastView(QWidget* parent = nullptr);
    void setTexts(const QString& name, const QString& line);
    // How strongly the card is drawn, 0 to 1, for a fade where the window's own
    // opacity cannot be set.
    void setPaintedOpacity(double opacity);

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    void paintCard(QPainter& painter) const;

    QString name_;
    QString line_;
    double paintedOpacity_ = 1.0;
    QPixmap card_;  // drawn once per text, then only repainted fainter or stronger
};

class QtSignatureToastWindow final : public SignatureToastWindow {
   public:
    explicit QtSignatureToastWindow(WindowFading fading = WindowFading::byWindowOpacity);
    ~QtSignatureToastWindow() override;

    bool ensureBuilt() override;
    void setTexts(const std::string& name, const std::string& line) override;
    void setAlpha(double alpha) override;
    void orderFront() override;
    void orderOut() override;

    SignatureToastView* view() const { return view_.get(); }

   private:
    WindowFading fading_;
    std::unique_ptr<SignatureToastView> view_;
};

}  // namespace tw
