#include "app/SoftwareVersionText.h"

#include "app/DeviceSummary.h"
#include "appmodel/LorvPalette.h"
#include "browser/ElidedLabel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

SoftwareVersionText::SoftwareVersionText(QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    title_ = new ElidedLabel(Qt::ElideRight, this);
    // The width of its text while the toolbar has room; shortened, rather than pushing the
    // toolbar's buttons or the sidebar aside, when it has not.
    title_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    QFont titleFont = title_->font();
    titleFont.setPixelSize(12);
    titleFont.setWeight(QFont::Medium);
    title_->setFont(titleFont);

    QPalette fog = palette();
    fog.setColor(QPalette::WindowText, LorvPalette::fog());
    dot_ = new QLabel(QStringLiteral("·"), this);
    dot_->setPalette(fog);
    version_ = new QLabel(this);
    version_->setTextFormat(Qt::PlainText);
    version_->setPalette(fog);
    QFont captionFont = version_->font();
    captionFont.setPixelSize(10);
    version_->setFont(captionFont);

    row->addWidget(title_);
    row->addWidget(dot_);
    row->addWidget(version_);
    refresh();
}

void SoftwareVersionText::setTitle(const QString& title) {
    title_->setText(title);
}

void SoftwareVersionText::setSoftwareVersion(const std::optional<QString>& version) {
    softwareVersion_ = version;
    refresh();
}

void SoftwareVersionText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}

void SoftwareVersionText::refresh() {
    dot_->setVisible(softwareVersion_.has_value());
    version_->setVisible(softwareVersion_.has_value());
    version_->setText(softwareVersion_ ? DeviceSummary::softwareVersionText(*softwareVersion_,
                                                                            AppLanguages::stored())
                                       : QString());
}
