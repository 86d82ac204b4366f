#pragma once

// The small settings form of the program: the AAC bitrate of conversions, whether compatible
// audio is kept, the interface language, automatic eject after an import, and a block of facts
// about the computer that opens on demand. Every control writes its settings key at once (there
// is no Save button) and follows a change made elsewhere, so the Settings window and the
// toolbar's popup stay in step. The form starts collapsed each time it is made.

#include "platform/AppLanguage.h"

#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QToolButton;

class TransferSettingsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int formWidth = 302;

    // The host's binding to the interface language.
    struct LanguageBinding {
        std::function<AppLanguage()> get;
        std::function<void(AppLanguage)> set;
    };
    // The binding to the stored "app.language", which every window follows.
    static LanguageBinding storedLanguage();

    explicit TransferSettingsView(LanguageBinding language, QWidget* parent = nullptr);

    // The first "model name" of /proc/cpuinfo, read on first use and kept for the run; none
    // when the machine does not name its processor there.
    static const std::optional<QString>& processorName();
    // How often the processor was looked up in this run (once at most).
    static int processorLookupCount();
    // The processor named in a cpuinfo text.
    static std::optional<QString> processorName(const QByteArray& cpuinfo);

    QComboBox* bitrateBox() const { return bitrate_; }
    QCheckBox* onlyUnsupportedBox() const { return onlyUnsupported_; }
    QLabel* onlyUnsupportedCaption() const { return caption_; }
    QComboBox* languageBox() const { return language_; }
    QCheckBox* autoEjectBox() const { return autoEject_; }
    QToolButton* systemInformationToggle() const { return disclosure_; }
    QWidget* systemInformation() const { return systemInformation_; }
    // The value column of the system information, top to bottom.
    QList<QLabel*> systemInformationValues() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void settingChanged(const QString& key);
    void showSystemInformation(bool shows);
    void buildSystemInformation();
    void refreshValues();
    void relabel();

    LanguageBinding languageBinding_;

    QLabel* conversionHeading_ = nullptr;
    QLabel* outputFormatLabel_ = nullptr;
    QComboBox* bitrate_ = nullptr;
    QCheckBox* onlyUnsupported_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* generalHeading_ = nullptr;
    QLabel* languageLabel_ = nullptr;
    QComboBox* language_ = nullptr;
    QCheckBox* autoEject_ = nullptr;
    QToolButton* disclosure_ = nullptr;
    QWidget* systemInformation_ = nullptr;
    QGridLayout* systemGrid_ = nullptr;
};
