// The import drop area's texts, colours and clicks, and the progress card's texts, for every kind
// of library and operation state.

#include "browser/ImportDropArea.h"
#include "appmodel/LorvPalette.h"
#include "browser/ImportProgressPanel.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>

namespace {

constexpr AppLanguage en = AppLanguage::english;

IPodLibrary blocked(bool nano5Import, bool nano5Playlists) {
    IPodLibrary library;
    library.writeBlocker = IPodDatabaseError::unsupportedDatabase();
    library.supportsNano5Import = nano5Import;
    library.supportsNano5PlaylistCreation = nano5Playlists;
    return library;
}

IPodLibrary blocked(const IPodDatabaseError& reason) {
    IPodLibrary library;
    library.writeBlocker = reason;
    return library;
}

QColor pixel(QWidget& widget, const QPoint& at) {
    return widget.grab().toImage().pixelColor(at);
}

} // namespace

TEST(ImportDropArea, PicksItsTitleCaptionAndHintForEachKindOfLibrary) {
    // Still loading (or failed): the hint asks to wait.
    ImportDropArea::Content content = ImportDropArea::content(std::nullopt, false, true, true, en);
    EXPECT_FALSE(content.targeted);
    EXPECT_EQ(ImportDropArea::title(content, en),
              QStringLiteral("Click to choose or drop audio files"));
    EXPECT_EQ(ImportDropArea::caption(content, en),
              QStringLiteral("Drop audio files when the library is ready."));

    // A loaded library, with a drag over the table.
    content = ImportDropArea::content(IPodLibrary{}, true, false, true, en);
    EXPECT_TRUE(content.targeted);
    EXPECT_EQ(ImportDropArea::title(content, en), QStringLiteral("Release to add to iPod"));
    EXPECT_EQ(
        ImportDropArea::caption(content, en),
        QStringLiteral("MP3, M4A, AAC, FLAC, and WAV. Lossless audio is converted automatically."));

    // Read-only with nano playlists: the playlist texts; without: the blocker's own reason. A
    // hovering drag changes neither.
    content = ImportDropArea::content(blocked(false, true), false, true, false, en);
    EXPECT_EQ(ImportDropArea::title(content, en),
              QStringLiteral("Adding and editing songs is unavailable"));
    EXPECT_EQ(ImportDropArea::caption(content, en),
              QStringLiteral("You can create playlists from songs already on this iPod."));
    content = ImportDropArea::content(blocked(false, false), false, true, false, en);
    EXPECT_EQ(ImportDropArea::title(content, en), QStringLiteral("This device is read-only"));
    EXPECT_EQ(ImportDropArea::caption(content, en),
              IPodDatabaseError::unsupportedDatabase().description(en));
    EXPECT_FALSE(ImportDropArea::isClickable(blocked(false, false)));

    // A nano that takes its test import: dashed, its own hint, clickable despite the blocker.
    content = ImportDropArea::content(blocked(true, true), true, false, false, en);
    EXPECT_FALSE(content.readOnlyMessage);
    EXPECT_FALSE(content.playlistsOnly);
    EXPECT_EQ(ImportDropArea::caption(content, en),
              QStringLiteral("Nano 5 test import supports 44.1 kHz MP3 files."));
    EXPECT_TRUE(ImportDropArea::isClickable(blocked(true, true)));
    EXPECT_TRUE(ImportDropArea::isClickable(std::nullopt));
}

TEST(ImportDropArea, LightsUpUnderADragAndLocksWhenReadOnly) {
    Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(en));
    ImportDropArea area;
    area.resize(500, 64);
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    const QPoint inside(250, 8);
    area.setContent(ImportDropArea::content(IPodLibrary{}, true, false, false, en));
    EXPECT_EQ(pixel(area, inside).rgb(), LorvPalette::night800().rgb());
    EXPECT_TRUE(area.isDashed());
    EXPECT_EQ(area.borderWidth(), 1.0);
    EXPECT_EQ(area.symbol(), QStringLiteral("arrow.down.to.line"));

    area.setContent(ImportDropArea::content(IPodLibrary{}, true, true, false, en));
    EXPECT_EQ(pixel(area, inside).rgb(), LorvPalette::indigoDeep().rgb());
    EXPECT_EQ(area.borderColor(), LorvPalette::sky());
    EXPECT_EQ(area.borderWidth(), 1.5);
    EXPECT_EQ(area.titleLabel()->text(), QStringLiteral("Release to add to iPod"));
    // The top border at its middle is drawn in the accent colour (dashes or not, the
    // antialiased line touches row 1).
    bool accent = false;
    const QImage image = area.grab().toImage();
    for (int x = 100; x < 400 && !accent; ++x)
        accent = image.pixelColor(x, 0).blue() > 200 && image.pixelColor(x, 0).red() < 150;
    EXPECT_TRUE(accent);

    area.setContent(ImportDropArea::content(blocked(false, false), false, false, false, en));
    EXPECT_FALSE(area.isDashed());
    EXPECT_EQ(area.borderColor(), LorvPalette::slate500());
    EXPECT_EQ(area.symbol(), QStringLiteral("lock"));
    EXPECT_EQ(pixel(area, inside).rgb(), LorvPalette::night800().rgb());
}

TEST(ImportDropArea, ClicksOpenThePanelOnlyWhereTheLibraryAllowsThem) {
    ImportDropArea area;
    area.resize(400, 64);
    area.show();
    QSignalSpy clicks(&area, &QAbstractButton::clicked);
    QTest::mouseClick(&area, Qt::LeftButton, {}, QPoint(200, 30));
    EXPECT_EQ(clicks.count(), 1);
    area.setClickable(false);
    QTest::mouseClick(&area, Qt::LeftButton, {}, QPoint(200, 30));
    EXPECT_EQ(clicks.count(), 1);
    area.setClickable(true);
    area.setEnabled(false);
    QTest::mouseClick(&area, Qt::LeftButton, {}, QPoint(200, 30));
    EXPECT_EQ(clicks.count(), 1);
}

TEST(ImportProgressPanel, PercentIsWholeAndWrittenTheLanguagesWay) {
    EXPECT_EQ(ImportProgressPanel::percentText(0.42, en), QStringLiteral("42%"));
    EXPECT_EQ(ImportProgressPanel::percentText(1.0, en), QStringLiteral("100%"));
    EXPECT_EQ(ImportProgressPanel::percentText(0.996, en), QStringLiteral("100%"));
    EXPECT_EQ(ImportProgressPanel::percentText(0.004, en), QStringLiteral("0%"));
    // Halves go to the even neighbour, as a number formatter rounds.
    EXPECT_EQ(ImportProgressPanel::percentText(0.125, en), QStringLiteral("12%"));
    EXPECT_EQ(ImportProgressPanel::percentText(std::nan(""), en), QStringLiteral("0%"));
    EXPECT_EQ(ImportProgressPanel::percentText(0.42, AppLanguage::simplifiedChinese),
              AppLanguages::locale(AppLanguage::simplifiedChinese).toString(42) +
                  AppLanguages::locale(AppLanguage::simplifiedChinese).percent());
}

TEST(ImportProgressPanel, ShowsTheBarAloneUntilProgressThenPercentAndTheFileRow) {
    Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(en));
    // Over a white window, so the dimming shows in the grabbed pixels.
    QWidget window;
    window.setAutoFillBackground(true);
    QPalette white = window.palette();
    white.setColor(QPalette::Window, Qt::white);
    window.setPalette(white);
    window.resize(800, 600);
    ImportProgressPanel& panel = *new ImportProgressPanel(&window);
    panel.setGeometry(window.rect());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    panel.setTitle(QStringLiteral("Working with iPod…"));
    EXPECT_TRUE(panel.percentLabel()->isHidden());
    EXPECT_TRUE(panel.fileRow()->isHidden());
    EXPECT_EQ(panel.progressBar()->maximum(), 0); // moving on its own
    EXPECT_EQ(panel.card()->width(), ImportProgressPanel::cardWidth);
    EXPECT_EQ(panel.card()->geometry().center(), panel.rect().center());
    // Around the card the window is dimmed by black at 0.62.
    const QColor dim = window.grab().toImage().pixelColor(5, 5);
    EXPECT_NEAR(dim.red(), qRound(255 * (1 - 158 / 255.0)), 1);
    EXPECT_EQ(dim.red(), dim.blue());

    ImportProgress progress;
    progress.stage = QStringLiteral("Saving library");
    progress.fraction = 0.06;
    panel.setProgress(progress);
    // Even a small part shows.
    QImage bar = panel.progressBar()->grab().toImage();
    EXPECT_EQ(bar.pixelColor(4, bar.height() / 2).rgb(), LorvPalette::sky().rgb());
    progress.fraction = 0.5;
    progress.fileCount = 3;
    panel.setProgress(progress);
    EXPECT_FALSE(panel.percentLabel()->isHidden());
    EXPECT_EQ(panel.percentLabel()->text(), QStringLiteral("50%"));
    EXPECT_TRUE(panel.fileRow()->isHidden()); // a whole-library step names no file
    EXPECT_EQ(panel.progressBar()->value(), panel.progressBar()->maximum() / 2);
    // The filled half of the bar is in the accent colour, the rest is the track.
    bar = panel.progressBar()->grab().toImage();
    EXPECT_EQ(bar.pixelColor(bar.width() / 4, bar.height() / 2).rgb(), LorvPalette::sky().rgb());
    EXPECT_EQ(bar.pixelColor(bar.width() * 3 / 4, bar.height() / 2).rgb(),
              LorvPalette::slate600().rgb());

    progress.fileIndex = 2;
    progress.fileName =
        QStringLiteral("A very long file name that cannot possibly fit on the card - part 2.flac");
    panel.setProgress(progress);
    EXPECT_FALSE(panel.fileRow()->isHidden());
    EXPECT_EQ(panel.fileCountLabel()->text(), QStringLiteral("File 2 of 3"));
    // The name gives up its middle and keeps both ends.
    const QString shown = panel.shownFileName();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("A very"))) << qPrintable(shown);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("2.flac"))) << qPrintable(shown);
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << qPrintable(shown);
}

// The reason names files such as iPod_Control/Device/SysInfoExtended: their underscores show
// whatever fonts the language draws its text in.
TEST(ImportDropArea, DrawsTheUnderscoresOfTheReasonInEitherLanguage) {
    const IPodDatabaseError reason = IPodDatabaseError::artworkFormatsOutOfBounds(
        QStringLiteral("iPod_Control/Device/SysInfoExtended"));
    for (const AppLanguage language : {en, AppLanguage::simplifiedChinese}) {
        SCOPED_TRACE(AppLanguages::rawValue(language).toStdString());
        Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(language));
        ImportDropArea area;
        area.resize(900, 64);
        area.setContent(ImportDropArea::content(blocked(reason), false, false, false, language));
        area.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
        QLabel& caption = *area.captionLabel();
        // The underscore's columns on the first line, where no other glyph reaches.
        const QString text = caption.text();
        const qsizetype at = text.indexOf(QLatin1Char('_'));
        ASSERT_GT(at, 0);
        QTextLayout layout(text, caption.font());
        layout.beginLayout();
        layout.createLine().setLineWidth(caption.width());
        layout.endLayout();
        const QTextLine line = layout.lineAt(0);
        ASSERT_GT(line.textLength(), at);
        const qreal left = line.cursorToX(int(at)), right = line.cursorToX(int(at) + 1);
        const QImage image = caption.grab().toImage();
        const QRgb background = image.pixel(image.width() - 1, 0);
        bool inked = false;
        for (int x = int(left + (right - left) / 3); x < int(right - (right - left) / 3); ++x)
            for (int y = 0; y < image.height(); ++y)
                inked = inked || image.pixel(x, y) != background;
        EXPECT_TRUE(inked);
    }
}
