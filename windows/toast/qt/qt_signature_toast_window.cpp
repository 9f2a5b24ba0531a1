#include "windows/toast/qt/qt_signature_toast_window.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include "platform/qt/click_through_overlay.h"
#include "platform/system_colors.h"

namespace tw {

namespace {

constexpr double kMargin = 16;
constexpr double kBadgeGap = 12;
constexpr double kTopFromScreen = 56;
const QString kBadge = QString::fromUtf8("\u2728");

QColor qcolor(Color color, double alpha) {
    return QColor::fromRgbF(color.red, color.green, color.blue, alpha);
}

QFont systemFont(int pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont badgeFont() {
    QFont font = systemFont(22, QFont::Normal);
    font.setFamilies({"Noto Color Emoji", font.family()});
    return font;
}

}  // namespace

SignatureToastView::SignatureToastView(QWidget* parent) : QWidget(parent) {
    makeClickThroughOverlay(*this);
    setFixedSize(width, height);
}

void SignatureToastView::setTexts(const QString& name, const QString& line) {
    name_ = name;
    line_ = line;
    card_ = QPixmap();
    update();
}

void SignatureToastView::setPaintedOpacity(double opacity) {
    paintedOpacity_ = opacity;
    update();
}

void SignatureToastView::paintEvent(QPaintEvent*) {
    const double scale = devicePixelRatioF();
    if (card_.isNull() || card_.devicePixelRatio() != scale) {
        card_ = QPixmap(QSize(width, height) * scale);
        card_.setDevicePixelRatio(scale);
        card_.fill(Qt::transparent);
        QPainter cardPainter(&card_);
        paintCard(cardPainter);
    }
    QPainter painter(this);
    painter.setOpacity(paintedOpacity_);
    painter.drawPixmap(0, 0, card_);
}

void SignatureToastView::paintCard(QPainter& painter) const {
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

    QPainterPath card;
    card.addRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 14, 14);
    painter.fillPath(card, QColor::fromRgbF(0.06, 0.06, 0.06, 0.94));
    painter.setPen(QPen(qcolor(Colors::systemYellow, 0.45), 1));
    painter.drawPath(card);

    const QFont badge = badgeFont();
    const QFontMetricsF badgeMetrics(badge);
    painter.setFont(badge);
    painter.setPen(Qt::white);
    const double badgeWidth = badgeMetrics.horizontalAdvance(kBadge);
    painter.drawText(QRectF(kMargin, 0, badgeWidth, height), Qt::AlignVCenter | Qt::AlignLeft, kBadge);

    const double textLeft = kMargin + badgeWidth + kBadgeGap;
    const double textWidth = width - kMargin - textLeft;
    const QFont nameFont = systemFont(11, QFont::DemiBold);
    const QFontMetricsF nameMetrics(nameFont);
    painter.setFont(nameFont);
    painter.setPen(qcolor(Colors::systemYellow, 0.85));
    painter.drawText(QPointF(textLeft, 12 + nameMetrics.ascent()),
                     nameMetrics.elidedText(name_, Qt::ElideRight, textWidth));

    const QFont lineFont = systemFont(13, QFont::Normal);
    const QFontMetricsF lineMetrics(lineFont);
    painter.setFont(lineFont);
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.95));
    const double lineTop = 12 + nameMetrics.height() + 2;
    painter.drawText(QPointF(textLeft, lineTop + lineMetrics.ascent()),
                     lineMetrics.elidedText(line_, Qt::ElideRight, textWidth));
}

QtSignatureToastWindow::QtSignatureToastWindow(WindowFading fading) : fading_(fading) {}

QtSignatureToastWindow::~QtSignatureToastWindow() = default;

bool QtSignatureToastWindow::ensureBuilt() {
    if (view_) return true;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return false;
    // Placed once; later toasts reuse the spot even if the screens change.
    const QRect frame = screen->geometry();
    view_ = std::make_unique<SignatureToastView>();
    view_->move(frame.center().x() - SignatureToastView::width / 2,
                frame.top() + static_cast<int>(kTopFromScreen));
    return true;
}

void QtSignatureToastWindow::setTexts(const std::string& name, const std::string& line) {
    if (view_) view_->setTexts(QString::fromStdString(name), QString::fromStdString(line));
}

void QtSignatureToastWindow::setAlpha(double alpha) {
    if (!view_) return;
    if (fading_ == WindowFading::byWindowOpacity) {
        view_->setWindowOpacity(alpha);
    } else {
        view_->setPaintedOpacity(alpha);
    }
}

void QtSignatureToastWindow::orderFront() {
    if (!view_) return;
    view_->show();
    view_->raise();
}

void QtSignatureToastWindow::orderOut() {
    if (view_) view_->hide();
}

}  // namespace tw
