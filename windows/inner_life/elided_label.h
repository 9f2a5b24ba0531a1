#pragma once
// A one-line label that cuts its text with an ellipsis at the width its layout gives it,
// where a plain label would widen its window to fit a long flea name.
#include <QLabel>

namespace tw {

class ElidedLabel final : public QLabel {
   public:
    using QLabel::QLabel;
    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }
    QSize minimumSizeHint() const override;

   protected:
    void resizeEvent(QResizeEvent* event) override;

   private:
    void elide();
    QString full_;
};

}  // namespace tw
