#include "app/LorvanelApp.h"
#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "appmodel/LorvPalette.h"
#include "browser/TextStyle.h"
#include "browser/TransferSettingsView.h"
#include "platform/Settings.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QSettings>
#include <QTest>
#include <QTextLayout>

namespace {

class LorvanelAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel")).clear();
        LorvanelApp::applyAppearance();
    }
    void TearDown() override {
        QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel")).clear();
    }
};

} // namespace

TEST_F(LorvanelAppTest, MainWindowOpensWithItsTitleSizeAndColour) {
    LorvanelApp app;
    app.show();
    MainWindow& window = app.mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Lorvanel"));
    EXPECT_EQ(window.size(), QSize(1160, 760));
    EXPECT_EQ(&window.store(), &app.store());
    const QImage shot = window.grab().toImage();
    // The top edge of the detail column shows the window colour, the sidebar its own.
    EXPECT_EQ(shot.pixelColor(shot.width() - 3, 3).rgb(), LorvPalette::night800().rgb());
    EXPECT_EQ(shot.pixelColor(5, shot.height() - 5).rgb(), LorvPalette::inkAlt().rgb());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), LorvPalette::night800());
}

TEST_F(LorvanelAppTest, CtrlCommaOpensSettings) {
    LorvanelApp app;
    app.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&app.mainWindow()));
    app.mainWindow().activateWindow();
    QTest::keyClick(&app.mainWindow(), Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return app.settingsWindow().isVisible(); }));
    EXPECT_EQ(app.settingsWindow().windowTitle(), QStringLiteral("Settings"));
    // Closing the main window takes the Settings window with it.
    app.mainWindow().close();
    EXPECT_FALSE(app.settingsWindow().isVisible());
}

TEST_F(LorvanelAppTest, LanguageChangeRelabelsOpenWindowsWithoutRestart) {
    LorvanelApp app;
    app.show();
    app.showSettings();
    // The sidebar's "Devices" section text stands for every text of the main window.
    auto* placeholder = app.mainWindow().findChild<QLabel*>(QStringLiteral("waitingLabel"));
    ASSERT_NE(placeholder, nullptr);
    const QString english = placeholder->text();

    // The Settings window holds the transfer settings form, which speaks the language too.
    TransferSettingsView* form = app.settingsWindow().settingsView();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->autoEjectBox()->text(), QStringLiteral("Eject after a successful import"));

    Settings::shared().setValue(Settings::Keys::appLanguage, QStringLiteral("zh-Hans"));
    EXPECT_EQ(app.settingsWindow().windowTitle(), QStringLiteral("设置"));
    EXPECT_NE(placeholder->text(), english);
    EXPECT_EQ(form->autoEjectBox()->text(), QStringLiteral("导入成功后推出"));
    EXPECT_EQ(form->languageBox()->currentText(), QStringLiteral("简体中文"));

    Settings::shared().setValue(Settings::Keys::appLanguage, QStringLiteral("en"));
    EXPECT_EQ(app.settingsWindow().windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(placeholder->text(), english);
    EXPECT_EQ(form->languageBox()->currentText(), QStringLiteral("English"));
}

TEST_F(LorvanelAppTest, QtsOwnButtonsSpeakTheChosenLanguage) {
    LorvanelApp app;
    QDialogButtonBox open(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    EXPECT_EQ(open.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));

    Settings::shared().setValue(Settings::Keys::appLanguage, QStringLiteral("zh-Hans"));
    QCoreApplication::processEvents();
    EXPECT_EQ(open.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    QDialogButtonBox made(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    EXPECT_EQ(made.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    EXPECT_EQ(made.button(QDialogButtonBox::Save)->text(), QStringLiteral("保存"));

    Settings::shared().setValue(Settings::Keys::appLanguage, QStringLiteral("en"));
    QCoreApplication::processEvents();
    EXPECT_EQ(open.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(QDialogButtonBox(QDialogButtonBox::Save).button(QDialogButtonBox::Save)->text(),
              QStringLiteral("Save"));
}

TEST_F(LorvanelAppTest, ChineseTitlesGetARealBoldFace) {
    const QString noto = QStringLiteral("Noto Sans CJK SC");
    if (!QFontDatabase::families().contains(noto))
        GTEST_SKIP() << "fonts-noto-cjk is not installed";
    // A semibold title in the interface's font: the Han glyphs come from a face drawn bold, the
    // Latin ones stay in the interface's own family.
    QTextLayout layout(QStringLiteral("设置 Settings"), TextStyle::title2(QFont::DemiBold));
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList faces;
    for (const QGlyphRun& run : layout.glyphRuns())
        faces << run.rawFont().familyName() + u'/' + run.rawFont().styleName();
    ASSERT_EQ(faces.size(), 2) << qPrintable(faces.join(u','));
    EXPECT_TRUE(faces.contains(noto + QStringLiteral("/Bold"))) << qPrintable(faces.join(u','));
    EXPECT_TRUE(faces.contains(QFontInfo(QApplication::font()).family() + QStringLiteral("/Bold")))
        << qPrintable(faces.join(u','));
}

TEST_F(LorvanelAppTest, IconIsLoadedOnceFromTheResources) {
    LorvanelApp::setApplicationIcon();
    const int loads = LorvanelApp::applicationIconLoadCount();
    EXPECT_EQ(loads, 1);
    LorvanelApp::setApplicationIcon();
    LorvanelApp::applicationIcon();
    EXPECT_EQ(LorvanelApp::applicationIconLoadCount(), 1);
    EXPECT_FALSE(LorvanelApp::applicationIcon().isNull());
    EXPECT_FALSE(QApplication::windowIcon().pixmap(32).isNull());
}
