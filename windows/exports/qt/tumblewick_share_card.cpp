#include "windows/exports/qt/tumblewick_share_card.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <array>

#include "agent/host/tumblewick_agent_host.h"
#include "windows/exports/desktop_file.h"
#include "windows/exports/export_environment.h"
#include "windows/toast/tumblewick_signature_toast.h"

namespace tw {

namespace {

// The card is laid out with the origin at the bottom-left corner, y growing upward;
// this is the one place that turns such a y into the image's top-down y.
double imageY(double cardY) { return TumblewickShareCard::height - cardY; }

QColor rgb(double r, double g, double b, double a = 1.0) { return QColor::fromRgbF(r, g, b, a); }

QFont systemFont(double size, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(static_cast<int>(size));
    font.setWeight(weight);
    return font;
}

// One line whose line box has its bottom-left corner at (x, cardY).
void drawLine(QPainter& painter, const QString& text, double x, double cardY, const QFont& font,
              const QColor& color) {
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QPointF(x, imageY(cardY) - metrics.descent()), text);
}

// Wraps at the box's width, top down, and leaves out every line that would not fit
// entirely inside it.
void drawWrapped(QPainter& painter, const QString& text, const QRectF& box, const QFont& font,
                 const QColor& color, double lineSpacing) {
    QTextLayout layout(text, font);
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        line.setPosition(QPointF(0, y));
        y += line.height() + lineSpacing;
    }
    layout.endLayout();
    painter.setPen(color);
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        if (line.y() + line.height() > box.height()) break;
        line.draw(&painter, box.topLeft());
    }
}

}  // namespace

void TumblewickShareCard::drawBunting(QPainter& painter, double width, double y) {
    static constexpr std::array<std::array<double, 3>, 4> kColors = {
        {{0.95, 0.18, 0.20}, {0.95, 0.85, 0.20}, {0.20, 0.55, 0.85}, {0.95, 0.55, 0.20}}};
    constexpr int kPennants = 18;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < kPennants; ++i) {
        const double x = (i + 0.5) * width / kPennants;
        QPainterPath pennant;
        pennant.setFillRule(Qt::WindingFill);
        pennant.moveTo(x - 14, imageY(y));
        pennant.lineTo(x + 14, imageY(y));
        pennant.lineTo(x, imageY(6));
        pennant.closeSubpath();
        const auto& c = kColors[i % kColors.size()];
        painter.fillPath(pennant, rgb(c[0], c[1], c[2]));
    }
    QPen string(rgb(1, 1, 1, 0.5), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(string);
    painter.drawLine(QPointF(0, imageY(y)), QPointF(width, imageY(y)));
}

QImage TumblewickShareCard::render(const ShareCardTexts& texts) {
    QImage card(width, height, QImage::Format_ARGB32_Premultiplied);
    if (card.isNull()) return card;
    card.fill(Qt::transparent);
    QPainter painter(&card);
    if (!painter.isActive()) return {};
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);

    QLinearGradient background(QPointF(0, imageY(630)), QPointF(1200, imageY(0)));
    background.setColorAt(0, rgb(0.08, 0.04, 0.10));
    background.setColorAt(1, rgb(0.18, 0.06, 0.10));
    painter.fillRect(QRectF(0, 0, width, height), background);

    drawBunting(painter, width, 28);

    QFont title = systemFont(16, QFont::DemiBold);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    drawLine(painter, QString::fromStdString(texts.title), 60, 500, title, rgb(1, 1, 0, 0.7));
    drawLine(painter, QString::fromStdString(texts.headline), 60, 462, systemFont(24, QFont::Light),
             rgb(1, 1, 1, 0.85));
    // The quote's box: origin (60, 220), 1080 wide, 240 high, text from its top edge.
    drawWrapped(painter, QString::fromStdString(texts.quote), QRectF(60, imageY(220 + 240), 1080, 240),
                systemFont(56, QFont::Light), rgb(1, 1, 1), 4);
    drawLine(painter, QString::fromStdString(texts.attribution), 60, 140, systemFont(22, QFont::Medium),
             rgb(1, 1, 0, 0.8));
    drawLine(painter, QString::fromStdString(texts.footer), 60, 60, systemFont(14, QFont::Normal),
             rgb(1, 1, 1, 0.4));

    // The emblem's box ends 60 points from the right edge and 50 below the top.
    QFont emoji = systemFont(56, QFont::Normal);
    emoji.setFamilies({"Noto Color Emoji", emoji.family()});
    const QFontMetricsF metrics(emoji);
    const QString emblem = QString::fromStdString(texts.emblem);
    const double emblemWidth = metrics.horizontalAdvance(emblem);
    drawLine(painter, emblem, width - emblemWidth - 60, height - metrics.height() - 50, emoji, rgb(1, 1, 1));
    return card;
}

QByteArray TumblewickShareCard::pngData(const QImage& card) {
    QByteArray bytes;
    if (card.isNull()) return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!card.save(&buffer, "PNG")) return {};
    return bytes;
}

std::optional<std::filesystem::path> TumblewickShareCard::writeToDesktop() {
    return writeToDesktop(TumblewickSignatureToast::shared(), TumblewickAgentHost::shared(),
                          ExportEnvironment::shared(), Calendar(), Desktop::shared());
}

std::optional<std::filesystem::path> TumblewickShareCard::writeToDesktop(
    const TumblewickSignatureToast& toast, const TumblewickAgentHost& host,
    const ExportEnvironment& environment, const Calendar& calendar, Desktop& desktop) {
    const ShareCardMoment lastToast{toast.lastFlea(), toast.lastActionRaw(), toast.lastLine()};
    return writeToDesktop(chooseShareCardMoment(lastToast, host.recentLines()),
                          environment.clockOrSystem().now(), calendar, environment.desktopFolderPath(),
                          desktop);
}

std::optional<std::filesystem::path> TumblewickShareCard::writeToDesktop(
    const ShareCardMoment& moment, Date now, const Calendar& calendar,
    const std::filesystem::path& desktopFolder, Desktop& desktop) {
    const QByteArray png = pngData(render(shareCardTexts(moment)));
    if (png.isEmpty()) return std::nullopt;
    return saveToDesktop(desktopFolder, shareCardFileName(now, calendar),
                         std::string_view(png.constData(), static_cast<std::size_t>(png.size())), desktop);
}

}  // namespace tw
