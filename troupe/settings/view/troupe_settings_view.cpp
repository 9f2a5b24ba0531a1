#include "troupe/settings/view/troupe_settings_view.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace tw {

TroupeSettingsView::TroupeSettingsView(TroupeStore& store, TroupePostgresEndpoint endpoint, QWidget* parent,
                                       TelemetrySink& telemetry)
    : QWidget(parent), model_(store, std::move(endpoint), telemetry) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 18);
    layout->setSpacing(14);

    auto* heading = new QLabel(QString::fromUtf8(title), this);
    QFont headingFont = heading->font();
    headingFont.setPixelSize(24);
    headingFont.setWeight(QFont::Bold);
    heading->setFont(headingFont);
    layout->addWidget(heading);

    auto* form = new QGroupBox(this);
    auto* rows = new QFormLayout(form);
    dualWrite_ = new QCheckBox(QString::fromUtf8(dualWriteTitle), form);
    dualWrite_->setChecked(model_.dualWriteEnabled());
    connect(dualWrite_, &QCheckBox::toggled, this, [this](bool on) { model_.setDualWriteEnabled(on); });
    rows->addRow(dualWrite_);
    where_ = new QLabel(QString::fromUtf8(whereText), form);
    where_->setTextFormat(Qt::PlainText);
    where_->setWordWrap(true);
    rows->addRow(where_);
    layout->addWidget(form);
    layout->addStretch(1);
}

}  // namespace tw
