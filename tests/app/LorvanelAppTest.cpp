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
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRawFont>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include <cmath>
#include <cstdio>

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

TEST_F(LorvanelAppTest, CtrlWClosesSettingsAndCtrlQQuits) {
    LorvanelApp app;
    app.show();
    app.showSettings();
    SettingsWindow& settings = app.settingsWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&settings));
    settings.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
    QTest::keyClick(&settings, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(settings.isVisible());
    EXPECT_TRUE(app.mainWindow().isVisible());

    // Quitting from the Settings window ends the event loop with every window closed.
    app.showSettings();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
    QTimer::singleShot(0, &settings,
                       [&] { QTest::keyClick(&settings, Qt::Key_Q, Qt::ControlModifier); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10'000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(app.mainWindow().isVisible());
    EXPECT_FALSE(settings.isVisible());
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

namespace {

// The face of each run of text drawn in the interface's font at these weights, one line each:
// Latin, separators and Han, at regular, the table titles' medium and the titles' semibold.
QStringList interfaceFaces() {
    QStringList lines;
    for (const QFont::Weight weight : {QFont::Normal, QFont::Medium, QFont::DemiBold}) {
        QTextLayout layout(QStringLiteral("Settings · 设置 · 12"), TextStyle::body(weight));
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        QStringList faces;
        for (const QGlyphRun& run : layout.glyphRuns())
            faces << QStringLiteral("%1/%2 x%3")
                         .arg(run.rawFont().familyName(), run.rawFont().styleName())
                         .arg(run.glyphIndexes().size());
        faces.sort();
        lines << QString::number(weight) + u' ' + faces.join(QStringLiteral(", "));
    }
    return lines;
}

bool hasInterfaceFonts() {
    const QStringList families = QFontDatabase::families();
    return families.contains(QStringLiteral("DejaVu Sans")) &&
           families.contains(QStringLiteral("WenQuanYi Micro Hei")) &&
           families.contains(QStringLiteral("Noto Sans CJK SC"));
}

} // namespace

TEST_F(LorvanelAppTest, HanTextTakesTheWeightAskedAndLatinTextItsOwnFamily) {
    if (!hasInterfaceFonts())
        GTEST_SKIP() << "fonts-dejavu-core, fonts-wqy-microhei or fonts-noto-cjk is missing";
    // The language chosen at run time changes no font.
    Settings::shared().setValue(Settings::Keys::appLanguage, QStringLiteral("zh-Hans"));
    const QStringList faces = interfaceFaces();
    // Latin text, digits and the separators in the Latin family; Han text under semibold in the
    // light Han family, medium as regular; semibold Han in a real bold face.
    const QString regular = QStringLiteral("DejaVu Sans/Book x16, WenQuanYi Micro Hei/Regular x2");
    EXPECT_EQ(faces.join(u'|').toStdString(),
              QStringList({QStringLiteral("400 ") + regular, QStringLiteral("500 ") + regular,
                           QStringLiteral("600 DejaVu Sans/Bold x16, Noto Sans CJK SC/Bold x2")})
                  .join(u'|')
                  .toStdString());
    // The session's fonts, for the test that starts this one in other languages.
    std::printf("faces: %s\n", qPrintable(faces.join(QStringLiteral(" | "))));
}

TEST(InterfaceFont, IsTheSameWhicheverLanguageTheSessionStartedIn) {
    if (!hasInterfaceFonts())
        GTEST_SKIP() << "fonts-dejavu-core, fonts-wqy-microhei or fonts-noto-cjk is missing";
    // A session started in Chinese gets a Chinese family as the desktop's font; one started in
    // English and switched gets a Latin one.
    QStringList sessions;
    for (const char* lang : {"zh_CN.UTF-8", "C.UTF-8"}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANGUAGE"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("LANG"), QString::fromLatin1(lang));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--gtest_filter=LorvanelAppTest."
                                      "HanTextTakesTheWeightAskedAndLatinTextItsOwnFamily")});
        ASSERT_TRUE(process.waitForFinished(120'000)) << lang;
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        EXPECT_EQ(process.exitCode(), 0) << lang << out.toStdString();
        const qsizetype at = out.indexOf(QStringLiteral("faces: "));
        ASSERT_GE(at, 0) << lang << out.toStdString();
        sessions << out.mid(at, out.indexOf(u'\n', at) - at);
    }
    EXPECT_EQ(sessions[0].toStdString(), sessions[1].toStdString());
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

namespace {

// WCAG's contrast ratio of two colours.
double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// The strongest contrast between the box's edge and the surface around the check box.
double indicatorContrast(QCheckBox& box) {
    QStyleOptionButton option;
    option.initFrom(&box);
    const QRect indicator =
        box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
    const QImage shot = box.window()->grab().toImage();
    const QPoint origin = box.mapTo(box.window(), QPoint(0, 0));
    const QRect edge = indicator.translated(origin);
    const QColor surface = shot.pixelColor(origin.x() + box.width() - 1, origin.y());
    double best = 1;
    for (int x = edge.left(); x <= edge.right(); ++x)
        for (int y : {edge.top(), edge.top() + 1, edge.bottom() - 1, edge.bottom()})
            best = std::max(best, contrast(shot.pixelColor(x, y), surface));
    return best;
}

} // namespace

TEST_F(LorvanelAppTest, AnUntickedCheckBoxStandsOutFromTheDarkSurfaces) {
    // The transfer settings' boxes on the popup's surface, and the export panel's on the window.
    for (const QColor& surface : {LorvPalette::night800(), LorvPalette::night900()}) {
        QWidget window;
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, surface);
        window.setPalette(palette);
        window.setAutoFillBackground(true);
        window.resize(240, 60);
        auto* box = new QCheckBox(QStringLiteral("Eject after a successful import"), &window);
        box->move(10, 10);
        box->adjustSize();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Graphical objects want 3:1 at least.
        EXPECT_GE(indicatorContrast(*box), 3.0) << surface.name().toStdString();
        box->setChecked(true);
        EXPECT_GE(indicatorContrast(*box), 3.0) << surface.name().toStdString();
    }
}
