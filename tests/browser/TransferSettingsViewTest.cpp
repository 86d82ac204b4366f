// The transfer settings form: what it shows with no settings stored, the keys each control
// writes at once, a change made elsewhere reaching it, the language it speaks, and the system
// information it shows on demand.

#include "browser/TransferSettingsView.h"

#include "platform/Settings.h"
#include "transfer/TransferSettings.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QTest>
#include <QToolButton>

namespace {

class TransferSettingsViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel")).clear();
        Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("en"));
    }
    void TearDown() override {
        QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel")).clear();
    }

    static void choose(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    static QStringList items(const QComboBox* box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts.append(box->itemText(i));
        return texts;
    }
    static void relabel(QWidget& widget) {
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(&widget, &change);
    }
};

} // namespace

TEST_F(TransferSettingsViewTest, StartsFromTheDefaultsWithItsTexts) {
    QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel")).clear();
    TransferSettingsView view(TransferSettingsView::storedLanguage());
    EXPECT_EQ(view.width(), TransferSettingsView::formWidth);
    EXPECT_EQ(items(view.bitrateBox()),
              (QStringList{"128 kbps AAC", "192 kbps AAC", "256 kbps AAC", "320 kbps AAC"}));
    EXPECT_EQ(view.bitrateBox()->currentText(), QStringLiteral("320 kbps AAC"));
    EXPECT_TRUE(view.onlyUnsupportedBox()->isChecked());
    EXPECT_EQ(view.onlyUnsupportedBox()->text(),
              QStringLiteral("Keep compatible audio when possible"));
    EXPECT_EQ(view.onlyUnsupportedCaption()->text(),
              QStringLiteral("Compatible MP3 and AAC files keep their original encoding when "
                             "their tags need no changes."));
    EXPECT_FALSE(view.autoEjectBox()->isChecked());
    EXPECT_EQ(view.autoEjectBox()->text(), QStringLiteral("Eject after a successful import"));
    EXPECT_EQ(items(view.languageBox()), (QStringList{"Follow System", "English", "简体中文"}));
    EXPECT_EQ(view.languageBox()->currentText(), QStringLiteral("Follow System"));
    // The system information waits for its disclosure.
    EXPECT_EQ(view.systemInformation(), nullptr);
    EXPECT_EQ(view.systemInformationToggle()->text(), QStringLiteral("System Information"));
}

TEST_F(TransferSettingsViewTest, EachControlWritesItsKeyAtOnceAndFollowsOtherWriters) {
    TransferSettingsView view(TransferSettingsView::storedLanguage());
    TransferSettingsView other(TransferSettingsView::storedLanguage());

    choose(view.bitrateBox(), 1);
    EXPECT_EQ(Settings::read(QStringLiteral("transfer.aacBitrate")).toInt(), 192);
    EXPECT_EQ(TransferSettings::load().bitrate, TransferSettings::Bitrate::kbps192);
    EXPECT_EQ(other.bitrateBox()->currentText(), QStringLiteral("192 kbps AAC"));

    view.onlyUnsupportedBox()->click();
    EXPECT_FALSE(Settings::read(QStringLiteral("transfer.onlyUnsupported")).toBool());
    EXPECT_EQ(view.onlyUnsupportedCaption()->text(),
              QStringLiteral("All imported audio is re-encoded as AAC."));
    EXPECT_FALSE(other.onlyUnsupportedBox()->isChecked());
    EXPECT_EQ(other.onlyUnsupportedCaption()->text(),
              QStringLiteral("All imported audio is re-encoded as AAC."));

    view.autoEjectBox()->click();
    EXPECT_TRUE(Settings::read(QStringLiteral("transfer.autoEject")).toBool());
    EXPECT_TRUE(other.autoEjectBox()->isChecked());
    EXPECT_TRUE(TransferSettings::load().autoEject);

    // A value written elsewhere (a stale 160 counts as 320) shows at once.
    Settings::shared().setValue(QStringLiteral("transfer.aacBitrate"), 160);
    EXPECT_EQ(view.bitrateBox()->currentText(), QStringLiteral("320 kbps AAC"));
}

TEST_F(TransferSettingsViewTest, ChoosingChineseStoresItAndTheFormSpeaksIt) {
    TransferSettingsView view(TransferSettingsView::storedLanguage());
    choose(view.languageBox(), 2);
    EXPECT_EQ(Settings::read(QStringLiteral("app.language")).toString(), QStringLiteral("zh-Hans"));
    relabel(view);
    EXPECT_EQ(view.onlyUnsupportedBox()->text(), QStringLiteral("尽可能保留兼容的音频"));
    EXPECT_EQ(view.bitrateBox()->currentText(), QStringLiteral("320 kbps AAC"));
    // The languages keep their own names.
    EXPECT_EQ(items(view.languageBox()), (QStringList{"跟随系统", "English", "简体中文"}));
    EXPECT_EQ(view.languageBox()->currentText(), QStringLiteral("简体中文"));
    choose(view.languageBox(), 1);
    EXPECT_EQ(Settings::read(QStringLiteral("app.language")).toString(), QStringLiteral("en"));
}

TEST_F(TransferSettingsViewTest, SystemInformationOpensAndClosesWithTheMachinesFacts) {
    TransferSettingsView view(TransferSettingsView::storedLanguage());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const int collapsed = view.sizeHint().height();
    view.systemInformationToggle()->click();
    ASSERT_NE(view.systemInformation(), nullptr);
    EXPECT_TRUE(view.systemInformation()->isVisible());
    EXPECT_GT(view.sizeHint().height(), collapsed);
    const QList<QLabel*> values = view.systemInformationValues();
    ASSERT_EQ(values.size(), 4);
    EXPECT_FALSE(values[0]->text().isEmpty());
    EXPECT_FALSE(values[1]->text().isEmpty());
    EXPECT_EQ(values[2]->text(),
              TransferSettingsView::processorName().value_or(QStringLiteral("Unavailable")));
    // Memory in units of 1024.
    EXPECT_TRUE(values[3]->text().endsWith(QStringLiteral(" GB")) ||
                values[3]->text().endsWith(QStringLiteral(" MB")))
        << qPrintable(values[3]->text());
    view.systemInformationToggle()->click();
    EXPECT_FALSE(view.systemInformation()->isVisible());

    // A new form starts collapsed; the processor was looked up once for the run.
    TransferSettingsView again(TransferSettingsView::storedLanguage());
    again.systemInformationToggle()->click();
    EXPECT_EQ(TransferSettingsView::processorLookupCount(), 1);
}

TEST(TransferSettingsProcessor, TheFirstModelNameOfCpuinfo) {
    EXPECT_EQ(TransferSettingsView::processorName(QByteArray("processor\t: 0\n"
                                                             "vendor_id\t: GenuineIntel\n"
                                                             "model\t\t: 85\n"
                                                             "model name\t: Intel(R) Xeon(R) CPU\n"
                                                             "\nprocessor\t: 1\n"
                                                             "model name\t: Second\n")),
              QStringLiteral("Intel(R) Xeon(R) CPU"));
    // Many ARM machines name no model; an empty one is no name either.
    EXPECT_EQ(TransferSettingsView::processorName(QByteArray("processor\t: 0\nBogoMIPS\t: 50\n")),
              std::nullopt);
    EXPECT_EQ(TransferSettingsView::processorName(QByteArray("model name\t:   \n")), std::nullopt);
    EXPECT_EQ(TransferSettingsView::processorName(QByteArray()), std::nullopt);
}
