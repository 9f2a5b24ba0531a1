#pragma once
// The signature toast's window: a small rounded banner at the top centre of the
// primary screen that clicks pass through and that never takes focus.
#include <QString>
#include <QWidget>
#include <memory>

#include "windows/toast/signature_toast_window.h"

namespace tw {

// The banner's face, drawn with plain text only.
class SignatureToastView final : public QWidget {
   public:
    static constexpr int width = 360;
    static constexpr int height = 72;

    explicit SignatureToastView(QWidget* parent = nullptr);
    void setTexts(const QString& name, const QString& line);

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    QString name_;
    QString line_;
};

class QtSignatureToastWindow final : public SignatureToastWindow {
   public:
    QtSignatureToastWindow();
    ~QtSignatureToastWindow() override;

    bool ensureBuilt() override;
    void setTexts(const std::string& name, const std::string& line) override;
    void setAlpha(double alpha) override;
    void orderFront() override;
    void orderOut() override;

    SignatureToastView* view() const { return view_.get(); }

   private:
    std::unique_ptr<SignatureToastView> view_;
};

}  // namespace tw
