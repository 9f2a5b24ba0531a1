#include "Tumblewick/colony/ui/mac_wizard_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include "Tumblewick/colony/mac_custom_flea_store.h"
#include "Tumblewick/colony/ui/colony_style.h"
#include "Tumblewick/colony/ui/mac_flea_preview_look.h"
#include "platform/log.h"
#include "platform/unicode.h"

namespace tw {

using ColonyStyle::TextRole;

namespace {

constexpr int dialogWidth = 500;
constexpr int dialogHeight = 600;
// Shorter where the space above the strip is; the pages scroll.
constexpr int minimumDialogHeight = 300;
constexpr int margin = 24;
constexpr int contentWidth = dialogWidth - 2 * margin;

// Rows of at most `width`, each centred, 8 points apart: a long palette or hat list
// wraps instead of being cut off by the dialog's fixed width.
QVBoxLayout* centredRows(const std::vector<QWidget*>& widgets, int width) {
    auto* rows = new QVBoxLayout;
    rows->setSpacing(8);
    QHBoxLayout* row = nullptr;
    int used = 0;
    for (auto* widget : widgets) {
        const int wanted = widget->sizeHint().width();
        if (row == nullptr || used + 8 + wanted > width) {
            if (row != nullptr) row->addStretch();
            row = new QHBoxLayout;
            row->setSpacing(8);
            row->addStretch();
            rows->addLayout(row);
            used = 0;
        }
        row->addWidget(widget);
        used += wanted + 8;
    }
    if (row != nullptr) row->addStretch();
    return rows;
}

}  // namespace

MacColorSwatch::MacColorSwatch(const QColor& color, QWidget* parent)
    : QAbstractButton(parent), color_(color) {
    setFixedSize(28, 28);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
}

void MacColorSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawEllipse(QRectF(rect()));
    if (isChecked()) {
        // The ring lies inside the circle's edge.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(ColonyStyle::yellow(), 3));
        painter.drawEllipse(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
    }
}

MacHatChip::MacHatChip(const QString& label, QWidget* parent) : QAbstractButton(parent) {
    setText(label);
    setFont(ColonyStyle::font(TextRole::caption));
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
}

QSize MacHatChip::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 20, metrics.height() + 12};
}

void MacHatChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    QPainterPath shape;
    shape.addRoundedRect(box, 8, 8);
    painter.fillPath(
        shape, isChecked() ? ColonyStyle::yellow(0.2) : ColonyStyle::toneColor({Tone::grey, 0.1}, *this));
    if (isChecked()) painter.strokePath(shape, QPen(ColonyStyle::yellow(), 2));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

MacWizardDialog::MacWizardDialog(const ProgressionSpec& spec, MacCustomFleaStore& store, RandomSource& random,
                                 const Clock& clock, QWidget* parent)
    : QDialog(parent), spec_(spec), store_(store), random_(random), clock_(clock) {
    setPalette(ColonyStyle::palette());
    setWindowTitle("Create a Flea");
    setWindowModality(Qt::WindowModal);
    setFixedWidth(dialogWidth);
    setMinimumHeight(minimumDialogHeight);
    setMaximumHeight(dialogHeight);
    resize(dialogWidth, dialogHeight);
    model_.name = randomSampleName(random_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(16);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pages_ = new QStackedWidget;
    pages_->addWidget(buildCustomizePage());
    pages_->addWidget(buildQuizPage());
    pages_->addWidget(buildRevealPage());
    scroll->setWidget(pages_);
    layout->addWidget(scroll, 1);
    // Below the scrolling pages, so that a short dialog keeps it in sight.
    findMyActButton_ = new QPushButton("Find My Act", this);
    findMyActButton_->setDefault(true);
    findMyActButton_->setMinimumHeight(32);
    ColonyStyle::padButton(*findMyActButton_);
    connect(findMyActButton_, &QPushButton::clicked, this, [this] {
        model_.findMyAct();
        showStep();
    });
    layout->addWidget(findMyActButton_, 0, Qt::AlignHCenter);
    refreshChoices();
    showStep();
}

QWidget* MacWizardDialog::buildCustomizePage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->addWidget(ColonyStyle::plainLabel("Create Your Flea", TextRole::title2, page, true), 0,
                      Qt::AlignHCenter);

    nameField_ = new QLineEdit(page);
    nameField_->setPlaceholderText("Name");
    nameField_->setFont(ColonyStyle::font(TextRole::title3));
    nameField_->setText(ColonyStyle::qstr(model_.name));
    connect(nameField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_.name = text.toStdString();
        findMyActButton_->setEnabled(model_.canFindAct());
    });
    layout->addWidget(nameField_);

    randomizeButton_ = new QPushButton("Randomize", page);
    randomizeButton_->setAutoDefault(false);
    connect(randomizeButton_, &QPushButton::clicked, this,
            [this] { nameField_->setText(ColonyStyle::qstr(randomSampleName(random_))); });
    layout->addWidget(randomizeButton_, 0, Qt::AlignHCenter);

    auto caption = [&](std::string_view text) {
        auto* label = ColonyStyle::plainLabel(text, TextRole::caption, page);
        ColonyStyle::setTextColor(*label, ColonyStyle::toneColor({Tone::secondary, 1}, *this));
        layout->addWidget(label, 0, Qt::AlignHCenter);
    };

    // Rows narrow enough to stay whole beside the scroll bar of a short dialog.
    const int rowWidth = contentWidth - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    caption("Body Colour");
    std::vector<QWidget*> swatchWidgets;
    for (std::size_t i = 0; i < spec_.bodyPalette.size(); ++i) {
        const Color c = swatchColor(spec_.bodyPalette[i]);
        auto* swatch =
            new MacColorSwatch(QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green),
                                                static_cast<float>(c.blue)),
                               page);
        swatch->setToolTip(ColonyStyle::qstr(spec_.bodyPalette[i].name));
        connect(swatch, &QAbstractButton::clicked, this, [this, i] {
            model_.bodyColorIndex = static_cast<std::int64_t>(i);
            refreshChoices();
        });
        swatches_.push_back(swatch);
        swatchWidgets.push_back(swatch);
    }
    layout->addLayout(centredRows(swatchWidgets, rowWidth));

    caption("Hat");
    std::vector<QWidget*> chipWidgets;
    for (const auto& hat : spec_.hatKinds) {
        auto* chip = new MacHatChip(ColonyStyle::qstr(hat.label), page);
        connect(chip, &QAbstractButton::clicked, this, [this, id = hat.id] {
            model_.hatKindID = id;
            refreshChoices();
        });
        hatChips_.push_back(chip);
        chipWidgets.push_back(chip);
    }
    layout->addLayout(centredRows(chipWidgets, rowWidth));
    layout->addStretch();
    return page;
}

QWidget* MacWizardDialog::buildQuizPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    questionCounter_ = ColonyStyle::plainLabel("", TextRole::caption, page);
    ColonyStyle::setTextColor(*questionCounter_, ColonyStyle::toneColor({Tone::secondary, 1}, *this));
    layout->addWidget(questionCounter_, 0, Qt::AlignHCenter);
    questionText_ = ColonyStyle::plainLabel("", TextRole::title3, page, true);
    questionText_->setAlignment(Qt::AlignCenter);
    questionText_->setWordWrap(true);
    layout->addWidget(questionText_);

    auto* answers = new QVBoxLayout;
    answers->setSpacing(8);
    for (std::size_t i = 0; i < quizQuestions[0].answers.size(); ++i) {
        auto* button = new QPushButton(page);
        button->setAutoDefault(false);
        button->setMinimumHeight(34);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(button, &QPushButton::clicked, this, [this, i] {
            const auto index = model_.questionIndex();
            if (!index) return;
            model_.answer(quizQuestions[static_cast<std::size_t>(*index)].answers[i].actKey);
            showStep();
        });
        answerButtons_.push_back(button);
        answers->addWidget(button);
    }
    layout->addLayout(answers);
    layout->addStretch();
    return page;
}

QWidget* MacWizardDialog::buildRevealPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);
    layout->addStretch();

    revealContent_ = new QWidget(page);
    auto* content = new QVBoxLayout(revealContent_);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(20);
    auto* intro = ColonyStyle::plainLabel("Your calling is...", TextRole::headline, revealContent_);
    ColonyStyle::setTextColor(*intro, ColonyStyle::toneColor({Tone::secondary, 1}, *this));
    content->addWidget(intro, 0, Qt::AlignHCenter);
    revealEmoji_ = ColonyStyle::plainLabel("", TextRole::body, revealContent_);
    QFont emojiFont = revealEmoji_->font();
    emojiFont.setPixelSize(64);
    revealEmoji_->setFont(emojiFont);
    content->addWidget(revealEmoji_, 0, Qt::AlignHCenter);
    revealCallingName_ = ColonyStyle::plainLabel("", TextRole::title, revealContent_, true);
    revealCallingName_->setAlignment(Qt::AlignCenter);
    revealCallingName_->setWordWrap(true);
    ColonyStyle::setTextColor(*revealCallingName_, ColonyStyle::yellow());
    content->addWidget(revealCallingName_);
    welcomeButton_ = new QPushButton(revealContent_);
    welcomeButton_->setDefault(true);
    welcomeButton_->setMinimumHeight(36);
    connect(welcomeButton_, &QPushButton::clicked, this, &MacWizardDialog::create);
    content->addWidget(welcomeButton_, 0, Qt::AlignHCenter);
    layout->addWidget(revealContent_);

    // Without the act in the document no flea can be made; say so instead of a blank
    // page (Esc and the close button still leave).
    revealMissing_ = ColonyStyle::plainLabel(
        "This act is missing from the progression document. Press Esc to close.", TextRole::body, page);
    revealMissing_->setAlignment(Qt::AlignCenter);
    revealMissing_->setWordWrap(true);
    ColonyStyle::setTextColor(*revealMissing_, ColonyStyle::toneColor({Tone::secondary, 1}, *this));
    layout->addWidget(revealMissing_);
    layout->addStretch();
    return page;
}

void MacWizardDialog::refreshChoices() {
    for (std::size_t i = 0; i < swatches_.size(); ++i) {
        swatches_[i]->setChecked(static_cast<std::int64_t>(i) == model_.bodyColorIndex);
    }
    for (std::size_t i = 0; i < hatChips_.size(); ++i) {
        hatChips_[i]->setChecked(spec_.hatKinds[i].id == model_.hatKindID);
    }
}

// Only the page shown counts towards the scrolled height: a short page gets no scroll
// bar because another page is taller.
void MacWizardDialog::showPage(int index) {
    for (int i = 0; i < pages_->count(); ++i) {
        const auto policy = i == index ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        pages_->widget(i)->setSizePolicy(policy, policy);
    }
    pages_->setCurrentIndex(index);
}

void MacWizardDialog::showStep() {
    findMyActButton_->setEnabled(model_.canFindAct());
    findMyActButton_->setVisible(model_.step == MacWizardModel::customizeStep);
    if (model_.step == MacWizardModel::customizeStep) {
        showPage(0);
        return;
    }
    if (const auto index = model_.questionIndex()) {
        const auto& question = quizQuestions[static_cast<std::size_t>(*index)];
        questionCounter_->setText(ColonyStyle::qstr(questionCounterText(*index)));
        questionText_->setText(ColonyStyle::qstr(question.text));
        for (std::size_t i = 0; i < answerButtons_.size(); ++i) {
            answerButtons_[i]->setText(ColonyStyle::buttonText(question.answers[i].text));
        }
        showPage(1);
        return;
    }
    const auto* act = model_.revealedActSpec(spec_);
    revealContent_->setVisible(act != nullptr);
    revealMissing_->setVisible(act == nullptr);
    if (act != nullptr) {
        revealEmoji_->setText(ColonyStyle::qstr(act->emoji));
        revealCallingName_->setText(ColonyStyle::qstr(unicode::uppercased(act->callingName)));
        welcomeButton_->setText(ColonyStyle::buttonText(
            welcomeButtonText(ColonyStyle::elidedName(model_.name, welcomeButton_->font(), 280))));
        ColonyStyle::padButton(*welcomeButton_);
        welcomeButton_->setFocus();
    } else {
        log::warning("The quiz revealed the act \"" + model_.revealedAct.value_or("") +
                     "\", which the progression document does not hold; no flea can be made.");
    }
    showPage(2);
}

void MacWizardDialog::create() {
    auto flea = model_.makeFlea(spec_, clock_);
    if (!flea) return;
    store_.add(*flea);
    accept();
}

}  // namespace tw
