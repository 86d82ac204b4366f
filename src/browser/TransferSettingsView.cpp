#include "browser/TransferSettingsView.h"

#include "appmodel/LorvPalette.h"
#include "browser/ByteCountFormatter.h"
#include "browser/Surfaces.h"
#include "browser/TextStyle.h"
#include "platform/Settings.h"
#include "transfer/TransferSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSysInfo>
#include <QToolButton>
#include <QVBoxLayout>

#include <unistd.h>

#include <array>
#include <atomic>

namespace {

std::atomic<int> processorLookups{0};

QLabel* heading(QWidget* parent) {
    return TextStyle::label(TextStyle::body(QFont::Bold), LorvPalette::mist(), parent);
}

QVBoxLayout* section(QVBoxLayout* form) {
    auto* column = new QVBoxLayout;
    column->setSpacing(9);
    column->setContentsMargins(0, 0, 0, 0);
    form->addLayout(column);
    return column;
}

qint64 physicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * qint64(pageSize) : 0;
}

// The rows of the system information block: a label key, whether the value wraps.
struct InformationRow {
    QString key;
    bool wraps;
};
const std::array<InformationRow, 4>& informationRows() {
    static const std::array<InformationRow, 4> rows = {{
        {LZ("Computer Name"), true},
        // The system's own name and version in place of the other platform's.
        {LZ("Operating System"), true},
        {LZ("Processor"), false},
        {LZ("Memory"), false},
    }};
    return rows;
}

} // namespace

TransferSettingsView::LanguageBinding TransferSettingsView::storedLanguage() {
    return {[] { return AppLanguages::stored(); },
            [](AppLanguage language) {
                Settings::shared().setValue(AppLanguages::storageKey(),
                                            AppLanguages::rawValue(language));
            }};
}

TransferSettingsView::TransferSettingsView(LanguageBinding language, QWidget* parent)
    : QWidget(parent)
    , languageBinding_(std::move(language)) {
    setObjectName(QStringLiteral("transferSettings"));
    setFixedWidth(formWidth);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, LorvPalette::night800());
    p.setColor(QPalette::Highlight, LorvPalette::periwinkle());
    p.setColor(QPalette::WindowText, LorvPalette::mist());
    setPalette(p);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(15, 15, 15, 15);
    form->setSpacing(13);

    QVBoxLayout* conversion = section(form);
    conversionHeading_ = heading(this);
    conversion->addWidget(conversionHeading_);
    auto* formatRow = new QHBoxLayout;
    outputFormatLabel_ = new QLabel(this);
    bitrate_ = new QComboBox(this);
    bitrate_->setObjectName(QStringLiteral("outputFormat"));
    for (TransferSettings::Bitrate rate : TransferSettings::allBitrates)
        bitrate_->addItem(QString(), TransferSettings::rawValue(rate));
    formatRow->addWidget(outputFormatLabel_);
    formatRow->addStretch(1);
    formatRow->addWidget(bitrate_);
    conversion->addLayout(formatRow);
    onlyUnsupported_ = new QCheckBox(this);
    conversion->addWidget(onlyUnsupported_);
    caption_ = TextStyle::label(TextStyle::caption(), LorvPalette::fog(), this);
    caption_->setWordWrap(true);
    conversion->addWidget(caption_);

    form->addWidget(Surfaces::separator(this));

    QVBoxLayout* general = section(form);
    generalHeading_ = heading(this);
    general->addWidget(generalHeading_);
    auto* languageRow = new QHBoxLayout;
    languageLabel_ = new QLabel(this);
    language_ = new QComboBox(this);
    language_->setObjectName(QStringLiteral("language"));
    for (AppLanguage value : AppLanguages::allCases)
        language_->addItem(QString(), AppLanguages::rawValue(value));
    languageRow->addWidget(languageLabel_);
    languageRow->addWidget(language_, 1);
    general->addLayout(languageRow);
    autoEject_ = new QCheckBox(this);
    general->addWidget(autoEject_);

    form->addWidget(Surfaces::separator(this));

    disclosure_ = new QToolButton(this);
    disclosure_->setObjectName(QStringLiteral("systemInformationToggle"));
    disclosure_->setCheckable(true);
    disclosure_->setAutoRaise(true);
    disclosure_->setArrowType(Qt::RightArrow);
    disclosure_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    disclosure_->setFont(TextStyle::body(QFont::Bold));
    // A disclosure control, not a toggle button: no plate while open.
    disclosure_->setStyleSheet(
        QStringLiteral(
            "QToolButton { border: none; background: transparent; color: %1; padding: 0; }")
            .arg(LorvPalette::mist().name()));
    form->addWidget(disclosure_, 0, Qt::AlignLeft);

    connect(bitrate_, &QComboBox::activated, this, [this](int index) {
        Settings::shared().setValue(TransferSettings::Key::bitrate, bitrate_->itemData(index));
    });
    connect(onlyUnsupported_, &QCheckBox::toggled, this, [](bool on) {
        Settings::shared().setValue(TransferSettings::Key::onlyUnsupported, on);
    });
    connect(autoEject_, &QCheckBox::toggled, this,
            [](bool on) { Settings::shared().setValue(TransferSettings::Key::autoEject, on); });
    connect(language_, &QComboBox::activated, this, [this](int index) {
        if (const auto language = AppLanguages::fromRawValue(language_->itemData(index).toString()))
            languageBinding_.set(*language);
    });
    connect(disclosure_, &QToolButton::toggled, this, &TransferSettingsView::showSystemInformation);
    connect(&Settings::shared(), &Settings::changed, this, &TransferSettingsView::settingChanged);

    refreshValues();
    relabel();
}

// MARK: values

void TransferSettingsView::settingChanged(const QString& key) {
    if (key == TransferSettings::Key::bitrate || key == TransferSettings::Key::onlyUnsupported ||
        key == TransferSettings::Key::autoEject || key == AppLanguages::storageKey()) {
        refreshValues();
        relabel();
    }
}

void TransferSettingsView::refreshValues() {
    const QSignalBlocker b1(bitrate_), b2(onlyUnsupported_), b3(autoEject_), b4(language_);
    bitrate_->setCurrentIndex(bitrate_->findData(Settings::aacBitrate()));
    onlyUnsupported_->setChecked(Settings::onlyUnsupported());
    autoEject_->setChecked(Settings::autoEject());
    language_->setCurrentIndex(language_->findData(AppLanguages::rawValue(languageBinding_.get())));
}

void TransferSettingsView::relabel() {
    const AppLanguage language = languageBinding_.get();
    conversionHeading_->setText(localizedString(LZ("Audio Conversion"), language));
    const QString outputFormat = localizedString(LZ("Output Format"), language);
    outputFormatLabel_->setText(outputFormat);
    bitrate_->setAccessibleName(outputFormat);
    for (int i = 0; i < bitrate_->count(); ++i)
        bitrate_->setItemText(
            i, localizedString(LZ("%1 kbps AAC"), language, bitrate_->itemData(i).toInt()));
    onlyUnsupported_->setText(localizedString(LZ("Keep compatible audio when possible"), language));
    caption_->setText(
        onlyUnsupported_->isChecked()
            ? localizedString(LZ("Compatible MP3 and AAC files keep their original encoding when "
                                 "their tags need no changes."),
                              language)
            : localizedString(LZ("All imported audio is re-encoded as AAC."), language));
    generalHeading_->setText(localizedString(LZ("General"), language));
    languageLabel_->setText(localizedString(LZ("Language"), language));
    // The two languages are named in their own words, never translated.
    language_->setItemText(0, localizedString(LZ("Follow System"), language));
    language_->setItemText(1, QStringLiteral("English"));
    language_->setItemText(2, QStringLiteral("简体中文"));
    autoEject_->setText(localizedString(LZ("Eject after a successful import"), language));
    disclosure_->setText(localizedString(LZ("System Information"), language));
    if (systemInformation_) {
        const QString unavailable = localizedString(LZ("Unavailable"), language);
        auto value = [&](int row) {
            return static_cast<QLabel*>(systemGrid_->itemAtPosition(row, 1)->widget());
        };
        for (int row = 0; row < int(informationRows().size()); ++row)
            static_cast<QLabel*>(systemGrid_->itemAtPosition(row, 0)->widget())
                ->setText(localizedString(informationRows()[row].key, language));
        const QString host = QSysInfo::machineHostName();
        value(0)->setText(host.isEmpty() ? unavailable : host);
        value(1)->setText(QSysInfo::prettyProductName());
        value(2)->setText(processorName().value_or(unavailable));
        value(3)->setText(ByteCountFormatter::format(physicalMemory(), language,
                                                     ByteCountFormatter::Style::memory));
    }
}

void TransferSettingsView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        relabel();
    QWidget::changeEvent(event);
}

// MARK: system information

void TransferSettingsView::showSystemInformation(bool shows) {
    disclosure_->setArrowType(shows ? Qt::DownArrow : Qt::RightArrow);
    if (shows && !systemInformation_)
        buildSystemInformation();
    if (systemInformation_)
        systemInformation_->setVisible(shows);
}

void TransferSettingsView::buildSystemInformation() {
    systemInformation_ = new QWidget(this);
    systemInformation_->setObjectName(QStringLiteral("systemInformation"));
    systemGrid_ = new QGridLayout(systemInformation_);
    systemGrid_->setContentsMargins(0, 0, 0, 0);
    systemGrid_->setHorizontalSpacing(10);
    systemGrid_->setVerticalSpacing(7);
    systemGrid_->setColumnStretch(1, 1);
    for (int row = 0; row < int(informationRows().size()); ++row) {
        auto* label = new QLabel(systemInformation_);
        auto* value = new QLabel(systemInformation_);
        for (QLabel* text : {label, value}) {
            text->setFont(TextStyle::caption());
            text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        }
        TextStyle::setTextColor(label, LorvPalette::fog());
        value->setTextFormat(Qt::PlainText);
        value->setWordWrap(informationRows()[row].wraps);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        systemGrid_->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignTop);
        systemGrid_->addWidget(value, row, 1, Qt::AlignLeft | Qt::AlignTop);
    }
    layout()->addWidget(systemInformation_);
    relabel();
}

QList<QLabel*> TransferSettingsView::systemInformationValues() const {
    QList<QLabel*> values;
    if (!systemGrid_)
        return values;
    for (int row = 0; row < systemGrid_->rowCount(); ++row)
        values.append(static_cast<QLabel*>(systemGrid_->itemAtPosition(row, 1)->widget()));
    return values;
}

// MARK: processor

std::optional<QString> TransferSettingsView::processorName(const QByteArray& cpuinfo) {
    for (const QByteArray& line : cpuinfo.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed() != "model name")
            continue;
        const QString name = QString::fromUtf8(line.mid(colon + 1)).trimmed();
        if (!name.isEmpty())
            return name;
    }
    return std::nullopt;
}

const std::optional<QString>& TransferSettingsView::processorName() {
    static const std::optional<QString> name = [] {
        ++processorLookups;
        QFile file(QStringLiteral("/proc/cpuinfo"));
        if (!file.open(QIODevice::ReadOnly))
            return std::optional<QString>();
        // The first processor's block comes first; far less than this holds it.
        return processorName(file.read(64 * 1024));
    }();
    return name;
}

int TransferSettingsView::processorLookupCount() {
    return processorLookups.load();
}
