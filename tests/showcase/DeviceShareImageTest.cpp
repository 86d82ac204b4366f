#include "showcase/DeviceShareImage.h"
#include "../device/TestVolumes.h"
#include "ShareTestCards.h"
#include "platform/AppLanguage.h"
#include "platform/Settings.h"
#include "showcase/DeviceSharePreview.h"
#include "support/EventLoop.h"
#include "support/MessageBoxLines.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Finish = StartupModel::Finish;

namespace {

// The colour type byte of a PNG's header chunk.
int pngColourType(const QByteArray& png) {
    return png.size() > 25 ? static_cast<unsigned char>(png[25]) : -1;
}

const QRegularExpression namePattern(QStringLiteral("^Lorvanel-\\d{8}-\\d{6}-[0-9A-F]{8}\\.png$"));

class LocaleGuard {
public:
    explicit LocaleGuard(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleGuard() { QLocale::setDefault(QLocale::c()); }
};

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Answers the first message box that shows up.
void answerNextMessageBox(QMessageBox::StandardButton answer, QString* text = nullptr) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, text] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible()) {
                if (text)
                    *text = box->text() + u'\n' + box->informativeText();
                // The dialog reads which button was clicked, not the result code.
                if (QAbstractButton* button = box->button(answer))
                    button->click();
                else
                    box->done(answer);
                timer->deleteLater();
                return;
            }
        }
    });
    timer->start(10);
}

// Drives the save dialog the preview opened: picks the path and accepts.
QFileDialog* saveDialog(QWidget& window) {
    QFileDialog* dialog = nullptr;
    TestSupport::waitUntil([&] {
        dialog = window.findChild<QFileDialog*>(QStringLiteral("saveDeviceImageDialog"));
        return dialog && dialog->isVisible();
    });
    return dialog;
}

// Fills the folder's volume up to its last block.
bool fillUp(const QString& folder) {
    QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    return true;
}

// The nano's card with no year, capacity or finish to choose.
DeviceSharePreview::Input bareNano() {
    return {QStringLiteral("iPod nano (4th generation)"),
            std::nullopt,
            {},
            std::nullopt,
            ShareTestCards::nano().artwork,
            std::nullopt};
}

} // namespace

TEST(ShareImage, ThePngIsAnOpaqueCardAtTwiceItsSize) {
    const auto png = DeviceShareImage::renderPNG(ShareTestCards::nano());
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->startsWith("\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(pngColourType(*png), 2); // RGB, no alpha
    const QImage image = QImage::fromData(*png, "PNG");
    EXPECT_EQ(image.size(), QSize(1200, 800));
    EXPECT_FALSE(image.hasAlphaChannel());
    // Painted, not grabbed: the background is the card's own colour in every corner.
    for (const QPoint p : {QPoint(0, 0), QPoint(1199, 0), QPoint(0, 799), QPoint(1199, 799)})
        EXPECT_EQ(image.pixel(p), qRgb(18, 22, 34));
}

TEST(ShareImage, TheProposedNameUsesAsciiDigitsWhateverTheLocale) {
    const QDateTime when(QDate(2024, 3, 9), QTime(7, 5, 3));
    const QUuid id(QStringLiteral("{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}"));
    for (const QLocale& locale :
         {QLocale(QLocale::Arabic, QLocale::Egypt), QLocale(QLocale::Thai, QLocale::Thailand),
          QLocale(QLocale::Persian, QLocale::Iran),
          QLocale(QLocale::English, QLocale::UnitedStates)}) {
        LocaleGuard guard(locale);
        const QString name = DeviceShareImage::proposedFileName(when, id);
        EXPECT_EQ(name, QStringLiteral("Lorvanel-20240309-070503-0A1B2C3D.png"))
            << locale.name().toStdString();
        EXPECT_TRUE(namePattern.match(DeviceShareImage::proposedFileName()).hasMatch());
    }
    {
        // The locale really would have written other digits.
        LocaleGuard guard(QLocale(QLocale::Arabic, QLocale::Egypt));
        EXPECT_NE(QLocale().toString(2024), QStringLiteral("2024"));
    }
    EXPECT_NE(DeviceShareImage::proposedFileName(), DeviceShareImage::proposedFileName());
}

TEST(ShareImage, WritingCreatesOrReplacesAFileInOneStep) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("card.png"));
    EXPECT_FALSE(DeviceShareImage::write(path, QByteArray("first")));
    EXPECT_EQ(readAll(path), QByteArray("first"));
    EXPECT_FALSE(DeviceShareImage::write(path, QByteArray("second")));
    EXPECT_EQ(readAll(path), QByteArray("second"));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("card.png")});
    // A folder that is not there: an error, and nothing made.
    const auto error =
        DeviceShareImage::write(dir.filePath(QStringLiteral("missing/card.png")), "x");
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->isEmpty());
}

TEST(ShareImage, SavingReplacesAConfirmedFileOnATmpfsFolder) {
    if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("cards"));
    const auto mount = TestVolumes::Mount::tmpfs(folder, QStringLiteral("size=8m"));
    ASSERT_TRUE(mount);
    const QString target = QDir(folder).filePath(QStringLiteral("mine.png"));
    ASSERT_FALSE(DeviceShareImage::write(target, QByteArray("old bytes")));

    QWidget window;
    DeviceSharePreview preview({QStringLiteral("iPod nano (4th generation)"),
                                StartupModel::Years{2008, 2009},
                                {QStringLiteral("8 GB")},
                                QStringLiteral("Purple"),
                                ShareTestCards::nano().artwork,
                                std::nullopt},
                               &window);
    preview.setAttribute(Qt::WA_DeleteOnClose, false);
    const auto png = preview.renderDeviceImagePNG();
    ASSERT_TRUE(png);
    preview.saveDeviceImage(*png);
    QFileDialog* dialog = saveDialog(window);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(dialog->selectedFiles().size(), 1);
    EXPECT_TRUE(
        namePattern.match(QFileInfo(dialog->selectedFiles().front()).fileName()).hasMatch());
    // The user picks the existing file and confirms the replacement.
    dialog->setDirectory(folder);
    dialog->selectFile(QStringLiteral("mine.png"));
    QString asked;
    answerNextMessageBox(QMessageBox::Yes, &asked);
    static_cast<QDialog*>(dialog)->accept();
    TestSupport::drainEvents();
    EXPECT_TRUE(asked.contains(QStringLiteral("mine.png"))) << asked.toStdString();
    EXPECT_EQ(readAll(target), *png);
    EXPECT_EQ(entries(folder), QStringList{QStringLiteral("mine.png")});
    EXPECT_FALSE(window.findChild<QMessageBox*>(QStringLiteral("saveDeviceImageAlert")));
}

TEST(ShareImage, TheFullDiskAlertShowsItsMessageOnOneLineInEitherLanguage) {
    if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("full"));
    const auto mount = TestVolumes::Mount::tmpfs(folder, QStringLiteral("size=64k"));
    ASSERT_TRUE(mount);
    ASSERT_TRUE(fillUp(folder));
    QWidget window;
    window.show();
    DeviceSharePreview preview(bareNano(), &window);
    preview.setAttribute(Qt::WA_DeleteOnClose, false);
    const auto png = preview.renderDeviceImagePNG();
    ASSERT_TRUE(png);
    // Titled and answered as the window's other alerts are: our "OK" (no icon), never Qt's.
    const std::pair<AppLanguage, QString> languages[] = {
        {AppLanguage::english, QStringLiteral("OK")},
        {AppLanguage::simplifiedChinese, QStringLiteral("好")},
    };
    for (const auto& [language, ok] : languages) {
        SCOPED_TRACE(AppLanguages::rawValue(language).toStdString());
        Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(language));
        preview.saveDeviceImage(*png);
        QFileDialog* dialog = saveDialog(window);
        ASSERT_TRUE(dialog);
        dialog->setDirectory(folder);
        dialog->selectFile(QStringLiteral("card.png"));
        static_cast<QDialog*>(dialog)->accept();
        QMessageBox* alert = nullptr;
        ASSERT_TRUE(TestSupport::waitUntil([&] {
            for (auto* box :
                 window.findChildren<QMessageBox*>(QStringLiteral("saveDeviceImageAlert")))
                if (box->isVisible())
                    alert = box;
            return alert != nullptr;
        }));
        TestSupport::expectReadableMessage(
            *alert, localizedString(LZ("There is not enough free space on the disk."), language));
        EXPECT_EQ(alert->windowTitle(), QStringLiteral("Lorvanel"));
        EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
        ASSERT_EQ(alert->buttons().size(), 1);
        QAbstractButton* button = alert->buttons().first();
        EXPECT_EQ(button->text(), ok);
        EXPECT_TRUE(button->icon().isNull());
        EXPECT_EQ(alert->standardButton(button), QMessageBox::NoButton);
        EXPECT_EQ(alert->escapeButton(), button);
        const QPointer<QMessageBox> shown = alert;
        QTest::keyClick(alert, Qt::Key_Return);
        EXPECT_TRUE(TestSupport::waitUntil([&] { return !shown || !shown->isVisible(); }));
    }
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::english));
}

TEST(ShareImage, AFullDiskSaysSoAndLeavesTheOldFileAndNoPartialOne) {
    if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("full"));
    const auto mount = TestVolumes::Mount::tmpfs(folder, QStringLiteral("size=256k"));
    ASSERT_TRUE(mount);
    const QString target = QDir(folder).filePath(QStringLiteral("mine.png"));
    ASSERT_FALSE(DeviceShareImage::write(target, QByteArray("old bytes")));
    ASSERT_TRUE(fillUp(folder));
    const QStringList before = entries(folder);
    const auto png = DeviceShareImage::renderPNG(ShareTestCards::nano());
    ASSERT_TRUE(png);
    const QString noSpace = QStringLiteral("There is not enough free space on the disk.");
    const auto error = DeviceShareImage::write(target, *png);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, noSpace);
    EXPECT_EQ(readAll(target), QByteArray("old bytes"));
    EXPECT_EQ(entries(folder), before);
    // Nor does a new file appear half written.
    const QString fresh = QDir(folder).filePath(QStringLiteral("new.png"));
    EXPECT_EQ(DeviceShareImage::write(fresh, *png), noSpace);
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(entries(folder), before);

    // Through the dialog: the error is shown, and still nothing changed.
    QWidget window;
    window.show();
    DeviceSharePreview preview(bareNano(), &window);
    preview.setAttribute(Qt::WA_DeleteOnClose, false);
    preview.saveDeviceImage(*png);
    QFileDialog* dialog = saveDialog(window);
    ASSERT_TRUE(dialog);
    dialog->setDirectory(folder);
    dialog->selectFile(QStringLiteral("mine.png"));
    answerNextMessageBox(QMessageBox::Yes);
    static_cast<QDialog*>(dialog)->accept();
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        alert = window.findChild<QMessageBox*>(QStringLiteral("saveDeviceImageAlert"));
        return alert && alert->isVisible();
    }));
    EXPECT_EQ(alert->text(), QStringLiteral("The device image could not be saved."));
    EXPECT_EQ(alert->informativeText(), noSpace);
    alert->done(QMessageBox::Ok);
    EXPECT_EQ(readAll(target), QByteArray("old bytes"));
    EXPECT_EQ(entries(folder), before);

    // Room for part of the image: the write stops short with no error of Qt's own.
    const qint64 half = png->size() / 2;
    ASSERT_GT(half, 16 * 1024) << "larger than Qt's write buffer";
    QFile(QDir(folder).filePath(QStringLiteral("filler"))).resize(0);
    {
        QFile room(QDir(folder).filePath(QStringLiteral("room")));
        ASSERT_TRUE(room.open(QIODevice::WriteOnly));
        const QStorageInfo volume(folder);
        ASSERT_GT(volume.bytesAvailable(), half);
        ASSERT_EQ(room.write(QByteArray(volume.bytesAvailable() - half, 'r')),
                  volume.bytesAvailable() - half);
    }
    const QStringList partly = entries(folder);
    EXPECT_EQ(DeviceShareImage::write(fresh, *png), noSpace);
    EXPECT_EQ(entries(folder), partly);
    {
        Settings::shared().setValue(AppLanguages::storageKey(),
                                    AppLanguages::rawValue(AppLanguage::simplifiedChinese));
        EXPECT_EQ(DeviceShareImage::write(fresh, *png),
                  QStringLiteral("磁盘上没有足够的可用空间。"));
        Settings::shared().setValue(AppLanguages::storageKey(),
                                    AppLanguages::rawValue(AppLanguage::english));
    }
}
