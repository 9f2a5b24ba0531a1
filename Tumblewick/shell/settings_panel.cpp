#include "Tumblewick/shell/settings_panel.h"

#include <QLabel>
#include <QScreen>

#include "platform/x11/titled_window.h"

namespace tw {
namespace {

constexpr int panelWidth = 440;
constexpr int panelHeight = 290;
const QColor background = QColor::fromRgbF(0.16f, 0.10f, 0.03f);
const QColor cream = QColor::fromRgbF(0.96f, 0.91f, 0.78f);

// The layout is given with the origin at the bottom-left, as the panel was drawn.
QRect frameFromBottom(int x, int y, int width, int height) {
    return QRect(x, panelHeight - y - height, width, height);
}

template <typename W>
W* place(W* widget, int x, int y, int width, int height) {
    widget->setGeometry(frameFromBottom(x, y, width, height));
    return widget;
}

QLabel* label(QWidget* parent, const QString& text, int y, int width) {
    auto* result = place(new QLabel(text, parent), 24, y, width, 20);
    result->setTextFormat(Qt::PlainText);
    QFont font = result->font();
    font.setBold(true);
    font.setPixelSize(12);
    result->setFont(font);
    return result;
}

QPushButton* actionButton(QWidget* parent, const QString& title, int x, int width,
                          const std::function<void()>& action) {
    auto* result = place(new QPushButton(title, parent), x, 24, width, 28);
    QObject::connect(result, &QPushButton::clicked, parent, [action] {
        if (action) action();
    });
    return result;
}

}  // namespace

SettingsPanel::SettingsPanel(const SettingsPanelValues& values, Actions actions, const StripTop& stripTop)
    : QWidget(nullptr, Qt::WindowStaysOnTopHint) {
    makeTitledWindow(*this, {.utility = true});
    setWindowTitle(QStringLiteral("Tumblewick Settings"));
    setFixedSize(panelWidth, panelHeight);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, background);
    colours.setColor(QPalette::WindowText, cream);
    setPalette(colours);
    setAutoFillBackground(true);

    label(this, QStringLiteral("Display scale"), 230, 180);
    scalePopup_ = place(new QComboBox(this), 220, 226, 190, 26);
    for (const std::string& title : settingsScaleTitles())
        scalePopup_->addItem(QString::fromStdString(title));
    scalePopup_->setCurrentIndex(values.scaleSelection.value_or(0));

    deterministicCheckbox_ =
        place(new QCheckBox(QStringLiteral("Deterministic timeline mode"), this), 24, 148, 270, 24);
    deterministicCheckbox_->setChecked(values.deterministicMode);

    label(this, QStringLiteral("Timeline seed"), 120, 140);
    seedField_ = place(new QLineEdit(QString::fromStdString(values.seedText), this), 220, 116, 120, 24);
    seedField_->setEnabled(values.deterministicMode);
    // The seed only means something in deterministic mode.
    QObject::connect(deterministicCheckbox_, &QCheckBox::toggled, seedField_, &QLineEdit::setEnabled);

    updateCheckbox_ =
        place(new QCheckBox(QStringLiteral("Check for updates on startup"), this), 24, 76, 270, 24);
    updateCheckbox_->setChecked(values.checkForUpdates);

    actionButton(this, QStringLiteral("Cancel"), 132, 80, actions.cancel);
    actionButton(this, QStringLiteral("Save"), 220, 80, actions.save);
    actionButton(this, QStringLiteral("Diagnostics"), 308, 100, actions.diagnostics);

    placeClearOfStrip(*this, stripTop, [](const QScreen& screen, const QMargins& frame) {
        return centredIn(screen.availableGeometry(), {panelWidth, panelHeight}, frame);
    });
}

SettingsPanelState SettingsPanel::state() const {
    return {scalePopup_->currentIndex() >= 0 ? scalePopup_->currentText().toStdString() : std::string(),
            deterministicCheckbox_->isChecked(), seedField_->text().toStdString(),
            updateCheckbox_->isChecked()};
}

QPushButton& SettingsPanel::button(const QString& title) {
    for (QPushButton* candidate : findChildren<QPushButton*>()) {
        if (candidate->text() == title) return *candidate;
    }
    throw std::logic_error("no button " + title.toStdString());
}

void SettingsPanel::present() {
    showRaised(*this);
    activateWindow();
}

}  // namespace tw
